#include "Count/SavePrintDlg.h"

#include "Count/SavingDlg.h"
#include "CountedResult.h"
#include "File_IO/CSVReaderWriter.h"
#include "HostTool.h"
#include "KovaCore/ResultTree.h"
#include "MediaMonitor/MediaMonitor.h"
#include "ModalAnswerer.h"
#include "OnShow.h"
#include "QtPrinters.h"
#include "TempRoot.h"
#include "UsbSticks.h"
#include "VirtualPrinter.h"
#include "platform/DiskSpace.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <memory>

namespace {

const QDateTime kNow(QDate(2026, 12, 8), QTime(14, 3, 22));
const QString kInternal = QStringLiteral("/KOVA/anonymous/CELL_COUNTING_VIABILITY");
const char* const kRows[] = {
    "anonymous,,08 Dec 2026 13:00,1.10x10e5,50,1.00x10e5,45,1.00x10e4,5,90.0,11.0,PBMC",
    "anonymous,,08 Dec 2026 14:03,2.25x10e5,100,1.80x10e5,80,4.50x10e4,20,80.0,12.3,PBMC",
};

// Hands the bar of the saving box (3 pixels a percent) to `seen` each time it
// is about to be painted.
class BarWatcher : public QObject
{
public:
    explicit BarWatcher(std::function<void(int bar)> seen)
        : m_seen(std::move(seen))
    {
        qApp->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            if (auto* box = qobject_cast<SavingDlg*>(watched))
                m_seen(box->progress());
        return false;
    }

private:
    std::function<void(int)> m_seen;
};

// Every bar painted.
class BarRecorder : public BarWatcher
{
public:
    BarRecorder()
        : BarWatcher([this](int bar) { bars << bar; })
    {
    }
    QList<int> bars;
};

// A counted viability result in a root with the stick stand-ins, a printer,
// the report's font and two rows of previous counts; the dialog on a fixed clock.
class SavePrint : public ::testing::Test
{
protected:
    SavePrint()
        : count(BF_CELL_COUNTING_VIABILITY)
    {
    }

    void SetUp() override
    {
        ASSERT_TRUE(sticks.installStandIns());
        ASSERT_TRUE(printer.install());
        ASSERT_TRUE(sim::installReportResources(root.root()));
        ASSERT_TRUE(QDir().mkpath(root.path(kInternal)));
        ASSERT_TRUE(QDir().mkpath(root.path("/opt/KOVA3/log")));
        // Plain frames: the files are written for real, and quickly.
        count.engine().setImages(cv::Mat(KovaCoreApp::kCanvasRows, KovaCoreApp::kCanvasCols, CV_8UC3, cv::Scalar(90, 90, 90)),
                                 cv::Mat(KovaCoreApp::kCanvasRows, KovaCoreApp::kCanvasCols, CV_8UC3, cv::Scalar(20, 200, 20)));
        for (const char* row : kRows)
            table.fillDataField("%s", row);
        ASSERT_TRUE(table.write(master().toUtf8().constData()));
        ASSERT_TRUE(ResultTree::refreshPreviousCountCopy(BF_CELL_COUNTING_VIABILITY));
        theApp.m_pPreviousCountCSV = &table;
        theApp.m_bAgingMode = false;
        theApp.m_SaveReview = SaveReview_s();
    }

    void TearDown() override
    {
        theApp.m_pPreviousCountCSV = nullptr;
        theApp.m_pMediaMonitor = nullptr;
        theApp.m_bAgingMode = false;
        EXPECT_EQ(answerer.unplanned, 0) << answerer.shown.join("\n").toStdString();
    }

    static QString master() { return ResultTree::previousCountMaster(BF_CELL_COUNTING_VIABILITY); }

    void startMonitor()
    {
        monitor = std::make_unique<MediaMonitor>();
        theApp.m_pMediaMonitor = monitor.get();
    }

    std::unique_ptr<SavePrintDlg> open()
    {
        auto dialog = std::make_unique<SavePrintDlg>();
        dialog->setClock([] { return kNow; });
        dialog->setSettlePause(0);
        dialog->show();
        dialog->searchUSB();
        return dialog;
    }

    template <class T = QPushButton>
    static T* child(QWidget& dialog, const QString& name)
    {
        T* widget = dialog.findChild<T*>(name);
        EXPECT_TRUE(widget) << name.toStdString();
        return widget;
    }

    // Types on the dialog's on-screen keyboard: Shift for capitals.
    static void typeName(QWidget& dialog, const QString& text)
    {
        auto* shift = child(dialog, "BUTTON_KEY_SHIFT_L");
        for (const QChar c : text) {
            if (shift->isChecked() != c.isUpper())
                shift->click();
            QString key = QString(c.toUpper());
            if (c == ' ')
                key = "SPACE";
            else if (c == '-')
                key = "BAR";
            else if (c == '_')
                key = "UNDER_BAR";
            else if (c == '.')
                key = "DOT";
            child(dialog, "BUTTON_KEY_" + key)->click();
        }
        if (shift->isChecked())
            shift->click();
    }

    static void pressSave(QWidget& dialog) { child(dialog, "BUTTON_ENTER")->click(); }

    // Waits until every planned box was answered.
    bool answered() { return QTest::qWaitFor([this] { return answerer.allPlannedAnswered(); }, 20000); }

    void setFreeMiB(quint64 mib) const
    {
        ASSERT_TRUE(platform::setSimulatedDiskSpace(root.path(kInternal), {1 << 20, 1000, mib, mib}));
    }

    QStringList entries(const QString& logical) const
    {
        return QDir(root.path(logical)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
    }
    QStringList resultFiles(const QString& folder) const { return entries(kInternal + "/" + folder); }

    TempRoot root;
    kovasim::UsbSticks sticks{root.root()};
    sim::VirtualPrinter printer{root.root()};
    CountedResult count;
    CSVReaderWriter table{ResultTree::kPreviousCountLines, "%s", ResultTree::previousCountHeader(BF_CELL_COUNTING_VIABILITY)};
    std::unique_ptr<MediaMonitor> monitor;
    ModalAnswerer answerer;
};

const QString kCompleted = QStringLiteral("<p><br/>Save completed!</p>");

QStringList allFiles(const QString& name)
{
    return {name + ".csv", name + ".pdf", name + "_RAW.tif", name + "_TAG.tif"};
}

TEST_F(SavePrint, RefusalsWriteNothingAndChangeNothing)
{
    const struct {
        const char* what;
        const char* name;
        bool analysed, raw, report;
        int freeMiB;  // -1: the medium's own
        const char* code;
    } cases[] = {
        {"blank name", "   ", true, true, true, -1, "0003"},
        {"no image and no report", "Sample", false, false, false, -1, "0004"},
        {"all outputs need 50 MiB", "Sample", true, true, true, 49, "0005"},
        {"analysed image and CSV need 21 MiB", "Sample", true, false, false, 20, "0005"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.freeMiB >= 0)
            setFreeMiB(quint64(c.freeMiB));
        auto dialog = open();
        QSignalSpy named(dialog.get(), &SavePrintDlg::signalFilenameReplaced);
        const bool chosen[] = {c.analysed, c.raw, c.report};
        const char* boxes[] = {"CHKBOX_ANALYZED_IMAGE_ON", "CHKBOX_RAW_IMAGE_ON", "CHKBOX_REPORT_ON"};
        for (int i = 0; i < 3; ++i)
            if (!chosen[i])
                child<QCheckBox>(*dialog, boxes[i])->click();
        typeName(*dialog, c.name);
        const QStringList before = entries(kInternal);
        const QByteArray masterBefore = root.readFile(master());
        const QByteArray copyBefore = root.readFile(ResultTree::previousCountCopy(BF_CELL_COUNTING_VIABILITY));

        bool disabledWhileShown = false;
        answerer.plan(true, [&] { disabledWhileShown = !dialog->isEnabled(); });
        pressSave(*dialog);
        ASSERT_TRUE(answered());
        EXPECT_TRUE(answerer.shown.last().contains(QStringLiteral("Code : ") + c.code)) << answerer.shown.last().toStdString();
        EXPECT_TRUE(disabledWhileShown);
        EXPECT_TRUE(dialog->isEnabled()) << "enabled again by OK";

        EXPECT_EQ(entries(kInternal), before);
        EXPECT_EQ(root.readFile(master()), masterBefore);
        EXPECT_EQ(root.readFile(ResultTree::previousCountCopy(BF_CELL_COUNTING_VIABILITY)), copyBefore);
        EXPECT_EQ(named.count(), 0);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(child<QCheckBox>(*dialog, boxes[i])->isChecked(), chosen[i]) << boxes[i];
        EXPECT_TRUE(child(*dialog, "BUTTON_INTERNAL")->isChecked());
        EXPECT_EQ(child<QLineEdit>(*dialog, "EDIT_FILENAME")->text(), c.name);
    }
}

TEST_F(SavePrint, JustEnoughRoomSavesWithWeightedProgress)
{
    {
        setFreeMiB(50);
        auto dialog = open();
        typeName(*dialog, "All");
        answerer.plan(true);
        pressSave(*dialog);
        ASSERT_TRUE(answered());
        EXPECT_EQ(answerer.shown.last(), kCompleted);
        EXPECT_EQ(resultFiles("All"), allFiles("All"));
    }
    {
        setFreeMiB(21);
        auto dialog = open();
        child<QCheckBox>(*dialog, "CHKBOX_RAW_IMAGE_ON")->click();
        child<QCheckBox>(*dialog, "CHKBOX_REPORT_ON")->click();
        typeName(*dialog, "Analysed");
        BarRecorder recorder;
        answerer.plan(true);
        pressSave(*dialog);
        ASSERT_TRUE(answered());
        EXPECT_EQ(resultFiles("Analysed"), (QStringList{"Analysed.csv", "Analysed_TAG.tif"}));
        // The analysed image is 1500 of 1600: 93 %, then 100 %.
        EXPECT_TRUE(recorder.bars.contains(3 * 93)) << QStringList([&] {
                                                           QStringList s;
                                                           for (int b : recorder.bars)
                                                               s << QString::number(b);
                                                           return s;
                                                       }()).join(' ').toStdString();
        EXPECT_FALSE(recorder.bars.contains(3 * 94));
    }
}

TEST_F(SavePrint, AfterNoOptionTheNextSaveWritesNoCsvUntilARunCompletes)
{
    auto dialog = open();
    for (const char* box : {"CHKBOX_ANALYZED_IMAGE_ON", "CHKBOX_RAW_IMAGE_ON", "CHKBOX_REPORT_ON"})
        child<QCheckBox>(*dialog, box)->click();
    typeName(*dialog, "First");
    answerer.plan(true);
    pressSave(*dialog);
    ASSERT_TRUE(answered());
    EXPECT_TRUE(answerer.shown.last().contains("Code : 0004"));

    child<QCheckBox>(*dialog, "CHKBOX_ANALYZED_IMAGE_ON")->click();
    answerer.plan(true);
    pressSave(*dialog);
    ASSERT_TRUE(answered());
    EXPECT_EQ(resultFiles("First"), QStringList{"First_TAG.tif"});

    answerer.plan(true);
    pressSave(*dialog);
    ASSERT_TRUE(answered());
    EXPECT_EQ(resultFiles("First(1)"), (QStringList{"First(1).csv", "First(1)_TAG.tif"}));
}

TEST_F(SavePrint, ClashingNamesCountUpAndNameTheNewestPreviousCount)
{
    ASSERT_TRUE(QDir().mkpath(root.path(kInternal + "/sample")));
    auto dialog = open();
    QSignalSpy named(dialog.get(), &SavePrintDlg::signalFilenameReplaced);
    typeName(*dialog, "Sample");
    for (const char* expected : {"Sample(1)", "Sample(2)"}) {
        answerer.plan(true);
        pressSave(*dialog);
        ASSERT_TRUE(answered());
        EXPECT_EQ(resultFiles(expected), allFiles(expected));
        ASSERT_FALSE(named.isEmpty());
        EXPECT_EQ(named.last(), (QList<QVariant>{1, QString(expected)}));

        const QList<QByteArray> rows = root.readFile(master()).split('\n');
        ASSERT_EQ(rows.size(), 3);
        EXPECT_EQ(rows[1], kRows[0]) << "older rows keep their names";
        EXPECT_TRUE(rows[2].startsWith(QByteArray("anonymous,") + expected + ",08 Dec 2026 14:03,")) << rows[2].toStdString();
        const QList<QByteArray> copy = root.readFile(ResultTree::previousCountCopy(BF_CELL_COUNTING_VIABILITY)).split('\n');
        ASSERT_EQ(copy.size(), 3);
        EXPECT_EQ(copy[1], rows[2]) << "newest first";
    }

    // A file of the name clashes as a folder does, whatever its letter case.
    root.writeFile(kInternal + "/SAMPLE(3)", "not a result");
    answerer.plan(true);
    pressSave(*dialog);
    ASSERT_TRUE(answered());
    EXPECT_EQ(resultFiles("Sample(4)"), allFiles("Sample(4)"));
    EXPECT_EQ(root.readFile(kInternal + "/SAMPLE(3)"), "not a result");
}

TEST_F(SavePrint, AutomaticSaveNamesByTheSettings)
{
    const struct {
        const char* suffix;
        int counter;
        const char* folder;
        int counterAfter;
    } cases[] = {
        {"Sequence", 7, "run_00007", 8},
        {"Sequence", 100000, "run_00001", 2},
        {"TimeStamp", 7, "run_20261208140322", 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        theApp.m_SaveReview.m_strBaseName = "run";
        theApp.m_SaveReview.m_strSuffixType = c.suffix;
        theApp.m_SaveReview.m_nSequenceCount = c.counter;
        auto dialog = std::make_unique<SavePrintDlg>();
        dialog->setClock([] { return kNow; });
        dialog->setSettlePause(0);
        QSignalSpy completed(dialog.get(), &SavePrintDlg::sig_autosave_completed);
        int completedWhileShown = -1;
        bool underWayWhileShown = false;
        // Looked at while the completion box is up: how far the save got when
        // auto_save3 returns depends on how fast the machine is.
        answerer.plan(true, [&] {
            completedWhileShown = completed.count();
            underWayWhileShown = dialog->autoSaveUnderWay();
        });
        dialog->auto_save3();
        ASSERT_TRUE(answered());
        EXPECT_EQ(answerer.shown.last(), kCompleted);
        EXPECT_EQ(completedWhileShown, 0);
        EXPECT_TRUE(underWayWhileShown);
        EXPECT_EQ(completed.count(), 1);
        EXPECT_FALSE(dialog->autoSaveUnderWay());
        EXPECT_FALSE(dialog->isVisible()) << "the dialog itself is never shown";
        EXPECT_EQ(resultFiles(c.folder), allFiles(c.folder));
        EXPECT_EQ(theApp.m_SaveReview.m_nSequenceCount, c.counterAfter);
    }
}

TEST_F(SavePrint, AutomaticBaseNamesATypedNameCouldNotHoldAreRefused)
{
    theApp.m_SaveReview.m_strSuffixType = "Sequence";
    theApp.m_SaveReview.m_nSequenceCount = 7;
    for (const char* base : {"../x", "a/b", "*?[", "run."}) {
        SCOPED_TRACE(base);
        theApp.m_SaveReview.m_strBaseName = base;
        const QStringList before = entries("/KOVA/anonymous");
        SavePrintDlg dialog;
        QSignalSpy completed(&dialog, &SavePrintDlg::sig_autosave_completed);
        answerer.plan(true);
        dialog.auto_save3();
        ASSERT_TRUE(answered());
        EXPECT_TRUE(answerer.shown.last().contains("Code : 0006"));
        EXPECT_EQ(completed.count(), 1);
        EXPECT_EQ(entries("/KOVA/anonymous"), before);
        EXPECT_EQ(entries(kInternal), QStringList{"PreviousCount_BF_CellCountingViability.csv"});
        EXPECT_EQ(theApp.m_SaveReview.m_nSequenceCount, 7);
    }
}

// A result folder that cannot be made (its name is longer than a file system
// takes) is refused with message 5, and nothing is written.
TEST_F(SavePrint, AResultFolderThatCannotBeMadeIsRefused)
{
    theApp.m_SaveReview.m_strBaseName = QString(300, 'a');
    theApp.m_SaveReview.m_strSuffixType = "Sequence";
    theApp.m_SaveReview.m_nSequenceCount = 7;
    const QByteArray masterBefore = root.readFile(master());
    SavePrintDlg dialog;
    QSignalSpy completed(&dialog, &SavePrintDlg::sig_autosave_completed);
    answerer.plan(true);
    dialog.auto_save3();
    ASSERT_TRUE(answered());
    EXPECT_TRUE(answerer.shown.last().contains("Code : 0005")) << answerer.shown.last().toStdString();
    EXPECT_EQ(completed.count(), 1);
    EXPECT_EQ(entries(kInternal), QStringList{"PreviousCount_BF_CellCountingViability.csv"});
    EXPECT_EQ(root.readFile(master()), masterBefore);
}

TEST_F(SavePrint, AgingSavesWithoutABoxThenCallsTheNextCycle)
{
    theApp.m_bAgingMode = true;
    theApp.m_SaveReview.m_strBaseName = "aging";
    theApp.m_SaveReview.m_strSuffixType = "Sequence";
    theApp.m_SaveReview.m_nSequenceCount = 1;
    SavePrintDlg dialog;
    dialog.setSettlePause(0);
    QStringList order;
    QObject::connect(&dialog, &SavePrintDlg::sig_autosave_completed, [&] { order << "autosave"; });
    QObject::connect(&dialog, &SavePrintDlg::sig_aging_savecompleted, [&] { order << "aging"; });
    dialog.auto_save3();
    EXPECT_EQ(order, (QStringList{"autosave", "aging"}));
    EXPECT_TRUE(answerer.shown.isEmpty());
    EXPECT_EQ(resultFiles("aging_00001"), allFiles("aging_00001"));
    EXPECT_EQ(theApp.m_SaveReview.m_nSequenceCount, 2);
}

TEST_F(SavePrint, AFailedWriteEndsInAnErrorBoxAndKeepsWhatWasWritten)
{
    // Without its font the report cannot be built: message 15, then the run
    // ends in message 5's text, not "Save completed!".
    QFile::remove(root.path("/opt/KOVA3/fonts/Arial.ttf"));
    auto dialog = open();
    typeName(*dialog, "Sample");
    answerer.plan(true);
    answerer.plan(true);
    pressSave(*dialog);
    ASSERT_TRUE(answered());
    ASSERT_EQ(answerer.shown.size(), 2);
    EXPECT_TRUE(answerer.shown[0].contains("Code : 0015")) << answerer.shown[0].toStdString();
    EXPECT_TRUE(answerer.shown[1].contains("Code : 0005")) << answerer.shown[1].toStdString();
    EXPECT_EQ(resultFiles("Sample"), (QStringList{"Sample.csv", "Sample_RAW.tif", "Sample_TAG.tif"}));
    EXPECT_TRUE(dialog->isEnabled());
}

TEST_F(SavePrint, SavesOnTheStick)
{
    ASSERT_FALSE(sticks.insert("stick").isEmpty());
    startMonitor();
    auto dialog = open();
    ASSERT_TRUE(child(*dialog, "BUTTON_USB")->isEnabled());
    ASSERT_TRUE(child(*dialog, "BUTTON_EJECT")->isEnabled());
    child(*dialog, "BUTTON_USB")->click();
    EXPECT_FALSE(child(*dialog, "BUTTON_INTERNAL")->isChecked());
    typeName(*dialog, "Sample");
    answerer.plan(true);
    pressSave(*dialog);
    ASSERT_TRUE(answered());
    EXPECT_EQ(answerer.shown.last(), kCompleted);
    EXPECT_EQ(QDir(sticks.stickFolder("stick") + "/Sample").entryList(QDir::Files, QDir::Name), allFiles("Sample"));
    EXPECT_EQ(entries(kInternal), QStringList{"PreviousCount_BF_CellCountingViability.csv"});
}

TEST_F(SavePrint, AStickPulledDuringARunEndsInError9)
{
    ASSERT_FALSE(sticks.insert("stick").isEmpty());
    startMonitor();
    auto dialog = open();
    child(*dialog, "BUTTON_USB")->click();
    typeName(*dialog, "Sample");
    OnShow<SavingDlg> pull([&] { sticks.pull("stick"); });
    answerer.plan(true);
    pressSave(*dialog);
    ASSERT_TRUE(answered());
    EXPECT_TRUE(answerer.shown.last().contains("Code : 0009")) << answerer.shown.last().toStdString();
    EXPECT_FALSE(child(*dialog, "BUTTON_USB")->isEnabled());
    EXPECT_FALSE(child(*dialog, "BUTTON_USB")->isChecked());
    EXPECT_FALSE(child(*dialog, "BUTTON_EJECT")->isEnabled());
    EXPECT_TRUE(child(*dialog, "BUTTON_INTERNAL")->isChecked());
}

TEST_F(SavePrint, NoStickAtTheStartOfARunIsAsPulledAndWritesNothing)
{
    ASSERT_FALSE(sticks.insert("stick").isEmpty());
    startMonitor();
    auto dialog = open();
    child(*dialog, "BUTTON_USB")->click();
    typeName(*dialog, "Sample");
    ASSERT_TRUE(sticks.pull("stick"));
    answerer.plan(true);
    pressSave(*dialog);
    ASSERT_TRUE(answered());
    EXPECT_TRUE(answerer.shown.last().contains("Code : 0009"));
    EXPECT_TRUE(QDir(sticks.stickFolder("stick")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(root.path("/mnt/Sample")));
    EXPECT_TRUE(child(*dialog, "BUTTON_INTERNAL")->isChecked());
}

// The error codes of the boxes shown, in order.
QStringList codes(const QStringList& boxes)
{
    QStringList found;
    for (const QString& box : boxes)
        found << QRegularExpression("Code : (\\d{4})").match(box).captured(1);
    return found;
}

// A run that does not write its whole result names no count, and says why
// once: a pulled stick is the reason, whatever failed because of it.
TEST_F(SavePrint, AFailedRunNamesNoCountAndSaysWhyOnce)
{
    constexpr int kNever = -1;
    const struct {
        const char* what;
        bool toStick;
        bool reportBuilds;
        int pullAtBar;  // the stick is pulled when the saving bar reaches this
        QStringList codes;
    } cases[] = {
        {"stick pulled as the run starts", true, true, 0, {"0009"}},
        {"report not written", false, false, kNever, {"0015", "0005"}},
        // Past the report's share (5000 of 5100); what the pull broke is not blamed.
        {"stick pulled after the report failed", true, false, 3 * 98, {"0009"}},
    };
    const QString copy = ResultTree::previousCountCopy(BF_CELL_COUNTING_VIABILITY);
    const std::string masterBefore = root.readFile(master()).toStdString();
    const std::string copyBefore = root.readFile(copy).toStdString();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.reportBuilds)
            QFile::remove(root.path("/opt/KOVA3/fonts/Arial.ttf"));
        if (sticks.deviceOf("stick").isEmpty()) {
            ASSERT_FALSE(sticks.insert("stick").isEmpty());
        }
        startMonitor();

        auto dialog = open();
        if (c.toStick)
            child(*dialog, "BUTTON_USB")->click();
        typeName(*dialog, "Sample");
        QSignalSpy named(dialog.get(), &SavePrintDlg::signalFilenameReplaced);
        bool pulled = false;
        BarWatcher pull([&](int bar) {
            if (!pulled && c.pullAtBar != kNever && bar >= c.pullAtBar)
                pulled = sticks.pull("stick");
        });
        for (int box = 0; box < c.codes.size(); ++box)
            answerer.plan(true);
        pressSave(*dialog);
        ASSERT_TRUE(QTest::qWaitFor([&] { return answerer.allPlannedAnswered() && dialog->isEnabled(); }, 20000));

        EXPECT_EQ(codes(answerer.shown), c.codes);
        EXPECT_EQ(root.readFile(master()).toStdString(), masterBefore);
        EXPECT_EQ(root.readFile(copy).toStdString(), copyBefore);
        EXPECT_EQ(named.count(), 0);
        answerer.shown.clear();
    }
}

TEST_F(SavePrint, EjectAndPrintKeysLieOverTheKeyboardsOwn)
{
    ASSERT_FALSE(sticks.insert("stick").isEmpty());
    startMonitor();
    auto dialog = open();
    auto* keyboard = child<QWidget>(*dialog, "FRAME_KEYBOARD");
    for (const auto& keys : {std::pair<const char*, const char*>{"BUTTON_EJECT", "BUTTON_KEY_EJECT"},
                             {"BUTTON_PRINT", "BUTTON_KEY_PRINT"}}) {
        QWidget* own = child(*dialog, keys.first);
        QWidget* under = child(*keyboard, keys.second);
        EXPECT_EQ(own->geometry(), QRect(under->mapTo(dialog.get(), QPoint()), under->size())) << keys.first;
        EXPECT_EQ(dialog->childAt(own->geometry().center()), own) << keys.first;
    }

    answerer.plan(true);
    child(*dialog, "BUTTON_EJECT")->click();
    ASSERT_TRUE(answerer.allPlannedAnswered());
    EXPECT_TRUE(answerer.shown.last().contains("safely removed from the device."));
    EXPECT_TRUE(sticks.calls().contains("umount /mnt"));
    EXPECT_FALSE(child(*dialog, "BUTTON_EJECT")->isEnabled());
    EXPECT_FALSE(child(*dialog, "BUTTON_USB")->isEnabled());
}

TEST_F(SavePrint, PrintFollowsThePrinterAndPrintsOneLabelPage)
{
    auto dialog = open();
    auto* print = child(*dialog, "BUTTON_PRINT");
    EXPECT_FALSE(print->isEnabled()) << "installed, not attached";
    ASSERT_TRUE(printer.attach());
    EXPECT_TRUE(QTest::qWaitFor([&] { return print->isEnabled(); }, 20000));
    ASSERT_TRUE(printer.detach());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !print->isEnabled(); }, 20000));
    ASSERT_TRUE(printer.attach());
    ASSERT_TRUE(QTest::qWaitFor([&] { return print->isEnabled(); }, 20000));

    typeName(*dialog, "Sample-1");
    print->click();
    const QStringList jobs = printer.jobs();
    ASSERT_EQ(jobs.size(), 1);
    const auto info = runHostTool("pdfinfo", {jobs[0]});
    EXPECT_TRUE(QString::fromUtf8(info.standardOutput).contains(QRegularExpression("Pages: +1\n")))
        << info.standardOutput.toStdString();
    const auto text = runHostTool("pdftotext", {"-layout", jobs[0], "-"});
    const QString label = QString::fromUtf8(text.standardOutput);
    for (const char* line : {"Cell count report", "File name : Sample- 1", "Date : 08 Dec 2026 14:03:22",
                             "[Dead cell] : 4.50 x 10e4 cells/mL", "Dead cell number : 20"})
        EXPECT_TRUE(label.contains(line)) << line << "\n" << label.toStdString();
    EXPECT_TRUE(print->isEnabled());
}

// The name field's Enter saves as the Save key does; the hidden large save
// key and the spare controls off the screen do nothing.
TEST_F(SavePrint, TheFieldsEnterSavesAndTheHiddenSaveKeyDoesNothing)
{
    auto dialog = open();
    for (const char* spare : {"BUTTON_ANALYZED_IMAGE_ON", "BUTTON_RAW_IMAGE_ON", "BUTTON_REPORT_ON",
                              "LABEL_ANALYZED_IMAGE", "LABEL_RAW_IMAGE", "LABEL_REPORT"})
        EXPECT_FALSE(dialog->rect().intersects(child<QWidget>(*dialog, spare)->geometry())) << spare;

    auto* saveKey = child(*dialog, "BUTTON_KEY_ENTER");
    EXPECT_TRUE(saveKey->isHidden());
    EXPECT_EQ(saveKey->geometry(), QRect(654, 278, 144, 133));
    typeName(*dialog, "Sample");
    const QStringList before = entries(kInternal);
    saveKey->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(entries(kInternal), before);
    EXPECT_TRUE(answerer.shown.isEmpty());

    answerer.plan(true);
    dialog->EDIT_FILENAME_returnPressed();
    ASSERT_TRUE(answered());
    EXPECT_EQ(answerer.shown.last(), kCompleted);
    EXPECT_EQ(resultFiles("Sample"), allFiles("Sample"));
}

TEST_F(SavePrint, TheNameFieldKeepsOnlyNameCharacters)
{
    const struct {
        const char* typed;
        const char* name;
    } cases[] = {
        {"Sample 1-b_C", "Sample 1-b_C"},
        {"a.b", "ab"},
        {"0123456789abcdefghijABCDEFGHIJ-_xyz", "0123456789abcdefghijABCDEFGHIJ-_"},
    };
    for (const auto& c : cases) {
        auto dialog = open();
        typeName(*dialog, c.typed);
        EXPECT_EQ(child<QLineEdit>(*dialog, "EDIT_FILENAME")->text(), c.name) << c.typed;
    }

    auto dialog = open();
    auto* edit = child<QLineEdit>(*dialog, "EDIT_FILENAME");
    auto* clear = child(*dialog, "BUTTON_KEY_CLEAR");
    EXPECT_FALSE(clear->isEnabled());
    typeName(*dialog, "abcd");
    EXPECT_TRUE(clear->isEnabled());
    edit->setCursorPosition(2);
    typeName(*dialog, ".");
    EXPECT_EQ(edit->text(), "abcd");
    EXPECT_EQ(edit->cursorPosition(), 2) << "a full stop leaves the name and the cursor";
    child(*dialog, "BUTTON_KEY_BACK_SPACE")->click();
    EXPECT_EQ(edit->text(), "acd");
    QTest::keyClick(dialog.get(), Qt::Key_Slash);
    EXPECT_EQ(edit->text(), "acd");
    clear->click();
    EXPECT_TRUE(edit->text().isEmpty());
    EXPECT_FALSE(clear->isEnabled());
}

}  // namespace
