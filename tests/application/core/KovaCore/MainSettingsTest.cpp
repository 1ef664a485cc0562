#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/MainSettings.h"

#include "LogCapture.h"
#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QSettings>

#include <algorithm>
#include <functional>
#include <cmath>
#include <iterator>

namespace {

const QString kIni = QStringLiteral("/opt/KOVA3/conf/KOVA3.ini");

// An instrument root with a main settings file; reads go into theApp.
class MainSettingsTest : public ::testing::Test
{
protected:
    QString iniFile() const { return root.path(kIni); }

    // The toolkit caches a parsed file until its size or time stamp changes:
    // a comment line makes every rewrite longer than the last.
    void writeIni(const QByteArray& text)
    {
        const int padding = std::max(0, m_lastSize + 1 - (text.size() + 2));
        const QByteArray content = text + ";" + QByteArray(padding, '-') + "\n";
        m_lastSize = content.size();
        root.writeFile(kIni, content);
    }

    MainSettings::IdleMinutes read()
    {
        MainSettings::IdleMinutes idle{-1, -1};
        QSettings s(iniFile(), QSettings::IniFormat);
        MainSettings::read_INI(s, idle);
        return idle;
    }

    // One key of the file as the toolkit reads it back.
    QVariant stored(const QString& key) const
    {
        return QSettings(iniFile(), QSettings::IniFormat).value(key);
    }

    TempRoot root;

private:
    int m_lastSize = 0;
};

// The created file, byte for byte (the toolkit orders groups and keys by name).
const char kCreatedIni[] = R"([Calibration]
Last%20calibration=-
Last%20ref%20calibration=-
Z%20ref%202ch=32000
Z%20ref%20Reusable=32000
Z%20ref%20Validation=32000
Z%20reference=32000
Z%20reset%20pos=43000

[Cell%20counting]
Autofocused%20counting=On
Counting%20mode=0
Skip%20frame=1
Slide%20type=2

[Ch.%20BF]
Exposure=35
LED=225

[KOVA-III]
Auto%20shutdown%20enable=On
Auto%20shutdown%20time=8
Intercept=-3.0461858
Magnification=1.431
Serial=KO7-00-00000
Slope=0.98946396
Volume%20factor=0.48242

[Miscellaneous]
Save%20directory=KOVA

[Operating%20system]
CPU%20manufacturer="Allwinner Technology Co., Ltd"
CPU%20type=Dual-Core ARM Cortex-A7
Name=Linux kernel 3.4.103
RAM%20size=1 GB
Screen%20resolution=800 x 480

[Protocol]
BF%20Cell%20counting%20Viability=DEFAULT
BF%20Total%20cell%20counting=DEFAULT

[Save%20Review]
Base%20name=KOVA3
Save%20type=Manual
Scale%20bar=Off
Sequence%20count=1
Suffix%20type=Sequence

[Software]
Last%20update=-
Version%20FW=0.0.0
Version%20SW=0.0.0
)";

}  // namespace

TEST_F(MainSettingsTest, FirstStartCreatesTheFileAndReadsItBack)
{
    ASSERT_FALSE(QFileInfo::exists(iniFile()));
    {
        QSettings s(iniFile(), QSettings::IniFormat);
        ASSERT_TRUE(MainSettings::create_INI(s));
    }
    EXPECT_EQ(QString::fromLatin1(root.readFile(kIni)), QString::fromLatin1(kCreatedIni));

    const MainSettings::IdleMinutes idle = read();
    const KovaCoreApp& app = theApp;
    EXPECT_EQ(app.m_SerialNumber, "KO7-00-00000");
    EXPECT_EQ(app.m_fLensMagnification, 1.431);
    EXPECT_EQ(app.m_fVolumeFactor, 0.48242);
    EXPECT_EQ(app.m_fSlope, 0.98946396);
    EXPECT_EQ(app.m_fIntercept, -3.0461858);
    EXPECT_TRUE(app.m_bAutoShutdown);
    EXPECT_EQ(app.m_nAutoShutdownTime, 8);
    EXPECT_EQ(idle.limit, 480);
    EXPECT_EQ(idle.count, 0);
    EXPECT_EQ(global_ini()->LED, 225);
    EXPECT_EQ(app.m_CountingMode, 0);
    EXPECT_EQ(app.m_nSlideType, 2);
    EXPECT_EQ(app.m_nZstageCenterPos, 32000);
    EXPECT_EQ(app.m_nZstageCurrentPos, 32000);
    EXPECT_TRUE(app.m_bAutofocusedCounting);
    EXPECT_EQ(app.m_nSkipframe, 1);
    EXPECT_FALSE(app.m_SaveReview.m_bAutoSave);
    EXPECT_EQ(app.m_SaveReview.m_strBaseName, "KOVA3");
    EXPECT_EQ(app.m_SaveReview.m_strSuffixType, "Sequence");
    EXPECT_EQ(app.m_SaveReview.m_nSequenceCount, 1);
    EXPECT_FALSE(app.m_SaveReview.m_bEnableScaleBar);
    EXPECT_EQ(app.m_Calibration.Z_Reference, 32000);
    EXPECT_EQ(app.m_Calibration.Z_ResetPosition, 43000);
    EXPECT_EQ(app.m_Calibration.Last_calibration, "-");
    EXPECT_EQ(app.m_Calibration.Last_ref_calibration, "-");
    EXPECT_EQ(app.m_Calibration.Background_value, ", ");  // no register files yet
    EXPECT_EQ(app.m_strLastUpdate, "-");
    EXPECT_EQ(global_ini()->IQOQ.Last_update, "-");
    EXPECT_EQ(app.m_CurrentVersion, "1.0.2");
    EXPECT_EQ(global_ini()->IQOQ.SW_version, "1.0.2");
    EXPECT_EQ(global_ini()->IQOQ.CPU_manufacturer, "Allwinner Technology Co., Ltd");
    EXPECT_EQ(global_ini()->IQOQ.OS_name, "Linux kernel 3.4.103");
    // No protocol file exists yet: both load the DEFAULT values.
    EXPECT_EQ(app.m_strTotalProtocolName, "DEFAULT");
    EXPECT_EQ(app.m_strViabilityProtocolName, "DEFAULT");
    const auto& total = app.m_Loaded_Total_Protocol;
    EXPECT_EQ((std::vector<int>{total.min_search_size, total.max_search_size, total.cell_detection_sensitivity,
                                total.noise_reduction, total.dilution_factor}),
              (std::vector<int>{7, 24, 5, 5, 1}));
    const auto& viability = app.m_Loaded_Viability_Protocol;
    EXPECT_EQ((std::vector<int>{viability.min_search_size, viability.max_search_size,
                                viability.cell_detection_sensitivity, viability.live_cell_sensitivity,
                                viability.noise_reduction, viability.dilution_factor}),
              (std::vector<int>{7, 24, 5, 5, 5, 2}));
}

TEST_F(MainSettingsTest, MissingKeysTakeTheReadDefaults)
{
    writeIni("[KOVA-III]\nRunMode=1\n");
    theApp.m_bAutofocusDebug = true;
    theApp.m_bAutoExposureOn = true;
    read();
    const KovaCoreApp& app = theApp;
    EXPECT_EQ(app.m_SerialNumber, "KO3-00-00000");
    EXPECT_EQ(app.m_fLensMagnification, 1.46);
    EXPECT_EQ(app.m_fVolumeFactor, 0.48979);
    EXPECT_EQ(app.m_fSlope, 1.0);
    EXPECT_EQ(app.m_fIntercept, 0.0);
    EXPECT_EQ(app.m_nSkipframe, 5);
    EXPECT_EQ(app.m_nAutoShutdownTime, 8);
    EXPECT_EQ(global_ini()->LED, 225);
    EXPECT_FALSE(app.m_bAutofocusDebug);
    EXPECT_FALSE(app.m_bAutoExposureOn);
    EXPECT_TRUE(app.m_Network.m_bAutoIP);
    EXPECT_EQ(app.m_Network.m_listStaticIP, QStringList{"192.168.0.10"});
    EXPECT_EQ(app.m_Network.m_listStaticSubnet, QStringList{"255.255.255.0"});
    EXPECT_EQ(app.m_Network.m_listStaticGateway, QStringList{"192.168.0.1"});
    EXPECT_EQ(app.m_Network.m_strSSID, "");
    EXPECT_EQ(global_ini()->IQOQ.Screen_resolution, "800 x 480");
}

TEST_F(MainSettingsTest, NumbersAreRoundedHalfAwayFromZero)
{
    const struct { const char* magnification; const char* volume; const char* slope; const char* intercept;
                   double m, v, s, i; } cases[] = {
        {"1.43149", "0.48242", "0.98946396", "-3.0461858", 1.4315, 0.48242, 0.98946396, -3.0461858},
        {"1.23465", "0.000005", "0.123456785", "-3.04618585", 1.2347, 0.00001, 0.12345679, -3.0461859},
        {"2.00005", "0.48242", "1.5", "0.00000005", 2.0001, 0.48242, 1.5, 0.0000001},
    };
    for (const auto& c : cases) {
        writeIni(QByteArray("[KOVA-III]\nMagnification=") + c.magnification + "\nVolume%20factor=" + c.volume
                 + "\nSlope=" + c.slope + "\nIntercept=" + c.intercept + "\n");
        read();
        EXPECT_EQ(theApp.m_fLensMagnification, c.m) << c.magnification;
        EXPECT_EQ(theApp.m_fVolumeFactor, c.v) << c.volume;
        EXPECT_EQ(theApp.m_fSlope, c.s) << c.slope;
        EXPECT_EQ(theApp.m_fIntercept, c.i) << c.intercept;
    }
}

// The magnification divides into the pixel size of every measurement.
TEST_F(MainSettingsTest, UnusableMagnificationFallsBackToTheDefault)
{
    for (const char* value : {"0", "0.00004", "-1.431", "nan", "inf", "abc", "1e400"}) {
        writeIni(QByteArray("[KOVA-III]\nMagnification=") + value + "\n");
        read();
        EXPECT_EQ(theApp.m_fLensMagnification, 1.46) << value;
    }
}

// A number that does not mean what its key means (it would wrap, read as 0,
// or send the stage or the LED out of range) takes the default, and the
// default is what is written back.
TEST_F(MainSettingsTest, UnusableNumbersTakeTheirDefaults)
{
    const struct
    {
        const char* group;
        const char* key;
        const char* value;
        std::function<double()> loaded;
        double expected;
    } cases[] = {
        {"Ch.%20BF", "LED", "2147483648", [] { return global_ini()->LED; }, 225},
        {"Ch.%20BF", "LED", "256", [] { return global_ini()->LED; }, 225},
        {"Ch.%20BF", "LED", "-1", [] { return global_ini()->LED; }, 225},
        {"Ch.%20BF", "LED", "255", [] { return global_ini()->LED; }, 255},
        {"Ch.%20BF", "LED", "0", [] { return global_ini()->LED; }, 0},
        {"Calibration", "Z%20reference", "-2147483649", [] { return theApp.m_Calibration.Z_Reference; }, 32000},
        {"Calibration", "Z%20reference", "64001", [] { return theApp.m_Calibration.Z_Reference; }, 32000},
        {"Calibration", "Z%20reference", "64000", [] { return theApp.m_Calibration.Z_Reference; }, 64000},
        {"Calibration", "Z%20ref%202ch", "-5", [] { return theApp.m_Calibration.Z_Reference_2ch; }, 32000},
        {"Calibration", "Z%20ref%20Reusable", "1e9", [] { return theApp.m_Calibration.Z_Reference_Reusable; },
         32000},
        {"Calibration", "Z%20ref%20Validation", "x", [] { return theApp.m_Calibration.Z_Reference_Validation; },
         32000},
        {"Calibration", "Z%20reset%20pos", "99999", [] { return theApp.m_Calibration.Z_ResetPosition; }, 43000},
        {"KOVA-III", "Auto%20shutdown%20time", "abc", [] { return theApp.m_nAutoShutdownTime; }, 8},
        {"KOVA-III", "Auto%20shutdown%20time", "0", [] { return theApp.m_nAutoShutdownTime; }, 8},
        {"KOVA-III", "Auto%20shutdown%20time", "25", [] { return theApp.m_nAutoShutdownTime; }, 8},
        {"KOVA-III", "Auto%20shutdown%20time", " 24 ", [] { return theApp.m_nAutoShutdownTime; }, 24},
        {"KOVA-III", "Volume%20factor", "-0.48", [] { return theApp.m_fVolumeFactor; }, 0.48979},
        {"KOVA-III", "Volume%20factor", "0", [] { return theApp.m_fVolumeFactor; }, 0.48979},
        {"KOVA-III", "Slope", "-1", [] { return theApp.m_fSlope; }, 1.0},
        {"KOVA-III", "Slope", "nan", [] { return theApp.m_fSlope; }, 1.0},
        {"KOVA-III", "Intercept", "inf", [] { return theApp.m_fIntercept; }, 0.0},
        {"KOVA-III", "Intercept", "-3.5", [] { return theApp.m_fIntercept; }, -3.5},
        {"Cell%20counting", "Counting%20mode", "2", [] { return theApp.m_CountingMode; }, 0},
        {"Cell%20counting", "Counting%20mode", "1", [] { return theApp.m_CountingMode; }, 1},
        {"Cell%20counting", "Skip%20frame", "-1", [] { return theApp.m_nSkipframe; }, 5},
        {"Cell%20counting", "Slide%20type", "abc", [] { return theApp.m_nSlideType; }, 2},
        {"Save%20Review", "Sequence%20count", "100000", [] { return theApp.m_SaveReview.m_nSequenceCount; }, 1},
        {"Save%20Review", "Sequence%20count", "99999", [] { return theApp.m_SaveReview.m_nSequenceCount; }, 99999},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.group) + "/" + c.key + "=" + c.value);
        writeIni(QByteArray("[") + c.group + "]\n" + c.key + "=" + c.value + "\n");
        read();
        EXPECT_EQ(c.loaded(), c.expected);
        ASSERT_TRUE(MainSettings::before_loseINI());
        read();
        EXPECT_EQ(c.loaded(), c.expected);
    }
    // The idle limit follows the hours actually used.
    writeIni("[KOVA-III]\nAuto%20shutdown%20time=abc\n");
    EXPECT_EQ(read().limit, 8 * 60);
}

TEST_F(MainSettingsTest, SwitchesCompareExactly)
{
    const struct { const char* value; bool on; bool autoSave; bool autoIp; } cases[] = {
        {"On", true, false, false}, {"on", false, false, false}, {"ON", false, false, false},
        {"Off", false, false, false}, {"Auto", false, true, true}, {"auto", false, false, false},
    };
    for (const auto& c : cases) {
        const QByteArray v(c.value);
        writeIni("[KOVA-III]\nAuto%20shutdown%20enable=" + v + "\n[Cell%20counting]\nAutofocused%20counting=" + v
                 + "\n[Save%20Review]\nScale%20bar=" + v + "\nSave%20type=" + v + "\n[Network]\nGet%20IP%20settings="
                 + v + "\n");
        read();
        EXPECT_EQ(theApp.m_bAutoShutdown, c.on) << c.value;
        EXPECT_EQ(theApp.m_bAutofocusedCounting, c.on) << c.value;
        EXPECT_EQ(theApp.m_SaveReview.m_bEnableScaleBar, c.on) << c.value;
        EXPECT_EQ(theApp.m_SaveReview.m_bAutoSave, c.autoSave) << c.value;
        EXPECT_EQ(theApp.m_Network.m_bAutoIP, c.autoIp) << c.value;
    }
}

// A slide the settings page does not offer is the default slide, logged.
TEST_F(MainSettingsTest, SlideTypeChoosesTheFocusCentre)
{
    const QByteArray calibration =
        "[Calibration]\nZ%20ref%202ch=1002\nZ%20ref%20Reusable=1009\nZ%20ref%20Validation=1010\n";
    const struct { int written; int slide; int centre; } cases[] = {
        {2, 2, 1002}, {9, 9, 1009}, {10, 10, 1010}, {5, 2, 1002}, {0, 2, 1002}, {99, 2, 1002},
    };
    for (const auto& c : cases) {
        theApp.m_nZstageCenterPos = 4321;
        theApp.m_nZstageCurrentPos = 0;
        writeIni(calibration + "[Cell%20counting]\nSlide%20type=" + QByteArray::number(c.written) + "\n");
        LogCapture log;
        read();
        EXPECT_EQ(theApp.m_nSlideType, c.slide) << c.written;
        EXPECT_EQ(theApp.m_nZstageCenterPos, c.centre) << c.written;
        EXPECT_EQ(theApp.m_nZstageCurrentPos, c.centre) << c.written;
        EXPECT_EQ(log.contains("Slide type"), c.written != c.slide) << c.written;
    }
}

// The save settings as the settings page could have stored them, or their
// defaults, logged: a base name the page would not take made every automatic
// save fail ("BBB…_00001" cannot be created) or named it wrongly.
TEST_F(MainSettingsTest, SaveNamesAreReadByTheSettingsPageRule)
{
    const QByteArray sixteen = "ABCDEFGHIJKLMNOP";
    const struct
    {
        QByteArray suffix;  // as written; "" for no key
        QByteArray name;
        const char* loadedSuffix;
        QByteArray loadedName;
    } cases[] = {
        {"Sequence", QByteArray(300, 'B'), "Sequence", "KOVA3"},
        {"Sequence", sixteen, "Sequence", sixteen},
        {"Sequence", sixteen + "Q", "Sequence", "KOVA3"},
        {"TimeStamp", "Cell 1_", "TimeStamp", "Cell 1_"},
        {"TimeStamp", "Cell-1_x", "TimeStamp", "Cell-1_x"},
        {"TimeStamp", sixteen, "TimeStamp", sixteen},  // kept by the page on a switch from the sequence
        {"TimeStamp", sixteen + "Q", "TimeStamp", "KOVA3"},
        {"", sixteen, "Sequence", sixteen},
        {"Sequence", "a/b", "Sequence", "KOVA3"},
        {"Sequence", "..", "Sequence", "KOVA3"},
        {"Sequence", "\" Cells\"", "Sequence", "KOVA3"},
        {"Sequence", "\"Cells \"", "Sequence", "KOVA3"},
        {"Sequence", "\"  \"", "Sequence", "KOVA3"},
        {"Sequence", "", "Sequence", "KOVA3"},
        {"Sequence", "Zell\xe9n", "Sequence", "KOVA3"},
        {"timestamp", "Run", "Sequence", "Run"},
        {"Date", "Run", "Sequence", "Run"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(("suffix " + c.suffix + ", name " + c.name.left(20)).toStdString());
        QByteArray group = "[Save%20Review]\nBase%20name=" + c.name + "\n";
        if (!c.suffix.isEmpty())
            group += "Suffix%20type=" + c.suffix + "\n";
        writeIni(group);
        LogCapture log;
        read();
        EXPECT_EQ(theApp.m_SaveReview.m_strSuffixType, c.loadedSuffix);
        EXPECT_EQ(theApp.m_SaveReview.m_strBaseName, c.loadedName);
        EXPECT_EQ(log.contains("Base name"), c.loadedName != c.name);
        EXPECT_EQ(log.contains("Suffix type"), !c.suffix.isEmpty() && c.loadedSuffix != c.suffix);
        // The next write heals the file.
        ASSERT_TRUE(MainSettings::before_loseINI());
        EXPECT_EQ(stored("Save Review/Base name").toString(), c.loadedName);
        EXPECT_EQ(stored("Save Review/Suffix type").toString(), c.loadedSuffix);
    }
}

TEST_F(MainSettingsTest, RegisterFilesFillTheTables)
{
    // BFN with and without "0x", CUS with an oversized value, AutoExposure missing.
    root.writeFile("/opt/KOVA3/conf/Calibration_BFN.ini",
                   "[VGA]\n0x3501=0x01\n0x3405=ff\n[1280]\n0x3501=0x01\n0x3502=2A\n0x3400=0x0004\n"
                   "[5M]\n0x350A=0x12345\n0x350B=zz\n");
    root.writeFile("/opt/KOVA3/conf/Calibration_CUS.ini", "[1280]\n0x3501=0x00\n0x3502=0x9C\n[5M]\n0x3401=0x80\n");
    std::fill_n(g_RegIdx, kRegisterCount, 0);
    read();

    EXPECT_TRUE(std::equal(std::begin(kSensorRegisters), std::end(kSensorRegisters), g_RegIdx));
    const auto& t = global_ini()->regTables;
    uint16_t expected[3][3][kRegisterCount] = {};
    expected[REG_TABLE_BFN][REG_ROW_VGA][0] = 0x01;
    expected[REG_TABLE_BFN][REG_ROW_VGA][9] = 0xFF;
    expected[REG_TABLE_BFN][REG_ROW_1280][0] = 0x01;
    expected[REG_TABLE_BFN][REG_ROW_1280][1] = 42;
    expected[REG_TABLE_BFN][REG_ROW_1280][4] = 0x04;
    expected[REG_TABLE_BFN][REG_ROW_5M][2] = 0x2345;
    expected[REG_TABLE_CUS][REG_ROW_1280][1] = 0x9C;
    expected[REG_TABLE_CUS][REG_ROW_5M][5] = 0x80;
    for (int tb = 0; tb < 3; ++tb)
        for (int r = 0; r < 3; ++r)
            for (int i = 0; i < kRegisterCount; ++i)
                EXPECT_EQ(t[tb][r][i], expected[tb][r][i]) << tb << "/" << r << "/" << i;

    // Exposure high and low joined: "0x01" + "2A" and "0x00" + "0x9C".
    EXPECT_EQ(theApp.m_Calibration.Background_value, "0x012A, 0x009C");
}

TEST_F(MainSettingsTest, UpdateWritesTheCurrentValuesAndKeepsForeignKeys)
{
    writeIni("[KOVA-III]\nRunMode=2\n[Software]\nVersion%20QC=1.1\n[Ch.%20BF]\nExposure=77\n"
             "[Calibration]\nZ%20reset%20pos=41000\n[Miscellaneous]\nSave%20directory=X\n[Network]\nStatic%20IP=10.0.0.2\n");
    read();
    KovaCoreApp& app = theApp;
    app.m_SerialNumber = "KO7-12-34567";
    app.m_fLensMagnification = 1.4315;
    app.m_fVolumeFactor = 0.5;
    app.m_fSlope = 0.98946396;
    app.m_fIntercept = -3.0461858;
    app.m_bAutoShutdown = false;
    app.m_nAutoShutdownTime = 3;
    global_ini()->LED = 180;
    app.m_strTotalProtocolName = "PBMC";
    app.m_strViabilityProtocolName = "My cells";
    app.m_CountingMode = 1;
    app.m_nSlideType = 9;
    app.m_bAutofocusedCounting = false;
    app.m_nSkipframe = 4;
    app.m_SaveReview = {true, "Run", "TimeStamp", 17, true};
    app.m_Calibration.Z_Reference = 31000;
    app.m_Calibration.Z_Reference_2ch = 31002;
    app.m_Calibration.Z_Reference_Reusable = 31009;
    app.m_Calibration.Z_Reference_Validation = 31010;
    app.m_Calibration.Z_ResetPosition = 1;
    app.m_Calibration.Last_ref_calibration = "10 Dec 2026";
    app.m_Calibration.Last_calibration = "11 Dec 2026";
    global_ini()->IQOQ.Last_update = "09 Dec 2026";
    global_ini()->IQOQ.FW_version = "2.3";
    global_ini()->IQOQ.CPU_type = "changed in memory";

    {
        QSettings s(iniFile(), QSettings::IniFormat);
        s.beginGroup("Left open");
        ASSERT_TRUE(MainSettings::update_INI(s));
        EXPECT_TRUE(s.group().isEmpty());
    }

    const struct { const char* key; QVariant value; } written[] = {
        {"KOVA-III/Serial", "KO7-12-34567"},
        {"KOVA-III/Magnification", "1.4315"},
        {"KOVA-III/Volume factor", "0.5"},
        {"KOVA-III/Slope", "0.98946396"},
        {"KOVA-III/Intercept", "-3.0461858"},
        {"KOVA-III/Auto shutdown enable", "Off"},
        {"KOVA-III/Auto shutdown time", "3"},
        {"Ch. BF/LED", "180"},
        {"Protocol/BF Total cell counting", "PBMC"},
        {"Protocol/BF Cell counting Viability", "My cells"},
        {"Cell counting/Counting mode", "1"},
        {"Cell counting/Slide type", "9"},
        {"Cell counting/Autofocused counting", "Off"},
        {"Cell counting/Skip frame", "4"},
        {"Save Review/Save type", "Auto"},
        {"Save Review/Base name", "Run"},
        {"Save Review/Suffix type", "TimeStamp"},
        {"Save Review/Sequence count", "17"},
        {"Save Review/Scale bar", "On"},
        {"Calibration/Z reference", "31000"},
        {"Calibration/Z ref 2ch", "31002"},
        {"Calibration/Z ref Reusable", "31009"},
        {"Calibration/Z ref Validation", "31010"},
        {"Calibration/Last ref calibration", "10 Dec 2026"},
        {"Calibration/Last calibration", "11 Dec 2026"},
        {"Software/Last update", "09 Dec 2026"},
        {"Software/Version SW", "1.0.2"},
        {"Software/Version FW", "2.3"},
        {"Operating system/CPU type", "Dual-Core ARM Cortex-A7"},
        // Never written by the application: kept as they were.
        {"Calibration/Z reset pos", "41000"},
        {"Ch. BF/Exposure", "77"},
        {"Miscellaneous/Save directory", "X"},
        {"Network/Static IP", "10.0.0.2"},
        {"KOVA-III/RunMode", "2"},
        {"Software/Version QC", "1.1"},
    };
    for (const auto& w : written)
        EXPECT_EQ(stored(w.key).toString(), w.value.toString()) << w.key;
    EXPECT_FALSE(root.readFile(kIni).contains("Left")) << root.readFile(kIni).constData();

    // A second read brings the written values back.
    app.m_SaveReview = {};
    read();
    EXPECT_TRUE(app.m_SaveReview.m_bAutoSave);
    EXPECT_EQ(app.m_SaveReview.m_nSequenceCount, 17);
    EXPECT_EQ(app.m_fLensMagnification, 1.4315);
}

TEST_F(MainSettingsTest, BeforeLoseWritesTheMainFile)
{
    writeIni("[KOVA-III]\nSerial=KO7-00-00001\n");
    read();
    theApp.m_nSkipframe = 9;
    ASSERT_TRUE(MainSettings::before_loseINI());
    EXPECT_EQ(stored("Cell counting/Skip frame").toString(), "9");
    EXPECT_EQ(stored("KOVA-III/Serial").toString(), "KO7-00-00001");
}

TEST_F(MainSettingsTest, FailedWritesAreReported)
{
    // The folder of the file is a plain file: nothing can be written there.
    root.writeFile("/opt/KOVA3/conf/blocked", "x");
    const QString blocked = QStringLiteral("/opt/KOVA3/conf/blocked/KOVA3.ini");
    EXPECT_FALSE(MainSettings::before_loseINI(blocked));
    QSettings s(root.path(blocked), QSettings::IniFormat);
    EXPECT_FALSE(MainSettings::update_INI(s));
    EXPECT_FALSE(MainSettings::create_INI(s));
    EXPECT_EQ(root.readFile("/opt/KOVA3/conf/blocked"), "x");
}

TEST_F(MainSettingsTest, MalformedFileIsRewrittenClean)
{
    writeIni("[KOVA-III\nno equals sign\n=x\n[Ch.%20BF]\nLED=3\n");
    {
        QSettings s(iniFile(), QSettings::IniFormat);
        MainSettings::IdleMinutes idle;
        MainSettings::read_INI(s, idle);
        EXPECT_EQ(global_ini()->LED, 3);
        LogCapture log;
        EXPECT_TRUE(MainSettings::update_INI(s));
        EXPECT_FALSE(log.contains("cannot write"));
    }
    EXPECT_FALSE(root.readFile(kIni).contains("no equals sign"));
    EXPECT_TRUE(MainSettings::before_loseINI());
    EXPECT_EQ(stored("Ch. BF/LED").toString(), "3");
}

TEST_F(MainSettingsTest, NamedProtocolsLoadOrFallBackToDefault)
{
    root.writeFile("/opt/KOVA3/conf/PROTOCOL/TOTAL_CELL_COUNTING/My cells.ini",
                   "[Min.%20search%20size]\nSize=9\n[Dilution%20factor]\nValue=3\n");
    root.writeFile("/opt/KOVA3/conf/PROTOCOL/CELL_COUNTING_VIABILITY/DEFAULT.ini",
                   "[Live%20cell%20sensitivity]\nValue=42\n");  // kept as read: the engine bounds levels
    // What "../../x" would reach from the protocol folder, and what ".." names: never read.
    root.writeFile("/opt/KOVA3/conf/x.ini", "[Min.%20search%20size]\nSize=99\n");
    root.writeFile("/opt/KOVA3/conf/PROTOCOL/CELL_COUNTING_VIABILITY/...ini", "[Live%20cell%20sensitivity]\nValue=9\n");
    // Listed by the protocol screen as "x.ini" and "1.5 \u00b5m".
    root.writeFile("/opt/KOVA3/conf/PROTOCOL/TOTAL_CELL_COUNTING/x.ini.ini", "[Min.%20search%20size]\nSize=5\n");
    root.writeFile(QString::fromUtf8("/opt/KOVA3/conf/PROTOCOL/TOTAL_CELL_COUNTING/1.5 \u00b5m.ini"),
                   "[Dilution%20factor]\nValue=4\n");

    const struct { const char* total; const char* viability; const char* loadedTotal; int minSize; int dilution;
                   const char* loadedViability; } cases[] = {
        {"My cells", "Gone", "My cells", 9, 3, "DEFAULT"},
        {"../../x", "../DEFAULT", "DEFAULT", 7, 1, "DEFAULT"},
        {"x.ini", "..", "x.ini", 5, 1, "DEFAULT"},
        {"1.5 \\x00b5m", "DEFAULT", "1.5 \u00b5m", 7, 4, "DEFAULT"},
        {"", "DEFAULT", "DEFAULT", 7, 1, "DEFAULT"},
    };
    for (const auto& c : cases) {
        writeIni(QByteArray("[Protocol]\nBF%20Total%20cell%20counting=") + c.total
                 + "\nBF%20Cell%20counting%20Viability=" + c.viability + "\n");
        theApp.m_Loaded_Total_Protocol.gating_min_size = 11;
        read();
        EXPECT_EQ(theApp.m_strTotalProtocolName, c.loadedTotal) << c.total;
        EXPECT_EQ(theApp.m_Loaded_Total_Protocol.name, c.loadedTotal) << c.total;
        EXPECT_EQ(theApp.m_Loaded_Total_Protocol.min_search_size, c.minSize) << c.total;
        EXPECT_EQ(theApp.m_Loaded_Total_Protocol.max_search_size, 24) << c.total;
        EXPECT_EQ(theApp.m_Loaded_Total_Protocol.dilution_factor, c.dilution) << c.total;
        EXPECT_EQ(theApp.m_Loaded_Total_Protocol.gating_min_size, 11) << c.total;
        EXPECT_EQ(theApp.m_strViabilityProtocolName, c.loadedViability) << c.viability;
        EXPECT_EQ(theApp.m_Loaded_Viability_Protocol.live_cell_sensitivity, 42) << c.viability;
    }

    // The missing name is written back as DEFAULT.
    ASSERT_TRUE(MainSettings::before_loseINI());
    EXPECT_EQ(stored("Protocol/BF Total cell counting").toString(), "DEFAULT");

    // Factory reset: without the existence test the name stays, the values are DEFAULT.
    theApp.m_strViabilityProtocolName = "Gone";
    MainSettings::loadProtocols(false);
    EXPECT_EQ(theApp.m_strViabilityProtocolName, "Gone");
    EXPECT_EQ(theApp.m_Loaded_Viability_Protocol.name, "Gone");
    EXPECT_EQ(theApp.m_Loaded_Viability_Protocol.dilution_factor, 2);
}
