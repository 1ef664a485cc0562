#include "FileManager/ResultFolderModel.h"

#include "FileManager/FileOperator.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/ResultTree.h"
#include "platform/Log.h"
#include "platform/Root.h"

#include <QDir>
#include <QFileSystemModel>
#include <QFileSystemWatcher>

#include <algorithm>

namespace {

const QString kMountPoint = QString::fromLatin1(ResultTree::kStickMount);

}  // namespace

ResultFolderModel::ResultFolderModel(QObject* parent)
    : QObject(parent)
    , m_pModel(new QFileSystemModel(this))
    , m_pWatcher(new QFileSystemWatcher(this))
{
    m_pWatcher->addPath(platform::rootPath(kMountPoint));
    connect(m_pWatcher, &QFileSystemWatcher::directoryChanged, this, &ResultFolderModel::slotResetDiskList);
    m_pModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    m_pModel->setReadOnly(false);
    m_pModel->setRootPath(QStringLiteral("/"));
    connect(m_pModel, &QFileSystemModel::directoryLoaded, this, &ResultFolderModel::slotResetPage);
}

ResultFolderModel::~ResultFolderModel() = default;

void ResultFolderModel::initialize()
{
    KLOG_ENTER;
    const QString folder = ResultTree::modeFolder(theApp.m_CountingMode);
    QDir().mkpath(platform::rootPath(folder));
    m_localDisk = QFileInfo(folder);
    m_selectpath = folder;
    m_nCurrentPage = 1;
    page(1);
}

bool ResultFolderModel::isMedia(QString path)
{
    const QStringList parts = path.split(QLatin1Char('/'));
    return parts.value(0) == QLatin1String("mnt") || parts.value(1) == QLatin1String("mnt");
}

void ResultFolderModel::page(int n)
{
    listPage(n);
}

void ResultFolderModel::page2()
{
    m_pModel->setRootPath(platform::rootPath(m_selectpath));
}

void ResultFolderModel::slotResetPage()
{
    m_pModel->sort(0, Qt::AscendingOrder);
    m_pModel->setRootPath(platform::rootPath(m_selectpath));
    m_pModel->sort(0, Qt::AscendingOrder);
    listPage(m_nCurrentPage);
}

void ResultFolderModel::listPage(int n)
{
    const int perPage = isMedia(m_selectpath) ? kMediaPageSize : kPageSize;
    const QModelIndex root = m_pModel->setRootPath(platform::rootPath(m_selectpath));
    const int count = m_pModel->rowCount(root);
    const int totalpage = count / perPage + (count % perPage ? 1 : 0);
    const int first = perPage * (n - 1);
    if (n < 1 || count < first)
        return;
    QFileInfoList list;
    for (int row = first; row < std::min(first + perPage, count); ++row)
        list << QFileInfo(platform::logicalPath(m_pModel->filePath(m_pModel->index(row, 0, root))));
    emit sigPagecomplete(list, totalpage);
}

QString ResultFolderModel::currentItemPath(int row) const
{
    return m_selectpath + QLatin1Char('/') + rowName(row);
}

QString ResultFolderModel::rowName(int row) const
{
    const QModelIndex root = m_pModel->index(platform::rootPath(m_selectpath));
    return m_pModel->index(row, 0, root).data().toString();
}

void ResultFolderModel::erase2(QFileInfo fi)
{
    if (QFileInfo(platform::rootPath(fi.filePath())).isDir())
        FileOperator::erase(fi);
    page2();
}

void ResultFolderModel::erase(int row)
{
    const QFileInfo item(currentItemPath(row));
    if (!rowName(row).isEmpty() && QFileInfo(platform::rootPath(item.filePath())).isDir())
        FileOperator::erase(item);
}

void ResultFolderModel::erase(QFileInfo fi)
{
    FileOperator::erase(fi);
}

void ResultFolderModel::erase_all()
{
    KLOG_ENTER;
    const QString folder = platform::rootPath(m_localDisk.filePath());
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo& entry : entries)
        FileOperator::erase(QFileInfo(platform::logicalPath(entry.filePath())));
}

void ResultFolderModel::slotResetDiskList(QString path)
{
    m_diskList = {m_localDisk};
    const QFileInfoList folders = QDir(path).entryInfoList(QDir::AllDirs | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo& folder : folders)
        m_diskList << QFileInfo(platform::logicalPath(folder.filePath()));
    emit signalCreateDiskList(m_diskList);
}

void ResultFolderModel::insertDiskList(QFileInfo fi)
{
    const bool listed = std::any_of(m_diskList.begin(), m_diskList.end(),
                                    [&](const QFileInfo& entry) { return entry.filePath() == fi.filePath(); });
    if (!listed)
        m_diskList << fi;
}

void ResultFolderModel::slotResetList3(QString select)
{
    QString newRoot;
    if (select == QLatin1String("USB"))
        newRoot = kMountPoint;
    else if (select == QLatin1String("Internal\nStorage"))
        newRoot = m_localDisk.filePath();
    browse(newRoot);
}

void ResultFolderModel::slotResetList2(int order, QString select)
{
    QString newRoot;
    if (order == 0) {
        if (select == QLatin1String("Internal Storage"))
            newRoot = m_localDisk.filePath();
    } else {
        for (const QFileInfo& entry : m_diskList)
            if (entry.fileName() == select)
                newRoot = entry.filePath();
    }
    browse(newRoot);
}

void ResultFolderModel::browse(const QString& newRoot)
{
    if (!newRoot.isEmpty()) {
        m_selectpath = newRoot;
        m_nCurrentPage = 1;
        page(1);
    }
    emit signalSetDiskSpace(newRoot);
}
