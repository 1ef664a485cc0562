#include "InstrumentAppTest.h"

#include "HostTool.h"
#include "QtPrinters.h"
#include "UsbSticks.h"
#include "VirtualPrinter.h"

#include <QDir>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>

#include <cmath>

namespace {

// The counting screen's Dilution.
constexpr QPoint kDilution{100, 360};
// The save dialog: its keys (the on-screen keyboard is the base fixture's).
constexpr QPoint kUsb{670, 120};
constexpr QPoint kEject{53, 440};
constexpr QPoint kPrint{130, 440};
// The dilution page: its fields, key pad and Calculate.
constexpr QPoint kDesired{225, 211};
constexpr QPoint kDesiredExponent{362, 211};
constexpr QPoint kFinalVolume{225, 297};
constexpr QPoint kKey1{557, 129};
constexpr QPoint kKey5{653, 205};
constexpr QPoint kCalculate{282, 364};

const QString kDialog = QStringLiteral("Dialog");
const QString kResults = QStringLiteral("/KOVA/anonymous/TOTAL_CELL_COUNTING");
const QString kMaster = QStringLiteral("/opt/KOVA3/log/PreviousCount_BF_TotalCellCounting.csv");
const QString kCopy = kResults + "/PreviousCount_BF_TotalCellCounting.csv";

QStringList allFiles(const QString& name)
{
    return {name + ".csv", name + ".pdf", name + "_RAW.tif", name + "_TAG.tif"};
}

// The real application on the virtual instrument with a label printer, its
// result saved, printed and diluted on the touch screen.
class SavePrintTest : public InstrumentAppTest
{
protected:
    void SetUp() override
    {
        instrument = startInstrument();
        ASSERT_TRUE(instrument);
        ASSERT_TRUE(printer.attach());
    }

    // Boots to the home screen, opens the counting screen and counts once.
    void bootAndCountOnce()
    {
        ASSERT_TRUE(startApp());
        ASSERT_TRUE(waitForHomeScreen());
        ASSERT_TRUE(countOnce()) << output(*app).toStdString();
    }

    QStringList entries(const QString& physical) const
    {
        return QDir(physical).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
    }

    // A saved image: a 2592 × 1944 RGB TIFF as a TIFF tool reads it.
    static void expectTiff(const QString& path)
    {
        const auto info = runHostTool(QStringLiteral("tiffinfo"), {path});
        EXPECT_TRUE(info.succeeded()) << path.toStdString();
        EXPECT_TRUE(info.standardOutput.contains("Image Width: 2592 Image Length: 1944")) << path.toStdString();
        EXPECT_TRUE(info.standardOutput.contains("Samples/Pixel: 3")) << path.toStdString();
    }

    // Puts the stick in while the save dialog is open; true once the dialog heard of it.
    bool insertStick()
    {
        const int signals_ = int(output(*app).count("stick signal"));
        return !sticks.insert("stick").isEmpty()
               && QTest::qWaitFor([&] { return output(*app).count("stick signal") > signals_; }, kTimeoutMs);
    }

    // Touches the save dialog's Save and waits until the run has begun to
    // write into `folder` (physical).
    bool saveUntilAFileIn(const QString& folder)
    {
        return touch(kEnterKey) && QTest::qWaitFor([&] { return !entries(folder).isEmpty(); }, kTimeoutMs);
    }

    QProcess* instrument = nullptr;
    sim::VirtualPrinter printer{root.root()};
    kovasim::UsbSticks sticks{root.root()};
};

TEST_F(SavePrintTest, SavedInternallyAndOnTheStickPrintedEjectedAndDiluted)
{
    ASSERT_NO_FATAL_FAILURE(bootAndCountOnce());
    ASSERT_TRUE(touchThenDialogs(kSavePrintKey, 1));
    ASSERT_TRUE(typeOnKeys("Sample"));
    ASSERT_TRUE(screenshot(artefact("save-dialog.png")));
    ASSERT_TRUE(saveAndClose()) << output(*app).toStdString();
    EXPECT_EQ(entries(root.path(kResults + "/Sample")), allFiles("Sample"));
    for (const char* image : {"/Sample/Sample_TAG.tif", "/Sample/Sample_RAW.tif"})
        expectTiff(root.path(kResults + image));
    EXPECT_TRUE(root.readFile(kMaster).split('\n').value(1).startsWith("anonymous,Sample,"));

    ASSERT_TRUE(saveAndClose());
    EXPECT_EQ(entries(root.path(kResults + "/Sample(1)")), allFiles("Sample(1)"));
    EXPECT_TRUE(root.readFile(kMaster).split('\n').value(1).startsWith("anonymous,Sample(1),"));

    // A stick: its folder gets the result.
    ASSERT_TRUE(insertStick());
    ASSERT_TRUE(touch(kUsb));
    ASSERT_TRUE(saveAndClose());
    const QString stick = sticks.stickFolder("stick");
    EXPECT_EQ(entries(stick + "/Sample"), allFiles("Sample"));

    // A full stick: message 5, nothing new.
    ASSERT_TRUE(sticks.setFreeSpace("stick", 0));
    ASSERT_TRUE(touch(kEnterKey));
    ASSERT_TRUE(waitForOutput(*app, "refused with message : 5\n")) << output(*app).toStdString();
    ASSERT_TRUE(waitForWindowCount(kDialog, 2));
    ASSERT_TRUE(touch(kMessageOnlyOk));
    ASSERT_TRUE(waitForWindowCount(kDialog, 1));
    EXPECT_EQ(entries(stick), QStringList{"Sample"});

    // Print: one job in the queue.
    ASSERT_TRUE(touch(kPrint));
    EXPECT_TRUE(QTest::qWaitFor([&] { return printer.jobs().size() == 1; }, kTimeoutMs));

    // Eject: the mount point is unmounted, and a box says the stick can go.
    ASSERT_TRUE(touchThenDialogs(kEject, 2));
    EXPECT_TRUE(sticks.calls().contains("umount /mnt")) << sticks.calls().join('\n').toStdString();
    ASSERT_TRUE(touch(kMessageOnlyOk));
    ASSERT_TRUE(waitForWindowCount(kDialog, 1));
    ASSERT_TRUE(touch(kSaveBack));
    ASSERT_TRUE(waitForNoWindow(kDialog));

    // Dilution to 1.00 x 10e5 cells/mL in 1 mL, from the count's total.
    ASSERT_TRUE(touchThenDialogs(kDilution, 1));
    ASSERT_TRUE(touch(kDesired) && touch(kKey1) && touch(kDesiredExponent) && touch(kKey5) && touch(kFinalVolume) &&
                touch(kKey1) && touch(kCalculate));
    const QRegularExpression answer("Dilute ([0-9.]+) mL of cell sample in \\n  ([0-9.]+) mL");
    QRegularExpressionMatch logged;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (logged = answer.match(QString::fromUtf8(output(*app)))).hasMatch(); }, kTimeoutMs))
        << output(*app).toStdString();
    EXPECT_TRUE(screenshot(artefact("dilution.png")));
    const QByteArray csv = root.readFile(kResults + "/Sample/Sample.csv");
    const QRegularExpressionMatch total =
        QRegularExpression("\\[Total cell\\],([0-9.]+) x 10e([0-9]+) cells/mL").match(QString::fromUtf8(csv));
    ASSERT_TRUE(total.hasMatch()) << csv.toStdString();
    const double current = total.captured(1).toDouble() * std::pow(10.0, total.captured(2).toInt());
    ASSERT_GE(current, 1e5) << "the slide is dense enough to dilute";
    const double sample = std::round(1e5 / current * 1000.0) / 1000.0;
    EXPECT_NEAR(logged.captured(1).toDouble(), sample, 0.0011);
    EXPECT_NEAR(logged.captured(2).toDouble(), 1.0 - sample, 0.0011);
}

TEST_F(SavePrintTest, AnAutomaticSaveNamesTheCountAndTheSequenceOutlivesTheProgram)
{
    root.writeFile(QStringLiteral("/opt/KOVA3/conf/KOVA3.ini"), "[Save Review]\nSave type=Auto\n");
    ASSERT_NO_FATAL_FAILURE(bootAndCountOnce());
    ASSERT_TRUE(waitForOutput(*app, "save run")) << output(*app).toStdString();
    ASSERT_TRUE(waitForWindowCount(kDialog, 1));
    ASSERT_TRUE(touch(kMessageOnlyOk));
    ASSERT_TRUE(waitForNoWindow(kDialog));
    EXPECT_EQ(entries(root.path(kResults + "/KOVA3_00001")), allFiles("KOVA3_00001"));

    // Home (asking first), then power off: the settings keep the next number.
    ASSERT_TRUE(touchThenDialogs(kCountHome, 1));
    ASSERT_TRUE(touch(kMessageOk));
    ASSERT_TRUE(waitForNoWindow(QStringLiteral("Count")));
    ASSERT_TRUE(powerOffFromHome());
    const QSettings settings(root.path(QStringLiteral("/opt/KOVA3/conf/KOVA3.ini")), QSettings::IniFormat);
    EXPECT_EQ(settings.value(QStringLiteral("Save Review/Sequence count")).toInt(), 2);
}

// A save cut short names no count after a result that is not whole: a stick
// pulled during the save leaves both previous-count tables as they were, and
// the power switch during a save lets it end, named, before the power goes.
TEST_F(SavePrintTest, APulledStickNamesNothingAndThePowerSwitchLetsASaveEnd)
{
    root.writeFile(QStringLiteral("/opt/KOVA3/conf/KOVA3.ini"),
                   "[Save Review]\nSave type=Auto\nBase name=via\nSequence count=6\n");
    ASSERT_NO_FATAL_FAILURE(bootAndCountOnce());
    ASSERT_TRUE(waitForOutput(*app, "save run")) << output(*app).toStdString();
    ASSERT_TRUE(waitForWindowCount(kDialog, 1));
    ASSERT_TRUE(touch(kMessageOnlyOk));
    ASSERT_TRUE(waitForNoWindow(kDialog));
    const QByteArray master = root.readFile(kMaster);
    const QByteArray copy = root.readFile(kCopy);
    ASSERT_TRUE(master.split('\n').last().startsWith("anonymous,via_00006,")) << master.toStdString();

    // "zz" to the stick, pulled once the save writes there: error 0009, and no
    // table names the count "zz".
    ASSERT_TRUE(touchThenDialogs(kSavePrintKey, 1));
    ASSERT_TRUE(typeOnKeys("zz"));
    ASSERT_TRUE(insertStick());
    ASSERT_TRUE(touch(kUsb));
    const QString onStick = sticks.stickFolder("stick") + "/zz";
    ASSERT_TRUE(saveUntilAFileIn(onStick)) << output(*app).toStdString();
    ASSERT_TRUE(sticks.pull("stick"));
    ASSERT_TRUE(waitForOutput(*app, "the stick is gone", kLongTimeoutMs)) << output(*app).toStdString();
    ASSERT_TRUE(waitForWindowCount(kDialog, 2));
    EXPECT_LT(entries(onStick).size(), 4) << entries(onStick).join(' ').toStdString();
    EXPECT_EQ(root.readFile(kMaster).toStdString(), master.toStdString());
    EXPECT_EQ(root.readFile(kCopy).toStdString(), copy.toStdString());
    EXPECT_TRUE(screenshot(artefact("stick-pulled.png")));
    ASSERT_TRUE(touch(kMessageOnlyOk));
    ASSERT_TRUE(waitForWindowCount(kDialog, 1));

    // "zz" again, internally now; the power switch once the save writes, and
    // OK: the save ends whole and named, then the instrument powers off.
    const QString internal = root.path(kResults + "/zz");
    ASSERT_TRUE(saveUntilAFileIn(internal)) << output(*app).toStdString();
    ASSERT_TRUE(confirmPowerSwitch(*instrument, 2));
    ASSERT_TRUE(app->waitForFinished(kLongTimeoutMs));
    EXPECT_EQ(app->exitCode(), 1);
    EXPECT_TRUE(output(*app).contains("power-off waits for the save to end")) << output(*app).toStdString();
    EXPECT_EQ(entries(internal), allFiles("zz"));
    const QList<QByteArray> rows = root.readFile(kMaster).split('\n');
    EXPECT_TRUE(rows.last().startsWith("anonymous,zz,")) << rows.last().toStdString();
    EXPECT_EQ(root.readFile(kCopy).split('\n').value(1), rows.last());
}

}  // namespace
