#include "MediaMonitor.h"

#include "TempRoot.h"
#include "UsbSticks.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

// The mount and umount calls the stand-ins received (mountpoint checks left out).
QStringList mountCalls(const kovasim::UsbSticks& sticks)
{
    QStringList calls = sticks.calls();
    calls.erase(std::remove_if(calls.begin(), calls.end(),
                               [](const QString& call) { return call.startsWith("mountpoint "); }),
                calls.end());
    return calls;
}

struct MonitorBench
{
    MonitorBench() { EXPECT_TRUE(sticks.installStandIns()); }
    TempRoot root;
    kovasim::UsbSticks sticks{root.root()};
    MediaMonitor monitor;
};

}  // namespace

TEST(LoaderMediaMonitor, MountsTheFirstStickOnlyWhenTheMountPointNeedsIt)
{
    struct Case
    {
        const char* name;
        QStringList devices;  // plugged in this order
        bool mountedBefore;   // /dev/sda1 already mounted at /mnt
        bool stickHasFiles;
        bool found;
        QStringList calls;
    };
    const Case cases[] = {
        {"no stick", {}, false, false, false, {}},
        {"unmounted", {"/dev/sda1"}, false, true, true, {"mount /dev/sda1 /mnt"}},
        {"mounted and answering", {"/dev/sda1"}, true, true, true, {}},
        {"mounted but empty", {"/dev/sda1"}, true, false, true, {"umount /mnt", "mount /dev/sda1 /mnt"}},
        {"two sticks", {"/dev/sdb1", "/dev/sda1"}, false, true, true, {"mount /dev/sda1 /mnt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MonitorBench bench;
        for (const QString& device : c.devices) {
            const QString name = device.mid(5);
            ASSERT_EQ(bench.sticks.insert(name, device), device);
            if (c.stickHasFiles)
                bench.root.writeFile("/run/kova-sim/usb/sticks/" + name + "/data.txt", "x");
        }
        if (c.mountedBefore) {
            ASSERT_TRUE(bench.monitor.setMount("/dev/sda1", "/mnt"));
            ASSERT_TRUE(bench.monitor.checkMountedUSB("/mnt"));
            bench.root.writeFile("/run/kova-sim/usb/calls", "");
        }

        EXPECT_EQ(bench.monitor.searchUSB(true), c.found);
        EXPECT_EQ(mountCalls(bench.sticks), c.calls);
        EXPECT_EQ(bench.monitor.checkMountedUSB("/mnt"), c.found);
    }
}

TEST(LoaderMediaMonitor, ListsFirstPartitionsInNameOrderWithoutMounting)
{
    MonitorBench bench;
    bench.sticks.insert("x", "/dev/sdc1");
    bench.sticks.insert("y", "/dev/sda1");
    bench.sticks.insert("z", "/dev/sdb2");  // not a first partition
    std::vector<std::string> list{"stale"};
    EXPECT_TRUE(bench.monitor.serarchConnectedDevList(list));
    EXPECT_EQ(list, (std::vector<std::string>{"/dev/sda1", "/dev/sdc1"}));
    EXPECT_TRUE(bench.monitor.searchUSB(false));
    EXPECT_TRUE(bench.sticks.calls().isEmpty());
}

// A mount check that cannot run says "not mounted", never "mounted".
TEST(LoaderMediaMonitor, AMountCheckThatCannotRunCountsAsNotMounted)
{
    TempRoot root;
    MediaMonitor monitor;
    EXPECT_FALSE(monitor.checkMountedUSB("/mnt"));
    root.writeScript("/bin/mountpoint", "echo \"mountpoint: $1: No such file or directory\" >&2\nexit 1\n");
    EXPECT_FALSE(monitor.checkMountedUSB("/mnt"));
}

TEST(LoaderMediaMonitor, FreeSpaceOfTheMountedStickInEachUnit)
{
    MonitorBench bench;
    MediaMonitor::ErrorTable_MediaMonitor error = MediaMonitor::SpaceUnreadable;
    EXPECT_EQ(bench.monitor.getDiskFreeSpace(MediaMonitor::KiB, error), 0.0f) << "nothing mounted";
    EXPECT_EQ(error, MediaMonitor::NoError);

    bench.sticks.insert("a");
    ASSERT_TRUE(bench.monitor.searchUSB(true));
    ASSERT_TRUE(bench.sticks.setFreeSpace("a", 2048 * 1024));
    const struct
    {
        MediaMonitor::DataType unit;
        float value;
    } cases[] = {
        {MediaMonitor::Bytes, 2097152.0f},
        {MediaMonitor::KiB, 2048.0f},
        {MediaMonitor::MiB, 2.0f},
        {MediaMonitor::GiB, 2.0f / 1024.0f},
    };
    for (const auto& c : cases) {
        error = MediaMonitor::SpaceUnreadable;
        EXPECT_FLOAT_EQ(bench.monitor.getDiskFreeSpace(c.unit, error), c.value) << c.unit;
        EXPECT_EQ(error, MediaMonitor::NoError);
    }
}

TEST(LoaderMediaMonitor, TrimDropsTheRunsOfTheCharacterAtBothEnds)
{
    const struct
    {
        std::string text;
        char c;
        std::string trimmed;
    } cases[] = {
        {"/dev/sda1\n", '\n', "/dev/sda1"},
        {"\n\n/dev/sda1\n\n", '\n', "/dev/sda1"},
        {"/dev/\nsda1", '\n', "/dev/\nsda1"},  // only the ends
        {"\n\n\n", '\n', ""},
        {"", '\n', ""},
        {" sdb1 ", '\n', " sdb1 "},
        {"xxsdb1x", 'x', "sdb1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MediaMonitor::trim(c.text, c.c), c.trimmed) << c.text;
}

TEST(LoaderMediaMonitor, ThePauseFlagIsOnlyStored)
{
    MediaMonitor monitor;
    monitor.Init();
    EXPECT_FALSE(monitor.isPaused());
    monitor.setPause(true);
    EXPECT_TRUE(monitor.isPaused());
    EXPECT_FALSE(monitor.isRunning()) << "never started";
    monitor.setPause(false);
    EXPECT_FALSE(monitor.isPaused());
}

// searchUSB goes through the virtual listing and checks, so a build that
// finds its sticks or mounts otherwise overrides only those.
TEST(LoaderMediaMonitor, SearchReachesTheListAndTheChecksThroughTheirOverrides)
{
    struct Scripted : MediaMonitor
    {
        bool serarchConnectedDevList(std::vector<std::string>& list) override
        {
            list = {"/dev/sdz1"};
            return true;
        }
        bool checkMountedUSB(const std::string&) override { return true; }
        bool checkMountedUSBSync(const std::string&) override { return false; }
    };
    MonitorBench bench;
    Scripted monitor;
    EXPECT_TRUE(monitor.searchUSB(true));
    EXPECT_EQ(mountCalls(bench.sticks), (QStringList{"umount /mnt", "mount /dev/sdz1 /mnt"}));
}
