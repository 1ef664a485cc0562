// The CAM tab: the live view at three resolutions, the staining's register
// file and the sensor values read back.
#include "KOVA_II_Plus_Verifier.h"

#include "Camera/OV5642Camera.h"
#include "Camera/VerifierGrabThread.h"
#include "Controller/VerifierController.h"
#include "DebugLine.h"
#include "File_IO/PartFile.h"
#include "KovaCore/GlobalIni.h"
#include "KovaCore/KovaPaths.h"
#include "Settings/VerifierSettings.h"
#include "Stepper.h"
#include "ui_KOVA_II_Plus_Verifier.h"

#include "platform/Root.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace verifier {

void KOVA_II_Plus_Verifier::initSensorValues()
{
    m_SensorValues[kGain] = {ui->EDIT_GAIN, ui->BUTTON_GAIN_FINE_UP, ui->BUTTON_GAIN_COARSE_UP,
                             ui->BUTTON_GAIN_FINE_DOWN, ui->BUTTON_GAIN_COARSE_DOWN, 0x350A, 0x1FF, 2};
    m_SensorValues[kExposure] = {ui->EDIT_EXPOSURE, ui->BUTTON_EXPOSURE_FINE_UP, ui->BUTTON_EXPOSURE_COARSE_UP,
                                 ui->BUTTON_EXPOSURE_FINE_DOWN, ui->BUTTON_EXPOSURE_COARSE_DOWN, 0x3501, 0xFFFF, 0};
    m_SensorValues[kRed] = {ui->EDIT_COLOR_RED, ui->BUTTON_COLOR_RED_FINE_UP, ui->BUTTON_COLOR_RED_COARSE_UP,
                            ui->BUTTON_COLOR_RED_FINE_DOWN, ui->BUTTON_COLOR_RED_COARSE_DOWN, 0x3400, 0xFFF, 4};
    m_SensorValues[kGreen] = {ui->EDIT_COLOR_GREEN, ui->BUTTON_COLOR_GREEN_FINE_UP, ui->BUTTON_COLOR_GREEN_COARSE_UP,
                              ui->BUTTON_COLOR_GREEN_FINE_DOWN, ui->BUTTON_COLOR_GREEN_COARSE_DOWN, 0x3402, 0xFFF, 6};
    m_SensorValues[kBlue] = {ui->EDIT_COLOR_BLUE, ui->BUTTON_COLOR_BLUE_FINE_UP, ui->BUTTON_COLOR_BLUE_COARSE_UP,
                             ui->BUTTON_COLOR_BLUE_FINE_DOWN, ui->BUTTON_COLOR_BLUE_COARSE_DOWN, 0x3404, 0xFFF, 8};
}

void KOVA_II_Plus_Verifier::startCamera(int mode)
{
    emit sig_debug_Message({VERIFIER_SIGNATURE, QString::number(mode)});
    m_nCurrentResolution = mode;
    m_pGrabThread = new GrabThread();
    connect(m_pGrabThread, &GrabThread::grabDone, this, &KOVA_II_Plus_Verifier::updateFrame);
    connect(this, &KOVA_II_Plus_Verifier::updateFrameDone, m_pGrabThread, &GrabThread::grab);
    connect(m_pGrabThread, &GrabThread::sig_debug_Message, this, &KOVA_II_Plus_Verifier::slot_debug_Message);
    m_pGrabThread->registerCamera(m_pCamera, m_FrameBuffer[mode].data());
    m_pGrabThread->start(QThread::InheritPriority);
}

void KOVA_II_Plus_Verifier::stopCamera()
{
    emit sig_debug_Message({VERIFIER_SIGNATURE});
    if (m_pGrabThread) {
        if (m_pGrabThread->isRunning()) {
            m_pGrabThread->stop();
            m_pGrabThread->wait();
        }
        delete m_pGrabThread;
        m_pGrabThread = nullptr;
    }
    if (m_pCamera->isRunning()) {
        m_pCamera->close();
        QThread::msleep(static_cast<unsigned long>(m_nCameraSettleMs));
    }
}

void KOVA_II_Plus_Verifier::restartCamera(int mode)
{
    setEnabled(false);
    QCoreApplication::processEvents();
    stopCamera();
    m_strCalibrationFile = m_bStaining ? kova::kCalibrationCusIni : kova::kCalibrationBfnIni;
    m_pCamera->open(mode, m_strCalibrationFile, false);
    m_nFrameWidth = m_pCamera->width();
    m_nFrameHeight = m_pCamera->height();
    startCamera(mode);
    getCamera_reg();
    setEnabled(true);
}

void KOVA_II_Plus_Verifier::highlightResolution(int mode)
{
    QPushButton* const buttons[] = {ui->BUTTON_RESOLUTION_VGA, ui->BUTTON_RESOLUTION_1280,
                                    ui->BUTTON_RESOLUTION_5M};
    for (int i = 0; i < 3; ++i)
        setHighlighted(buttons[i], i == mode);
}

void KOVA_II_Plus_Verifier::on_BUTTON_RESOLUTION_5M_clicked()
{
    emit sig_debug_Message({VERIFIER_SIGNATURE});
    highlightResolution(2);
    restartCamera(2);
}

void KOVA_II_Plus_Verifier::on_BUTTON_RESOLUTION_1280_clicked()
{
    emit sig_debug_Message({VERIFIER_SIGNATURE});
    highlightResolution(1);
    restartCamera(1);
    SetNavigatorPos();
    update();
}

void KOVA_II_Plus_Verifier::on_BUTTON_RESOLUTION_VGA_clicked()
{
    emit sig_debug_Message({VERIFIER_SIGNATURE});
    highlightResolution(0);
    restartCamera(0);
    SetNavigatorPos();
    update();
}

void KOVA_II_Plus_Verifier::on_BUTTON_STAINING_NTB_clicked()
{
    emit sig_debug_Message({VERIFIER_SIGNATURE});
    setHighlighted(ui->BUTTON_STAINING_NTB, true);
    setHighlighted(ui->BUTTON_STAINING_TB, false);
    m_bStaining = false;
    restartCamera(m_nCurrentResolution);
}

void KOVA_II_Plus_Verifier::on_BUTTON_STAINING_TB_clicked()
{
    emit sig_debug_Message({VERIFIER_SIGNATURE});
    setHighlighted(ui->BUTTON_STAINING_TB, true);
    setHighlighted(ui->BUTTON_STAINING_NTB, false);
    m_bStaining = true;
    restartCamera(m_nCurrentResolution);
}

void KOVA_II_Plus_Verifier::getCamera_reg()
{
    for (const SensorValue& value : m_SensorValues) {
        unsigned short high = 0;
        unsigned short low = 0;
        m_pCamera->get(value.highRegister, high);
        m_pCamera->get(value.highRegister + 1, low);
        value.edit->setText(QString::asprintf("0x%02X%02X", high, low));
        const unsigned v = value.edit->text().right(4).toUInt(nullptr, 16);
        value.fineUp->setEnabled(v < value.maximum);
        value.coarseUp->setEnabled(v <= value.maximum - 17);
        value.fineDown->setEnabled(v != 0);
        value.coarseDown->setEnabled(v >= 16);
    }
}

void KOVA_II_Plus_Verifier::setSensorValue(SensorValueIndex index, unsigned value)
{
    const SensorValue& sensor = m_SensorValues[index];
    const QString text = QString::asprintf("0x%04X", value);
    sensor.edit->setText(text);
    emit sig_debug_Message({VERIFIER_SIGNATURE, text});
    const unsigned short high = (value >> 8) & 0xFF;
    const unsigned short low = value & 0xFF;
    m_pCamera->set(sensor.highRegister, high);
    m_pCamera->set(sensor.highRegister + 1, low);
    uint16_t* row = ::global_ini()->regTables[m_bStaining ? REG_TABLE_CUS : REG_TABLE_BFN][m_nCurrentResolution];
    row[sensor.column] = high;
    row[sensor.column + 1] = low;
}

void KOVA_II_Plus_Verifier::stepSensorValue(SensorValueIndex index, int step)
{
    const SensorValue& sensor = m_SensorValues[index];
    const StepOutcome outcome = stepValue(sensor.edit->text().right(4).toUInt(nullptr, 16), sensor.maximum, step);
    if (outcome.write)
        setSensorValue(index, outcome.value);
    sensor.fineUp->setEnabled(outcome.upEnabled);
    sensor.coarseUp->setEnabled(outcome.upEnabled);
    sensor.fineDown->setEnabled(outcome.downEnabled);
    sensor.coarseDown->setEnabled(outcome.downEnabled);
}

void KOVA_II_Plus_Verifier::set_LED(unsigned int level)
{
    ::global_ini()->LED = int(level);
    ui->EDIT_LED->setText(QString::number(level));
    Controller::getInstance()->led_brightness(int(level));
}

void KOVA_II_Plus_Verifier::enableLedSteps(bool up, bool down)
{
    ui->BUTTON_LED_FINE_UP->setEnabled(up);
    ui->BUTTON_LED_COARSE_UP->setEnabled(up);
    ui->BUTTON_LED_FINE_DOWN->setEnabled(down);
    ui->BUTTON_LED_COARSE_DOWN->setEnabled(down);
}

void KOVA_II_Plus_Verifier::stepLed(int step)
{
    const StepOutcome outcome = stepValue(ui->EDIT_LED->text().toUInt(), kMaxLed, step);
    if (outcome.write)
        set_LED(outcome.value);
    enableLedSteps(outcome.upEnabled, outcome.downEnabled);
}

void KOVA_II_Plus_Verifier::on_EDIT_LED_returnPressed()
{
    // Typed levels go from 0 to 999 (a text that is no number is 0); the
    // steps reach the maximum.
    const int level = ui->EDIT_LED->text().toInt();
    if (level >= 0 && level < int(kMaxLed))
        set_LED(unsigned(level));
}

void KOVA_II_Plus_Verifier::on_BUTTON_LED_clicked(bool checked)
{
    ui->EDIT_LED->setEnabled(!checked);
    if (checked) {
        enableLedSteps(false, false);
        Controller::getInstance()->led_off();
        return;
    }
    const unsigned level = ui->EDIT_LED->text().toUInt();
    enableLedSteps(level < kMaxLed, level != 0);
    Controller::getInstance()->led_on();
}

bool KOVA_II_Plus_Verifier::stickMounted()
{
    if (m_UsbMonitor.searchUSB())
        return true;
    QMessageBox::critical(this, QStringLiteral("Error"), QStringLiteral("Please insert USB disk !!!"));
    return false;
}

void KOVA_II_Plus_Verifier::on_BUTTON_CAPTURE_clicked()
{
    if (!stickMounted())
        return;
    const QString chosen = QFileDialog::getSaveFileName(this, tr("Save image"), platform::rootPath(QStringLiteral("/mnt")),
                                                        tr("TIFF image (*.tif)"));
    if (chosen.isEmpty())
        return;
    // Kept under the instrument root, whatever folder the dialog went to.
    QString file = platform::rootPath(platform::logicalPath(chosen));
    if (!file.endsWith(QLatin1String(".tif")))
        file += QLatin1String(".tif");
    setEnabled(false);
    QCoreApplication::processEvents();
    bool written = false;
    if (const unsigned char* frame = m_pCamera->getFrame(false, 40, 20, 100)) {
        cv::Mat bgr;
        cv::cvtColor(cv::Mat(m_nFrameHeight, m_nFrameWidth, CV_8UC3, const_cast<unsigned char*>(frame)), bgr,
                     cv::COLOR_RGB2BGR);
        // On the stick: never through a file or link standing at the name.
        std::vector<uchar> tiff;
        written = cv::imencode(".tif", bgr, tiff)
                  && writeWhole(file, QByteArray::fromRawData(reinterpret_cast<const char*>(tiff.data()),
                                                              int(tiff.size())));
    }
    setEnabled(true);
    if (!written)
        QMessageBox::critical(this, QStringLiteral("Error"),
                              QStringLiteral("%1 saving failed !!!").arg(platform::logicalPath(file)));
}

void KOVA_II_Plus_Verifier::on_BUTTON_SKIP_FRAME_clicked()
{
    const int frames = ui->EDIT_SKIP_FRAME->text().toInt();
    if (frames < 1 || frames > 30) {
        QMessageBox::critical(this, QStringLiteral("Error"), QStringLiteral("Possible range: 1 to 30"));
        return;
    }
    global_ini()->nSkip_frame = frames;
    QMessageBox::information(this, QLatin1String(kTitle),
                             QStringLiteral("Skip frame value is set. \nPress [Save Ini] to save the value."));
}

}  // namespace verifier
