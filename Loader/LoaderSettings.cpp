#include "LoaderSettings.h"

#include "LoaderFiles.h"

#include "platform/Log.h"
#include "platform/Root.h"

#include <QSettings>

namespace loader {

namespace {

QString settingsPath()
{
    return platform::rootPath(QString::fromLatin1(kSettingsFile));
}

}  // namespace

QVariant readSetting(const QString& key, const QVariant& defaultValue)
{
    return QSettings(settingsPath(), QSettings::IniFormat).value(key, defaultValue);
}

bool writeRunMode(const QString& mode)
{
    QSettings settings(settingsPath(), QSettings::IniFormat);
    if (settings.value(QString::fromLatin1(kRunModeKey)).toString() == mode)
        return true;
    settings.setValue(QString::fromLatin1(kRunModeKey), mode);
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        KLOG << "[Error] cannot write the run mode" << mode << "to" << kSettingsFile;
        return false;
    }
    return true;
}

}  // namespace loader
