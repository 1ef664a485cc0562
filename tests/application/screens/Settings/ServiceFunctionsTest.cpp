#include "Settings/Setup_DateTimeDlg.h"

#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"
#include "MediaMonitor/MediaMonitor.h"
#include "ModalAnswerer.h"
#include "WhenModal.h"
#include "Settings/CalibrationSupport.h"
#include "Settings/ServiceCodes.h"
#include "SettingsTestSupport.h"
#include "TempRoot.h"
#include "UsbSticks.h"
#include "VirtualInstrument.h"
#include "VirtualPrinter.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <functional>
#include <memory>

#include <sys/stat.h>

namespace {

const QString kFactoryResetCalls = QString::fromLatin1(kovasim::VirtualInstrument::kFactoryResetCalls);
const QString kCaptureStarts = QStringLiteral("/run/kova-sim/capture.starts");
// The body of the tests' capture program: it notes that it ran.
const QByteArray kCaptureBody = "echo started >> \"$(dirname \"$0\")/../../../run/kova-sim/capture.starts\"\n";
constexpr int kOpen = -1;  // the dialog stays open

// The date dialog's service functions on a root with the virtual
// instrument's stand-ins, its label printer and its USB sticks.
class ServiceFunctionsTest : public ::testing::Test
{
protected:
    ServiceFunctionsTest()
    {
        EXPECT_TRUE(kovasim::VirtualInstrument(root.root()).installStandIns());
        EXPECT_TRUE(sticks.installStandIns());
        EXPECT_TRUE(printer.install());
        QDir().mkpath(root.path(QStringLiteral("/run/kova-sim")));
        Setup_DateTimeDlg::seams().printPauseMs = 0;
        KovaCoreApp& app = theApp;
        app.m_bProgramExit = app.m_bFactoryReset = app.m_bAgingMode = app.m_bAutofocusDebug = false;
        app.m_nAgingCount = app.m_nAgingProgress = 7;
        app.m_SaveReview.m_nSequenceCount = 40;
        app.m_nZstageCenterPos = 30000;
        app.m_Calibration.Z_ResetPosition = 43000;
        g_running_capture = 0;
    }
    ~ServiceFunctionsTest() override
    {
        Setup_DateTimeDlg::seams() = Setup_DateTimeDlg::Seams();
        theApp.m_bProgramExit = theApp.m_bFactoryReset = theApp.m_bAgingMode = theApp.m_bAutofocusDebug = false;
        delete theApp.m_pMediaMonitor;
        theApp.m_pMediaMonitor = nullptr;
        g_running_capture = 0;
    }
    void TearDown() override
    {
        EXPECT_EQ(boxes.unplanned, 0) << "a message nobody expected";
        EXPECT_TRUE(boxes.allPlannedAnswered()) << "an expected message never came";
    }

    // Runs the code with a fresh dialog; returns its result, or kOpen.
    int runCode(int day, int month = 1)
    {
        dlg = std::make_unique<Setup_DateTimeDlg>();
        dlg->setResult(kOpen);
        dlg->show();
        const char* names[] = {"EDIT_DAY", "EDIT_MONTH", "EDIT_YEAR", "EDIT_HOUR", "EDIT_MINUTE"};
        const QStringList values = {QString::number(day), QString::number(month), "2024", "8", "5"};
        for (int i = 0; i < 5; ++i)
            dlg->findChild<QLineEdit*>(QString::fromLatin1(names[i]))->setText(values[i]);
        dlg->findChild<QPushButton*>(QStringLiteral("BUTTON_APPLY"))->click();
        return dlg->isVisible() ? kOpen : dlg->result();
    }
    // A stick mounted at /mnt, with the monitor that mounted it.
    QString mountStick()
    {
        const QString folder = sticks.stickFolder(QStringLiteral("service"));
        EXPECT_FALSE(sticks.insert(QStringLiteral("service")).isEmpty());
        theApp.m_pMediaMonitor = new MediaMonitor;
        EXPECT_TRUE(theApp.m_pMediaMonitor->searchUSB());
        return folder;
    }
    bool captureStarted()
    {
        return QTest::qWaitFor([&] { return !root.readFile(kCaptureStarts).isEmpty(); }, 10000);
    }

    TempRoot root;
    kovasim::UsbSticks sticks{root.root()};
    sim::VirtualPrinter printer{root.root()};
    ModalAnswerer boxes;
    std::unique_ptr<Setup_DateTimeDlg> dlg;
};

// One row per code: the answers given, the messages seen, how the dialog ends
// and what changed.
TEST_F(ServiceFunctionsTest, ServiceTable)
{
    using namespace ServiceCode;
    struct Row
    {
        const char* name;
        int day;
        int month;
        QList<bool> answers;
        QList<int> messages;
        int result;
        std::function<bool()> changed;
    };
    KovaCoreApp& app = theApp;
    const Row rows[] = {
        {"launcher", kLauncher, 1, {}, {}, QDialog::Accepted, [&] { return app.m_bProgramExit; }},
        {"factory reset declined", kFactoryReset, 1, {false}, {31}, QDialog::Accepted,
         [&] { return !app.m_bFactoryReset && root.readFile(kFactoryResetCalls).isEmpty(); }},
        {"factory reset", kFactoryReset, 1, {true, true}, {31, 32}, QDialog::Accepted,
         [&] {
             return app.m_bFactoryReset && root.readFile(kFactoryResetCalls) == "Factory_Reset.sh \n"
                    && app.m_SaveReview.m_nSequenceCount == 1;
         }},
        {"autofocus debug on", kAutofocusDebug, 1, {true}, {34}, QDialog::Accepted,
         [&] { return app.m_bAutofocusDebug; }},
        {"autofocus debug off", kAutofocusDebug, 1, {true}, {33}, QDialog::Accepted,
         [&] { return !app.m_bAutofocusDebug; }},
        {"aging off", kAging, 1, {true}, {35}, QDialog::Rejected, [&] { return !app.m_bAgingMode; }},
        {"focus reset declined", kFocusReset, kFocusResetMonth, {false}, {53}, QDialog::Accepted,
         [&] { return app.m_nZstageCenterPos == 30000; }},
        {"focus reset", kFocusReset, kFocusResetMonth, {true, true}, {53, 54}, QDialog::Accepted,
         [&] { return app.m_nZstageCenterPos == 43000; }},
        {"focus code, other month", kFocusReset, 2, {true}, {25}, kOpen,
         [&] { return app.m_nZstageCenterPos == 43000; }},
        {"capture without a stick", kCapture, 1, {true}, {25}, kOpen, [&] { return g_running_capture == 0; }},
    };
    app.m_bAgingMode = true;  // for "aging off"
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        boxes.shown.clear();
        for (bool answer : row.answers)
            boxes.plan(answer);
        EXPECT_EQ(runCode(row.day, row.month), row.result);
        QStringList texts;
        for (int number : row.messages)
            texts << MessageCatalogue::text(number);
        EXPECT_EQ(boxes.shown, texts);
        EXPECT_TRUE(row.changed());
    }
}

TEST_F(ServiceFunctionsTest, AgingStartsAndTakesItsCountFromTheKeypad)
{
    boxes.plan(true);
    WhenModal<NumberKeypadDlg> keypad([](NumberKeypadDlg* pad) { typeAndApply(pad, QStringLiteral("250")); });
    EXPECT_EQ(runCode(ServiceCode::kAging), QDialog::Rejected);
    EXPECT_TRUE(keypad.done());
    EXPECT_EQ(boxes.shown, messages({36}));
    EXPECT_TRUE(theApp.m_bAgingMode);
    EXPECT_EQ(theApp.m_nAgingCount, 250);
    EXPECT_EQ(theApp.m_nAgingProgress, 0);
    EXPECT_EQ(theApp.m_SaveReview.m_nSequenceCount, 1);

    boxes.plan(true);
    EXPECT_EQ(runCode(ServiceCode::kAging), QDialog::Rejected);
    EXPECT_FALSE(theApp.m_bAgingMode);
}

// The end of an autofocus run elsewhere: the camera opened again, the dialog usable.
TEST_F(ServiceFunctionsTest, CompletedAutofocusReopensTheCameraAndEnablesTheDialog)
{
    int openings = 0;
    bool disabledWhileOpening = false;
    dlg = std::make_unique<Setup_DateTimeDlg>();
    calibrationCameraOpener() = [&] {
        ++openings;
        disabledWhileOpening = !dlg->isEnabled();
    };
    dlg->setEnabled(false);
    dlg->slotCompletedAFThread();
    calibrationCameraOpener() = nullptr;
    EXPECT_EQ(openings, 1);
    EXPECT_TRUE(disabledWhileOpening) << "usable only once the camera is open";
    EXPECT_TRUE(dlg->isEnabled());
}

TEST_F(ServiceFunctionsTest, ResetValueRestoresTheTwelveFactoryValues)
{
    KovaCoreApp& app = theApp;
    app.m_bAutoShutdown = false;
    app.m_nAutoShutdownTime = 3;
    app.m_strTotalProtocolName = app.m_strViabilityProtocolName = QStringLiteral("PBMC");
    app.m_CountingMode = BF_CELL_COUNTING_VIABILITY;
    app.m_SaveReview = {true, QStringLiteral("X"), QStringLiteral("TimeStamp"), 99, true};
    app.m_nSlideType = SLIDE_TYPE_VALIDATION;
    app.m_bAutofocusedCounting = false;
    Setup_DateTimeDlg().reset_value();
    EXPECT_TRUE(app.m_bAutoShutdown);
    EXPECT_EQ(app.m_nAutoShutdownTime, 8);
    EXPECT_EQ(app.m_strTotalProtocolName, "DEFAULT");
    EXPECT_EQ(app.m_strViabilityProtocolName, "DEFAULT");
    EXPECT_EQ(app.m_CountingMode, BF_TOTAL_CELL_COUNTING);
    EXPECT_FALSE(app.m_SaveReview.m_bAutoSave);
    EXPECT_EQ(app.m_nSlideType, SLIDE_TYPE_2CH);
    EXPECT_TRUE(app.m_bAutofocusedCounting);
    EXPECT_EQ(app.m_SaveReview.m_strBaseName, "KOVA3");
    EXPECT_EQ(app.m_SaveReview.m_strSuffixType, "Sequence");
    EXPECT_FALSE(app.m_SaveReview.m_bEnableScaleBar);
    EXPECT_EQ(app.m_SaveReview.m_nSequenceCount, 1);
}

TEST_F(ServiceFunctionsTest, CaptureFromTheProgramFolderOnlyWhileAStickIsMounted)
{
    root.writeScript(QStringLiteral("/opt/KOVA3/bin/capture"), kCaptureBody);
    boxes.plan(true);
    EXPECT_EQ(runCode(ServiceCode::kCapture), kOpen);
    EXPECT_EQ(boxes.shown, messages({25})) << "no stick: nothing started";
    EXPECT_EQ(g_running_capture, 0);

    mountStick();
    EXPECT_EQ(runCode(ServiceCode::kCapture), QDialog::Rejected);
    EXPECT_TRUE(captureStarted());
    EXPECT_EQ(g_running_capture, 1);
}

TEST_F(ServiceFunctionsTest, CaptureIsCopiedFromTheStickExecutableAndStarted)
{
    const QString stick = mountStick();
    const QString onStick = root.writeScript(QStringLiteral("/tmp/capture"), kCaptureBody);
    ASSERT_TRUE(QFile::copy(onStick, stick + "/capture"));

    EXPECT_EQ(runCode(ServiceCode::kCapture), QDialog::Rejected);
    const QString installed = root.path(QStringLiteral("/opt/KOVA3/bin/capture"));
    EXPECT_EQ(root.readFile(QStringLiteral("/opt/KOVA3/bin/capture")), "#!/bin/sh\n" + kCaptureBody);
    struct stat status{};
    ASSERT_EQ(::stat(QFile::encodeName(installed).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0755u);
    EXPECT_TRUE(captureStarted());
    EXPECT_EQ(g_running_capture, 1);

    // Once started, the code closes the dialog also without a stick.
    sticks.pull(QStringLiteral("service"));
    delete theApp.m_pMediaMonitor;
    theApp.m_pMediaMonitor = nullptr;
    EXPECT_EQ(runCode(ServiceCode::kCapture), QDialog::Rejected);
}

TEST_F(ServiceFunctionsTest, CaptureOnNeitherIsTheDateMessage)
{
    mountStick();
    boxes.plan(true);
    EXPECT_EQ(runCode(ServiceCode::kCapture), kOpen);
    EXPECT_EQ(boxes.shown, messages({25}));
    EXPECT_EQ(g_running_capture, 0);
}

// A stick that fails in the middle of the copy (its reads end in EIO, as when
// it is pulled): no program, no partial copy, nothing started.
TEST_F(ServiceFunctionsTest, FailedCaptureCopyLeavesNothingToStart)
{
    const QString stick = mountStick();
    ASSERT_TRUE(QFile::link(QStringLiteral("/proc/self/mem"), stick + "/capture"));
    boxes.plan(true);
    EXPECT_EQ(runCode(ServiceCode::kCapture), kOpen);
    EXPECT_EQ(boxes.shown, messages({25}));
    EXPECT_EQ(QDir(root.path(QStringLiteral("/opt/KOVA3/bin"))).entryList(QDir::Files | QDir::Hidden),
              QStringList({"Factory_Reset.sh"}));
    EXPECT_EQ(g_running_capture, 0);
}

TEST_F(ServiceFunctionsTest, SettingsPrintoutPagesAreByteExact)
{
    QByteArray file;
    for (int line = 0; line < 80; ++line)
        file += QByteArray("key%20") + QByteArray::number(line) + "=value\n";
    root.writeFile(kova::kMainIni, file);
    const QStringList pages = Setup_DateTimeDlg::printoutPages(QString::fromLatin1(kova::kMainIni));
    const QString header = QStringLiteral("\n\n       =========================\n       * KOVA-III.ini File [%1/2]\n"
                                          "       =========================\n\n");
    QString first = header.arg(1) + "\n";
    for (int line = 0; line <= 41; ++line)
        first += QStringLiteral("       key %1=value\n").arg(line);
    QString second = header.arg(2);
    for (int line = 42; line <= 77; ++line)
        second += QStringLiteral("       key %1=value\n").arg(line);
    EXPECT_EQ(pages, QStringList({first, second}));

    EXPECT_EQ(Setup_DateTimeDlg::printoutPages(QStringLiteral("/opt/KOVA3/conf/missing.ini")),
              QStringList({header.arg(1) + "\n", header.arg(2)}))
        << "an unreadable file prints its headers alone";
}

TEST_F(ServiceFunctionsTest, PrintCodePrintsTwoLabelsOnlyWithAPrinterAndWrittenSettings)
{
    EXPECT_EQ(runCode(ServiceCode::kPrintSettings), QDialog::Accepted);
    EXPECT_TRUE(printer.jobs().isEmpty()) << "no printer";

    ASSERT_TRUE(printer.attach());
    EXPECT_EQ(runCode(ServiceCode::kPrintSettings), QDialog::Accepted);
    EXPECT_EQ(printer.jobs().size(), 2);
    EXPECT_TRUE(root.readFile(kova::kMainIni).contains("[Save%20Review]")) << "written before it is printed";

    // Settings that cannot be written are not printed.
    QFile::remove(root.path(kova::kMainIni));
    QDir().mkpath(root.path(kova::kMainIni));
    EXPECT_EQ(runCode(ServiceCode::kPrintSettings), QDialog::Accepted);
    EXPECT_EQ(printer.jobs().size(), 2);
}

}  // namespace
