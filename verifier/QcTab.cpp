// The QC tab: intensity, the captured full-resolution frame, the two
// points, magnification and volume factor, and the service password.
#include "KOVA_II_Plus_Verifier.h"

#include "Camera/OV5642Camera.h"
#include "DebugLine.h"
#include "KovaCore/KovaPaths.h"
#include "Settings/VerifierSettings.h"
#include "ui_KOVA_II_Plus_Verifier.h"

#include "platform/CommandRunner.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QTimer>

namespace verifier {

namespace {

const char kPasswordScript[] = "/opt/KOVA3/bin/set_password.sh";

QString errorText(TargetingError_e error)
{
    switch (error) {
    case TargetingError_CellNotDetected:
        return QStringLiteral("Cell not detected !");
    case TargetingError_TooManyCells:
        return QStringLiteral("Too many Cells detected !");
    case TargetingError_PointsNotSet:
        return QStringLiteral("Locate P1 and P2 first !");
    case TargetingError_PointsTooClose:
        return QStringLiteral("P1 and P2 are too close !");
    }
    return QString();
}

// Why a run of the password script failed; empty when it succeeded.
QString scriptFailure(const platform::CommandResult& result)
{
    if (!result.started)
        return QStringLiteral("set_password.sh not found !!!");
    if (result.timedOut)
        return QStringLiteral("set_password.sh did not finish !!!");
    if (!result.succeeded())
        return QStringLiteral("set_password.sh failed (%1) !!!").arg(result.exitCode);
    return QString();
}

}  // namespace

template <class Work>
void KOVA_II_Plus_Verifier::busyWindow(Work work)
{
    setEnabled(false);
    QCoreApplication::processEvents();
    work();
}

void KOVA_II_Plus_Verifier::setState_QC_widget(QC_widget_e state)
{
    switch (state) {
    case QC_widget_Hidden:
        ui->QC_MEASURE->hide();
        break;
    case QC_widget_Captured:
        ui->QC_MEASURE->show();
        break;
    case QC_widget_Targeting:
        break;
    }
    ui->CHECK_TARGET->setEnabled(state != QC_widget_Hidden);
    ui->BUTTON_POINT_1->setEnabled(state == QC_widget_Targeting);
    ui->BUTTON_POINT_2->setEnabled(state == QC_widget_Targeting);
    ui->BUTTON_QC_MEASURE->setEnabled(state != QC_widget_Hidden);
}

void KOVA_II_Plus_Verifier::on_BUTTON_INTENSITY_clicked()
{
    if (m_nCurrentResolution < 0)
        return;
    float red = 0, green = 0, blue = 0;
    QC_measure::getIntensityMean(m_FrameBuffer[m_nCurrentResolution].data(), m_nFrameWidth, m_nFrameHeight, red,
                                 green, blue);
    ui->EDIT_INTENSITY_RED->setText(QString::asprintf("%.1f", double(red)));
    ui->EDIT_INTENSITY_GREEN->setText(QString::asprintf("%.1f", double(green)));
    ui->EDIT_INTENSITY_BLUE->setText(QString::asprintf("%.1f", double(blue)));
}

void KOVA_II_Plus_Verifier::on_BUTTON_QC_CAPTURE_clicked()
{
    m_QC_mode = m_QC_mode == 0 ? 1 : 0;
    emit sig_debug_Message({VERIFIER_SIGNATURE, QStringLiteral("m_QC_mode:"), QString::number(m_QC_mode)});
    if (m_QC_mode == 1) {
        if (m_nCurrentResolution == 2) {
            busyWindow([this] { slot_prepare_QC_measure(); });
            return;
        }
        on_BUTTON_RESOLUTION_5M_clicked();
        // The sensor needs a moment before its full-resolution frames are good.
        busyWindow([this] { QTimer::singleShot(m_nQcCaptureDelayMs, this, &KOVA_II_Plus_Verifier::slot_prepare_QC_measure); });
        return;
    }
    busyWindow([this] {
        ui->BUTTON_QC_CAPTURE->setText(QStringLiteral("Capture"));
        m_strCalibrationFile = m_bStaining ? kova::kCalibrationCusIni : kova::kCalibrationBfnIni;
        m_pCamera->open(m_nCurrentResolution, m_strCalibrationFile, false);
        m_nFrameWidth = m_pCamera->width();
        m_nFrameHeight = m_pCamera->height();
        startCamera(m_nCurrentResolution);
        getCamera_reg();
        setState_QC_widget(QC_widget_Hidden);
        setEnabled(true);
    });
}

void KOVA_II_Plus_Verifier::slot_prepare_QC_measure()
{
    const bool fullFrame = m_pCamera->frameSize() == int(QC_measure::kImageWidth * QC_measure::kImageHeight * 3);
    const unsigned char* frame = fullFrame ? m_pCamera->getFrame(false, 40, 20, 100) : nullptr;
    if (!frame) {
        // Nothing to measure on: the live view goes on.
        m_QC_mode = 0;
        setEnabled(true);
        QMessageBox::critical(this, QStringLiteral("Error"), QStringLiteral("No camera frame !!!"));
        return;
    }
    ui->BUTTON_QC_CAPTURE->setText(QStringLiteral("Live"));
    ui->QC_MEASURE->setImageData(frame);
    ui->QC_MEASURE->setTargetingMode(false);
    stopCamera();
    setState_QC_widget(QC_widget_Captured);
    setEnabled(true);
}

void KOVA_II_Plus_Verifier::on_CHECK_TARGET_clicked(bool checked)
{
    ui->QC_MEASURE->setTargetingMode(checked);
    setState_QC_widget(checked ? QC_widget_Targeting : QC_widget_Captured);
}

void KOVA_II_Plus_Verifier::on_BUTTON_POINT_1_clicked()
{
    busyWindow([this] { ui->QC_MEASURE->setPoint(0); });
}

void KOVA_II_Plus_Verifier::on_BUTTON_POINT_2_clicked()
{
    busyWindow([this] { ui->QC_MEASURE->setPoint(1); });
}

void KOVA_II_Plus_Verifier::slot_measure_point(int index, int x, int y)
{
    const QString text = QString::asprintf("%d, %d", x, y);
    (index == 0 ? ui->EDIT_POINT_1 : ui->EDIT_POINT_2)->setText(text);
    setEnabled(true);
}

void KOVA_II_Plus_Verifier::on_BUTTON_QC_MEASURE_clicked()
{
    busyWindow([this] { ui->QC_MEASURE->measure2Point(); });
}

void KOVA_II_Plus_Verifier::slot_measure_result(MeasureInfo_t info)
{
    global_ini_s* record = global_ini();
    record->System.Magnification = double(info.Magnification);
    record->System.Volume_factor = double(info.Volume_factor);
    ui->EDIT_MAGNIFICATION->setText(QString::asprintf("%.3f", record->System.Magnification));
    ui->EDIT_VOLUME_FACTOR->setText(QString::asprintf("%.5f", record->System.Volume_factor));
    setEnabled(true);
}

void KOVA_II_Plus_Verifier::slot_measure_error(TargetingError_e error)
{
    QMessageBox::critical(this, QStringLiteral("Error"), errorText(error));
    setEnabled(true);
}

void KOVA_II_Plus_Verifier::on_BUTTON_PASSWORD_clicked()
{
    const QString failure = scriptFailure(platform::CommandRunner::run(QString::fromLatin1(kPasswordScript), {}, m_nPasswordScriptTimeoutMs));
    if (failure.isEmpty())
        QMessageBox::information(this, QLatin1String(kTitle),
                                 QStringLiteral("The serial number has been set as the password!"));
    else
        QMessageBox::critical(this, QStringLiteral("Error"), failure);
}

}  // namespace verifier
