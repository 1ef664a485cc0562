#include "File_IO/ini.h"

#include "platform/Log.h"
#include "platform/Root.h"
#include "platform/SaveFile.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QSettings>
#include <QStringList>
#include <QTemporaryFile>

#include <algorithm>

namespace {

// The byte strings are taken up to their first NUL, as UTF-8.
QString fromBytes(const std::string& bytes)
{
    return QString::fromUtf8(bytes.c_str());
}

// The GUI and the calibration thread write the same files: one write and its
// rewrite at a time, or a rewrite of stale text drops the other's key.
QMutex g_writeMutex;

}  // namespace

bool syncSettings(QSettings& settings)
{
    settings.sync();
    if (settings.status() != QSettings::FormatError)
        return settings.status() == QSettings::NoError;
    // The toolkit shares what it parsed between objects on one path, so the
    // check reads a copy of the file.
    QFile file(settings.fileName());
    QTemporaryFile copy;
    if (!file.open(QIODevice::ReadOnly) || !copy.open() || copy.write(file.readAll()) != file.size()
        || !copy.flush())
        return false;
    const QSettings check(copy.fileName(), QSettings::IniFormat);
    if (check.status() != QSettings::NoError || check.allKeys() != settings.allKeys())
        return false;
    const QStringList keys = settings.allKeys();
    return std::all_of(keys.begin(), keys.end(),
                       [&](const QString& key) { return check.value(key) == settings.value(key); });
}

int ini_read(std::string section, std::string key, std::string defaultValue, std::string& out, std::string path)
{
    QSettings settings(platform::rootPath(fromBytes(path)), QSettings::IniFormat);
    settings.beginGroup(fromBytes(section));
    const QString joined = settings.value(fromBytes(key), QVariant()).toStringList().join(QStringLiteral(", "));
    settings.endGroup();

    if (joined.isEmpty()) {
        out = defaultValue;
        return 0;
    }
    out = joined.toUtf8().toStdString();
    return 1;
}

bool ini_write(std::string section, std::string key, std::string value, std::string path)
{
    return ini_write(section, {{key, value}}, path);
}

bool ini_write(const std::string& section, const std::vector<std::pair<std::string, std::string>>& values,
               const std::string& path)
{
    const QString file = platform::rootPath(fromBytes(path));
    const QMutexLocker lock(&g_writeMutex);
    {
        QSettings settings(file, QSettings::IniFormat);
        settings.beginGroup(fromBytes(section));
        for (const auto& [key, value] : values)
            settings.setValue(fromBytes(key), fromBytes(value));
        settings.endGroup();
        if (!syncSettings(settings)) {
            KLOG << "ini_write: cannot write" << file;
            return false;
        }
    }

    QFile current(file);
    if (!current.open(QIODevice::ReadOnly)) {
        KLOG << "ini_write: cannot reopen" << file;
        return false;
    }
    QString text = QString::fromUtf8(current.readAll().constData());
    current.close();
    text.replace(QStringLiteral("%20"), QStringLiteral(" "));

    QSaveFile rewritten(file);
    if (!platform::openSaveFile(rewritten)) {
        KLOG << "ini_write: cannot rewrite" << file;
        return false;
    }
    const QByteArray bytes = text.toLatin1();
    if (rewritten.write(bytes) != bytes.size() || !rewritten.commit()) {
        KLOG << "ini_write: rewrite failed" << file;
        return false;
    }
    return true;
}
