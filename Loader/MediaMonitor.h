#pragma once

#include <QThread>

#include <string>
#include <vector>

// The launcher's USB stick access: a short-lived object that finds the sticks,
// makes sure the first one is mounted at "/mnt" and reports the free space
// there. A thread object that is never started: it watches nothing and
// signals nothing; every call lists and checks afresh on the caller's thread,
// blocking it while the mount commands run. searchUSB reaches the listing
// and the checks through the virtual operations.
class MediaMonitor : public QThread
{
public:
    // Unit of getDiskFreeSpace.
    enum DataType { Bytes = 0, KiB = 1, MiB = 2, GiB = 3 };
    // Error of getDiskFreeSpace.
    enum ErrorTable_MediaMonitor { NoError = 0, SpaceUnreadable = 1 };

    explicit MediaMonitor(QObject* parent = nullptr) : QThread(parent) {}

    // Nothing to set up: every call finds what it needs afresh.
    void Init() {}

    // The first partitions of the USB disks ("/dev/sd*1"), sorted by name,
    // as logical paths. True when at least one is found.
    virtual bool serarchConnectedDevList(std::vector<std::string>& list);
    // True when `dir` is a mount point; a `mountpoint` that cannot run
    // counts as not mounted.
    virtual bool checkMountedUSB(const std::string& dir);
    // True when the mounted folder lists at least one (unhidden) entry, i.e.
    // the file system still answers.
    virtual bool checkMountedUSBSync(const std::string& dir);
    // Run `mount` / `umount`; true when the command could be started (its
    // outcome is seen by looking at the mount point).
    bool setMount(const std::string& device, const std::string& dir);
    bool setUnmount(const std::string& dir);

    // Finds the sticks; with `mount`, makes sure the first is mounted at
    // "/mnt" (mounting it, or remounting a mount that no longer answers).
    // True when a stick was found, whether or not the mount worked.
    virtual bool searchUSB(bool mount);

    // Free space available to users at "/mnt" in `unit`: 0 when nothing is
    // mounted there, 0 with SpaceUnreadable when it cannot be read.
    virtual float getDiskFreeSpace(DataType unit, ErrorTable_MediaMonitor& error);

    // Stores the pause flag; nothing in the launcher pauses on it.
    virtual void setPause(bool pause) { m_bPause = pause; }
    bool isPaused() const { return m_bPause; }

    // `text` without the runs of `c` at its end and its start.
    static std::string trim(std::string text, char c);

private:
    bool m_bPause = false;
};
