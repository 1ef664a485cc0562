#pragma once

#include "Count/CountDlg.h"

#include "Camera/GrabThread.h"
#include "File_IO/CSVReaderWriter.h"
#include "File_IO/ImReaderWriter.h"
#include "KovaCore/ResultTree.h"
#include "platform/Root.h"
#include "Camera/OV5642Camera.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"
#include "ModalAnswerer.h"
#include "TestInstrument.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

// A counting screen on the virtual instrument: the simulated microcontroller
// (its link is Controller::instance), the simulated camera behind theApp's
// camera object, and home-screen stand-ins that open the camera and count
// how often they were asked.
class CountScreen : public ::testing::Test
{
protected:
    static constexpr int kWaitMs = 20000;  // for what comes at once on an idle machine

    void SetUp() override
    {
        ASSERT_TRUE(instrument.error().isEmpty()) << instrument.error().toStdString();
        // The instrument's own time-outs: a busy machine answers late, not wrong.
        instrument.controller->setTimeouts(Controller::kWriteTimeoutMs, Controller::kReadTimeoutMs);
        m_saved = SavedApp();
        theApp.m_fVolumeFactor = 0.9;
        theApp.m_fLensMagnification = 1.0;
        theApp.m_fSlope = 1.0;
        theApp.m_fIntercept = 0.0;
        theApp.m_nZstageCenterPos = TestInstrument::kFocus;
        theApp.m_strTotalProtocolName = QStringLiteral("DEFAULT");
        theApp.m_strViabilityProtocolName = QStringLiteral("PBMC");
        theApp.m_CountingMode = BF_TOTAL_CELL_COUNTING;
        global_ini()->LED = platform::SimulatedVideo::kReferenceBrightness;
        CountDlg::seams() = CountDlg::Seams();
        CountDlg::seams().cameraRestartPauseMs = 0;
        theApp.m_pCamera = new OV5642Camera;
        dlg = std::make_unique<CountDlg>();
        CountDlg::Home home;
        home.openCamera = [this] { openCamera(); };
        home.closed = [this] { ++closes; };
        dlg->setHome(home);
    }

    void TearDown() override
    {
        dlg.reset();
        delete theApp.m_pCamera;
        theApp.m_pCamera = nullptr;
        restoreApp();
        CountDlg::seams() = CountDlg::Seams();
    }

    // As the home screen does: a camera object when there is none, opened at 1280 × 960.
    void openCamera()
    {
        ++opens;
        if (beforeOpen)
            beforeOpen();
        if (!theApp.m_pCamera)
            theApp.m_pCamera = new OV5642Camera;
        theApp.m_pCamera->open(CountDlg::Mode1280, CUR_CAL_INI, false);
    }

    // The home screen's Count press.
    void enter()
    {
        theApp.m_nCurrentDialog = KOVACORE_COUNT_DIALOG;
        if (!theApp.m_pCamera->isRunning())
            openCamera();
        dlg->Init();
    }

    // Enters and waits until the first live frame was reported.
    void enterAndWaitForTheLiveView()
    {
        QSignalSpy first(dlg.get(), &CountDlg::signalFirstFrameUpdated);
        enter();
        ASSERT_TRUE(first.count() == 1 || first.wait(kWaitMs));
    }

    template <class T = QWidget>
    T* child(const char* name) const
    {
        T* widget = dlg->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    // The running live-view thread (stopped ones may wait for their deletion).
    GrabThread* liveThread() const
    {
        for (GrabThread* thread : dlg->findChildren<GrabThread*>())
            if (thread->isRunning())
                return thread;
        return nullptr;
    }

    TestInstrument instrument;
    std::unique_ptr<CountDlg> dlg;
    int opens = 0;
    int closes = 0;
    std::function<void()> beforeOpen;

private:
    // The application fields the tests change, put back afterwards.
    struct SavedApp
    {
        double volumeFactor = theApp.m_fVolumeFactor;
        double magnification = theApp.m_fLensMagnification;
        double slope = theApp.m_fSlope;
        double intercept = theApp.m_fIntercept;
        int centre = theApp.m_nZstageCenterPos;
        int current = theApp.m_nZstageCurrentPos;
        QString totalProtocol = theApp.m_strTotalProtocolName;
        QString viabilityProtocol = theApp.m_strViabilityProtocolName;
        int mode = theApp.m_CountingMode;
        int dialog = theApp.m_nCurrentDialog;
        bool aging = theApp.m_bAgingMode;
        int agingCount = theApp.m_nAgingCount;
        bool debug = theApp.m_bAutofocusDebug;
        bool autoExposure = theApp.m_bAutoExposureOn;
        SaveReview_s save = theApp.m_SaveReview;
        bool busy = theApp.m_bBusy;
        int autofocusOffset = theApp.m_nAutofocusOffset;
    };

    void restoreApp()
    {
        theApp.m_fVolumeFactor = m_saved.volumeFactor;
        theApp.m_fLensMagnification = m_saved.magnification;
        theApp.m_fSlope = m_saved.slope;
        theApp.m_fIntercept = m_saved.intercept;
        theApp.m_nZstageCenterPos = m_saved.centre;
        theApp.m_nZstageCurrentPos = m_saved.current;
        theApp.m_strTotalProtocolName = m_saved.totalProtocol;
        theApp.m_strViabilityProtocolName = m_saved.viabilityProtocol;
        theApp.m_CountingMode = m_saved.mode;
        theApp.m_nCurrentDialog = m_saved.dialog;
        theApp.m_bAgingMode = m_saved.aging;
        theApp.m_nAgingCount = m_saved.agingCount;
        theApp.m_bAutofocusDebug = m_saved.debug;
        theApp.m_bAutoExposureOn = m_saved.autoExposure;
        theApp.m_SaveReview = m_saved.save;
        theApp.m_bBusy = m_saved.busy;
        theApp.m_nAutofocusOffset = m_saved.autofocusOffset;
        CUR_CAL_INI.clear();
    }

    SavedApp m_saved;
};

// A counting screen as the home screen leaves it after start-up: the loaded
// DEFAULT protocols, the previous-counts table of the counting mode, the
// result folders and the image reader.
class CountRun : public CountScreen
{
protected:
    void SetUp() override
    {
        CountScreen::SetUp();
        ASSERT_TRUE(TestInstrument::loadDefaultProtocols(theApp.m_Loaded_Total_Protocol,
                                                         theApp.m_Loaded_Viability_Protocol));
        m_skip = theApp.m_nSkipframe;
        theApp.m_nSkipframe = 5;
        theApp.m_bAutofocusedCounting = false;
        theApp.m_nAgingProgress = 0;
        m_reader = theApp.m_pImReaderWriter;
        theApp.m_pImReaderWriter = &reader;
        useMode(BF_TOTAL_CELL_COUNTING);
    }

    void TearDown() override
    {
        CountScreen::TearDown();
        delete theApp.m_pPreviousCountCSV;
        theApp.m_pPreviousCountCSV = nullptr;
        theApp.m_pImReaderWriter = m_reader;
        theApp.m_nSkipframe = m_skip;
        theApp.m_bAutofocusedCounting = false;
        theApp.m_bAgingMode = false;
    }

    // The counting mode with its previous-counts table and result folder.
    void useMode(int mode)
    {
        theApp.m_CountingMode = mode;
        delete theApp.m_pPreviousCountCSV;
        theApp.m_pPreviousCountCSV =
            new CSVReaderWriter(ResultTree::kPreviousCountLines, "%s", ResultTree::previousCountHeader(mode));
        QDir().mkpath(platform::rootPath(ResultTree::modeFolder(mode)));
        QDir().mkpath(platform::rootPath(QFileInfo(ResultTree::previousCountMaster(mode)).path()));
    }

    // Presses Count on the live view and waits for the Result page.
    void countOnce()
    {
        QSignalSpy done(dlg.get(), &CountDlg::signalAppendCSVData);
        child<QPushButton>("BUTTON_COUNT")->click();
        ASSERT_TRUE(done.count() == 1 || done.wait(kWaitMs)) << "no count";
    }

    QStringList lines(const QString& logical) const
    {
        return QString::fromUtf8(instrument.readFile(logical)).split('\n');
    }

    ImReaderWriter reader;

private:
    int m_skip = 0;
    ImReaderWriter* m_reader = nullptr;
};
