#include "Review/FileSystemTreeView.h"

#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/ResultTree.h"
#include "platform/Log.h"
#include "platform/Root.h"

#include <QFileSystemModel>

FileSystemTreeView::FileSystemTreeView(QWidget* parent)
    : QTreeView(parent)
    , m_pFolders(new ResultFolderModel(this))
{
    setUniformRowHeights(true);
    setIndentation(10);
    // A result folder is never renamed here.
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setModel(m_pFolders->model());
    connect(m_pFolders->model(), &QFileSystemModel::rootPathChanged, this,
            [this](const QString& path) { setRootIndex(m_pFolders->model()->index(path)); });
}

FileSystemTreeView::~FileSystemTreeView() = default;

void FileSystemTreeView::initialize()
{
    for (int column = 1; column < m_pFolders->model()->columnCount(); ++column)
        hideColumn(column);
    m_pFolders->initialize();
}

void FileSystemTreeView::copy2(QFileInfo fi)
{
    m_nOperation = file_operations_t::Copy;
    if (QFileInfo::exists(platform::rootPath(fi.filePath())))
        m_srcList = QStringList{fi.filePath()};
}

bool FileSystemTreeView::paste2(QFileInfo dst)
{
    const QString path = dst.filePath();
    const bool isFile = QFileInfo(platform::rootPath(path)).isFile();
    return runCopyJob(isFile ? dst.path() : path, true);
}

bool FileSystemTreeView::copy_all()
{
    m_nOperation = file_operations_t::CopyAllResults;
    m_srcList = QStringList{ResultTree::modeFolder(theApp.m_CountingMode)};
    return paste_all();
}

bool FileSystemTreeView::paste_all()
{
    return runCopyJob(m_pFolders->m_dstPath, false);
}

bool FileSystemTreeView::runCopyJob(const QString& destination, bool relist)
{
    KLOG_ENTER;
    KLOG_VALUE("destination", destination);
    qRegisterMetaType<FileOperationPasteError>("FileOperationPasteError");
    auto* worker = new FileOperator;
    FileOperationDialog* box = &m_FileOperationDlg;
    connect(worker, &FileOperator::signalSetTotalFileCountAndSize, box,
            &FileOperationDialog::slotSetTotalFileCountAndSize);
    connect(worker, &FileOperator::signalSetCurrentFileCountAndSize, box,
            &FileOperationDialog::slotSetCurrentFileCountAndSize);
    connect(worker, &FileOperator::signalCompleted, box, &FileOperationDialog::slotCompleted);
    connect(worker, &FileOperator::signalPasteError, box, &FileOperationDialog::slotPasteError);
    if (relist)
        connect(worker, &FileOperator::signalCompleted, m_pFolders, &ResultFolderModel::slotResetPage);
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->setData({m_nOperation, m_srcList});
    worker->setDst(QFileInfo(destination));
    worker->start(QThread::InheritPriority);

    box->initialize();
    box->raise();
    box->start();
    return box->exec() == QDialog::Accepted;
}
