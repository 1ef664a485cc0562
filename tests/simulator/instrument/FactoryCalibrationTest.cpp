#include "Camera/OV5642Camera.h"
#include "KovaCore/GlobalIni.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"
#include "KovaCore/MainSettings.h"
#include "VirtualInstrument.h"

#include "TempRoot.h"
#include "platform/Root.h"

#include <gtest/gtest.h>

#include <QSettings>

// The virtual instrument's factory calibration, read as the application reads
// it, must give the full-resolution count frame the light of the live view:
// the counting worker refuses full frames darker than the live reference.
TEST(FactoryCalibration, FullFrameHasThePreviewsLight)
{
    TempRoot root;
    kovasim::VirtualInstrument instrument(root.root());
    QString error;
    ASSERT_TRUE(instrument.assemble(kovasim::VirtualInstrument::Options(), &error)) << error.toStdString();

    QSettings settings(platform::rootPath(QString::fromLatin1(kova::kMainIni)), QSettings::IniFormat);
    MainSettings::IdleMinutes idle;
    MainSettings::read_INI(settings, idle);
    EXPECT_EQ(global_ini()->regTables[REG_TABLE_BFN][1][0], 0x03);
    EXPECT_EQ(global_ini()->regTables[REG_TABLE_BFN][1][1], 0xE8);
    EXPECT_EQ(global_ini()->regTables[REG_TABLE_BFN][2][0], 0x01);
    EXPECT_EQ(global_ini()->regTables[REG_TABLE_BFN][2][1], 0x04);

    int green[2] = {};
    const int modes[2] = {1, 2};
    for (int i = 0; i < 2; ++i) {
        OV5642Camera camera;
        ASSERT_TRUE(camera.open(modes[i], kova::kCalibrationBfnIni, false)) << modes[i];
        green[i] = camera.getGreenMean(camera.getFrame());
        camera.close();
    }
    EXPECT_GT(green[0], 100);
    EXPECT_NEAR(green[1], green[0], green[0] / 10);
}
