#include "Settings/VerifierSettings.h"

#include "KovaCore/GlobalIni.h"
#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>

#include <cmath>
#include <limits>

namespace {

const QString kMainIni = QStringLiteral("/opt/KOVA3/conf/KOVA3.ini");
const QString kCus = QStringLiteral("/opt/KOVA3/conf/Calibration_CUS.ini");
const QString kBfn = QStringLiteral("/opt/KOVA3/conf/Calibration_BFN.ini");

QByteArray golden(const char* name)
{
    QFile file(QStringLiteral(KOVA_FIXTURES "/verifier/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("missing fixture");
}

class VerifierSettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::copy(std::begin(kSensorRegisters), std::end(kSensorRegisters), g_RegIdx);
        *verifier::global_ini() = verifier::global_ini_s();
    }

    // Runs one save on KOVA3.ini as the window does and syncs it.
    template <class Write>
    void save(Write write)
    {
        QSettings kova3(root.path(kMainIni), QSettings::IniFormat);
        write(kova3);
        verifier::writeVersion(kova3, QStringLiteral("0.0.2"));
        kova3.sync();
        ASSERT_EQ(kova3.status(), QSettings::NoError);
    }

    void read()
    {
        QSettings kova3(root.path(kMainIni), QSettings::IniFormat);
        verifier::readSettings(kova3);
    }

    TempRoot root;
};

}  // namespace

// The stage tab: step and speed in the verifier's stage file, the reference
// and the references derived from it in KOVA3.ini, beside what it held.
TEST_F(VerifierSettingsTest, StageSaveWritesTheReferences)
{
    root.writeFile(kMainIni, "[KOVA-III]\nSerial=KO3-01-00002\n");
    auto* record = verifier::global_ini();
    record->nZ_step = 128;
    record->nZ_speed = 5;
    record->nZ_reference = 31000;
    QString failed;
    save([&](QSettings& kova3) { EXPECT_TRUE(verifier::writeStageSettings(kova3, &failed)); });
    EXPECT_EQ(root.readFile(verifier::kStageIni), golden("stage-Kova2.ini"));
    EXPECT_EQ(root.readFile(kMainIni), golden("stage-KOVA3.ini"));
}

// A reference read unchecked from the file (the fuzzer's find) derives the
// references past int without wrapping them.
TEST_F(VerifierSettingsTest, StageSaveOfTheLargestReferenceDoesNotWrap)
{
    root.writeFile(kMainIni, "[Calibration]\nZ reference=2147483647\n");
    read();
    save([&](QSettings& kova3) { EXPECT_TRUE(verifier::writeStageSettings(kova3, nullptr)); });
    const QSettings kova3(root.path(kMainIni), QSettings::IniFormat);
    EXPECT_EQ(kova3.value("Calibration/Z reference").toString(), "2147483647");
    EXPECT_EQ(kova3.value("Calibration/Z ref 2ch").toString(), "2147486207");
    EXPECT_EQ(kova3.value("Calibration/Z ref Reusable").toString(), "2147488767");
}

// The camera tab: 30 registers in each file, each value "0x%02X", and the LED.
TEST_F(VerifierSettingsTest, CameraSaveWritesBothRegisterFiles)
{
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < kRegisterCount; ++column) {
            ::global_ini()->regTables[REG_TABLE_CUS][row][column] = static_cast<uint16_t>(row * 16 + column);
            ::global_ini()->regTables[REG_TABLE_BFN][row][column] = static_cast<uint16_t>(500 + row * 10 + column);
        }
    }
    ::global_ini()->regTables[REG_TABLE_CUS][0][0] = 15;
    ::global_ini()->LED = 321;
    QString failed;
    save([&](QSettings& kova3) { EXPECT_TRUE(verifier::writeCameraSettings(kova3, &failed)); });
    EXPECT_EQ(root.readFile(kCus), golden("Calibration_CUS.ini"));
    EXPECT_EQ(root.readFile(kBfn), golden("Calibration_BFN.ini"));
    EXPECT_EQ(root.readFile(kMainIni), golden("cam-KOVA3.ini"));
}

// The QC tab: the serial with its zeros, magnification and volume factor
// rounded, and never a value that no measurement gave.
TEST_F(VerifierSettingsTest, QcSaveWritesSerialAndMeasuredValues)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double magnification, volume;
        const char* fixture;
    } cases[] = {
        {1.43149, 0.482424, "qc-KOVA3.ini"},
        {1.43149, 0.0, "qc-unmeasured-KOVA3.ini"},
        {0.0, 0.482424, "qc-unmeasured-KOVA3.ini"},
        {nan, 0.482424, "qc-unmeasured-KOVA3.ini"},
        {1.43149, inf, "qc-unmeasured-KOVA3.ini"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture + std::to_string(c.magnification) + " " + std::to_string(c.volume));
        QFile::remove(root.path(kMainIni));
        auto* record = verifier::global_ini();
        record->System.Magnification = c.magnification;
        record->System.Volume_factor = c.volume;
        record->nSkip_frame = 12;
        save([](QSettings& kova3) { verifier::writeQcSettings(kova3, 3, 42); });
        EXPECT_EQ(root.readFile(kMainIni), golden(c.fixture));
    }
}

// What the files hold, and the defaults for what they do not.
TEST_F(VerifierSettingsTest, ReadsValuesAndDefaults)
{
    root.writeFile(kMainIni,
                   "[Cell%20counting]\nSkip%20frame=abc\n[Ch.%20BF]\nLED=700\n[KOVA-III]\nZig%20mode=on\n"
                   "Magnification=x\nVolume%20factor=0.5\nSerial=KO3-07-01234\n");
    root.writeFile(verifier::kStageIni, "[Z%20stage]\nStep=12ab\n");
    root.writeFile(kCus, "[VGA]\n0x3501=1F\n0x3502=0x0A\n0x350A=zz\n");
    read();
    const auto* record = verifier::global_ini();
    EXPECT_EQ(record->nSkip_frame, 0);
    EXPECT_EQ(::global_ini()->LED, 700);
    EXPECT_FALSE(record->bZig_mode) << "only \"On\" is Zig mode";
    EXPECT_EQ(record->System.Magnification, 0.0);
    EXPECT_EQ(record->System.Volume_factor, 0.5);
    EXPECT_EQ(record->serial, "KO3-07-01234");
    EXPECT_EQ(record->nZ_step, 12);
    EXPECT_EQ(record->nZ_speed, 250);
    EXPECT_EQ(record->nZ_reference, 32000);
    const auto& cus = ::global_ini()->regTables[REG_TABLE_CUS];
    EXPECT_EQ(cus[REG_ROW_VGA][0], 0x1F);
    EXPECT_EQ(cus[REG_ROW_VGA][1], 0x0A);
    EXPECT_EQ(cus[REG_ROW_VGA][2], 0) << "no hexadecimal digit";
    for (int column = 0; column < kRegisterCount; ++column)
        EXPECT_EQ(cus[REG_ROW_5M][column], 0) << "no group 5M";

    QFile::remove(root.path(kMainIni));
    QFile::remove(root.path(verifier::kStageIni));
    read();
    EXPECT_TRUE(record->bZig_mode) << "missing means Zig mode";
    EXPECT_EQ(record->nSkip_frame, 5);
    EXPECT_EQ(::global_ini()->LED, 225);
    EXPECT_EQ(record->nZ_step, 256);
    EXPECT_EQ(record->System.Magnification, 1.431);
    EXPECT_EQ(record->System.Volume_factor, 0.48242);
    EXPECT_EQ(record->serial, "KO3-00-00000");
}

// A file that cannot be written is named, and nothing after it is written.
TEST_F(VerifierSettingsTest, AnUnwritableFileIsNamed)
{
    // A folder where the stage file should be: it cannot be written.
    QDir().mkpath(root.path(verifier::kStageIni));
    QString failed;
    QSettings kova3(root.path(kMainIni), QSettings::IniFormat);
    EXPECT_FALSE(verifier::writeStageSettings(kova3, &failed));
    EXPECT_EQ(failed, verifier::kStageIni);
    EXPECT_FALSE(kova3.contains(QStringLiteral("Calibration/Z reference")));

    QDir().mkpath(root.path(kBfn));
    EXPECT_FALSE(verifier::writeCameraSettings(kova3, &failed));
    EXPECT_EQ(failed, kBfn);
}
