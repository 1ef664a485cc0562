#include "Saving/SavingThread.h"

#include "Report/PdfReport.h"
#include "File_IO/ImReaderWriter.h"
#include "MediaMonitor/MediaMonitor.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"
#include "KovaCore/MainSettings.h"
#include "KovaCore/ScaleBar.h"
#include "platform/Log.h"
#include "velimbio/CellCounter.h"

#include <QElapsedTimer>

#include <opencv2/imgproc.hpp>

#include <cmath>

namespace {

constexpr int kFrameCols = KovaCoreApp::kCanvasCols;
constexpr int kFrameRows = KovaCoreApp::kCanvasRows;

bool isFullFrame(const cv::Mat& image)
{
    return image.rows == kFrameRows && image.cols == kFrameCols && image.type() == CV_8UC3 && image.isContinuous();
}

}  // namespace

SavingThread::SavingThread(QObject* parent)
    : QObject(parent)
{
}

std::vector<int> SavingThread::kindsFromBits(unsigned char bits)
{
    std::vector<int> kinds;
    const unsigned char bitOfKind[] = {8, 4, 2, 1};
    for (int kind = AnalysedImage; kind <= CsvFile; ++kind)
        if (bits & bitOfKind[kind])
            kinds.push_back(kind);
    return kinds;
}

void SavingThread::setType(int type)
{
    m_nType = type;
}

void SavingThread::setDestination(QString path, QString filename)
{
    m_strPath = std::move(path);
    m_Filename = std::move(filename);
}

void SavingThread::set_date(QString& date)
{
    m_strDate = date;
}

void SavingThread::setReportErrorNotice(std::function<void()> notice)
{
    m_reportErrorNotice = std::move(notice);
}

void SavingThread::run()
{
    KLOG_ENTER;
    QElapsedTimer timer;
    timer.start();
    bool pass = false;
    switch (m_nType) {
    case AnalysedImage:
        pass = savingAnalyzedImages();
        break;
    case RawImage:
        pass = savingRawImages();
        break;
    case Report:
        pass = savingReport_FX7();
        break;
    case CsvFile:
        pass = savingCSV();
        break;
    default:
        KLOG_VALUE("no output of kind", m_nType);
        break;
    }
    KLOG_VALUE("saving ms", timer.elapsed());
    emit signalSaveCompleted(m_nType, pass);
}

ReportProtocol SavingThread::countedProtocol()
{
    ReportProtocol protocol;
    if (theApp.m_CountingMode == BF_TOTAL_CELL_COUNTING) {
        const counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t& p = theApp.m_Counted_Total_Protocol;
        protocol = {p.name, p.min_search_size, p.max_search_size, p.cell_detection_sensitivity, 0,
                    p.noise_reduction, p.dilution_factor, p.gating_min_size, p.gating_max_size};
    } else {
        const counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t& p = theApp.m_Counted_Viability_Protocol;
        protocol = {p.name, p.min_search_size, p.max_search_size, p.cell_detection_sensitivity,
                    p.live_cell_sensitivity, p.noise_reduction, p.dilution_factor, p.gating_min_size,
                    p.gating_max_size};
    }
    return protocol;
}

QString SavingThread::concentration(float mantissa, int exponent)
{
    return PdfReport::concentrationText(mantissa, exponent) + QStringLiteral(" cells/mL");
}

QString SavingThread::resultFolderPath(const QString& fileName) const
{
    return QStringLiteral("%1/%2/%3").arg(m_strPath, m_Filename, fileName);
}

bool SavingThread::savingRawImages()
{
    KLOG_ENTER;
    cv::Mat image;
    if (theApp.m_pCellCounter)
        image = theApp.m_pCellCounter->getRawImageData();
    const bool ok = writeImage(image, QStringLiteral("%1_RAW.tif").arg(m_Filename));
    emit signalSaveCompleted_Progress(RawImage);
    return ok;
}

bool SavingThread::savingAnalyzedImages()
{
    KLOG_ENTER;
    // The scale-bar canvas is painted after a count; without one there is nothing to save.
    cv::Mat image;
    if (theApp.m_pCellCounter)
        image = theApp.m_SaveReview.m_bEnableScaleBar ? theApp.getScaleBarImg()
                                                      : theApp.m_pCellCounter->getOverlayImageData2(true);
    const bool ok = writeImage(image, QStringLiteral("%1_TAG.tif").arg(m_Filename));
    emit signalSaveCompleted_Progress(AnalysedImage);
    return ok;
}

bool SavingThread::writeImage(const cv::Mat& image, const QString& fileName)
{
    std::string path = resultFolderPath(fileName).toStdString();
    // The writer copies a full frame from the buffer: anything else (no count
    // yet, a released engine) must not be read past its end.
    if (!isFullFrame(image)) {
        KLOG << "SavingThread: no full frame to save as" << QString::fromStdString(path);
        return false;
    }

    const TCountImageInfo& result = theApp.m_CountResult;
    ImReaderWriter writer;
    writer.setCountedResults(result.total, result.total_exp, result.live, result.live_exp, result.dead,
                             result.dead_exp, result.viability, result.average_cell_size, countedProtocol().dilutionFactor,
                             result.total_cell, result.live_cell, result.dead_cell, 0.0f, 0, 0, 0.0f, 0, 0);
    const std::string metadata = createMetaData(fileName).toUtf8().toStdString();
    const bool ok = writer.loadAndWrite(image.data, kFrameCols, kFrameRows, 8, 3, 5, 2, path, metadata);
    KLOG_VALUE(QString::fromStdString(path), ok);
    return ok;
}

bool SavingThread::savingReport_FX7()
{
    KLOG_ENTER;
    return writeReport(PdfReport::Layout::TwoPages);
}

bool SavingThread::savingReport()
{
    KLOG_ENTER;
    return writeReport(PdfReport::Layout::OnePage);
}

bool SavingThread::writeReport(PdfReport::Layout layout)
{
    VelimBio::CellCounter* engine = theApp.m_pCellCounter;
    // Kept alive until the report is written: the pictures wrap their pixels.
    cv::Mat overlay;
    cv::Mat zoomed;
    cv::Mat field;
    if (engine) {
        overlay = engine->getOverlayImageData2(true).clone();
        // The one-page report shows the field without the scale bar.
        const bool scaleBar = layout == PdfReport::Layout::TwoPages && theApp.m_SaveReview.m_bEnableScaleBar;
        field = scaleBar ? theApp.getScaleBarImg() : overlay;
    }
    if (!isFullFrame(overlay) || !isFullFrame(field)) {
        KLOG << "SavingThread: no counted image for the report";
        emit signalSaveCompleted_Progress(Report);
        return false;
    }
    zoom_image(4, overlay, zoomed);

    const KovaCoreApp& app = theApp;
    ReportContent content;
    content.serialNumber = app.m_SerialNumber;
    content.softwareVersion = app.m_CurrentVersion;
    content.date = m_strDate;
    content.finalName = app.m_strFinalName;
    content.countingMode = app.m_CountingMode;
    content.slideType = app.m_nSlideType;
    content.autofocusedCounting = app.m_bAutofocusedCounting;
    content.autofocusOffset = app.m_nAutofocusOffset;
    content.protocol = countedProtocol();
    content.result = app.m_CountResult;
    content.lastCalibration = app.m_Calibration.Last_calibration;
    content.calibrationValue = app.m_Calibration.Background_value;
    content.fieldImage = QImage(field.data, kFrameCols, kFrameRows, int(field.step), QImage::Format_RGB888);
    content.zoomedImage = QImage(zoomed.data, kFrameCols, kFrameRows, int(zoomed.step), QImage::Format_RGB888);
    content.concentration = [engine](int count, float dilution, float& mantissa, int& exponent) {
        engine->getConcentration(count, dilution, mantissa, exponent);
    };

    PdfReport report;
    report.setStickCheck([] { return theApp.m_pMediaMonitor && theApp.m_pMediaMonitor->searchUSB(); });
    if (m_reportErrorNotice)
        report.setErrorNotice(m_reportErrorNotice);
    const bool ok = report.write(content, m_strPath, m_Filename, layout);
    KLOG_VALUE("report", ok ? QStringLiteral("written") : report.errorString());
    emit signalSaveCompleted_Progress(Report);
    return ok;
}

HPDF_Page SavingThread::prepareNewPDFPage(HPDF_Doc doc, float width, float height, QImage& background)
{
    return PdfReport::preparePage(doc, width, height, background, PdfReport::logo());
}

QStringList SavingThread::separate_convalue(double value)
{
    const QStringList parts = QStringLiteral("%1").arg(value, 0, 'e', 2, QLatin1Char('0')).split(QLatin1Char('+'));
    if (parts.size() >= 2)
        return {QString(parts[0]).remove(QLatin1Char('e')), QString::number(parts[1].toInt())};
    return {QString::number(value, 'g', 6), QString()};
}

QString SavingThread::createMetaData(QString)
{
    const KovaCoreApp& app = theApp;
    const TCountImageInfo& result = app.m_CountResult;
    const bool totalMode = app.m_CountingMode == BF_TOTAL_CELL_COUNTING;

    QString text;
    text += QStringLiteral("Serial number=%1,").arg(app.m_SerialNumber);
    text += QStringLiteral("Software version=%1,").arg(app.m_CurrentVersion);
    text += QStringLiteral("Firmware version=%1,").arg(global_ini()->IQOQ.FW_version);
    text += QStringLiteral("Date=%1,").arg(m_strDate);
    text += QStringLiteral("User=anonymous,");
    text += QStringLiteral("Counting mode=Bright field cell counting,%1,")
                .arg(totalMode ? QStringLiteral("Total cell counting") : QStringLiteral("Cell counting & Viability"));
    text += QStringLiteral("Autofocused counting=%1,").arg(app.m_bAutofocusedCounting ? "On" : "Off");
    text += QStringLiteral("Volume factor=%1,").arg(QString::number(app.m_fVolumeFactor, 'g', 6));
    text += QStringLiteral("Lens magnification=%1,").arg(QString::number(app.m_fLensMagnification, 'g', 6));
    text += QStringLiteral("Calibration value=%1 %2,")
                .arg(MainSettings::exposureText(kova::kCalibrationBfnIni),
                     MainSettings::exposureText(kova::kCalibrationCusIni));
    text += app.m_bAutoExposureOn ? QStringLiteral("Exposure=Auto Exposure,")
                                  : QStringLiteral("Exposure=Calibration Exposure,");
    text += QStringLiteral("Counting Z Position=%1,").arg(result.z_position);

    if (app.m_CountingMode == BF_TOTAL_CELL_COUNTING || app.m_CountingMode == BF_CELL_COUNTING_VIABILITY) {
        const ReportProtocol p = countedProtocol();
        text += QStringLiteral("Protocol name=%1,").arg(p.name);
        text += QStringLiteral("Min. search size=%1,").arg(p.minSearchSize);
        text += QStringLiteral("Max. search size=%1,").arg(p.maxSearchSize);
        text += QStringLiteral("Cell detection sensitivity=%1,").arg(p.cellDetectionSensitivity);
        if (!totalMode)
            text += QStringLiteral("Live cell sensitivity=%1,").arg(p.liveCellSensitivity);
        text += QStringLiteral("Noise reduction=%1,").arg(p.noiseReduction);
        text += QStringLiteral("Dilution factor=%1,").arg(p.dilutionFactor);
    }

    text += QStringLiteral("[Total]=%1,").arg(concentration(result.total, result.total_exp));
    if (app.m_CountingMode == BF_CELL_COUNTING_VIABILITY) {
        text += QStringLiteral("[Live]=%1,").arg(concentration(result.live, result.live_exp));
        text += QStringLiteral("[Dead]=%1,").arg(concentration(result.dead, result.dead_exp));
        text += QStringLiteral("Viability=%1 %,").arg(result.viability, 0, 'f', 1);
        text += QStringLiteral("Average cell size=%1 um,").arg(result.average_cell_size, 0, 'f', 1);
        text += QStringLiteral("Total cell number=%1 cells,").arg(result.total_cell);
        text += QStringLiteral("Live cell number=%1 cells,").arg(result.live_cell);
        text += QStringLiteral("Dead cell number=%1 cells").arg(result.dead_cell);
    } else {
        text += QStringLiteral("Average cell size=%1 um,").arg(result.average_cell_size, 0, 'f', 1);
        text += QStringLiteral("Total cell number=%1 cells").arg(result.total_cell);
    }
    return text;
}

QString SavingThread::get_sizeGating2(int flag)
{
    if (flag == 1)
        return QStringLiteral("Y");
    if (flag == 0)
        return QStringLiteral("N");
    return QString();
}

void SavingThread::zoom_image(int factor, cv::Mat& source, cv::Mat& target)
{
    if (factor < 2) {
        source.copyTo(target);
        return;
    }
    const int width = source.cols / factor;
    const int height = source.rows / factor;
    const cv::Rect crop((source.cols - width) >> 1, (source.rows - height) >> 1, width, height);
    cv::resize(source(crop), target, source.size(), 0, 0, cv::INTER_LINEAR);
}

float SavingThread::get_ypos(float y0, float step, int index)
{
    return y0 - static_cast<float>(index) * step;
}

bool SavingThread::createScaleBar(float micronPerPixel, float lengthUm, int r, int g, int b)
{
    const QColor color(r, g, b);
    if (!scalebar::draw(micronPerPixel, lengthUm, color, m_ScaleBarImage, m_strScaleBarLabel))
        return false;
    m_fMicronPerPixel = micronPerPixel;
    m_fScaleBarLength = lengthUm;
    m_ScaleBarColor = color;
    return true;
}

void SavingThread::paintScaleBar(cv::Mat& canvas) const
{
    scalebar::paint(m_ScaleBarImage, m_strScaleBarLabel, m_ScaleBarColor, canvas);
}

void SavingThread::prepareScalebar(bool black)
{
    m_bEnableScaleBar = theApp.m_SaveReview.m_bEnableScaleBar;
    if (!m_bEnableScaleBar)
        return;
    const int c = black ? 0 : 255;
    createScaleBar(scalebar::micronPerPixel(theApp.m_fLensMagnification), scalebar::kDefaultLengthUm, c, c, c);
}

void SavingThread::ReceiveSavingInfo(QString path, QString filename, int)
{
    setDestination(std::move(path), std::move(filename));
}

float round2(float value, float scale)
{
    return static_cast<float>(static_cast<int>(std::round(value * scale))) / scale;
}
