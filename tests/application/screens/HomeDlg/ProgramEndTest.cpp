#include "ProbeRun.h"
#include "TempRoot.h"
#include "UsbSticks.h"

#include <gtest/gtest.h>

namespace {

struct Road
{
    const char* name;
    int exitCode;
    bool poweredOff;  // systemctl poweroff ran, the display layer got "2"
    bool settingsWritten;
    bool handedOver;  // KovaShell.ini On=1, stick unmounted
};

TEST(ProgramEnd, EachRoadEndsWithItsWritesAndExitCode)
{
    const Road roads[] = {
        {"confirm", 1, true, true, false},
        {"idle", 1, true, true, false},
        {"launcher", 4, false, false, true},
    };
    for (const Road& road : roads) {
        SCOPED_TRACE(road.name);
        TempRoot root;
        kovasim::UsbSticks sticks(root.root());
        ASSERT_TRUE(sticks.installStandIns());
        ASSERT_FALSE(sticks.insert(QStringLiteral("stick")).isEmpty());
        root.writeScript("/bin/systemctl", "echo \"systemctl $*\" >> \"$(dirname \"$0\")/../systemctl.calls\"\n");
        root.writeScript("/opt/KOVA3/bin/KovaLoader", "exit 0\n");
        root.writeFile("/opt/KOVA3/conf/KovaShell.ini", "[ShellMode]\nOn=0\n");
        root.writeFile("/sys/module/disp/parameters/disp_layer_protect", "0");

        const ProbeRun run = runProbe(QStringLiteral(POWER_ROADS_PROBE), root, {QString::fromLatin1(road.name)});
        EXPECT_TRUE(run.exitedNormally);
        EXPECT_EQ(run.exitCode, road.exitCode);

        EXPECT_EQ(root.readFile("/systemctl.calls") == "systemctl poweroff\n", road.poweredOff);
        EXPECT_EQ(root.readFile("/sys/module/disp/parameters/disp_layer_protect") == "2", road.poweredOff);
        EXPECT_EQ(!root.readFile("/opt/KOVA3/conf/KOVA3.ini").isEmpty(), road.settingsWritten);
        EXPECT_EQ(root.readFile("/opt/KOVA3/conf/KovaShell.ini").contains("On=1"), road.handedOver);
        EXPECT_EQ(sticks.calls().contains(QStringLiteral("umount /mnt")), road.handedOver);
        if (road.handedOver) {
            EXPECT_FALSE(root.readFile("/etc/mtab").contains(" /mnt "));
        }
    }
}

}  // namespace
