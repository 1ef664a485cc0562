#pragma once

#include <QObject>

class QFileSystemWatcher;

// Shows the arrow pointer while a mouse is plugged in and hides it otherwise;
// acts on its own whenever an input device comes or goes.
class MouseCursorSelector : public QObject
{
    Q_OBJECT

public:
    explicit MouseCursorSelector(QObject* parent = nullptr);
    ~MouseCursorSelector() override;

    void selectMouseCursorShape();

public slots:
    void slotDirectoryChanged();

private:
    void watchInputFolders();

    QFileSystemWatcher* m_pWatcher = nullptr;
};
