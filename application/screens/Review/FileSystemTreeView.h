#pragma once

#include "FileManager/ResultFolderModel.h"
#include "Review/FileOperationDialog.h"

#include <QFileInfo>
#include <QPersistentModelIndex>
#include <QStringList>
#include <QTreeView>

// The review screen's browser of result folders (TREEVIEW_FILE): shows the
// folder model of ResultFolderModel (which pages it for the result list) and
// runs the copy jobs to the USB stick, each in its own copy worker while the
// progress box runs modally. Paths are logical.
class FileSystemTreeView : public QTreeView
{
    Q_OBJECT

public:
    explicit FileSystemTreeView(QWidget* parent = nullptr);
    ~FileSystemTreeView() override;

    ResultFolderModel* folders() const { return m_pFolders; }
    FileOperationDialog& progressDialog() { return m_FileOperationDlg; }

    // Only the name column, over the mode's result folder from page 1.
    void initialize();
    // No item selected and the keyboard focus given up.
    void clear();
    // The next job copies (not copying all results); the row is not used.
    void copy(int row);
    // The next job copies `fi` (kept as it was when `fi` does not exist).
    void copy2(QFileInfo fi);
    // Copies the job into `dst` (the folder holding it, for a file); true
    // when the copy completed. The current page is listed again afterwards.
    bool paste2(QFileInfo dst);
    // Copies the mode's whole result folder, without its previous-counts
    // table, into the folder model's m_dstPath; true when it completed, and
    // signal_FuncComplete then.
    bool copy_all();
    bool paste_all();
    // Copies the job into the browsed folder, or with `intoRow` into the
    // folder of row `row` there (the browsed folder when the row has no
    // name); true when it completed. The box is not raised and nothing
    // follows the completion.
    bool paste(int row, bool intoRow);

    // The path of the last item clicked; cleared when the browsed folder
    // changes and when a copy starts.
    QString clickedPath() const { return m_clickedPath; }
    // The progress box's running flag: set as a copy starts, cleared by an
    // error or the next copy's start (a completed copy leaves it set).
    bool get_FileOperationDialog_status() const;

public slots:
    // A click on an item: a top-level folder opens or closes, then
    // signalItemClicked, and signalCurrentItemChanged when it is not the
    // item clicked last.
    void slotItemClicked(const QModelIndex& cur_node);
    // The folder model's root moved to `new_path` (a path as the model has
    // it, under the instrument root): the view shows that folder and forgets
    // the item clicked last.
    void slotRootIndexUpdate(const QString& new_path);
    void slot_FuncComplete();

signals:
    // `isLeaf`: the item lies below a folder of the browsed one.
    void signalItemClicked(QString path, bool isLeaf);
    void signalCurrentItemChanged(QString path, bool isLeaf);
    void signal_FuncComplete();

private:
    // What a copy job's completion also reaches, besides the progress box.
    enum class OnCompleted { RelistPage, FuncComplete, Nothing };
    // The review screen's own jobs (not OnCompleted::Nothing) raise the box.
    bool runCopyJob(const QString& destination, OnCompleted then);

    ResultFolderModel* m_pFolders;
    int m_nOperation = file_operations_t::Copy;
    QStringList m_srcList;
    FileOperationDialog m_FileOperationDlg;
    QPersistentModelIndex m_currentIndex;
    QString m_clickedPath;
};
