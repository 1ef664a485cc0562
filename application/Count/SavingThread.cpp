#include "Count/SavingThread.h"

#include "File_IO/ImReaderWriter.h"
#include "File_IO/ini.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"
#include "platform/Log.h"
#include "velimbio/CellCounter.h"

#include <QElapsedTimer>

#include <opencv2/imgproc.hpp>

#include <cmath>

namespace {

constexpr int kFrameCols = 2592;
constexpr int kFrameRows = 1944;

// The exposure of one calibration file as one hexadecimal text: "0x12" and
// "0x34" give "0x1234".
QString exposureText(const char* file)
{
    std::string high;
    std::string low;
    ini_read("1280", "0x3501", "", high, file);
    ini_read("1280", "0x3502", "", low, file);
    QString joined = QString::fromStdString(high + low);
    const int second = joined.indexOf(QLatin1String("0x"), 1);
    if (second >= 0)
        joined.remove(second, 2);
    return joined;
}

QString concentration(float mantissa, int exponent)
{
    return QStringLiteral("%1 x 10e%2 cells/mL").arg(mantissa, 0, 'f', 2).arg(exponent);
}

int countedDilution()
{
    return theApp.m_CountingMode == BF_TOTAL_CELL_COUNTING ? theApp.m_Counted_Total_Protocol.dilution_factor
                                                           : theApp.m_Counted_Viability_Protocol.dilution_factor;
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
    case CsvFile:
        pass = savingCSV();
        break;
    default:
        // The PDF report has its own writer; nothing is written here for it.
        KLOG_VALUE("no writer for kind", m_nType);
        break;
    }
    KLOG_VALUE("saving ms", timer.elapsed());
    emit signalSaveCompleted(m_nType, pass);
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
    cv::Mat image;
    if (theApp.m_SaveReview.m_bEnableScaleBar)
        image = theApp.getScaleBarImg();
    else if (theApp.m_pCellCounter)
        image = theApp.m_pCellCounter->getOverlayImageData2(true);
    const bool ok = writeImage(image, QStringLiteral("%1_TAG.tif").arg(m_Filename));
    emit signalSaveCompleted_Progress(AnalysedImage);
    return ok;
}

bool SavingThread::writeImage(const cv::Mat& image, const QString& fileName)
{
    std::string path = resultFolderPath(fileName).toStdString();
    // The writer copies a full frame from the buffer: anything else (no count
    // yet, a released engine) must not be read past its end.
    if (image.rows != kFrameRows || image.cols != kFrameCols || image.type() != CV_8UC3 || !image.isContinuous()) {
        KLOG << "SavingThread: no full frame to save as" << QString::fromStdString(path);
        return false;
    }

    const TCountImageInfo& result = theApp.m_CountResult;
    ImReaderWriter writer;
    writer.setCountedResults(result.total, result.total_exp, result.live, result.live_exp, result.dead,
                             result.dead_exp, result.viability, result.average_cell_size, countedDilution(),
                             result.total_cell, result.live_cell, result.dead_cell, 0.0f, 0, 0, 0.0f, 0, 0);
    const std::string metadata = createMetaData(fileName).toUtf8().toStdString();
    const bool ok = writer.loadAndWrite(image.data, kFrameCols, kFrameRows, 8, 3, 5, 2, path, metadata);
    KLOG_VALUE(QString::fromStdString(path), ok);
    return ok;
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
    text += QStringLiteral("Counting mode=%1,%2,")
                .arg(QStringLiteral("Bright field cell counting"),
                     totalMode ? QStringLiteral("Total cell counting") : QStringLiteral("Cell counting & Viability"));
    text += QStringLiteral("Autofocused counting=%1,").arg(app.m_bAutofocusedCounting ? "On" : "Off");
    text += QStringLiteral("Volume factor=%1,").arg(QString::number(app.m_fVolumeFactor, 'g', 6));
    text += QStringLiteral("Lens magnification=%1,").arg(QString::number(app.m_fLensMagnification, 'g', 6));
    text += QStringLiteral("Calibration value=%1 %2,")
                .arg(exposureText(kova::kCalibrationBfnIni), exposureText(kova::kCalibrationCusIni));
    text += app.m_bAutoExposureOn ? QStringLiteral("Exposure=Auto Exposure,")
                                  : QStringLiteral("Exposure=Calibration Exposure,");
    text += QStringLiteral("Counting Z Position=%1,").arg(result.z_position);

    if (app.m_CountingMode == BF_TOTAL_CELL_COUNTING) {
        const counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t& p = app.m_Counted_Total_Protocol;
        text += QStringLiteral("Protocol name=%1,").arg(p.name);
        text += QStringLiteral("Min. search size=%1,").arg(p.min_search_size);
        text += QStringLiteral("Max. search size=%1,").arg(p.max_search_size);
        text += QStringLiteral("Cell detection sensitivity=%1,").arg(p.cell_detection_sensitivity);
        text += QStringLiteral("Noise reduction=%1,").arg(p.noise_reduction);
        text += QStringLiteral("Dilution factor=%1,").arg(p.dilution_factor);
    } else if (app.m_CountingMode == BF_CELL_COUNTING_VIABILITY) {
        const counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t& p = app.m_Counted_Viability_Protocol;
        text += QStringLiteral("Protocol name=%1,").arg(p.name);
        text += QStringLiteral("Min. search size=%1,").arg(p.min_search_size);
        text += QStringLiteral("Max. search size=%1,").arg(p.max_search_size);
        text += QStringLiteral("Cell detection sensitivity=%1,").arg(p.cell_detection_sensitivity);
        text += QStringLiteral("Live cell sensitivity=%1,").arg(p.live_cell_sensitivity);
        text += QStringLiteral("Noise reduction=%1,").arg(p.noise_reduction);
        text += QStringLiteral("Dilution factor=%1,").arg(p.dilution_factor);
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

float round2(float value, float scale)
{
    return static_cast<float>(static_cast<int>(std::round(value * scale))) / scale;
}
