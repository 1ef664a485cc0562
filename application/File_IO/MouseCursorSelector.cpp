#include "File_IO/MouseCursorSelector.h"

#include "platform/Log.h"
#include "platform/Root.h"

#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QGuiApplication>

namespace {

// udev names both links of a mouse "...-mouse" and "...-event-mouse".
bool mousePresent()
{
    const QDir byId(platform::rootPath(QStringLiteral("/dev/input/by-id")));
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
    m_pWatcher->addPath(platform::rootPath(QStringLiteral("/dev/input/")));
    connect(m_pWatcher, &QFileSystemWatcher::directoryChanged, this, &MouseCursorSelector::slotDirectoryChanged);
    selectMouseCursorShape();
}

MouseCursorSelector::~MouseCursorSelector()
{
    delete m_pWatcher;
}

void MouseCursorSelector::slotDirectoryChanged()
{
    selectMouseCursorShape();
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
