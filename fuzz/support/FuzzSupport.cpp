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

#include <cstdio>
#include <cstdlib>

namespace fuzz {

namespace {

qint64 g_nextTime = 1000000000;  // seconds since 1970, one more per file written

// In memory where the system offers it: every input is written to a file.
QString rootTemplate()
{
    const QString shm = QStringLiteral("/dev/shm");
    const QString folder = QFileInfo(shm).isWritable() ? shm : QDir::tempPath();
    return folder + QStringLiteral("/kova-fuzz-XXXXXX");
}

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
    QTemporaryDir root{rootTemplate()};
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

void fail(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "==fuzz== check failed: %s at %s:%d\n", condition, file, line);
    std::abort();
}

}  // namespace fuzz
