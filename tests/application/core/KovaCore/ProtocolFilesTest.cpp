#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/ProtocolFiles.h"

#include "LogCapture.h"
#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QSettings>

namespace {

const QString kTotalDir = QStringLiteral("/opt/KOVA3/conf/PROTOCOL/TOTAL_CELL_COUNTING");
const QString kViabilityDir = QStringLiteral("/opt/KOVA3/conf/PROTOCOL/CELL_COUNTING_VIABILITY");

struct BuiltIn
{
    int type;
    const char* name;
    std::vector<int> values;  // in parameter order
};

const BuiltIn kBuiltIns[] = {
    {0, "DEFAULT", {7, 24, 5, 5, 1}},      {1, "DEFAULT", {7, 24, 5, 5, 5, 2}},
    {0, "PBMC", {7, 15, 6, 8, 1}},         {1, "PBMC", {7, 15, 6, 6, 8, 2}},
    {1, "IQOQ", {7, 24, 5, 5, 5, 1}},      {1, "3T3", {10, 35, 5, 5, 6, 2}},
    {1, "HeLa", {12, 27, 5, 5, 5, 2}},     {1, "HL-60", {8, 21, 5, 5, 5, 2}},
    {1, "McCoy", {10, 25, 5, 5, 5, 2}},    {1, "RAW264_7", {8, 20, 5, 5, 5, 2}},
    {1, "U-937", {8, 20, 5, 5, 5, 2}},
};

std::vector<int> readBack(int type, const QString& name)
{
    const QString path = KovaCoreApp::gen_local_protocol_ini_path(type, name);
    if (type == 0) {
        PROTOCOL_BF_TOTAL_CELL_COUNTING_t p;
        KovaCoreApp::get_local_protocol_BF_TOTAL_CELL_COUNTING(name, path, p);
        return {p.min_search_size.toInt(), p.max_search_size.toInt(), p.cell_detection_sensitivity.toInt(),
                p.noise_reduction.toInt(), p.dilution_factor.toInt()};
    }
    PROTOCOL_BF_CELL_COUNTING_VIABILITY_t p;
    KovaCoreApp::get_local_protocol_BF_CELL_COUNTING_VIABILITY(name, path, p);
    return {p.min_search_size.toInt(),  p.max_search_size.toInt(),  p.cell_detection_sensitivity.toInt(),
            p.live_cell_sensitivity.toInt(), p.noise_reduction.toInt(), p.dilution_factor.toInt()};
}

const char kDefaultViabilityFile[] = R"([Cell%20detection%20sensitivity]
Value=5

[Dilution%20factor]
Value=2

[Live%20cell%20sensitivity]
Value=5

[Max.%20search%20size]
Size=24

[Min.%20search%20size]
Size=7

[Noise%20reduction]
Value=5
)";

const char kPbmcTotalFile[] = R"([Cell%20detection%20sensitivity]
Value=6

[Dilution%20factor]
Value=1

[Max.%20search%20size]
Size=15

[Min.%20search%20size]
Size=7

[Noise%20reduction]
Value=8
)";

}  // namespace

TEST(ProtocolPath, FolderByTypeAndNameAsGiven)
{
    const struct { int type; const char* name; const char* path; } cases[] = {
        {0, "DEFAULT", "/opt/KOVA3/conf/PROTOCOL/TOTAL_CELL_COUNTING/DEFAULT.ini"},
        {1, "HL-60", "/opt/KOVA3/conf/PROTOCOL/CELL_COUNTING_VIABILITY/HL-60.ini"},
        {2, "x", "/opt/KOVA3/conf/PROTOCOL/CELL_COUNTING_VIABILITY/x.ini"},
        {-1, "x", "/opt/KOVA3/conf/PROTOCOL/CELL_COUNTING_VIABILITY/x.ini"},
        {0, "My cells", "/opt/KOVA3/conf/PROTOCOL/TOTAL_CELL_COUNTING/My cells.ini"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KovaCoreApp::gen_local_protocol_ini_path(c.type, c.name), c.path);
}

TEST(BuiltInProtocols, FirstStartWritesTheElevenFiles)
{
    TempRoot root;
    ASSERT_TRUE(Init_local_protocol());

    EXPECT_EQ(QDir(root.path(kTotalDir)).entryList(QDir::Files, QDir::Name),
              (QStringList{"DEFAULT.ini", "PBMC.ini"}));
    EXPECT_EQ(QDir(root.path(kViabilityDir)).entryList(QDir::Files, QDir::Name),
              (QStringList{"3T3.ini", "DEFAULT.ini", "HL-60.ini", "HeLa.ini", "IQOQ.ini", "McCoy.ini", "PBMC.ini",
                           "RAW264_7.ini", "U-937.ini"}));
    for (const BuiltIn& b : kBuiltIns)
        EXPECT_EQ(readBack(b.type, b.name), b.values) << b.type << " " << b.name;

    // The toolkit's INI form, byte for byte: blanks in group names as "%20".
    EXPECT_EQ(QString::fromLatin1(root.readFile(kViabilityDir + "/DEFAULT.ini")),
              QString::fromLatin1(kDefaultViabilityFile));
    EXPECT_EQ(QString::fromLatin1(root.readFile(kTotalDir + "/PBMC.ini")), QString::fromLatin1(kPbmcTotalFile));
}

TEST(BuiltInProtocols, AreRestoredAtEveryStartKeepingHandAddedKeys)
{
    TempRoot root;
    ASSERT_TRUE(Init_local_protocol());
    const QString iqoq = kViabilityDir + "/IQOQ.ini";
    QByteArray edited = root.readFile(iqoq);
    edited.replace("[Dilution%20factor]\nValue=1", "[Dilution%20factor]\nValue=100");
    edited += "\n[Operator]\nNote=hand made\n";
    root.writeFile(iqoq, edited);
    ASSERT_EQ(readBack(1, "IQOQ")[5], 100);

    ASSERT_TRUE(Init_local_protocol());
    EXPECT_EQ(readBack(1, "IQOQ"), (std::vector<int>{7, 24, 5, 5, 5, 1}));
    EXPECT_EQ(QSettings(root.path(iqoq), QSettings::IniFormat).value("Operator/Note").toString(), "hand made");
}

// A corrupted built-in file is written again, and that is no failure.
TEST(BuiltInProtocols, ACorruptedFileIsRepaired)
{
    TempRoot root;
    const QString pbmc = kTotalDir + "/PBMC.ini";
    root.writeFile(pbmc, "[Min%20search\nsize\n=\n\xff\xfe");
    LogCapture log;
    ASSERT_TRUE(Init_local_protocol());
    EXPECT_FALSE(log.contains("not written"));
    EXPECT_EQ(readBack(0, "PBMC"), (std::vector<int>{7, 15, 6, 8, 1}));
    EXPECT_EQ(QSettings(root.path(pbmc), QSettings::IniFormat).status(), QSettings::NoError);
}

TEST(ProtocolWriters, RejectUnknownKindsAndReportFailedWrites)
{
    TempRoot root;
    const QString path = kViabilityDir + "/x.ini";
    EXPECT_EQ(KovaCoreApp::mk_DEFAULT_protocol_file(2, path), -1);
    EXPECT_EQ(KovaCoreApp::mk_PBMC_protocol_file(-1, path), -1);
    EXPECT_EQ(KovaCoreApp::mk_BFV_protocol_file(7, path), -1);
    EXPECT_EQ(KovaCoreApp::mk_BFV_protocol_file(-1, path), -1);
    EXPECT_FALSE(QFile::exists(root.path(path)));

    // The protocol folder is a plain file: nothing can be written.
    root.writeFile("/opt/KOVA3/conf/PROTOCOL", "x");
    EXPECT_EQ(KovaCoreApp::mk_BFV_protocol_file(0, path), -1);
    EXPECT_FALSE(Init_local_protocol());
}

TEST(ProtocolReaders, FallBackKeyByKeyToDefault)
{
    TempRoot root;
    // A total file without "Noise reduction" and with text where a number belongs.
    root.writeFile(kTotalDir + "/Partial.ini",
                   "[Min.%20search%20size]\nSize=9\n[Max.%20search%20size]\nSize=30\n"
                   "[Cell%20detection%20sensitivity]\nValue=high\n[Dilution%20factor]\nValue=4\n");
    PROTOCOL_BF_TOTAL_CELL_COUNTING_t total;
    EXPECT_EQ(KovaCoreApp::get_local_protocol_BF_TOTAL_CELL_COUNTING(
                  "Shown", KovaCoreApp::gen_local_protocol_ini_path(0, "Partial"), total),
              0);
    EXPECT_EQ(total.name, "Shown");  // the name argument, not the file's
    EXPECT_EQ(total.min_search_size, "9");
    EXPECT_EQ(total.max_search_size, "30");
    EXPECT_EQ(total.cell_detection_sensitivity, "high");
    EXPECT_EQ(total.noise_reduction, "5");
    EXPECT_EQ(total.dilution_factor, "4");

    // A missing file gives every DEFAULT value and is not created.
    PROTOCOL_BF_CELL_COUNTING_VIABILITY_t viability;
    const QString missing = KovaCoreApp::gen_local_protocol_ini_path(1, "Missing");
    EXPECT_EQ(KovaCoreApp::get_local_protocol_BF_CELL_COUNTING_VIABILITY("Missing", missing, viability), 0);
    EXPECT_EQ((QStringList{viability.min_search_size, viability.max_search_size, viability.cell_detection_sensitivity,
                           viability.live_cell_sensitivity, viability.noise_reduction, viability.dilution_factor}),
              (QStringList{"7", "24", "5", "5", "5", "2"}));
    EXPECT_FALSE(QFile::exists(root.path(missing)));
}

TEST(ProtocolWriters, PutWritesEveryParameterOfARecordKeepingOtherKeys)
{
    TempRoot root;
    const QString total = KovaCoreApp::gen_local_protocol_ini_path(0, "Mine");
    root.writeFile(total, "[Operator]\nNote=kept\n[Noise%20reduction]\nValue=9\n");
    counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t t{"ignored", 9, 30, -1, 0, 20, 11, 22};
    ASSERT_EQ(KovaCoreApp::put_local_protocol(total, t), 0);
    // A -1 is a value like any other: the parameters after it are written too.
    EXPECT_EQ(readBack(0, "Mine"), (std::vector<int>{9, 30, -1, 0, 20}));
    const QSettings written(root.path(total), QSettings::IniFormat);
    EXPECT_EQ(written.value("Operator/Note").toString(), "kept");
    EXPECT_EQ(written.childGroups().size(), 6) << "no name and no gating in the file";

    counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t v{"x", 3, 60, 1, 10, 9, 100, -1, -1};
    const QString viability = KovaCoreApp::gen_local_protocol_ini_path(1, "Mine");
    ASSERT_EQ(KovaCoreApp::put_local_protocol(viability, v), 0);
    EXPECT_EQ(readBack(1, "Mine"), (std::vector<int>{3, 60, 1, 10, 9, 100}));

    // Where the file cannot be written (a folder stands at its path) the
    // write fails and says so.
    QDir().mkpath(root.path(KovaCoreApp::gen_local_protocol_ini_path(0, "Blocked")));
    EXPECT_EQ(KovaCoreApp::put_local_protocol(KovaCoreApp::gen_local_protocol_ini_path(0, "Blocked"), t), -1);
}

TEST(BuiltInProtocols, NamesOfEachModeInListOrder)
{
    EXPECT_EQ(builtin_protocol_names(0), (QStringList{"DEFAULT", "PBMC"}));
    const QStringList viability{"DEFAULT", "PBMC", "IQOQ", "3T3", "HeLa", "HL-60", "McCoy", "RAW264_7", "U-937"};
    EXPECT_EQ(builtin_protocol_names(1), viability);
    EXPECT_EQ(builtin_protocol_names(2), viability);
}
