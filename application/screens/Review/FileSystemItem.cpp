#include "Review/FileSystemItem.h"

#include "platform/Root.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>

namespace fs {

namespace {

// The entries an item lists: files and folders, no hidden ones.
QStringList entriesOf(const QString& logicalFolder)
{
    return QDir(platform::rootPath(logicalFolder))
        .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
}

bool underMedia(const QString& path)
{
    return path.startsWith(QLatin1String("/media"));
}

}  // namespace

FileSystemItem::FileSystemItem() : QTreeWidgetItem(0)
{
    clear();
}

FileSystemItem::~FileSystemItem()
{
    delete m_pWatcher;
}

void FileSystemItem::clear()
{
    m_Item = ItemRecord();
    delete m_pWatcher;
    m_pWatcher = nullptr;
}

void FileSystemItem::watch()
{
    if (m_pWatcher)
        return;
    m_pWatcher = new QFileSystemWatcher;
    m_pWatcher->addPath(platform::rootPath(m_Item.path));
    QObject::connect(m_pWatcher, &QFileSystemWatcher::directoryChanged, this,
                     [this](const QString&) { slotDirectoryChanged(m_Item.path); });
}

bool FileSystemItem::setRootPath(QString path)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return false;
    m_Item.path = path;
    m_Item.name = path == QLatin1String("/") ? path : path.mid(slash + 1);
    m_Item.valid = true;
    if (QFileInfo(platform::rootPath(path)).isFile()) {
        m_Item.type = 1;
    } else {
        m_Item.type = 0;
        if (!m_Item.listed) {
            if (underMedia(path))
                searchSubItem(this, false);
            m_Item.listed = true;
        }
    }
    setText(0, underMedia(path) ? m_Item.name : QStringLiteral("SSD"));
    return true;
}

void FileSystemItem::addItem(QString name)
{
    const QString path = m_Item.path + QLatin1Char('/') + name;
    const QFileInfo entry(platform::rootPath(path));
    if (!entry.exists())
        return;
    auto* item = new FileSystemItem;
    item->m_Item.path = path;
    item->m_Item.name = name;
    item->m_Item.type = entry.isDir() ? 0 : 1;
    item->m_Item.valid = true;
    item->setIcon(0, QIcon(entry.isDir() ? QStringLiteral(":/FileManager/folder.png")
                                         : QStringLiteral(":/FileManager/file.png")));
    item->setText(0, name);
    item->setSizeHint(0, QSize(80, 40));
    addChild(item);
    if (treeWidget() && item->m_Item.type == 1)
        item->setHidden(true);
}

void FileSystemItem::removeItem(QString name)
{
    for (int i = 0; i < childCount(); ++i) {
        if (child(i)->m_Item.name == name) {
            delete takeChild(i);
            return;
        }
    }
}

QStringList FileSystemItem::differ(QString path) const
{
    if (!QFileInfo(platform::rootPath(path)).isDir())
        return {};
    const QStringList entries = entriesOf(path);
    QStringList children;
    for (int i = 0; i < childCount(); ++i)
        children << child(i)->m_Item.name;
    QStringList changed;
    if (entries.size() > children.size()) {
        for (const QString& entry : entries)
            if (!children.contains(entry))
                changed << entry;
    } else if (entries.size() < children.size()) {
        for (const QString& name : children)
            if (!entries.contains(name))
                changed << name;
    }
    return changed;
}

void FileSystemItem::directoryChanged(DirectoryChangedAction action, QStringList names)
{
    if (action == DirectoryAdded) {
        for (const QString& name : names)
            addItem(name);
        m_Item.listed = true;
    } else if (action == DirectoryRemoved) {
        for (const QString& name : names)
            removeItem(name);
    }
}

void FileSystemItem::searchSubItem(FileSystemItem* item, bool)
{
    for (const QString& name : entriesOf(item->m_Item.path))
        item->addItem(name);
    if (item->m_Item.type == 0)
        item->watch();
}

FileSystemItem* FileSystemItem::child(int index) const
{
    return index >= 0 && index < childCount() ? static_cast<FileSystemItem*>(QTreeWidgetItem::child(index)) : nullptr;
}

void FileSystemItem::addChild(FileSystemItem* item)
{
    QTreeWidgetItem::addChild(item);
}

void FileSystemItem::slotDirectoryChanged(QString path)
{
    m_strChangedPath = path;
    slotDirectoryChangedTimer();
}

void FileSystemItem::slotDirectoryChangedTimer()
{
    const int entries = entriesOf(m_strChangedPath).size();
    directoryChanged(entries < childCount() ? DirectoryRemoved : DirectoryAdded, differ(m_strChangedPath));
}

void FileSystemItem::slotCurrentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem*)
{
    auto* item = dynamic_cast<FileSystemItem*>(current);
    if (!item || item->m_Item.listed)
        return;
    searchSubItem(item, false);
    item->m_Item.listed = true;
}

}  // namespace fs
