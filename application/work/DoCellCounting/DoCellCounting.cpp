#include "DoCellCounting/DoCellCounting.h"

#include "Camera/OV5642Camera.h"
#include "File_IO/ImReaderWriter.h"
#include "KovaCore/KovaCoreApp.h"

#include "platform/Log.h"
#include "platform/Root.h"

#include "velimbio/CellCounter.h"

#include <opencv2/imgcodecs.hpp>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QThread>

#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr char kErrorImageDir[] = "/root/grab_img";

std::vector<int32_t> histogram(const int* bins, int count)
{
    return bins ? std::vector<int32_t>(bins, bins + count) : std::vector<int32_t>(count, 0);
}

}  // namespace

DoCellCounting::DoCellCounting(QObject* parent)
    : QObject(parent)
{
    KLOG_ENTER;
}

void DoCellCounting::registerCellCounter(VelimBio::CellCounter* counter, OV5642Camera* camera)
{
    KLOG_ENTER;
    m_pCellCounter = counter;
    m_pCamera = camera;
}

void DoCellCounting::setCountingParameters(float green_1280, std::string ini_file)
{
    KLOG_ENTER;
    m_green_1280 = green_1280;
    m_ini_file = std::move(ini_file);
    KLOG << "m_ini_file : " << QString::fromStdString(m_ini_file);
}

void DoCellCounting::set_parameters_BF_TOTAL_CELL_COUNTING(counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t protocol)
{
    KLOG_ENTER;
    m_total_protocol = boundedForCount(protocol);
    KLOG << "min_search_size : " << protocol.min_search_size;
    KLOG << "max_search_size : " << protocol.max_search_size;
    KLOG << "cell_detection_sensitivity : " << protocol.cell_detection_sensitivity;
    KLOG << "noise_reduction : " << protocol.noise_reduction;
    KLOG << "dilution_factor : " << protocol.dilution_factor;
}

void DoCellCounting::set_parameters_BF_CELL_COUNTING_VIABILITY(
    counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t protocol)
{
    KLOG_ENTER;
    m_viability_protocol = boundedForCount(protocol);
    KLOG << "min_search_size : " << protocol.min_search_size;
    KLOG << "max_search_size : " << protocol.max_search_size;
    KLOG << "cell_detection_sensitivity : " << protocol.cell_detection_sensitivity;
    KLOG << "live_cell_sensitivity : " << protocol.live_cell_sensitivity;
    KLOG << "noise_reduction : " << protocol.noise_reduction;
    KLOG << "dilution_factor : " << protocol.dilution_factor;
}

void DoCellCounting::clearCountInfo()
{
    KLOG_ENTER;
    TCountImageInfo& c = m_CountInfo;
    c.total = c.live = c.dead = 0.0f;
    c.total_exp = c.live_exp = c.dead_exp = 0;
    c.total_cell = c.live_cell = c.dead_cell = 0;
    c.viability = c.average_cell_size = c.dilution = 0.0f;
    c.z_position = c.gating_min = c.gating_max = 0;
}

bool DoCellCounting::compareInt(float green_5m)
{
    KLOG << "--------green_1280 : " << m_green_1280;
    KLOG << "--------green_5m : " << green_5m;
    return green_5m > m_green_1280 - static_cast<float>(theApp.m_nSkipframe);
}

void DoCellCounting::doWork()
{
    KLOG_ENTER;
    if (m_bReAnalysis)
        run_reAnalysis();
    else
        run_captureAndAnalysis();
}

void DoCellCounting::run_captureAndAnalysis()
{
    KLOG_ENTER;
    // One full frame for this run, released on every way out.
    const std::unique_ptr<unsigned char[]> buffer(new unsigned char[kFrameBytes]);

    if (theApp.m_pCamera)
        theApp.m_pCamera->close();
    QThread::msleep(kCameraRestMs);
    if (!m_pCellCounter || !m_pCamera || !m_pCamera->open(kFullResolutionMode, m_ini_file, false)
        || std::size_t(m_pCamera->frameSize()) != kFrameBytes) {
        KLOG << "[Error] the camera did not open at full resolution";
        emit signalCameraModeChangeFailed();
        return;
    }
    KLOG << "Cell counting start";
    if (!captureFrame(buffer.get())) {
        KLOG << "[Error] no frame at full resolution";
        emit signalCameraModeChangeFailed();
        return;
    }
    analyse(buffer.get());
    setCountingResults();
    KLOG << "--------cell counting end";
    emit completed();
}

bool DoCellCounting::captureFrame(unsigned char* buffer)
{
    for (int attempt = 0; attempt < kFrameAttempts; ++attempt) {
        const unsigned char* frame = m_pCamera->getFrame(false, 40, 20, 100);
        if (!frame)
            return false;
        std::memcpy(buffer, frame, kFrameBytes);
        if (attempt < kCheckedAttempts) {
            int green = 0, pink = 0, black = 0;
            if (m_pCamera->checkGreenPinkBlackImage(buffer, green, pink, black, kBlackRatio)) {
                KLOG << "green_cnt: " << green << "pink_cnt: " << pink << "black_cnt: " << black;
                KLOG << "Trial Count-1:" << attempt;
                continue;
            }
        }
        if (compareInt(static_cast<float>(m_pCamera->getGreenMean(buffer)))) {
            KLOG << "Trial Count-2: " << attempt;
            return true;
        }
        KLOG << "R, G, B:" << 0 << 0 << 0;
    }
    // Nothing passed: the last frame is counted.
    return true;
}

void DoCellCounting::run_reAnalysis()
{
    KLOG_ENTER;
    KLOG << "Cell counting start";
    ImReaderWriter* reader = theApp.m_pImReaderWriter;
    const std::unique_ptr<unsigned char[]> image(
        reader ? reader->imread(m_image_path.toUtf8().toStdString()) : nullptr);
    KLOG << "filename :  " << m_image_path;
    // The engine copies a whole full frame from the buffer: anything smaller
    // would be read past its end.
    if (!m_pCellCounter || !image || reader->readWidth() != uint32_t(kFrameCols)
        || reader->readHeight() != uint32_t(kFrameRows)) {
        KLOG << "[Error] not a readable" << kFrameCols << "x" << kFrameRows << "RGB image:" << m_image_path;
        emit signalReAnalysisFailed();
        return;
    }
    analyse(image.get());
    KLOG << "After m_CountInfo.live_cell" << m_CountInfo.live_cell;
    KLOG << "After m_CountInfo.dead_cell" << m_CountInfo.dead_cell;
    setCountingResults();
    KLOG << "--------cell counting end";
    emit completed();
}

void DoCellCounting::analyse(unsigned char* frame)
{
    VelimBio::CellCounter& engine = *m_pCellCounter;
    engine.prepareImageData(frame);
    m_CountInfo.live_cell = 0;
    m_CountInfo.dead_cell = 0;
    KLOG << "theApp.m_CountingMode : " << theApp.m_CountingMode;
    engine.set_countMode(theApp.m_CountingMode, 0.0, 0.0);
    if (theApp.m_CountingMode == BF_TOTAL_CELL_COUNTING) {
        const counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t& p = m_total_protocol;
        engine.set_BF_Protocol(p.min_search_size, p.max_search_size, 1, 180, p.cell_detection_sensitivity, 1,
                               p.noise_reduction, p.dilution_factor);
    } else {
        const counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t& p = m_viability_protocol;
        engine.set_BF_Protocol(p.min_search_size, p.max_search_size, 1, 180, p.cell_detection_sensitivity,
                               p.live_cell_sensitivity, p.noise_reduction, p.dilution_factor);
    }
    engine.findObjects_BF();
    // The count itself runs with the gate open, whatever the protocol's gating.
    engine.histogramsAndGating_BF(1.0f, 181.0f, m_CountInfo.live_cell, m_CountInfo.dead_cell);
    engine.draw_cellsBF(false);
}

void DoCellCounting::setCountingResults()
{
    KLOG_ENTER;
    VelimBio::CellCounter& engine = *m_pCellCounter;
    TCountImageInfo& c = m_CountInfo;
    const bool total = theApp.m_CountingMode == BF_TOTAL_CELL_COUNTING;

    c.dilution = static_cast<float>(total ? m_total_protocol.dilution_factor : m_viability_protocol.dilution_factor);
    if (!total) {
        engine.getConcentration(c.live_cell, c.dilution, c.live, c.live_exp);
        engine.getConcentration(c.dead_cell, c.dilution, c.dead, c.dead_exp);
    }
    c.total_cell = c.live_cell + c.dead_cell;
    engine.getConcentration(c.total_cell, c.dilution, c.total, c.total_exp);

    c.gating_min = 1;
    c.gating_max = 90;

    if (total) {
        c.live_cell = 0;
        c.dead_cell = 0;
    }
    engine.getViability(c.live_cell, c.dead_cell, c.viability);
    engine.getAvgCellSize(c.average_cell_size);
    if (c.average_cell_size < 0.0f)
        c.average_cell_size = 0.0f;

    constexpr int kSizeBins = VelimBio::CellCounter::kSizeBins;
    c.live_histogram = histogram(engine.getHistogram2(0), kSizeBins);
    c.dead_histogram = histogram(engine.getHistogram2(1), kSizeBins);
    c.cluster_histogram = histogram(engine.getHistogram2(2), VelimBio::CellCounter::kClusterBins);
    c.total_histogram.assign(kSizeBins, 0);
    for (int i = 0; i < kSizeBins; ++i)
        c.total_histogram[i] = c.live_histogram[i] + c.dead_histogram[i];

    const QStringList names = m_image_path.split(QLatin1Char('/'), Qt::KeepEmptyParts);
    theApp.m_strFinalName = m_bReAnalysis ? resultName(m_image_path) : QString();

    KLOG_VALUE("m_CountInfo.live", c.live);
    KLOG_VALUE("m_CountInfo.live_exp", c.live_exp);
    KLOG_VALUE("m_CountInfo.dead", c.dead);
    KLOG_VALUE("m_CountInfo.dead_exp", c.dead_exp);
    KLOG_VALUE("m_CountInfo.total", c.total);
    KLOG_VALUE("m_CountInfo.total_exp", c.total_exp);
    KLOG_VALUE("m_CountInfo.live_cell", c.live_cell);
    KLOG_VALUE("m_CountInfo.dead_cell", c.dead_cell);
    KLOG_VALUE("m_CountInfo.total_cell", c.total_cell);
    KLOG_VALUE("average_cell_size", c.average_cell_size);
    KLOG_VALUE("viability", c.viability);
    KLOG_VALUE("namelist", names.join(QStringLiteral(", ")));
    KLOG_VALUE("namelist.size()", names.size());
    KLOG_VALUE("finalname", theApp.m_strFinalName);
}

QString DoCellCounting::resultName(const QString& path)
{
    const QStringList parts = path.split(QLatin1Char('/'), Qt::KeepEmptyParts);
    return parts.size() >= 2 ? parts.at(parts.size() - 2) : QString();
}

bool DoCellCounting::saveError(unsigned char* rgb24, int number)
{
    if (!rgb24) {
        KLOG << "[Error] saveError: no frame";
        return false;
    }
    const QString dir = platform::rootPath(QString::fromLatin1(kErrorImageDir));
    QDir().mkpath(dir);
    const QString file = dir + QStringLiteral("/%1.tif").arg(number);
    const cv::Mat frame(kFrameRows, kFrameCols, CV_8UC3, rgb24, std::size_t(kFrameCols) * 3);
    if (!cv::imwrite(QFile::encodeName(file).toStdString(), frame)) {
        KLOG << "[Error] saveError:" << file;
        return false;
    }
    return true;
}
