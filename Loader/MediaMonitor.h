#pragma once

#include <string>
#include <vector>

// The launcher's USB stick access: a short-lived object that finds the sticks,
// makes sure the first one is mounted at "/mnt" and reports the free space
// there. It watches nothing and signals nothing; every call lists and checks
// afresh, blocking its caller while the mount commands run.
class MediaMonitor
{
public:
    // Unit of getDiskFreeSpace.
    enum DataType { Bytes = 0, KiB = 1, MiB = 2, GiB = 3 };
    // Error of getDiskFreeSpace.
    enum ErrorTable_MediaMonitor { NoError = 0, SpaceUnreadable = 1 };

    // The first partitions of the USB disks ("/dev/sd*1"), sorted by name,
    // as logical paths. True when at least one is found.
    bool serarchConnectedDevList(std::vector<std::string>& list);
    // True when `dir` is a mount point; a `mountpoint` that cannot run
    // counts as not mounted.
    bool checkMountedUSB(const std::string& dir);
    // True when the mounted folder lists at least one (unhidden) entry, i.e.
    // the file system still answers.
    bool checkMountedUSBSync(const std::string& dir);
    // Run `mount` / `umount`; true when the command could be started (its
    // outcome is seen by looking at the mount point).
    bool setMount(const std::string& device, const std::string& dir);
    bool setUnmount(const std::string& dir);

    // Finds the sticks; with `mount`, makes sure the first is mounted at
    // "/mnt" (mounting it, or remounting a mount that no longer answers).
    // True when a stick was found, whether or not the mount worked.
    bool searchUSB(bool mount);

    // Free space available to users at "/mnt" in `unit`: 0 when nothing is
    // mounted there, 0 with SpaceUnreadable when it cannot be read.
    float getDiskFreeSpace(DataType unit, ErrorTable_MediaMonitor& error);
};
