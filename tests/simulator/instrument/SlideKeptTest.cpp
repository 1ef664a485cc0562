#include "VirtualInstrument.h"

#include "TempRoot.h"

#include <gtest/gtest.h>

// Another slide put under the camera stays across starts of the virtual
// instrument: its image and its description are the user's, like a
// calibration made on the root.
TEST(VirtualInstrumentSlide, AStartKeepsTheSlideOfTheRoot)
{
    TempRoot root;
    root.writeFile("/sim/slide.png", "the user's image");
    root.writeFile("/sim/slide.txt", "image=/sim/other.png\nfocus=30000\n");
    root.writeFile("/opt/KOVA3/conf/Calibration_BFN.ini", "[1280]\n0x3501=0x02\n");
    kovasim::VirtualInstrument instrument(root.root());
    QString error;
    ASSERT_TRUE(instrument.assemble(kovasim::VirtualInstrument::Options(), &error)) << error.toStdString();
    EXPECT_EQ(root.readFile("/sim/slide.png"), "the user's image");
    EXPECT_EQ(root.readFile("/sim/slide.txt"), "image=/sim/other.png\nfocus=30000\n");
    EXPECT_EQ(root.readFile("/opt/KOVA3/conf/Calibration_BFN.ini"), "[1280]\n0x3501=0x02\n");
    EXPECT_FALSE(root.readFile("/opt/KOVA3/conf/Calibration_CUS.ini").isEmpty()) << "the missing one is made";
}
