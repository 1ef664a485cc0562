#include "KovaCore/ResultTree.h"

#include "File_IO/CSVReaderWriter.h"
#include "KovaCore/KovaCoreApp.h"
#include "platform/Log.h"
#include "platform/Root.h"

#include <QFile>

#include <unistd.h>

namespace ResultTree {
namespace {

bool isTotal(int mode)
{
    return mode == BF_TOTAL_CELL_COUNTING;
}

}  // namespace

QString modeFolder(int mode)
{
    return QStringLiteral("/KOVA/anonymous/%1")
        .arg(isTotal(mode) ? QStringLiteral("TOTAL_CELL_COUNTING") : QStringLiteral("CELL_COUNTING_VIABILITY"));
}

const char* previousCountHeader(int mode)
{
    return isTotal(mode) ? "User,File,Date,[Total cell],Total cell number,Avg. size,Protocol"
                         : "User,File,Date,[Total cell],Total cell number,[Live cell],Live cell number,"
                           "[Dead cell],Dead cell number,Viability,Avg. size,Protocol";
}

QString previousCountMaster(int mode)
{
    std::string path;
    KovaCoreApp::get_local_previous_count_csv_path(isTotal(mode) ? BF_TOTAL_CELL_COUNTING : BF_CELL_COUNTING_VIABILITY,
                                                   path);
    return QString::fromStdString(path);
}

QString previousCountCopy(int mode)
{
    return modeFolder(mode) + QLatin1Char('/') + previousCountMaster(mode).section(QLatin1Char('/'), -1);
}

bool refreshPreviousCountCopy(int mode)
{
    CSVReaderWriter table(kPreviousCountLines, "%s", previousCountHeader(mode));
    const QString master = previousCountMaster(mode);
    const QString copy = previousCountCopy(mode);
    // An old copy kept after a failure would list counts the master may no
    // longer have; the review screen would show them.
    QFile::remove(platform::rootPath(copy));
    const bool ok = table.read(master.toUtf8().constData()) && table.reverseWrite(copy.toUtf8().constData());
    if (!ok)
        KLOG << "[Error] previous counts not copied from" << master << "to" << copy;
    ::sync();
    return ok;
}

}  // namespace ResultTree
