#include "FuzzSupport.h"

#include "platform/Root.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>

namespace fuzz {

namespace {

qint64 g_nextTime = 1000000000;  // seconds since 1970, one more per file written
int g_nextPath = 0;

// Lives until the process ends; libFuzzer leaves through exit().
struct Process
{
    Process()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("*=false"));
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        root.setAutoRemove(true);
        if (!root.isValid())
            std::abort();
        qputenv("KOVA3_ROOT", QFile::encodeName(root.path()));
    }

    int argc = 1;
    char name[5] = "fuzz";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
    QTemporaryDir root;
};

}  // namespace

void setUp()
{
    static Process process;
}

QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<int>(size));
}

QString writeFile(const QString& logicalPath, const QByteArray& contents)
{
    const QString path = platform::rootPath(logicalPath);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) != contents.size())
        std::abort();
    file.close();
    const timespec times[2] = {{g_nextTime, 0}, {g_nextTime, 0}};
    ++g_nextTime;
    if (::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) != 0)
        std::abort();
    return path;
}

QString freshPath(const QString& suffix)
{
    return QStringLiteral("/fuzz/%1%2").arg(g_nextPath++).arg(suffix);
}

void removeFile(const QString& logicalPath)
{
    QFile::remove(platform::rootPath(logicalPath));
}

}  // namespace fuzz
