#pragma once

#include <QFileInfo>
#include <QFileInfoList>
#include <QObject>
#include <QString>

class QFileSystemModel;
class QFileSystemWatcher;

// The folders of the stored results as the review screen pages through them:
// the result folder of theApp's counting mode on the internal storage, or a
// USB stick's folders at "/mnt". A page holds 7 folders, or 500 on the stick.
// The folder model loads asynchronously: a page asked for at once may come
// incomplete, and every finished load lists the current page again (sorted
// by name) through sigPagecomplete. Paths handed on are logical; the folder
// model itself works on the mapped ones.
class ResultFolderModel : public QObject
{
    Q_OBJECT

public:
    static constexpr int kPageSize = 7;
    static constexpr int kMediaPageSize = 500;

    explicit ResultFolderModel(QObject* parent = nullptr);
    ~ResultFolderModel() override;

    // Folders only, the model root at the browsed folder.
    QFileSystemModel* model() const { return m_pModel; }

    // Browses the mode's result folder (made when missing) from page 1.
    void initialize();
    // Lists page n (from 1) of the browsed folder: sigPagecomplete with its
    // folders and the page count, or nothing for a page past the end.
    void page(int n);
    // Sets the model root to the browsed folder again; a load relists.
    void page2();
    // Whether a path lies on the USB stick ("/mnt" or below).
    static bool isMedia(QString path);
    // The browsed folder's entry in row `row` of the model, and its name
    // alone ("" past the last row).
    QString currentItemPath(int row) const;
    QString rowName(int row) const;
    // Removes a result folder with everything in it (a link to one: the link
    // alone), when it exists.
    void erase2(QFileInfo fi);
    // Removes the folder of row `row` of the browsed folder with everything
    // in it (a link to one: the link alone), when it exists.
    void erase(int row);
    // Removes a file, or a folder with everything in it (a link: the link
    // alone); the outcome is logged only.
    void erase(QFileInfo fi);
    // Removes everything in the mode's internal result folder, whatever is
    // browsed (links alone).
    void erase_all();

    QString localDisk() const { return m_localDisk.filePath(); }
    QString selectPath() const { return m_selectpath; }
    QFileInfoList diskList() const { return m_diskList; }
    // Adds a storage root unless one of the same path is listed.
    void insertDiskList(QFileInfo fi);

    // Set by the review screen before a copy of all results or a deletion.
    QString m_dstPath;
    int m_nCurrentPage = 1;  // the page a finished load lists again

public slots:
    // Lists page m_nCurrentPage again, sorted by name.
    void slotResetPage();
    // The storage list: the internal result folder, then the folders in `path`.
    void slotResetDiskList(QString path);
    // Browses "USB" ("/mnt") or "Internal\nStorage" from page 1; then
    // signalSetDiskSpace with the new root ("" for any other name).
    void slotResetList3(QString select);
    // As slotResetList3, by storage list entry: with `order` 0 the internal
    // folder when `select` is "Internal Storage" (a blank, not a line
    // break), otherwise the last listed root whose name is `select`.
    void slotResetList2(int order, QString select);

signals:
    void sigPagecomplete(QFileInfoList list, int totalpage);
    void signalCreateDiskList(QFileInfoList list);
    void signalSetDiskSpace(QString dir);

private:
    // Lists page n of the model root, as it stands.
    void listPage(int n);
    // Browses `newRoot` from page 1 when it is not empty; then signalSetDiskSpace with it.
    void browse(const QString& newRoot);

    QFileSystemModel* m_pModel;
    QFileSystemWatcher* m_pWatcher;
    QFileInfo m_localDisk;  // the mode's internal result folder
    QString m_selectpath;   // the browsed folder
    QFileInfoList m_diskList;
};
