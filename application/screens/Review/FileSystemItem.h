#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTreeWidgetItem>

class QFileSystemWatcher;

namespace fs {

enum DirectoryChangedAction { DirectoryAdded = 0, DirectoryRemoved = 1 };

// What an item mirrors of the file system.
struct ItemRecord
{
    QString path;  // logical
    QString name;  // the last component, "/" for the root
    int type = -1;  // -1 none, 0 folder, 1 file
    bool listed = false;  // the folder's entries were added as children
    bool valid = false;   // built from an existing entry
};

// A tree item that mirrors a folder: its entries become child items (files
// hidden in a tree widget, folders shown), and once listed it follows the
// folder, adding and removing children as entries come and go. A folder is
// watched only once it is listed, so a large folder does not open a watch
// for every child. Paths are logical.
class FileSystemItem : public QObject, public QTreeWidgetItem
{
    Q_OBJECT

public:
    FileSystemItem();
    ~FileSystemItem() override;

    // Makes the item the root for `path`: its text is the last component
    // under "/media", else "SSD"; a folder under "/media" is listed at once.
    // False, nothing changed, for a path without "/".
    bool setRootPath(QString path);
    // Adds the child for the entry `name` of the item's folder, when it exists.
    void addItem(QString name);
    // Removes and deletes the child of that name.
    void removeItem(QString name);
    // The names added to (more entries than children) or removed from (fewer)
    // the folder at `path` against the children; empty for equal counts.
    QStringList differ(QString path) const;
    void directoryChanged(DirectoryChangedAction action, QStringList names);
    // Lists the entries of `item`'s folder as its children and follows it.
    void searchSubItem(FileSystemItem* item, bool);

    FileSystemItem* child(int index) const;
    void addChild(FileSystemItem* item);
    QString filePath() const { return m_Item.path; }
    ItemRecord item() const { return m_Item; }
    void clear();

public slots:
    void slotDirectoryChanged(QString path);
    void slotDirectoryChangedTimer();
    // For a tree's current-item signal: lists an item the first time it is current.
    void slotCurrentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);

private:
    // Watches the item's folder from now on.
    void watch();

    ItemRecord m_Item;
    QFileSystemWatcher* m_pWatcher = nullptr;  // owned; folders only
    QString m_strChangedPath;
};

}  // namespace fs
