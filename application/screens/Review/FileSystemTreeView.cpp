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
    connect(m_pFolders->model(), &QFileSystemModel::rootPathChanged, this, &FileSystemTreeView::slotRootIndexUpdate);
    connect(this, &QTreeView::clicked, this, &FileSystemTreeView::slotItemClicked);
}

FileSystemTreeView::~FileSystemTreeView() = default;

void FileSystemTreeView::initialize()
{
    for (int column = 1; column < m_pFolders->model()->columnCount(); ++column)
        hideColumn(column);
    m_pFolders->initialize();
}

void FileSystemTreeView::clear()
{
    clearSelection();
    clearFocus();
}

void FileSystemTreeView::copy(int)
{
    m_nOperation = file_operations_t::Copy;
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
    return runCopyJob(isFile ? dst.path() : path, OnCompleted::RelistPage);
}

bool FileSystemTreeView::copy_all()
{
    m_nOperation = file_operations_t::CopyAllResults;
    m_srcList = QStringList{ResultTree::modeFolder(theApp.m_CountingMode)};
    return paste_all();
}

bool FileSystemTreeView::paste_all()
{
    return runCopyJob(m_pFolders->m_dstPath, OnCompleted::FuncComplete);
}

bool FileSystemTreeView::paste(int row, bool intoRow)
{
    const QString name = m_pFolders->rowName(row);
    QString destination = m_pFolders->selectPath();
    if (intoRow && !name.isEmpty())
        destination += QLatin1Char('/') + name;
    return runCopyJob(destination, OnCompleted::Nothing);
}

void FileSystemTreeView::slotItemClicked(const QModelIndex& cur_node)
{
    const QFileSystemModel* model = m_pFolders->model();
    const bool isLeaf = model->filePath(cur_node.parent()) != model->rootPath();
    const QString path = platform::logicalPath(model->filePath(cur_node));
    if (!isLeaf)
        setExpanded(cur_node, !isExpanded(cur_node));
    emit signalItemClicked(path, isLeaf);
    if (cur_node != m_currentIndex) {
        m_currentIndex = cur_node;
        m_clickedPath = path;
        emit signalCurrentItemChanged(path, isLeaf);
    }
}

bool FileSystemTreeView::get_FileOperationDialog_status() const
{
    return m_FileOperationDlg.isRunning();
}

void FileSystemTreeView::slotRootIndexUpdate(const QString& new_path)
{
    setRootIndex(m_pFolders->model()->index(new_path));
    m_clickedPath.clear();
}

void FileSystemTreeView::slot_FuncComplete()
{
    emit signal_FuncComplete();
}

bool FileSystemTreeView::runCopyJob(const QString& destination, OnCompleted then)
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
    connect(worker, &FileOperator::signalSyncStart, box, &FileOperationDialog::slotSyncStart);
    connect(worker, &FileOperator::signalSyncPercentage, box, &FileOperationDialog::slotSyncPercentage);
    connect(worker, &FileOperator::signalCompleted, box, &FileOperationDialog::slotCompleted);
    connect(worker, &FileOperator::signalPasteError, box, &FileOperationDialog::slotPasteError);
    if (then == OnCompleted::RelistPage)
        connect(worker, &FileOperator::signalCompleted, m_pFolders, &ResultFolderModel::slotResetPage);
    else if (then == OnCompleted::FuncComplete)
        connect(worker, &FileOperator::signalCompleted, this, &FileSystemTreeView::slot_FuncComplete);
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    m_clickedPath.clear();
    worker->setData({m_nOperation, m_srcList});
    worker->setDst(QFileInfo(destination));
    worker->start(QThread::InheritPriority);

    box->initialize();
    if (then != OnCompleted::Nothing)
        box->raise();
    box->start();
    return box->exec() == QDialog::Accepted;
}
