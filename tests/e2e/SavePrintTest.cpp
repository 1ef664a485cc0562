#include "InstrumentAppTest.h"

#include "HostTool.h"
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
        ASSERT_TRUE(startInstrument());
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
    const int signals_ = int(output(*app).count("stick signal"));
    ASSERT_FALSE(sticks.insert("stick").isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return output(*app).count("stick signal") > signals_; }, kTimeoutMs));
    ASSERT_TRUE(touch(kUsb));
    ASSERT_TRUE(saveAndClose());
    const QString stick = sticks.stickFolder("stick");
    EXPECT_EQ(entries(stick + "/Sample"), allFiles("Sample"));

    // A full stick: message 5, nothing new.
    ASSERT_TRUE(sticks.setFreeSpace("stick", 0));
    ASSERT_TRUE(touch(kEnterKey));
    ASSERT_TRUE(waitForOutput(*app, "refused with message")) << output(*app).toStdString();
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

}  // namespace
