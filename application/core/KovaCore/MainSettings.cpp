#include "KovaCore/MainSettings.h"

#include "File_IO/ini.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"
#include "platform/Log.h"
#include "platform/Root.h"

#include <QFileInfo>
#include <QSettings>
#include <QVariant>

#include <climits>
#include <cmath>
#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <iterator>

namespace {

const QString kSoftwareVersion = QStringLiteral(KOVA3_VERSION);
const QString kDefaultProtocol = QStringLiteral("DEFAULT");
constexpr double kDefaultMagnification = 1.46;

// What the numbers of the file may mean: the LED's brightness levels, the
// stage's travel in motor steps, the idle hours the settings page offers, the
// five digits of a file's sequence number and a green level of a frame.
constexpr int kMaxLed = 255;
constexpr int kStageTravel = 64000;
constexpr int kMinShutdownHours = 1;
constexpr int kMaxShutdownHours = 24;
constexpr int kMaxSequence = 99999;
constexpr int kMaxGreenLevel = 255;

const QString kOn = QStringLiteral("On");
const QString kOff = QStringLiteral("Off");
const QString kAuto = QStringLiteral("Auto");
const QString kManual = QStringLiteral("Manual");
const QString kSequence = QString::fromLatin1(SaveReview_s::kSequence);

QString onOff(bool on)
{
    return on ? kOn : kOff;
}

// The operating-system facts are constants of the instrument: created, read
// (as the default) and written back alike.
struct OsKey
{
    const char* key;
    const char* value;
    QString IQOQ_s::*field;
};
const OsKey kOperatingSystem[] = {
    {"CPU manufacturer", "Allwinner Technology Co., Ltd", &IQOQ_s::CPU_manufacturer},
    {"CPU type", "Dual-Core ARM Cortex-A7", &IQOQ_s::CPU_type},
    {"RAM size", "1 GB", &IQOQ_s::RAM_size},
    {"Screen resolution", "800 x 480", &IQOQ_s::Screen_resolution},
    {"Name", "Linux kernel 3.4.103", &IQOQ_s::OS_name},
};

// Groups are entered and left by each writer, so a group left open by the
// caller never prefixes a key.
class Group
{
public:
    Group(QSettings& s, const char* name)
        : m_s(s)
    {
        m_s.beginGroup(QLatin1String(name));
    }
    ~Group() { m_s.endGroup(); }
    Group(const Group&) = delete;
    Group& operator=(const Group&) = delete;

    void set(const char* key, const QVariant& value) { m_s.setValue(QLatin1String(key), value); }
    QVariant get(const char* key, const QVariant& fallback) const { return m_s.value(QLatin1String(key), fallback); }
    QString text(const char* key, const QString& fallback) const { return get(key, fallback).toString(); }

    // A whole number in [minimum, maximum]; a missing key gives `fallback`,
    // and so, logged, does a value that is no such number (it would wrap or
    // read as 0 otherwise).
    int number(const char* key, int fallback, int minimum = INT_MIN, int maximum = INT_MAX) const
    {
        if (!m_s.contains(QLatin1String(key)))
            return fallback;
        bool ok = false;
        const qlonglong value = text(key, QString()).trimmed().toLongLong(&ok);
        if (ok && value >= minimum && value <= maximum)
            return static_cast<int>(value);
        reject(key, fallback);
        return fallback;
    }

    // One of `allowed`; as number() for a missing key or any other value.
    int choice(const char* key, int fallback, std::initializer_list<int> allowed) const
    {
        const int value = number(key, fallback);
        if (std::find(allowed.begin(), allowed.end(), value) != allowed.end())
            return value;
        reject(key, fallback);
        return fallback;
    }

    // A text that `usable` takes; as number() for a missing key or any other value.
    template <class Usable>
    QString text(const char* key, const QString& fallback, Usable usable) const
    {
        const QString value = text(key, fallback);
        if (usable(value))
            return value;
        reject(key, fallback);
        return fallback;
    }

    // A finite number rounded to `decimals`, above zero when `positive`; as
    // number() for a missing key or an unusable value.
    double real(const char* key, double fallback, int decimals, bool positive) const
    {
        if (!m_s.contains(QLatin1String(key)))
            return fallback;
        bool ok = false;
        const double value = roundTo(text(key, QString()).trimmed().toDouble(&ok), decimals);
        if (ok && std::isfinite(value) && (!positive || value > 0.0))
            return value;
        reject(key, fallback);
        return fallback;
    }

private:
    void reject(const char* key, const QVariant& fallback) const
    {
        KLOG << "read_INI:" << m_s.group() << key << "=" << text(key, QString()) << "is not usable, using"
             << fallback.toString();
    }

    static double roundTo(double value, int decimals)
    {
        const double scale = std::pow(10.0, decimals);
        return std::round(value * scale) / scale;  // std::round: half away from zero
    }

    QSettings& m_s;
};

bool synced(QSettings& s, const char* what)
{
    if (!syncSettings(s)) {
        KLOG << what << ": cannot write" << s.fileName();
        return false;
    }
    return true;
}

// A register value as hexadecimal text, "0x" optional; the register is 16 bits wide.
uint16_t hexRegister(const std::string& text)
{
    return static_cast<uint16_t>(std::strtoull(text.c_str(), nullptr, 16) & 0xFFFF);
}

// The register files by register_table_e and their groups by register_row_e.
const char* const kRegisterFiles[] = {kova::kCalibrationCusIni, kova::kCalibrationBfnIni, kova::kAutoExposureIni};
const char* const kRegisterGroups[] = {"VGA", "1280", "5M"};

std::string registerKey(int column)
{
    return QString::asprintf("0x%04X", g_RegIdx[column]).toStdString();
}

void readRegisterTables()
{
    for (int table = 0; table < 3; ++table)
        for (int row = 0; row < 3; ++row)
            MainSettings::readRegisterRow(table, row);
}

// Whether a protocol name names a file in its mode's folder and nothing
// else. Only what would lead elsewhere is refused: any name the protocol
// screen lists (dots, other letters, "x.ini" of "x.ini.ini") stays loaded
// after a restart.
bool isUsableProtocolName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String("..") && !name.contains(QLatin1Char('/'))
           && !name.contains(QChar(0));
}

// The path of a protocol to load; `name` becomes "DEFAULT" when it cannot be
// used in a path, or (with the fallback) when its file is missing.
QString protocolPath(int type, QString& name, bool fallBackWhenMissing)
{
    if (!isUsableProtocolName(name)) {
        KLOG << "protocol name not usable, loading DEFAULT:" << name;
        name = kDefaultProtocol;
    }
    QString path = KovaCoreApp::gen_local_protocol_ini_path(type, name);
    if (fallBackWhenMissing && !QFileInfo::exists(platform::rootPath(path))) {
        name = kDefaultProtocol;
        path = KovaCoreApp::gen_local_protocol_ini_path(type, name);
    }
    return path;
}

}  // namespace

namespace MainSettings {

void loadCalibrationFiles()
{
    std::copy(std::begin(kSensorRegisters), std::end(kSensorRegisters), g_RegIdx);
    readRegisterTables();
    theApp.m_Calibration.Background_value =
        QStringLiteral("%1, %2").arg(exposureText(kova::kCalibrationBfnIni), exposureText(kova::kCalibrationCusIni));
}

void readRegisterRow(int table, int row)
{
    for (int i = 0; i < kRegisterCount; ++i) {
        std::string value;
        ini_read(kRegisterGroups[row], registerKey(i), "0x0000", value, kRegisterFiles[table]);
        global_ini()->regTables[table][row][i] = hexRegister(value);
    }
}

bool writeRegisterRow(int table, int row, QString* error)
{
    std::vector<std::pair<std::string, std::string>> values;
    for (int i = 0; i < kRegisterCount; ++i)
        values.emplace_back(registerKey(i),
                            QString::asprintf("0x%02X", global_ini()->regTables[table][row][i]).toStdString());
    if (ini_write(kRegisterGroups[row], values, kRegisterFiles[table]))
        return true;
    if (error)
        *error = QString::fromLatin1(kRegisterFiles[table]);
    return false;
}

QString exposureText(const char* file)
{
    std::string high;
    std::string low;
    ini_read("1280", "0x3501", "", high, file);
    ini_read("1280", "0x3502", "", low, file);
    QString joined = QString::fromStdString(high + low);
    const int second = joined.indexOf(QLatin1String("0x"), 1);
    if (second >= 0)
        joined.remove(second, 2);
    return joined;
}

bool create_INI(QSettings& s)
{
    {
        Group g(s, "KOVA-III");
        g.set("Serial", QStringLiteral("KO7-00-00000"));
        g.set("Magnification", QStringLiteral("1.431"));
        g.set("Volume factor", QStringLiteral("0.48242"));
        g.set("Slope", QStringLiteral("0.98946396"));
        g.set("Intercept", QStringLiteral("-3.0461858"));
        g.set("Auto shutdown enable", kOn);
        g.set("Auto shutdown time", 8);
    }
    {
        Group g(s, "Ch. BF");
        g.set("Exposure", 35);
        g.set("LED", 225);
    }
    {
        Group g(s, "Protocol");
        g.set("BF Cell counting Viability", kDefaultProtocol);
        g.set("BF Total cell counting", kDefaultProtocol);
    }
    {
        Group g(s, "Cell counting");
        g.set("Counting mode", 0);
        g.set("Slide type", 2);
        g.set("Autofocused counting", kOn);
        g.set("Skip frame", 1);
    }
    {
        Group g(s, "Save Review");
        g.set("Save type", kManual);
        g.set("Base name", QStringLiteral("KOVA3"));
        g.set("Suffix type", kSequence);
        g.set("Sequence count", 1);
        g.set("Scale bar", kOff);
    }
    {
        Group g(s, "Calibration");
        g.set("Z reference", 32000);
        g.set("Z reset pos", 43000);
        g.set("Z ref 2ch", 32000);
        g.set("Z ref Reusable", 32000);
        g.set("Z ref Validation", 32000);
        g.set("Last ref calibration", QStringLiteral("-"));
        g.set("Last calibration", QStringLiteral("-"));
    }
    {
        Group g(s, "Software");
        g.set("Last update", QStringLiteral("-"));
        g.set("Version SW", QStringLiteral("0.0.0"));
        g.set("Version FW", QStringLiteral("0.0.0"));
    }
    {
        Group g(s, "Miscellaneous");
        g.set("Save directory", QStringLiteral("KOVA"));
    }
    {
        Group g(s, "Operating system");
        for (const OsKey& os : kOperatingSystem)
            g.set(os.key, QString::fromLatin1(os.value));
    }
    return synced(s, "create_INI");
}

void read_INI(QSettings& s, IdleMinutes& idle)
{
    KLOG_ENTER;
    KovaCoreApp& app = theApp;
    global_ini_s& ini = *global_ini();

    loadCalibrationFiles();

    {
        Group g(s, "KOVA-III");
        app.m_SerialNumber = g.text("Serial", QStringLiteral("KO3-00-00000"));
        // The magnification divides into the pixel size, the volume factor
        // and the slope scale every concentration and size.
        app.m_fLensMagnification = g.real("Magnification", kDefaultMagnification, 4, true);
        app.m_fVolumeFactor = g.real("Volume factor", 0.48979, 5, true);
        app.m_fSlope = g.real("Slope", 1.0, 8, true);
        app.m_fIntercept = g.real("Intercept", 0.0, 7, false);
        app.m_bAutoShutdown = g.text("Auto shutdown enable", kOn) == kOn;
        app.m_nAutoShutdownTime = g.number("Auto shutdown time", 8, kMinShutdownHours, kMaxShutdownHours);
    }
    app.m_bAutofocusDebug = false;
    idle.limit = app.m_nAutoShutdownTime * 60;
    idle.count = 0;

    {
        Group g(s, "Ch. BF");
        ini.LED = g.number("LED", 225, 0, kMaxLed);
    }
    {
        Group g(s, "Protocol");
        app.m_strTotalProtocolName = g.text("BF Total cell counting", kDefaultProtocol);
        app.m_strViabilityProtocolName = g.text("BF Cell counting Viability", kDefaultProtocol);
    }
    loadProtocols(true);

    {
        Group g(s, "Save Review");
        SaveReview_s& save = app.m_SaveReview;
        save.m_bAutoSave = g.text("Save type", kManual) == kAuto;
        // What the settings page could not have stored would name every
        // automatic save wrongly or make it fail.
        save.m_strSuffixType = g.text("Suffix type", kSequence, [](const QString& suffix) {
            return suffix == kSequence || suffix == QLatin1String(SaveReview_s::kTimeStamp);
        });
        save.m_strBaseName = g.text("Base name", QStringLiteral("KOVA3"), &SaveReview_s::isUsableBaseName);
        save.m_nSequenceCount = g.number("Sequence count", 1, 0, kMaxSequence);
        save.m_bEnableScaleBar = g.text("Scale bar", kOff) == kOn;
    }
    {
        Group g(s, "Network");
        app.m_Network.m_strSSID = g.text("WiFi SSiD", QString());
        app.m_Network.m_strPSK = g.text("WiFi PSK", QString());
        app.m_Network.m_bAutoIP = g.text("Get IP settings", kAuto) == kAuto;
        app.m_Network.m_listStaticIP = g.get("Static IP", QStringLiteral("192.168.0.10")).toStringList();
        app.m_Network.m_listStaticSubnet = g.get("Static subnet", QStringLiteral("255.255.255.0")).toStringList();
        app.m_Network.m_listStaticGateway = g.get("Static gateway", QStringLiteral("192.168.0.1")).toStringList();
    }
    {
        Group g(s, "Calibration");
        Calibration_s& cal = app.m_Calibration;
        cal.Z_Reference = g.number("Z reference", 32000, 0, kStageTravel);
        cal.Z_ResetPosition = g.number("Z reset pos", 43000, 0, kStageTravel);
        cal.Z_Reference_2ch = g.number("Z ref 2ch", 32000, 0, kStageTravel);
        cal.Z_Reference_Reusable = g.number("Z ref Reusable", 32000, 0, kStageTravel);
        cal.Z_Reference_Validation = g.number("Z ref Validation", 32000, 0, kStageTravel);
        cal.Last_ref_calibration = g.text("Last ref calibration", QStringLiteral("-"));
        cal.Last_calibration = g.text("Last calibration", QStringLiteral("-"));
    }
    {
        Group g(s, "Cell counting");
        app.m_CountingMode = g.number("Counting mode", BF_TOTAL_CELL_COUNTING, BF_TOTAL_CELL_COUNTING,
                                      BF_CELL_COUNTING_VIABILITY);
        app.m_nSlideType =
            g.choice("Slide type", SLIDE_TYPE_2CH, {SLIDE_TYPE_2CH, SLIDE_TYPE_REUSABLE, SLIDE_TYPE_VALIDATION});
        switch (app.m_nSlideType) {
        case SLIDE_TYPE_2CH:
            app.m_nZstageCenterPos = app.m_Calibration.Z_Reference_2ch;
            break;
        case SLIDE_TYPE_REUSABLE:
            app.m_nZstageCenterPos = app.m_Calibration.Z_Reference_Reusable;
            break;
        case SLIDE_TYPE_VALIDATION:
            app.m_nZstageCenterPos = app.m_Calibration.Z_Reference_Validation;
            break;
        }
        app.m_nZstageCurrentPos = app.m_nZstageCenterPos;
        app.m_bAutofocusedCounting = g.text("Autofocused counting", kOn) == kOn;
        app.m_bAutoExposureOn = false;
        app.m_nSkipframe = g.number("Skip frame", 5, 0, kMaxGreenLevel);
    }
    {
        Group g(s, "Software");
        ini.IQOQ.Last_update = g.text("Last update", QStringLiteral("-"));
        app.m_strLastUpdate = ini.IQOQ.Last_update;
        ini.IQOQ.SW_version = kSoftwareVersion;
        app.m_CurrentVersion = kSoftwareVersion;
    }
    {
        Group g(s, "Operating system");
        for (const OsKey& os : kOperatingSystem)
            ini.IQOQ.*os.field = g.text(os.key, QString::fromLatin1(os.value));
    }
}

bool update_INI(QSettings& s)
{
    KLOG_ENTER;
    if (!s.isWritable()) {
        KLOG << "update_INI: not writable" << s.fileName();
        return false;
    }
    while (!s.group().isEmpty())
        s.endGroup();

    const KovaCoreApp& app = theApp;
    const global_ini_s& ini = *global_ini();
    {
        Group g(s, "KOVA-III");
        g.set("Serial", app.m_SerialNumber);
        g.set("Magnification", app.m_fLensMagnification);
        g.set("Volume factor", app.m_fVolumeFactor);
        g.set("Slope", app.m_fSlope);
        g.set("Intercept", app.m_fIntercept);
        g.set("Auto shutdown enable", onOff(app.m_bAutoShutdown));
        g.set("Auto shutdown time", app.m_nAutoShutdownTime);
    }
    {
        Group g(s, "Ch. BF");
        g.set("LED", ini.LED);
    }
    {
        Group g(s, "Protocol");
        g.set("BF Cell counting Viability", app.m_strViabilityProtocolName);
        g.set("BF Total cell counting", app.m_strTotalProtocolName);
    }
    {
        Group g(s, "Cell counting");
        g.set("Counting mode", app.m_CountingMode);
        g.set("Slide type", app.m_nSlideType);
        g.set("Autofocused counting", onOff(app.m_bAutofocusedCounting));
        g.set("Skip frame", app.m_nSkipframe);
    }
    {
        Group g(s, "Save Review");
        g.set("Save type", app.m_SaveReview.m_bAutoSave ? kAuto : kManual);
        g.set("Base name", app.m_SaveReview.m_strBaseName);
        g.set("Suffix type", app.m_SaveReview.m_strSuffixType);
        g.set("Sequence count", app.m_SaveReview.m_nSequenceCount);
        g.set("Scale bar", onOff(app.m_SaveReview.m_bEnableScaleBar));
    }
    {
        Group g(s, "Calibration");
        const Calibration_s& cal = app.m_Calibration;
        g.set("Z reference", cal.Z_Reference);
        g.set("Z ref 2ch", cal.Z_Reference_2ch);
        g.set("Z ref Reusable", cal.Z_Reference_Reusable);
        g.set("Z ref Validation", cal.Z_Reference_Validation);
        g.set("Last ref calibration", cal.Last_ref_calibration);
        g.set("Last calibration", cal.Last_calibration);
    }
    {
        Group g(s, "Software");
        g.set("Last update", ini.IQOQ.Last_update);
        g.set("Version SW", ini.IQOQ.SW_version);
        g.set("Version FW", ini.IQOQ.FW_version);
    }
    {
        Group g(s, "Operating system");
        for (const OsKey& os : kOperatingSystem)
            g.set(os.key, QString::fromLatin1(os.value));
    }
    return synced(s, "update_INI");
}

bool before_loseINI(const QString& logicalPath)
{
    const QString path = logicalPath.isEmpty() ? QString::fromLatin1(kova::kMainIni) : logicalPath;
    QSettings s(platform::rootPath(path), QSettings::IniFormat);
    return update_INI(s);
}

void loadProtocols(bool fallBackWhenMissing)
{
    KovaCoreApp& app = theApp;

    PROTOCOL_BF_TOTAL_CELL_COUNTING_t total;
    const QString totalPath = protocolPath(BF_TOTAL_CELL_COUNTING, app.m_strTotalProtocolName, fallBackWhenMissing);
    KovaCoreApp::get_local_protocol_BF_TOTAL_CELL_COUNTING(app.m_strTotalProtocolName, totalPath, total);
    convert_protocol(total, app.m_Loaded_Total_Protocol);

    PROTOCOL_BF_CELL_COUNTING_VIABILITY_t viability;
    const QString viabilityPath =
        protocolPath(BF_CELL_COUNTING_VIABILITY, app.m_strViabilityProtocolName, fallBackWhenMissing);
    KovaCoreApp::get_local_protocol_BF_CELL_COUNTING_VIABILITY(app.m_strViabilityProtocolName, viabilityPath,
                                                               viability);
    convert_protocol(viability, app.m_Loaded_Viability_Protocol);
}

}  // namespace MainSettings
