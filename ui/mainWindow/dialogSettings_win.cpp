#include "dialogSettings.h"

#include <QSettings>

namespace morvant {

namespace {

// Qt keeps the dialog's state in the registry, under HKCU\Software\QtProject,
// where no setting of a path can send it elsewhere.
const QString software = QStringLiteral("HKEY_CURRENT_USER\\Software");
const QString qtProject = QStringLiteral("QtProject");
const QString fileDialog = QStringLiteral("OrganizationDefaults/FileDialog");

} // namespace

DialogSettings dialogSettingsNow()
{
    DialogSettings now;
    QSettings settings(software, QSettings::NativeFormat);
    now.existed = settings.childGroups().contains(qtProject);
    settings.beginGroup(qtProject + u'/' + fileDialog);
    const QStringList keys = settings.allKeys();
    for (const QString &key : keys)
        now.values.insert(key, settings.value(key));
    return now;
}

void putBack(const DialogSettings &before)
{
    QSettings settings(software, QSettings::NativeFormat);
    if (!before.existed) {
        settings.remove(qtProject);
        return;
    }
    settings.beginGroup(qtProject);
    settings.remove(fileDialog);
    settings.beginGroup(fileDialog);
    for (auto value = before.values.begin(); value != before.values.end(); ++value)
        settings.setValue(value.key(), value.value());
}

} // namespace morvant
