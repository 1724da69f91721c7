#pragma once

#include "translation.h"

#include <QDir>
#include <QString>

#include <functional>

namespace morvant {

/// Shows a message to the user: a text and a title. Supplied by the caller.
using ShowMessage = std::function<void(const QString &text, const QString &title)>;

/// The separator of folders in paths: the backslash on Windows, where a forward
/// slash is an ordinary character of the image name, and `/` elsewhere, where
/// a backslash is one.
inline const QChar nativeSeparator = QDir::separator();

/// The title of every message about a file that cannot be read or written.
inline QString fileErrorTitle()
{
    return tr("File Error");
}

/** \a text, a control file's line or a part of it, quoted as messages quote
    it: `MODE=3`. */
inline QString quotedLine(const QString &text)
{
    return u'`' + text + u'`';
}

} // namespace morvant
