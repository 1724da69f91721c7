#pragma once

#include <QCoreApplication>
#include <QString>

namespace morvant {

/// The program's texts share one translation context, whichever file shows them.
inline QString tr(const char *text)
{
    return QCoreApplication::translate("MORVANT", text);
}

} // namespace morvant
