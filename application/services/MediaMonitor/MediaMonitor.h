#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QFileSystemWatcher;

// Keeps one USB stick mounted at "/mnt" while sticks come and go and tells the
// screens through detectSignal: 0 once a stick is mounted there, 1 when no
// stick is available any more. Paths are logical (mapped under the instrument
// root); mount and umount run as external commands. Only a mount that mtab
// then lists counts as a stick.
//
// The application mounts with "-outf8" and unmounts a lost stick by the mount
// point; the verifier's build mounts without options and unmounts a lost
// stick by its device (unmount).
class MediaMonitor : public QObject
{
    Q_OBJECT

public:
    enum class Build { Application, Verifier };

    explicit MediaMonitor(QObject* parent = nullptr, Build build = Build::Application);
    ~MediaMonitor() override;

    // True while the stick last mounted is still plugged in and mounted.
    bool searchUSB();
    // Unmounts "/mnt" (the eject keys).
    void umount_usb();
    // Drops `device` from the stick list and unmounts it wherever it is
    // mounted, detaching it lazily when it is busy; the remembered stick stays.
    void unmount(QString device);

    // Free space of the file system holding `path`, in whole MiB; 0 when it
    // cannot be read.
    static float freeDiskSpace(QString path);
    // Whether the file `path` fits into the free space at `dst_path`; a file
    // that cannot be opened counts as empty.
    static bool enabletoExport(QString path, QString dst_path);

signals:
    void detectSignal(int _signal);

public slots:
    void directoryChanged(QString _dirPath);

private:
    void initialize();
    bool searchConnectedDevList(QStringList& list);
    bool checkMountedUSB(QString device);
    bool mount(QString device, QString mountPoint);
    void umount(QString path);
    void mountFirstStick();

    Build m_build;
    QFileSystemWatcher* m_pWatcher = nullptr;
    QStringList m_DeviceList;
    QString m_strCurrentDevice;
};

// The same figure as MediaMonitor::freeDiskSpace for a path given as bytes.
float getDiskFreeSpaceMB(char const* path);
