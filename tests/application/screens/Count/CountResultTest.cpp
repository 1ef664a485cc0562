#include "CountScreenFixture.h"

#include "Count/DiluionCalculatorDlg.h"
#include "Count/SavePrintDlg.h"
#include "VirtualPrinter.h"
#include "LogCapture.h"
#include "WhenModal.h"

#include "Algorithm/alg_Autofocus.h"
#include "File_IO/CSVReaderWriter.h"
#include "File_IO/ImReaderWriter.h"
#include "KovaCore/ResultTree.h"
#include "Saving/SavingThread.h"

#include "velimbio/CellCounter.h"

#include "platform/Root.h"
#include "platform/SimulatedVideo.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>

#include <opencv2/core.hpp>

#include <algorithm>
#include <memory>
#include <utility>

using platform::SimulatedVideo;

namespace {

// A camera whose stream cannot start: it opens at no size.
SimulatedVideo::Faults noStream()
{
    SimulatedVideo::Faults faults;
    faults.streamOnFailure = true;
    return faults;
}

TEST_F(CountRun, CountTakesTheProtocolSnapshotStopsTheLiveViewAndReopensTheCameraAfter)
{
    enterAndWaitForTheLiveView();
    theApp.m_Loaded_Total_Protocol.gating_min_size = 7;
    const int opened = opens;
    QSignalSpy started(dlg.get(), &CountDlg::start_do_counting);
    QSignalSpy done(dlg.get(), &CountDlg::signalAppendCSVData);

    child<QPushButton>("BUTTON_COUNT")->click();

    ASSERT_EQ(started.count(), 1);
    EXPECT_FALSE(dlg->isLiveViewRunning()) << "the worker has the camera";
    EXPECT_EQ(dlg->state(), CountDlg::StateCounting);
    EXPECT_TRUE(theApp.m_bBusy);
    EXPECT_FALSE(child("BUTTON_HOME")->isEnabled());
    EXPECT_EQ(theApp.m_Counted_Total_Protocol.gating_min_size, -1);
    EXPECT_EQ(theApp.m_Counted_Total_Protocol.gating_max_size, -1);
    EXPECT_EQ(theApp.m_Counted_Total_Protocol.max_search_size, theApp.m_Loaded_Total_Protocol.max_search_size);
    EXPECT_GT(dlg->greenReference(), 100.0f) << "measured on the live frame";

    ASSERT_TRUE(done.wait(kWaitMs));
    EXPECT_EQ(dlg->state(), CountDlg::StateResult);
    EXPECT_EQ(opens, opened + 1);
    EXPECT_TRUE(theApp.m_pCamera->isRunning());
    EXPECT_EQ(theApp.m_pCamera->width(), 1280) << "back at the live view's size";
    EXPECT_FALSE(dlg->isLiveViewRunning()) << "the live view waits for Next Count";
    EXPECT_FALSE(theApp.m_bBusy);
    EXPECT_TRUE(child("BUTTON_HOME")->isEnabled());
    EXPECT_EQ(theApp.m_CountResult.dilution, float(theApp.m_Loaded_Total_Protocol.dilution_factor));
    EXPECT_EQ(theApp.m_CountResult.z_position, theApp.m_nZstageCurrentPos);
    EXPECT_TRUE(dlg->view() == (ImageNavigation::View{4, ImageNavigation::kResultView}));
    EXPECT_EQ(child<QPushButton>("BUTTON_RESULT_ZOOM")->text(), "    4x");
}

TEST_F(CountRun, AutofocusedCountingFocusesFirst)
{
    theApp.m_bAutofocusedCounting = true;
    theApp.m_nZstageCenterPos = TestInstrument::kFocus - 2000;
    instrument.mcu.setPosition(theApp.m_nZstageCenterPos);
    enterAndWaitForTheLiveView();
    QStringList order;
    QObject::connect(dlg.get(), &CountDlg::sig_endAutoFocusing, [&] { order << "focused"; });
    QObject::connect(dlg.get(), &CountDlg::start_do_counting, [&] { order << "counting"; });

    countOnce();

    EXPECT_EQ(order, QStringList({"focused", "counting"}));
    EXPECT_LE(std::abs(theApp.m_CountResult.z_position - TestInstrument::kFocus), alg_Autofocus::kStepSize);
}

TEST_F(CountRun, AfterFindCellsTheCountsUseTheAutoExposureRegisters)
{
    // The factory's trypan-blue calibration: the slide's levels at 1280 × 960, 0.26 of the exposure at full size.
    instrument.writeFile(kova::kCalibrationCusIni,
                         "[1280]\n0x3501=0x03\n0x3502=0xE8\n0x350A=0x00\n0x350B=0x00\n0x3400=0x05\n0x3401=0x00\n"
                         "0x3402=0x04\n0x3403=0x00\n0x3404=0x04\n0x3405=0x00\n"
                         "[5M]\n0x3501=0x01\n0x3502=0x04\n0x350A=0x00\n0x350B=0x00\n0x3400=0x05\n0x3401=0x00\n"
                         "0x3402=0x04\n0x3403=0x00\n0x3404=0x04\n0x3405=0x00\n");
    enterAndWaitForTheLiveView();
    child<QPushButton>("BUTTON_FIND_CELLS")->click();
    ASSERT_TRUE(QFile::exists(instrument.path(kova::kAutoExposureIni)));

    countOnce();
    EXPECT_EQ(CUR_CAL_INI, kova::kAutoExposureIni);
    EXPECT_GT(theApp.m_CountResult.total_cell, 0);

    // A new entry takes the counting mode's calibration again.
    dlg->stopCamera(false);
    dlg->Init();
    EXPECT_EQ(CUR_CAL_INI, kova::kCalibrationBfnIni);
}

TEST_F(CountRun, TheResultPageShowsFourRowsInTotalCountingAndNineWithViability)
{
    const char* const kAll[] = {"TOTAL_CELL_CONCENTRATION", "LIVE_CELL_CONCENTRATION", "DEAD_CELL_CONCENTRATION",
                                "VIABILITY", "AVERAGE_SIZE", "TOTAL_CELL_NUMBER", "LIVE_CELL_NUMBER",
                                "DEAD_CELL_NUMBER", "DILUTION_FACTOR"};
    const struct
    {
        int mode;
        std::vector<const char*> rows;  // shown, top to bottom
    } cases[] = {
        {BF_TOTAL_CELL_COUNTING, {"TOTAL_CELL_CONCENTRATION", "AVERAGE_SIZE", "TOTAL_CELL_NUMBER", "DILUTION_FACTOR"}},
        {BF_CELL_COUNTING_VIABILITY, {std::begin(kAll), std::end(kAll)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        useMode(c.mode);
        enterAndWaitForTheLiveView();
        countOnce();
        const TCountImageInfo& r = theApp.m_CountResult;
        for (const char* name : kAll) {
            const bool shown = std::find_if(c.rows.begin(), c.rows.end(),
                                            [&](const char* row) { return qstrcmp(row, name) == 0; })
                               != c.rows.end();
            EXPECT_EQ(child(QStringLiteral("LABEL_%1").arg(name).toLatin1())->isHidden(), !shown) << name;
            EXPECT_EQ(child(QStringLiteral("LABEL_%1_TITLE").arg(name).toLatin1())->isHidden(), !shown) << name;
        }
        for (std::size_t row = 0; row < c.rows.size(); ++row)
            EXPECT_EQ(child(QStringLiteral("LABEL_%1").arg(c.rows[row]).toLatin1())->y(), 40 + 35 * int(row));
        EXPECT_EQ(child<QLabel>("LABEL_TOTAL_CELL_NUMBER")->text(), QStringLiteral("%1 cells").arg(r.total_cell));
        EXPECT_EQ(child<QLabel>("LABEL_TOTAL_CELL_CONCENTRATION")->text(),
                  ResultTexts::concentration(r.total, r.total_exp));
        EXPECT_GT(r.total_cell, 0);
        if (c.mode == BF_TOTAL_CELL_COUNTING) {
            EXPECT_EQ(r.live_cell, 0);
            EXPECT_EQ(r.dead_cell, 0);
            EXPECT_EQ(r.viability, 0.0f);
        } else {
            EXPECT_EQ(r.live_cell + r.dead_cell, r.total_cell);
            EXPECT_EQ(child<QLabel>("LABEL_VIABILITY")->text(), QStringLiteral("%1 %").arg(double(r.viability), 0, 'f', 1));
        }
        child<QPushButton>("BUTTON_NEXT_COUNT")->setEnabled(true);
        ModalAnswerer answerer;
        answerer.plan(true);
        child<QPushButton>("BUTTON_NEXT_COUNT")->click();
        EXPECT_EQ(dlg->state(), CountDlg::StateCount);
        dlg->stopCamera(false);
    }
}

TEST_F(CountRun, TheResultImageIsThePlainPictureAndTheOverlayHasTheRings)
{
    theApp.m_SaveReview.m_bEnableScaleBar = true;
    enterAndWaitForTheLiveView();
    countOnce();
    // Each call rewrites the engine's one output image: copies of both.
    const cv::Mat tagged = theApp.m_pCellCounter->getOverlayImageData2(true).clone();
    const cv::Mat plain = theApp.m_pCellCounter->getOverlayImageData2(false).clone();
    cv::Mat difference, channels[3];
    cv::absdiff(tagged, plain, difference);
    cv::split(difference, channels);
    EXPECT_GT(cv::countNonZero(channels[0] | channels[1] | channels[2]), 10 * theApp.m_CountResult.total_cell)
        << "a ring round every cell";
    // The Image page's picture with tags and the scale bar on.
    EXPECT_GT(cv::norm(theApp.getScaleBarImg(), plain, cv::NORM_L1), 0.0);
}

TEST_F(CountRun, EachCountAddsItsRowToTheMasterAndTheNewestFirstCopy)
{
    // A full table: the oldest row goes.
    for (int row = 1; row <= 1000; ++row)
        theApp.m_pPreviousCountCSV->fillDataField("anonymous,row%d,01 Jan 2026 00:00:00,1.00e5,%d,10.0,DEFAULT", row, row);
    enterAndWaitForTheLiveView();
    QStringList appended;
    QObject::connect(dlg.get(), &CountDlg::signalAppendCSVData,
                     [&](const std::string& line) { appended << QString::fromStdString(line); });

    countOnce();

    ASSERT_EQ(appended.size(), 1);
    const QString row = appended[0];
    EXPECT_EQ(row.split(',').size(), 7);
    EXPECT_TRUE(row.endsWith(",DEFAULT"));
    const QString master = ResultTree::previousCountMaster(BF_TOTAL_CELL_COUNTING);
    EXPECT_FALSE(instrument.readFile(master).endsWith('\n')) << "no line end after the last row";
    const QStringList written = lines(master);
    ASSERT_EQ(written.size(), 1001);
    EXPECT_EQ(written[0], ResultTree::previousCountHeader(BF_TOTAL_CELL_COUNTING));
    EXPECT_TRUE(written[1].contains(",row2,")) << "row1 rolled out";
    EXPECT_EQ(written[1000], row);
    const QStringList copy = lines(ResultTree::previousCountCopy(BF_TOTAL_CELL_COUNTING));
    ASSERT_EQ(copy.size(), 1001);
    EXPECT_EQ(copy[1], row) << "newest first";
    EXPECT_TRUE(copy[1000].contains(",row2,"));
}

TEST_F(CountRun, AnAgingRunCountsUntilItsNumberAndSaysSo)
{
    CountDlg::seams().agingPauseMs = 0;
    theApp.m_bAgingMode = true;
    theApp.m_nAgingCount = 3;
    enterAndWaitForTheLiveView();
    QStringList shown;
    QObject::connect(dlg.get(), &CountDlg::signalAppendCSVData,
                     [&] { shown << child<QLabel>("LABEL_AGING_CUR")->text(); });
    ModalAnswerer answerer;
    answerer.plan(true);

    child<QPushButton>("BUTTON_COUNT")->click();

    ASSERT_TRUE(QTest::qWaitFor([&] { return !answerer.shown.isEmpty(); }, 3 * kWaitMs));
    EXPECT_TRUE(answerer.shown[0].contains("Cell counting aging finish!"));
    // The label counts the finished counts as each next one starts.
    EXPECT_EQ(shown, QStringList({"", "1", "2"}));
    EXPECT_EQ(child<QLabel>("LABEL_AGING_CUR")->text(), "3");
    EXPECT_FALSE(theApp.m_bAgingMode);
    EXPECT_EQ(theApp.m_pPreviousCountCSV->csv().size(), 4u);
    EXPECT_EQ(answerer.unplanned, 0);
}

// The count is saved under the settings' name, under the dimmed screen,
// through a saving box the user closes.
TEST_F(CountRun, AnAutomaticSaveAfterACountNamesTheResultByTheSettings)
{
    ASSERT_TRUE(sim::installReportResources(platform::instrumentRoot()));
    theApp.m_SaveReview.m_bAutoSave = true;
    theApp.m_SaveReview.m_strBaseName = "run";
    theApp.m_SaveReview.m_strSuffixType = "Sequence";
    theApp.m_SaveReview.m_nSequenceCount = 7;
    enterAndWaitForTheLiveView();
    ModalAnswerer answerer;
    bool dimmedWhileShown = false;
    answerer.plan(true, [&] { dimmedWhileShown = !child<QLabel>("DIM_OVERLAY")->isHidden(); });

    countOnce();
    ASSERT_TRUE(QTest::qWaitFor([&] { return answerer.allPlannedAnswered(); }, kWaitMs));
    EXPECT_EQ(answerer.shown.value(0), "<p><br/>Save completed!</p>");
    EXPECT_TRUE(dimmedWhileShown);
    EXPECT_TRUE(child<QLabel>("DIM_OVERLAY")->isHidden());
    EXPECT_EQ(QDir(platform::rootPath(ResultTree::modeFolder(BF_TOTAL_CELL_COUNTING) + "/run_00007"))
                  .entryList(QDir::Files, QDir::Name),
              QStringList({"run_00007.csv", "run_00007.pdf", "run_00007_RAW.tif", "run_00007_TAG.tif"}));
    EXPECT_TRUE(lines(ResultTree::previousCountMaster(BF_TOTAL_CELL_COUNTING)).last().startsWith("anonymous,run_00007,"));
    EXPECT_EQ(theApp.m_SaveReview.m_nSequenceCount, 8);
    EXPECT_EQ(answerer.unplanned, 0);

    // The save's end was taken once: a later one of the same dialog leaves
    // the screen as it is.
    SavePrintDlg* save = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<SavePrintDlg*>(top))
            save = found;
    ASSERT_NE(save, nullptr);
    dlg->slot_set_backLabel(true);
    theApp.m_bBusy = true;
    emit save->sig_autosave_completed();
    EXPECT_FALSE(child<QLabel>("DIM_OVERLAY")->isHidden());
    EXPECT_TRUE(theApp.m_bBusy);
}

TEST_F(CountRun, AnAgingRunWithAutomaticSavingSavesEveryCountWithoutABox)
{
    ASSERT_TRUE(sim::installReportResources(platform::instrumentRoot()));
    CountDlg::seams().agingPauseMs = 0;
    theApp.m_bAgingMode = true;
    theApp.m_nAgingCount = 2;
    theApp.m_SaveReview.m_bAutoSave = true;
    theApp.m_SaveReview.m_strBaseName = "aging";
    theApp.m_SaveReview.m_strSuffixType = "Sequence";
    theApp.m_SaveReview.m_nSequenceCount = 1;
    enterAndWaitForTheLiveView();
    ModalAnswerer answerer;
    answerer.plan(true);

    child<QPushButton>("BUTTON_COUNT")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answerer.shown.isEmpty(); }, 3 * kWaitMs));
    EXPECT_TRUE(answerer.shown[0].contains("Cell counting aging finish!")) << "the only box";
    const QDir folder(platform::rootPath(ResultTree::modeFolder(BF_TOTAL_CELL_COUNTING)));
    for (const char* result : {"aging_00001", "aging_00002"})
        EXPECT_EQ(QDir(folder.filePath(result)).entryList(QDir::Files).size(), 4) << result;
    EXPECT_EQ(theApp.m_SaveReview.m_nSequenceCount, 3);
    EXPECT_EQ(answerer.unplanned, 0);
}

// A count whose result cannot be kept ends the run after the save's own
// boxes, as reaching its number does; the counts made so far stand.
TEST_F(CountRun, AFailedSaveInAnAgingRunEndsIt)
{
    const struct {
        const char* what;
        const char* baseName;
        bool reportBuilds;
        QStringList codes;  // of the save's boxes
    } cases[] = {
        {"an output not written", "aging", false, {"0015", "0005"}},
        {"a refused name", "aging.", true, {"0006"}},
    };
    CountDlg::seams().agingPauseMs = 0;
    enterAndWaitForTheLiveView();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.reportBuilds) {
            ASSERT_TRUE(sim::installReportResources(platform::instrumentRoot()));
        }
        theApp.m_bAgingMode = true;
        theApp.m_nAgingCount = 3;
        theApp.m_nAgingProgress = 0;
        theApp.m_SaveReview.m_bAutoSave = true;
        theApp.m_SaveReview.m_strBaseName = c.baseName;
        theApp.m_SaveReview.m_strSuffixType = "Sequence";
        theApp.m_SaveReview.m_nSequenceCount = 1;
        QSignalSpy started(dlg.get(), &CountDlg::start_do_counting);
        ModalAnswerer answerer;
        for (int box = 0; box <= c.codes.size(); ++box)
            answerer.plan(true);

        child<QPushButton>("BUTTON_COUNT")->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return answerer.allPlannedAnswered(); }, 3 * kWaitMs))
            << answerer.shown.join('\n').toStdString();

        for (int box = 0; box < c.codes.size(); ++box)
            EXPECT_TRUE(answerer.shown[box].contains("Code : " + c.codes[box])) << answerer.shown[box].toStdString();
        EXPECT_TRUE(answerer.shown.last().contains("Cell counting aging finish!"))
            << answerer.shown.last().toStdString();
        EXPECT_FALSE(theApp.m_bAgingMode);
        EXPECT_EQ(child<QLabel>("LABEL_AGING_CUR")->text(), "1");
        EXPECT_EQ(started.count(), 1) << "no further count";
        EXPECT_EQ(answerer.unplanned, 0);
    }
}

TEST_F(CountRun, SaveAndDilutionOpenTheirDialogsOnTheResult)
{
    useMode(BF_CELL_COUNTING_VIABILITY);
    enterAndWaitForTheLiveView();
    countOnce();
    QSignalSpy named(dlg.get(), &CountDlg::signalFilenameReplaced);

    bool forwarded = false;
    WhenModal<SavePrintDlg> save([&](SavePrintDlg* dialog) {
        dlg->slot_set_backLabel(true);  // the power-off question over the dialog
        forwarded = !dialog->findChild<QLabel*>("DIM_OVERLAY")->isHidden() &&
                    child<QLabel>("DIM_OVERLAY")->isHidden();
        dlg->slot_set_backLabel(false);
        dialog->startFilenameReplaced("Sample");
        dialog->findChild<QPushButton*>("BUTTON_BACK")->click();
    });
    child<QPushButton>("BUTTON_SAVE_PRINT")->click();
    ASSERT_TRUE(save.done());
    EXPECT_TRUE(forwarded);
    ASSERT_EQ(named.count(), 1);
    EXPECT_EQ(named[0], (QList<QVariant>{1, QString("Sample")}));

    const TCountImageInfo& r = theApp.m_CountResult;
    QString shown;
    WhenModal<DiluionCalculatorDlg> dilution([&](DiluionCalculatorDlg* dialog) {
        shown = dialog->findChild<QLineEdit*>("EDIT_CURRENT")->text() + " " +
                dialog->findChild<QLineEdit*>("EDIT_CURRENT_EXP")->text();
        dialog->findChild<QPushButton*>("BUTTON_BACK")->click();
    });
    child<QPushButton>("BUTTON_DILUTION")->click();
    ASSERT_TRUE(dilution.done());
    EXPECT_EQ(shown, QString::number(double(round2(r.total, 100)), 'g', 2) + " " + QString::number(r.total_exp));
}

TEST_F(CountRun, StopEndsTheAgingRunAfterTheCountInProgress)
{
    CountDlg::seams().agingPauseMs = 0;
    theApp.m_bAgingMode = true;
    theApp.m_nAgingCount = 5;
    enterAndWaitForTheLiveView();
    ModalAnswerer answerer;
    QSignalSpy started(dlg.get(), &CountDlg::start_do_counting);

    child<QPushButton>("BUTTON_COUNT")->click();
    child<QPushButton>("BUTTON_AGING_STOP")->click();  // during the count
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->state() == CountDlg::StateResult; }, kWaitMs));
    QCoreApplication::processEvents();

    EXPECT_FALSE(theApp.m_bAgingMode);
    EXPECT_EQ(started.count(), 1) << "no further count";
    EXPECT_TRUE(answerer.shown.isEmpty()) << "no message 37";
}

TEST_F(CountRun, ARecountOfTheStoredRawImageGivesTheSameNumbers)
{
    useMode(BF_CELL_COUNTING_VIABILITY);
    enterAndWaitForTheLiveView();
    countOnce();
    const TCountImageInfo counted = theApp.m_CountResult;
    const QString folder = ResultTree::modeFolder(BF_CELL_COUNTING_VIABILITY);
    QDir().mkpath(platform::rootPath(folder + "/sample"));
    SavingThread job;
    job.setType(SavingThread::RawImage);
    job.setDestination(folder, QStringLiteral("sample"));
    QSignalSpy saved(&job, &SavingThread::signalSaveCompleted);
    job.run();
    ASSERT_EQ(saved.count(), 1);
    ASSERT_TRUE(saved.at(0).at(1).toBool());
    theApp.m_CountResult = TCountImageInfo();

    QSignalSpy done(dlg.get(), &CountDlg::signalAppendCSVData);
    dlg->slot_analysis(folder + "/sample/sample_RAW.tif");
    EXPECT_EQ(dlg->state(), CountDlg::StateCounting);
    ASSERT_TRUE(done.wait(kWaitMs));

    const TCountImageInfo& again = theApp.m_CountResult;
    EXPECT_EQ(again.total_cell, counted.total_cell);
    EXPECT_EQ(again.live_cell, counted.live_cell);
    EXPECT_EQ(again.dead_cell, counted.dead_cell);
    EXPECT_EQ(again.total, counted.total);
    EXPECT_EQ(again.total_exp, counted.total_exp);
    EXPECT_EQ(again.viability, counted.viability);
    EXPECT_EQ(again.average_cell_size, counted.average_cell_size);
    EXPECT_EQ(theApp.m_strFinalName, "sample");
    EXPECT_EQ(dlg->state(), CountDlg::StateResult);
}

TEST_F(CountRun, AnUnreadableStoredImageReturnsToTheCountPageWithMessage40)
{
    enterAndWaitForTheLiveView();
    instrument.writeFile("/KOVA/anonymous/TOTAL_CELL_COUNTING/bad/bad_RAW.tif", "not a TIFF");
    ModalAnswerer answerer;
    answerer.plan(true);

    dlg->slot_analysis("/KOVA/anonymous/TOTAL_CELL_COUNTING/bad/bad_RAW.tif");

    ASSERT_TRUE(QTest::qWaitFor([&] { return !answerer.shown.isEmpty(); }, kWaitMs));
    EXPECT_TRUE(answerer.shown[0].contains("An error occurred when opening the result"));
    EXPECT_EQ(dlg->state(), CountDlg::StateCount);
    EXPECT_TRUE(child("BUTTON_COUNT")->isEnabled());
    EXPECT_TRUE(child("BUTTON_HOME")->isEnabled());
    EXPECT_FALSE(child("BUTTON_ZOOM")->isHidden());
    EXPECT_FALSE(theApp.m_bBusy);
    EXPECT_TRUE(dlg->isLiveViewRunning());
}

TEST_F(CountRun, AFailedSwitchToFullResolutionReopensTheCameraAndCountsAgain)
{
    enterAndWaitForTheLiveView();
    ASSERT_TRUE(SimulatedVideo::setFaults(noStream()));  // the worker's open at full resolution fails
    beforeOpen = [] { SimulatedVideo::setFaults({}); };
    QSignalSpy started(dlg.get(), &CountDlg::start_do_counting);

    countOnce();

    EXPECT_EQ(started.count(), 2) << "the count started again by itself";
    EXPECT_EQ(dlg->state(), CountDlg::StateResult);
    EXPECT_GT(theApp.m_CountResult.total_cell, 0);
}

TEST_F(CountRun, ACameraThatNeverSwitchesEndsTheCountWithMessage48)
{
    enterAndWaitForTheLiveView();
    // The live view's size opens, the full size never does.
    int reopened = 0;
    beforeOpen = [&reopened] {
        ++reopened;
        SimulatedVideo::setFaults({});
    };
    QObject::connect(dlg.get(), &CountDlg::start_do_counting, [] { SimulatedVideo::setFaults(noStream()); });
    ModalAnswerer answerer;
    answerer.plan(true);

    child<QPushButton>("BUTTON_COUNT")->click();

    ASSERT_TRUE(QTest::qWaitFor([&] { return !answerer.shown.isEmpty(); }, 3 * kWaitMs));
    EXPECT_TRUE(answerer.shown[0].contains("transmission error"));
    EXPECT_EQ(reopened, CountDlg::kCameraRestarts);
    EXPECT_EQ(dlg->state(), CountDlg::StateCount);
    EXPECT_FALSE(theApp.m_bBusy);
    EXPECT_TRUE(child("BUTTON_COUNT")->isEnabled());
    EXPECT_TRUE(dlg->isLiveViewRunning());
}

// Raises a restart of the microcontroller the first time `signal` comes; with
// `told`, returns once the screen has been told, before the worker can end.
// (Inside the link's own handling the report waits for it to return.)
template <class Signal>
QMetaObject::Connection restartOnFirst(CountDlg* dlg, Signal signal, TestInstrument& instrument, bool told)
{
    auto raised = std::make_shared<bool>(false);
    return QObject::connect(dlg, signal, dlg, [raised, told, &instrument] {
        if (std::exchange(*raised, true))
            return;
        QSignalSpy reset(instrument.controller.get(), &Controller::sig_device_reset);
        instrument.mcu.raiseRestart();
        if (told) {
            EXPECT_TRUE(reset.wait(10000)) << "no restart reported";
        }
    });
}

// A restart of the microcontroller darkens the LED and homes the stage. A
// count it came during went on, focused and captured in the dark, and its
// empty result was shown, saved and added to the previous counts. Now the
// count yields nothing: message 48, then the live view again.
TEST_F(CountRun, ARestartDuringACountYieldsNoResultButMessage48)
{
    ASSERT_TRUE(sim::installReportResources(platform::instrumentRoot()));
    theApp.m_SaveReview.m_bAutoSave = true;
    const struct
    {
        const char* name;
        bool autofocused;
    } cases[] = {{"during the capture", false}, {"during the autofocus", true}};
    enterAndWaitForTheLiveView();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        theApp.m_bAutofocusedCounting = c.autofocused;
        theApp.m_CountResult.total_cell = 4321;  // the result shown before
        const QMetaObject::Connection restart =
            c.autofocused ? restartOnFirst(dlg.get(), &CountDlg::sig_debug_Message, instrument, false)
                          : restartOnFirst(dlg.get(), &CountDlg::start_do_counting, instrument, true);
        QSignalSpy appended(dlg.get(), &CountDlg::signalAppendCSVData);
        ModalAnswerer answerer;
        answerer.plan(true);

        child<QPushButton>("BUTTON_COUNT")->click();

        ASSERT_TRUE(QTest::qWaitFor([&] { return !answerer.shown.isEmpty(); }, 3 * kWaitMs)) << "no message";
        EXPECT_TRUE(answerer.shown[0].contains("transmission error")) << answerer.shown[0].toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->isLiveViewRunning(); }, kWaitMs));
        EXPECT_EQ(dlg->state(), CountDlg::StateCount);
        EXPECT_EQ(appended.count(), 0);
        EXPECT_EQ(theApp.m_CountResult.total_cell, 4321);
        EXPECT_EQ(theApp.m_pPreviousCountCSV->csv().size(), 1u) << "the header alone";
        EXPECT_TRUE(QDir(platform::rootPath(ResultTree::modeFolder(BF_TOTAL_CELL_COUNTING)))
                        .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                        .isEmpty())
            << "nothing saved";
        EXPECT_FALSE(theApp.m_bBusy);
        EXPECT_TRUE(child("BUTTON_COUNT")->isEnabled());
        EXPECT_EQ(answerer.unplanned, 0);
        QObject::disconnect(restart);
        ASSERT_TRUE(instrument.controller->led_brightness(global_ini()->LED));
    }
}

// In an aging run the voided count's message is only logged, and the run
// goes on with its next count.
TEST_F(CountRun, ARestartDuringAnAgingCountIsLoggedAndTheRunGoesOn)
{
    CountDlg::seams().agingPauseMs = 0;
    theApp.m_bAgingMode = true;
    theApp.m_nAgingCount = 2;
    enterAndWaitForTheLiveView();
    restartOnFirst(dlg.get(), &CountDlg::start_do_counting, instrument, true);
    // The next count sees the LED lit again.
    QObject::connect(instrument.controller.get(), &Controller::sig_device_reset, dlg.get(),
                     [this] { instrument.controller->led_brightness(global_ini()->LED); }, Qt::QueuedConnection);
    ModalAnswerer answerer;
    answerer.plan(true);
    LogCapture log;

    child<QPushButton>("BUTTON_COUNT")->click();

    ASSERT_TRUE(QTest::qWaitFor([&] { return !answerer.shown.isEmpty(); }, 3 * kWaitMs));
    EXPECT_EQ(answerer.shown.size(), 1);
    EXPECT_TRUE(answerer.shown[0].contains("Cell counting aging finish!")) << answerer.shown[0].toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("message 48")));
    EXPECT_EQ(child<QLabel>("LABEL_AGING_CUR")->text(), "2");
    EXPECT_EQ(theApp.m_pPreviousCountCSV->csv().size(), 2u) << "the header and the second count";
    EXPECT_EQ(answerer.unplanned, 0);
}

TEST_F(CountRun, ACameraErrorInAnAgingRunEndsItWithMessage38)
{
    CountDlg::seams().agingPauseMs = 0;
    theApp.m_bAgingMode = true;
    theApp.m_nAgingCount = 5;
    enterAndWaitForTheLiveView();
    ASSERT_TRUE(SimulatedVideo::setFaults(noStream()));
    beforeOpen = [] { SimulatedVideo::setFaults({}); };
    ModalAnswerer answerer;
    answerer.plan(true);

    child<QPushButton>("BUTTON_COUNT")->click();

    ASSERT_TRUE(QTest::qWaitFor([&] { return !answerer.shown.isEmpty(); }, 3 * kWaitMs));
    EXPECT_TRUE(answerer.shown[0].contains("The aging count is 1 cycles."));
    EXPECT_FALSE(theApp.m_bAgingMode);
}

}  // namespace
