#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace kovasim {

// The virtual instrument's USB sticks, in one simulated root folder.
//
// A stick is a folder <root>/run/kova-sim/usb/sticks/<name>. Inserting it
// links the device node <root>/dev/sdX1 to that folder and adds the udev-style
// link <root>/dev/disk/by-uuid/<UUID> -> ../../sdX1; pulling it removes both
// links and leaves any mount behind, as a real pull does. The root's mount and
// umount stand-ins (installStandIns) attach a stick as <root>/mnt and keep
// <root>/etc/mtab; every call they get is recorded (calls()). Faults: a mount
// that fails, a mount point that is busy, a stick that is full.
class UsbSticks
{
public:
    // `root` is the physical folder standing for "/".
    explicit UsbSticks(const QString& root);

    // Installs bin/mount, bin/umount and bin/mountpoint, an empty etc/mtab, the by-uuid folder
    // and the empty mount-point folder /mnt. False when a file cannot be written.
    bool installStandIns() const;

    // Plugs in the stick `name` (its folder is created when new) as `device`
    // (default: the next free /dev/sdX1) with `uuid` (default: derived from the
    // name). Returns the device node, or an empty string when it cannot.
    QString insert(const QString& name, QString device = QString(), QString uuid = QString()) const;
    // Pulls the stick, even while it is mounted. False when it is not plugged in.
    bool pull(const QString& name) const;
    // Makes the stick report `freeBytes` of free space (0: full).
    bool setFreeSpace(const QString& name, quint64 freeBytes) const;

    void setMountFails(bool fails) const;
    void setBusy(bool busy) const;

    // The folder holding the stick's files.
    QString stickFolder(const QString& name) const;
    // The device node of a plugged-in stick ("" when pulled).
    QString deviceOf(const QString& name) const;
    // The commands the stand-ins ran, one line each ("mount -outf8 /dev/sdb1 /mnt").
    QStringList calls() const;

private:
    QString physical(const QString& logical) const { return m_root + logical; }
    QString stateFolder() const;
    bool setFlag(const QString& flag, bool on) const;

    QString m_root;
};

}  // namespace kovasim
