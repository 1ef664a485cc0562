#include "MouseCursorSelector/MouseCursorSelector.h"

#include "platform/Log.h"
#include "platform/Root.h"

#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QGuiApplication>

namespace {

const QString kInput = QStringLiteral("/dev/input");
const QString kInputById = QStringLiteral("/dev/input/by-id");

// udev names both links of a mouse "...-mouse" and "...-event-mouse".
bool mousePresent()
{
    const QDir byId(platform::rootPath(kInputById));
    // Files as well as System: links to device nodes are "system" entries,
    // links whose target is a plain file (a simulated node) are not.
    const QFileInfoList entries = byId.entryInfoList(QDir::System | QDir::Files, QDir::Unsorted);
    for (const QFileInfo& entry : entries) {
        if (!entry.isSymLink())
            continue;
        KLOG << "----------------------" << entry.fileName();
        if (entry.fileName().endsWith(QLatin1String("mouse")))
            return true;
    }
    return false;
}

}  // namespace

MouseCursorSelector::MouseCursorSelector(QObject* parent)
    : QObject(parent)
    , m_pWatcher(new QFileSystemWatcher)
{
    connect(m_pWatcher, &QFileSystemWatcher::directoryChanged, this, &MouseCursorSelector::slotDirectoryChanged);
    watchInputFolders();
    selectMouseCursorShape();
}

MouseCursorSelector::~MouseCursorSelector()
{
    delete m_pWatcher;
}

void MouseCursorSelector::slotDirectoryChanged()
{
    watchInputFolders();
    selectMouseCursorShape();
}

// The kernel makes a device's node before udev makes its by-id link, so a
// change of /dev/input alone comes too early to see a new mouse; by-id is
// watched as well, from the moment it exists.
void MouseCursorSelector::watchInputFolders()
{
    const QStringList watched = m_pWatcher->directories();
    for (const QString& logical : {kInput, kInputById}) {
        const QString folder = platform::rootPath(logical);
        if (!watched.contains(folder) && QFileInfo(folder).isDir())
            m_pWatcher->addPath(folder);
    }
}

void MouseCursorSelector::selectMouseCursorShape()
{
    const QCursor* current = QGuiApplication::overrideCursor();
    const Qt::CursorShape shape = current ? current->shape() : Qt::ArrowCursor;
    if (mousePresent()) {
        if (shape == Qt::BlankCursor)
            QGuiApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
    } else if (shape != Qt::BlankCursor) {
        QGuiApplication::setOverrideCursor(QCursor(Qt::BlankCursor));
    }
}
