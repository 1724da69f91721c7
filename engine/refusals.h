#pragma once

#include "basics.h"
#include "controlFile.h"
#include "findings.h"

#include <QString>

namespace morvant {

// Why a control file gives no cue sheet, in words: for each reason the
// conversion's message and its title, and the finding that --check gives,
// with what to do. Every refusal ends a conversion with status 1 and --check
// with status 2.

/** The finding that tells why \a outcome refused the file at \a path: its
    code, the line it points to, the conversion's own message and what to do. */
Remark refusalRemark(const QString &path, const ScanOutcome &outcome);

/** The title of the conversion's message about \a refusal. */
QString refusalTitle(Refusal refusal);

/** Tells the user through \a showMessage why \a outcome refused the file at
    \a path: the message and title that the conversion shows. */
void showRefusal(const ShowMessage &showMessage, const QString &path, const ScanOutcome &outcome);

} // namespace morvant
