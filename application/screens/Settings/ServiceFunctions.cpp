// The service functions of the date and time dialog, reached through the
// reserved codes of ServiceCodes.h, and the settings printout.
#include "Settings/Setup_DateTimeDlg.h"

#include "Common/DimOverlay.h"
#include "File_IO/copy.h"
#include "Keyboard/NumberKeypadDlg.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"
#include "KovaCore/MainSettings.h"
#include "MediaMonitor/MediaMonitor.h"
#include "Settings/ServiceCodes.h"

#include "platform/CommandRunner.h"
#include "platform/Log.h"
#include "platform/Root.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <QTimer>

#include <unistd.h>

namespace {

constexpr int kFactoryResetQuestion = 31;
constexpr int kFactoryResetDone = 32;
constexpr int kAutofocusDebugOff = 33;
constexpr int kAutofocusDebugOn = 34;
constexpr int kAgingOff = 35;
constexpr int kAgingOn = 36;
constexpr int kFocusResetQuestion = 53;
constexpr int kFocusResetDone = 54;

constexpr int kMaxAgingCount = 99999;
const QString kFactoryResetScript = QStringLiteral("/opt/KOVA3/bin/Factory_Reset.sh");
const QString kCaptureProgram = QStringLiteral("/opt/KOVA3/bin/capture");
const QString kCaptureOnStick = QStringLiteral("/mnt/capture");
// Where the copy grows until it is whole; never started from there.
const QString kCapturePart = QStringLiteral("/opt/KOVA3/bin/.capture.part");

// Lines 0 to 41 go on the first label, 42 to 77 on the second; later ones are not printed.
constexpr int kFirstLabelLastLine = 41;
constexpr int kLastPrintedLine = 77;
const QString kPrintIndent = QStringLiteral("       ");

bool isFile(const QString& logical)
{
    return QFileInfo(platform::rootPath(logical)).isFile();
}

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

bool Setup_DateTimeDlg::runService(int day, int month)
{
    switch (day) {
    case ServiceCode::kLauncher:
        leaveForLauncher();
        return true;
    case ServiceCode::kFactoryReset:
        factoryReset();
        return true;
    case ServiceCode::kAging:
        toggleAging();
        return true;
    case ServiceCode::kAutofocusDebug:
        toggleAutofocusDebug();
        return true;
    case ServiceCode::kPrintSettings:
        printSettings();
        return true;
    case ServiceCode::kCapture:
        return startCapture();
    case ServiceCode::kFocusReset:
        if (month != ServiceCode::kFocusResetMonth)
            return false;
        resetFocus();
        return true;
    default:
        return false;
    }
}

void Setup_DateTimeDlg::leaveForLauncher()
{
    KLOG_ENTER;
    theApp.m_bProgramExit = true;
    accept();
}

void Setup_DateTimeDlg::factoryReset()
{
    KLOG_ENTER;
    if (m_pOverlay->message(kFactoryResetQuestion) == 1) {
        reset_value();
        const platform::CommandResult script =
            platform::CommandRunner::run(kFactoryResetScript, {}, seams().commandTimeoutMs);
        if (!script.succeeded())
            KLOG << "[Error] factory reset script: started" << script.started << "exit" << script.exitCode;
        theApp.m_bFactoryReset = true;
        m_pOverlay->message(kFactoryResetDone);
    }
    m_pOverlay->hide();
    setEnabled(true);
    accept();
}

void Setup_DateTimeDlg::toggleAging()
{
    KLOG_ENTER;
    if (theApp.m_bAgingMode) {
        theApp.m_bAgingMode = false;
        m_pOverlay->message(kAgingOff);
        close();
        return;
    }
    theApp.m_nAgingProgress = 0;
    theApp.m_nAgingCount = 0;
    theApp.m_bAgingMode = true;
    theApp.m_SaveReview.m_nSequenceCount = 1;
    m_pOverlay->message(kAgingOn);
    NumberKeypadDlg keypad;
    keypad.set_mode(NUMBER_KEYPAD_NUMBER);
    keypad.set_range_value(kMaxAgingCount, 1, 5);
    connect(&keypad, &NumberKeypadDlg::signal_set_value, this, &Setup_DateTimeDlg::slot_set_value);
    m_pOverlay->runOver(keypad);
    close();
}

void Setup_DateTimeDlg::toggleAutofocusDebug()
{
    KLOG_ENTER;
    theApp.m_bAutofocusDebug = !theApp.m_bAutofocusDebug;
    m_pOverlay->message(theApp.m_bAutofocusDebug ? kAutofocusDebugOn : kAutofocusDebugOff);
    setEnabled(true);
    accept();
}

void Setup_DateTimeDlg::printSettings()
{
    KLOG_ENTER;
    if (MainSettings::before_loseINI())
        print_INI();
    else
        KLOG << "[Error] the settings could not be written; nothing printed";
    setEnabled(true);
    accept();
}

bool Setup_DateTimeDlg::startCapture()
{
    KLOG_ENTER;
    if (theApp.m_pMediaMonitor && theApp.m_pMediaMonitor->searchUSB()) {
        bool installed = isFile(kCaptureProgram);
        if (!installed && isFile(kCaptureOnStick)) {
            // A copy that fails halfway never becomes the program.
            const QString part = platform::rootPath(kCapturePart);
            installed = copy(kCaptureOnStick.toUtf8().constData(), kCapturePart.toUtf8().constData()) == 0
                        && QFile::setPermissions(part, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                           | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
                                                           | QFile::ExeOther)
                        && QFile::rename(part, platform::rootPath(kCaptureProgram));
            if (!installed) {
                KLOG << "[Error] capture program not copied from the stick";
                QFile::remove(part);
            }
            ::sync();
        }
        if (installed) {
            const platform::DetachedStart started = platform::CommandRunner::startDetached(kCaptureProgram, {});
            if (started.started)
                g_running_capture = 1;
            else
                KLOG << "[Error] capture program not started:" << started.errorString;
        }
    }
    if (!g_running_capture)
        return false;
    setEnabled(true);
    close();
    return true;
}

void Setup_DateTimeDlg::resetFocus()
{
    KLOG_ENTER;
    if (m_pOverlay->message(kFocusResetQuestion) == 1) {
        theApp.m_nZstageCenterPos = theApp.m_Calibration.Z_ResetPosition;
        m_pOverlay->message(kFocusResetDone);
    }
    m_pOverlay->hide();
    setEnabled(true);
    accept();
}

void Setup_DateTimeDlg::reset_value()
{
    KLOG_ENTER;
    KovaCoreApp& app = theApp;
    app.m_bAutoShutdown = true;
    app.m_nAutoShutdownTime = 8;
    app.m_strTotalProtocolName = QStringLiteral("DEFAULT");
    app.m_strViabilityProtocolName = QStringLiteral("DEFAULT");
    app.m_CountingMode = BF_TOTAL_CELL_COUNTING;
    app.m_SaveReview.m_bAutoSave = false;
    app.m_nSlideType = SLIDE_TYPE_2CH;
    app.m_bAutofocusedCounting = true;
    app.m_SaveReview.m_strBaseName = QStringLiteral("KOVA3");
    app.m_SaveReview.m_strSuffixType = QStringLiteral("Sequence");
    app.m_SaveReview.m_bEnableScaleBar = false;
    app.m_SaveReview.m_nSequenceCount = 1;
    QCoreApplication::processEvents();
}

QStringList Setup_DateTimeDlg::printoutPages(const QString& logicalPath)
{
    QStringList pages;
    for (int page = 0; page < 2; ++page) {
        pages << QStringLiteral("\n\n") + kPrintIndent + QStringLiteral("=========================\n") + kPrintIndent
                     + QStringLiteral("* KOVA-III.ini File [%1/2]\n").arg(page + 1) + kPrintIndent
                     + QStringLiteral("=========================\n") + QStringLiteral("\n");
    }
    pages[0] += QLatin1Char('\n');
    QFile file(platform::rootPath(logicalPath));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        KLOG << "[Error] cannot read" << logicalPath << "; the printout has its headers only";
        return pages;
    }
    QTextStream in(&file);
    for (int line = 0; line <= kLastPrintedLine && !in.atEnd(); ++line) {
        const QString text = in.readLine().replace(QStringLiteral("%20"), QStringLiteral(" "));
        pages[line <= kFirstLabelLastLine ? 0 : 1] += kPrintIndent + text + QLatin1Char('\n');
    }
    return pages;
}

void Setup_DateTimeDlg::print_INI()
{
    KLOG_ENTER;
    if (!m_bPrinterConnected) {
        KLOG << "no printer: the settings are not printed";
        return;
    }
    const QStringList pages = printoutPages(QString::fromLatin1(kova::kMainIni));
    for (int page = 0; page < pages.size(); ++page) {
        if (page > 0)
            wait(seams().printPauseMs);
        QList<QString> label{pages[page]};
        m_printer.setData2(label);
        if (m_printer.print2() != printer::PRINT_OK)
            KLOG << "[Error] settings label" << page + 1 << "not printed";
    }
}
