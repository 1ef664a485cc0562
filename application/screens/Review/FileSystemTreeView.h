#pragma once

#include "FileManager/ResultFolderModel.h"
#include "Review/FileOperationDialog.h"

#include <QFileInfo>
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
    // The next job copies `fi` (kept as it was when `fi` does not exist).
    void copy2(QFileInfo fi);
    // Copies the job into `dst` (the folder holding it, for a file); true
    // when the copy completed.
    bool paste2(QFileInfo dst);
    // Copies the mode's whole result folder, without its previous-counts
    // table, into the folder model's m_dstPath; true when it completed.
    bool copy_all();
    bool paste_all();

private:
    // `relist`: the current page is listed again once the copy completed.
    bool runCopyJob(const QString& destination, bool relist);

    ResultFolderModel* m_pFolders;
    int m_nOperation = file_operations_t::Copy;
    QStringList m_srcList;
    FileOperationDialog m_FileOperationDlg;
};
