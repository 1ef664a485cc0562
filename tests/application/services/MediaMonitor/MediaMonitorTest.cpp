#include "MediaMonitor/MediaMonitor.h"

#include "platform/DiskSpace.h"
#include "TempRoot.h"
#include "UsbSticks.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSignalSpy>

#include <memory>
#include <vector>

namespace {

struct StickEvent
{
    enum Kind { Insert, Pull } kind;
    const char* name;
    const char* device = nullptr;  // default: the next free /dev/sdX1
};

// A simulated root with its sticks and a monitor watching them.
class StickBench
{
public:
    StickBench() { EXPECT_TRUE(sticks.installStandIns()); }

    void apply(const StickEvent& event)
    {
        if (event.kind == StickEvent::Insert)
            EXPECT_FALSE(sticks.insert(event.name, event.device).isEmpty()) << event.name;
        else
            EXPECT_TRUE(sticks.pull(event.name)) << event.name;
    }

    void start(MediaMonitor::Build build = MediaMonitor::Build::Application)
    {
        monitor = std::make_unique<MediaMonitor>(nullptr, build);
        detected = std::make_unique<QSignalSpy>(monitor.get(), &MediaMonitor::detectSignal);
        // Connected after the monitor's own slot: it fires once the monitor is done.
        changes = std::make_unique<QSignalSpy>(monitor->findChild<QFileSystemWatcher*>(),
                                               &QFileSystemWatcher::directoryChanged);
    }

    // One change of the sticks, handled by the monitor.
    void step(const StickEvent& event)
    {
        changes->clear();
        apply(event);
        EXPECT_TRUE(changes->wait(5000)) << "no change seen after " << event.name;
    }

    QList<int> signalsSent() const
    {
        QList<int> sent;
        for (const QList<QVariant>& arguments : *detected)
            sent << arguments.at(0).toInt();
        return sent;
    }

    // The device that mtab lists at /mnt ("" for none).
    QString mountedDevice() const
    {
        QString device;
        for (const QByteArray& line : root.readFile("/etc/mtab").split('\n')) {
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() > 1 && fields[1] == "/mnt")
                device = QString::fromUtf8(fields[0]);
        }
        return device;
    }

    // The internal mount-point folder is back: nothing attached at /mnt.
    bool mountPointIsInternalFolder() const
    {
        const QFileInfo mnt(root.path("/mnt"));
        return mnt.isDir() && !mnt.isSymLink();
    }

    TempRoot root;
    kovasim::UsbSticks sticks{root.root()};
    std::unique_ptr<MediaMonitor> monitor;
    std::unique_ptr<QSignalSpy> detected;
    std::unique_ptr<QSignalSpy> changes;
};

struct StickScenario
{
    const char* title;
    QByteArray mtab;                  // at start-up
    std::vector<StickEvent> atStart;  // plugged in before the monitor starts
    std::vector<StickEvent> steps;    // then one change at a time
    QList<int> detected;              // signals after start-up
    QStringList calls;                // every mount/umount, start-up included
    QString mountedAtEnd;
    MediaMonitor::Build build = MediaMonitor::Build::Application;
};

TEST(MediaMonitor, SticksComingAndGoing)
{
    using E = StickEvent;
    const std::vector<StickScenario> scenarios = {
        {"first stick is mounted", "", {}, {{E::Insert, "A"}}, {0}, {"mount -outf8 /dev/sda1 /mnt"}, "/dev/sda1"},
        {"removing the only stick", "", {}, {{E::Insert, "A"}, {E::Pull, "A"}}, {0, 1},
         {"mount -outf8 /dev/sda1 /mnt", "umount /mnt"}, ""},
        {"pulling the mounted one of two mounts the other", "", {},
         {{E::Insert, "A"}, {E::Insert, "B"}, {E::Pull, "A"}}, {0, 0},
         {"mount -outf8 /dev/sda1 /mnt", "umount /mnt", "mount -outf8 /dev/sdb1 /mnt"}, "/dev/sdb1"},
        {"a second stick while one is mounted is ignored", "", {}, {{E::Insert, "A"}, {E::Insert, "B"}}, {0},
         {"mount -outf8 /dev/sda1 /mnt"}, "/dev/sda1"},
        {"pulling the unmounted one of two changes nothing", "", {},
         {{E::Insert, "A"}, {E::Insert, "B"}, {E::Pull, "B"}}, {0}, {"mount -outf8 /dev/sda1 /mnt"}, "/dev/sda1"},
        {"other block devices are ignored", "", {},
         {{E::Insert, "card", "/dev/mmcblk0p1"}, {E::Insert, "disc", "/dev/sr0"}}, {}, {}, ""},
        {"a /dev/ub device is a stick", "", {}, {{E::Insert, "A", "/dev/uba1"}}, {0},
         {"mount -outf8 /dev/uba1 /mnt"}, "/dev/uba1"},
        {"a stick present at start-up is mounted", "", {{E::Insert, "A"}}, {}, {},
         {"mount -outf8 /dev/sda1 /mnt"}, "/dev/sda1"},
        {"/mnt twice in mtab at start-up: two unmounts first",
         "/dev/sdc1 /mnt vfat rw 0 0\n/dev/sdd1 /mnt vfat rw 0 0\n", {{E::Insert, "A"}}, {}, {},
         {"umount /mnt", "umount /mnt", "mount -outf8 /dev/sda1 /mnt"}, "/dev/sda1"},
        // The verifier's build: no mount options, a lost stick unmounted by its device.
        {"verifier: first stick is mounted", "", {}, {{E::Insert, "A"}}, {0}, {"mount /dev/sda1 /mnt"},
         "/dev/sda1", MediaMonitor::Build::Verifier},
        {"verifier: removing the only stick", "", {}, {{E::Insert, "A"}, {E::Pull, "A"}}, {0, 1},
         {"mount /dev/sda1 /mnt", "umount /dev/sda1"}, "", MediaMonitor::Build::Verifier},
        {"verifier: pulling the mounted one of two mounts the other", "", {},
         {{E::Insert, "A"}, {E::Insert, "B"}, {E::Pull, "A"}}, {0, 0},
         {"mount /dev/sda1 /mnt", "umount /dev/sda1", "mount /dev/sdb1 /mnt"}, "/dev/sdb1",
         MediaMonitor::Build::Verifier},
        {"verifier: /mnt twice in mtab at start-up", "/dev/sdc1 /mnt vfat rw 0 0\n/dev/sdd1 /mnt vfat rw 0 0\n",
         {{E::Insert, "A"}}, {}, {}, {"umount /mnt", "umount /mnt", "mount /dev/sda1 /mnt"}, "/dev/sda1",
         MediaMonitor::Build::Verifier},
    };

    for (const StickScenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.title);
        StickBench bench;
        bench.root.writeFile("/etc/mtab", scenario.mtab);
        for (const StickEvent& event : scenario.atStart)
            bench.apply(event);
        bench.start(scenario.build);
        for (const StickEvent& event : scenario.steps)
            bench.step(event);

        EXPECT_EQ(bench.signalsSent(), scenario.detected);
        EXPECT_EQ(bench.sticks.calls(), scenario.calls);
        EXPECT_EQ(bench.mountedDevice(), scenario.mountedAtEnd);
        EXPECT_EQ(bench.monitor->searchUSB(), !scenario.mountedAtEnd.isEmpty());
    }
}

TEST(MediaMonitor, FilesWrittenToMntLandOnTheMountedStick)
{
    StickBench bench;
    bench.start();
    bench.step({StickEvent::Insert, "A"});
    QFile file(bench.root.path("/mnt/result.csv"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("1,2\n");
    file.close();
    EXPECT_TRUE(QFileInfo::exists(bench.sticks.stickFolder("A") + "/result.csv"));
}

TEST(MediaMonitor, AFailedMountIsNeverReportedAsAStick)
{
    StickBench bench;
    bench.start();
    bench.sticks.setMountFails(true);
    bench.step({StickEvent::Insert, "A"});

    EXPECT_EQ(bench.signalsSent(), QList<int>{1});
    EXPECT_FALSE(bench.monitor->searchUSB());
    EXPECT_TRUE(bench.mountPointIsInternalFolder());

    // Plugged in again once the stick reads: mounted and reported.
    bench.sticks.setMountFails(false);
    bench.step({StickEvent::Pull, "A"});
    bench.step({StickEvent::Insert, "A"});
    EXPECT_EQ(bench.signalsSent().last(), 0);
    EXPECT_TRUE(bench.monitor->searchUSB());
}

TEST(MediaMonitor, AStickPulledWhileBusyLeavesNoStaleMount)
{
    StickBench bench;
    bench.start();
    bench.step({StickEvent::Insert, "A"});
    bench.sticks.setBusy(true);
    bench.step({StickEvent::Pull, "A"});

    EXPECT_EQ(bench.sticks.calls(),
              QStringList({"mount -outf8 /dev/sda1 /mnt", "umount /mnt", "umount -l /mnt"}));
    EXPECT_EQ(bench.mountedDevice(), QString());
    EXPECT_TRUE(bench.mountPointIsInternalFolder());
    EXPECT_EQ(bench.signalsSent(), QList<int>({0, 1}));
}

// The verifier's build: a failed mount is no stick either, a busy one is
// detached lazily, and a device the monitor does not know is unmounted all
// the same.
TEST(MediaMonitor, VerifierUnmountsByDevice)
{
    StickBench bench;
    bench.sticks.setMountFails(true);
    bench.apply({StickEvent::Insert, "A"});
    bench.start(MediaMonitor::Build::Verifier);
    EXPECT_FALSE(bench.monitor->searchUSB());
    EXPECT_TRUE(bench.mountPointIsInternalFolder());

    bench.sticks.setMountFails(false);
    bench.step({StickEvent::Pull, "A"});
    bench.step({StickEvent::Insert, "B", "/dev/sdb1"});
    EXPECT_TRUE(bench.monitor->searchUSB());
    bench.sticks.setBusy(true);
    bench.step({StickEvent::Pull, "B"});
    EXPECT_EQ(bench.sticks.calls(), QStringList({"mount /dev/sda1 /mnt", "mount /dev/sdb1 /mnt", "umount /dev/sdb1",
                                                 "umount -l /dev/sdb1"}));
    EXPECT_EQ(bench.mountedDevice(), QString());
    EXPECT_TRUE(bench.mountPointIsInternalFolder());
    EXPECT_EQ(bench.signalsSent(), QList<int>({1, 0, 1}));

    bench.sticks.setBusy(false);
    bench.monitor->unmount("/dev/sdz9");
    EXPECT_EQ(bench.sticks.calls().last(), QString("umount /dev/sdz9"));
}

TEST(MediaMonitor, AStickSwappedBetweenTwoLooksIsMounted)
{
    StickBench bench;
    bench.apply({StickEvent::Insert, "A"});
    bench.start();
    // Both changes before the monitor looks: as many sticks as before.
    bench.apply({StickEvent::Pull, "A"});
    bench.apply({StickEvent::Insert, "B"});  // sdb1: the stale mount still holds sda1
    bench.monitor->directoryChanged(QString());

    EXPECT_EQ(bench.signalsSent(), QList<int>{0});
    EXPECT_EQ(bench.mountedDevice(), QString("/dev/sdb1"));
}

TEST(MediaMonitor, EjectUnmountsTheMountPoint)
{
    StickBench bench;
    bench.apply({StickEvent::Insert, "A"});
    bench.start();
    bench.monitor->umount_usb();

    EXPECT_EQ(bench.sticks.calls().last(), QString("umount /mnt"));
    EXPECT_FALSE(bench.monitor->searchUSB());
    EXPECT_TRUE(bench.mountPointIsInternalFolder());
}

TEST(MediaMonitor, FreeSpaceAndExportAtTheMebibyteBoundary)
{
    struct Case
    {
        const char* title;
        quint64 freeBytes;
        qint64 fileBytes;  // -1: no such file
        float freeMiB;
        bool fits;
    };
    const Case cases[] = {
        {"exactly 1 MiB into 1 MiB", 1 << 20, 1 << 20, 1.0f, true},
        {"one byte more than is free", 1 << 20, (1 << 20) + 1, 1.0f, false},
        {"fractions of a MiB are dropped", (1 << 20) - 1, 1, 0.0f, false},
        {"an empty file fits a full stick", 0, 0, 0.0f, true},
        {"a missing file always fits", 0, -1, 0.0f, true},
        {"a large stick", quint64(7) << 30, 5 << 20, 7168.0f, true},
    };
    StickBench bench;
    bench.apply({StickEvent::Insert, "A"});
    bench.start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        ASSERT_TRUE(bench.sticks.setFreeSpace("A", c.freeBytes));
        QFile::remove(bench.root.path("/KOVA/file.pdf"));
        if (c.fileBytes >= 0)
            bench.root.writeFile("/KOVA/file.pdf", QByteArray(int(c.fileBytes), 'x'));
        EXPECT_EQ(MediaMonitor::freeDiskSpace("/mnt"), c.freeMiB);
        EXPECT_EQ(getDiskFreeSpaceMB("/mnt"), c.freeMiB);
        EXPECT_EQ(MediaMonitor::enabletoExport("/KOVA/file.pdf", "/mnt"), c.fits);
    }
}

TEST(MediaMonitor, FreeSpaceCountsTheSuperusersReserve)
{
    TempRoot root;
    root.writeFile("/KOVA/.keep", "");
    platform::DiskSpace space;
    space.blockSize = 4096;
    space.blocks = 100000;
    space.freeBlocks = 1024;       // 4 MiB
    space.availableBlocks = 256;   // 1 MiB
    ASSERT_TRUE(platform::setSimulatedDiskSpace(root.path("/KOVA"), space));
    EXPECT_EQ(MediaMonitor::freeDiskSpace("/KOVA"), 4.0f);
    EXPECT_EQ(MediaMonitor::freeDiskSpace("/KOVA/.keep"), 4.0f);
}

TEST(MediaMonitor, FreeSpaceOfAMissingPathIsNone)
{
    TempRoot root;
    EXPECT_EQ(MediaMonitor::freeDiskSpace("/mnt/no/such/folder"), 0.0f);
    root.writeFile("/KOVA/big.tif", QByteArray(10, 'x'));
    EXPECT_FALSE(MediaMonitor::enabletoExport("/KOVA/big.tif", "/mnt/no/such/folder"));
}

}  // namespace
