#include "Settings/CalibrateBackgroundDlg.h"

#include "ui_CalibrateBackgroundDlg.h"

#include "Calibration/CalibratingThread.h"
#include "KovaCore/Fonts.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/MainSettings.h"
#include "Settings/CalibrationSupport.h"
#include "Settings/SettingsLook.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QThread>

namespace {

// The line height carries its unit: the toolkit reads a bare 120 as 120 lines.
const QString kMessages[] = {
    QStringLiteral("<p><p style=\"line-height:120%\"><b>Calibration Step 1</b><br/><br/>Make sure the counting slide "
                   "port<br/>is empty and press Start.</p></p>"),
    QStringLiteral("<p><p style=\"line-height:120%\"><b>Calibration Processing ...</b><br/><br/>Do not turn off "
                   "the<br/>instrument during calibration.</p></p>"),
    QStringLiteral("<p><p style=\"line-height:120%\"><b>Calibration Step 2</b><br/>Insert a counting slide with "
                   "<br/>a 1:1 diluted trypan blue solution.<br/>See the user manual for more details.</p></p>"),
    QStringLiteral("<p><p style=\"line-height:120%\"><b>Calibration Processing ...</b><br/><br/>Do not remove the "
                   "counting slide or<br/>turn off the instrument during calibration.</p></p>"),
    QString(),
    QStringLiteral("<p><p style=\"line-height:120%\"><b>Calibration is complete!</p></p>"),
    QStringLiteral("<p><p style=\"line-height:120%\"><b>Calibration Failed! (error : %1)</b><br/><br/>Please "
                   "repeate the calibration.</p></p>"),
};
const QRect kExitAlone(174, 214, 150, 46);

}  // namespace

CalibrateBackgroundDlg::Seams::Seams()
    : settleMs(CalibratingThread::kSettleMs)
{
}

CalibrateBackgroundDlg::Seams& CalibrateBackgroundDlg::seams()
{
    static Seams s;
    return s;
}

CalibrateBackgroundDlg::CalibrateBackgroundDlg(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::CalibrateBackgroundDlg)
{
    ui->setupUi(this);
    setWindowFlags(Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
    setGeometry(156, 90, 500, 300);
    setFont();
    setMessageType(MESSAGE_STEP1);
    for (QWidget* edit : {ui->EDIT_1, ui->EDIT_5M1, ui->EDIT_2})
        edit->hide();
    m_ProgressTimer.setInterval(kProgressIntervalMs);
    connect(&m_ProgressTimer, &QTimer::timeout, this, &CalibrateBackgroundDlg::InvalidateProgressbar);
}

CalibrateBackgroundDlg::~CalibrateBackgroundDlg()
{
    // The worker deletes itself once its thread has ended.
    if (m_pCalibratingThread) {
        m_pCalibratingThread->requestInterruption();
        m_pCalibratingThread->quit();
        m_pCalibratingThread->wait();
    }
    delete ui;
}

void CalibrateBackgroundDlg::setFont()
{
    ui->LABEL_MESSAGE->setFont(notoSans(22, QFont::Normal));
    setFonts({ui->BUTTON_START, ui->BUTTON_SKIP, ui->BUTTON_EXIT}, notoSans(22, 63));
}

void CalibrateBackgroundDlg::setMessageType(CalibrationMessageType type)
{
    m_MessageType = type;
    if (type == MESSAGE_UNCHANGED)
        return;
    QString text = kMessages[type];
    if (type == MESSAGE_FAILED)
        text = text.arg(m_nLastResult);
    if (ui->LABEL_MESSAGE->text() != text)
        ui->LABEL_MESSAGE->setText(text);
}

void CalibrateBackgroundDlg::InvalidateProgressbar()
{
    if (m_bProcessing)
        update();
}

void CalibrateBackgroundDlg::paintEvent(QPaintEvent* event)
{
    switch (m_nState) {
    case STATE_STEP1:
        setMessageType(m_bProcessing ? MESSAGE_PROCESSING1 : MESSAGE_STEP1);
        break;
    case STATE_STEP2:
        setMessageType(m_bProcessing ? MESSAGE_PROCESSING2 : MESSAGE_STEP2);
        break;
    case STATE_COMPLETE:
        setMessageType(MESSAGE_COMPLETE);
        break;
    case STATE_FAILED:
        setMessageType(MESSAGE_FAILED);
        break;
    }
    QDialog::paintEvent(event);
    if (!m_bProcessing || m_bProgressFrozen)
        return;
    m_nProgress = std::min(m_nProgress + 1, kCalibrationProgressWidth);
    drawCalibrationProgress(this, m_nProgress);
}

void CalibrateBackgroundDlg::InitPosition()
{
    moveStageToCentre();
}

void CalibrateBackgroundDlg::showButtons(bool start, bool skip, bool exit)
{
    ui->BUTTON_START->setVisible(start);
    ui->BUTTON_SKIP->setVisible(skip);
    ui->BUTTON_EXIT->setVisible(exit);
}

void CalibrateBackgroundDlg::showExitAlone()
{
    showButtons(false, false, true);
    ui->BUTTON_EXIT->setGeometry(kExitAlone);
}

void CalibrateBackgroundDlg::on_BUTTON_START_clicked()
{
    KLOG_ENTER;
    if (m_nState == STATE_STEP1 || m_nState == STATE_STEP2)
        startStep(m_nState == STATE_STEP1 ? 1 : 2);
}

void CalibrateBackgroundDlg::startStep(int step)
{
    m_pCalibratingThread = new CalibratingThread;
    connect(m_pCalibratingThread, &CalibratingThread::Calibrate_completed, this,
            &CalibrateBackgroundDlg::Calibrate_Step_Completed);
    connect(m_pCalibratingThread, &QThread::finished, m_pCalibratingThread, &QObject::deleteLater);
    InitPosition();
    theApp.m_bCalibrating = true;

    m_bProcessing = true;
    m_bProgressFrozen = false;
    m_nProgress = 0;
    showButtons(false, false, false);
    repaint();
    QThread::msleep(static_cast<unsigned long>(seams().startPauseMs));
    QCoreApplication::processEvents();
    m_ProgressTimer.start();

    const Seams& s = seams();
    m_pCalibratingThread->setCamera(s.makeCamera ? s.makeCamera()
                                                 : std::make_unique<AppCalibrationCamera>(openCalibrationCamera));
    m_pCalibratingThread->setSettleMs(s.settleMs);
    m_pCalibratingThread->setStep(step);
    m_pCalibratingThread->start();
}

void CalibrateBackgroundDlg::Calibrate_Step_Completed(int result)
{
    KLOG_ENTER;
    m_nProgress = kCalibrationProgressWidth;
    repaint();
    QThread::msleep(static_cast<unsigned long>(seams().endPauseMs));
    if (m_pCalibratingThread) {
        m_pCalibratingThread->quit();
        m_pCalibratingThread->wait();
        m_pCalibratingThread = nullptr;
    }
    m_nLastResult = result;
    m_bProcessing = false;
    m_bProgressFrozen = true;
    m_ProgressTimer.stop();

    if (result < 0) {
        m_nState = STATE_FAILED;
        showExitAlone();
    } else if (m_nState == STATE_STEP1) {
        m_nState = STATE_STEP2;
        showButtons(true, true, true);
    } else {
        m_nState = STATE_COMPLETE;
        reload_background();
        showExitAlone();
    }
    repaint();
    QThread::msleep(static_cast<unsigned long>(seams().endPauseMs));
    KLOG_VALUE("calibration state", int(m_nState));
}

void CalibrateBackgroundDlg::on_BUTTON_SKIP_clicked()
{
    if (m_nState == STATE_STEP1) {
        m_nState = STATE_STEP2;
        m_bProcessing = false;
        m_nProgress = 0;
        showButtons(true, true, true);
    } else if (m_nState == STATE_STEP2) {
        m_nState = STATE_COMPLETE;
        showExitAlone();
    }
    update();
}

void CalibrateBackgroundDlg::on_BUTTON_EXIT_clicked()
{
    if (m_nState == STATE_COMPLETE)
        reload_background();
    theApp.m_bCalibrating = false;
    close();
}

void CalibrateBackgroundDlg::reload_background()
{
    KLOG_ENTER;
    MainSettings::loadCalibrationFiles();
}

void CalibrateBackgroundDlg::LoadImages()
{
}
