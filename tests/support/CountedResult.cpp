#include "CountedResult.h"

#include "KovaCore/GlobalIni.h"

#include <initializer_list>
#include <utility>

namespace {

constexpr int kCols = KovaCoreApp::kCanvasCols;
constexpr int kRows = KovaCoreApp::kCanvasRows;

VelimBio::TObj object(int x, int y, float size, float circularity, float roundness, int mean, bool live, int gate)
{
    VelimBio::TObj o;
    o.x = x;
    o.y = y;
    o.size_um = size;
    o.diameter_px = size;
    o.circularity = circularity;
    o.roundness = roundness;
    o.mean_intensity = mean;
    o.is_live = live;
    o.gate_position = gate;
    o.is_gated = gate != 0;
    return o;
}

std::vector<int32_t> bins(size_t count, std::initializer_list<std::pair<size_t, int32_t>> filled)
{
    std::vector<int32_t> values(count, 0);
    for (const auto& bin : filled)
        values[bin.first] = bin.second;
    return values;
}

}  // namespace

CountedEngine::CountedEngine()
    : CellCounter(3, kRows, kCols, 0.48979f, 1.431f, 1.4f)
{
}

void CountedEngine::setImages(const cv::Mat& raw, const cv::Mat& overlay)
{
    m_rawImage = raw.clone();
    m_overlayImage = overlay.clone();
}

void CountedEngine::setObjects(std::vector<VelimBio::TObj> objects)
{
    m_ungatedCellObjects = std::move(objects);
}

cv::Mat patternFrame(int seed)
{
    cv::Mat image(kRows, kCols, CV_8UC3);
    cv::RNG rng(uint64_t(seed) + 1);
    rng.fill(image, cv::RNG::UNIFORM, 0, 256);
    return image;
}

CountedResult::CountedResult(int countingMode)
    : m_engine(std::make_unique<CountedEngine>())
{
    KovaCoreApp& app = theApp;
    app.m_CountingMode = countingMode;
    app.m_SerialNumber = "KV3-2026-0042";
    app.m_CurrentVersion = "1.0.2";
    global_ini()->IQOQ.FW_version = "1.3.7";
    app.m_bAutofocusedCounting = true;
    app.m_nAutofocusOffset = 1;
    app.m_fVolumeFactor = 0.48979;
    app.m_fLensMagnification = 1.431;
    app.m_nSlideType = SLIDE_TYPE_REUSABLE;
    app.m_Calibration.Last_calibration = "05 Nov 2026";
    app.m_Calibration.Background_value = "0x012A, 0x0156";
    app.m_Calibration.Z_Reference_2ch = 10240;
    app.m_Calibration.Z_Reference_Reusable = 11264;
    app.m_Calibration.Z_Reference_Validation = 9728;
    app.m_SaveReview.m_bEnableScaleBar = false;

    app.m_Counted_Total_Protocol = {};
    app.m_Counted_Total_Protocol.name = "DEFAULT";
    app.m_Counted_Total_Protocol.min_search_size = 5;
    app.m_Counted_Total_Protocol.max_search_size = 40;
    app.m_Counted_Total_Protocol.cell_detection_sensitivity = 6;
    app.m_Counted_Total_Protocol.noise_reduction = 3;
    app.m_Counted_Total_Protocol.dilution_factor = 1;
    app.m_Counted_Total_Protocol.gating_min_size = -1;
    app.m_Counted_Total_Protocol.gating_max_size = -1;

    app.m_Counted_Viability_Protocol = {};
    app.m_Counted_Viability_Protocol.name = "PBMC";
    app.m_Counted_Viability_Protocol.min_search_size = 4;
    app.m_Counted_Viability_Protocol.max_search_size = 20;
    app.m_Counted_Viability_Protocol.cell_detection_sensitivity = 7;
    app.m_Counted_Viability_Protocol.live_cell_sensitivity = 6;
    app.m_Counted_Viability_Protocol.noise_reduction = 4;
    app.m_Counted_Viability_Protocol.dilution_factor = 2;
    app.m_Counted_Viability_Protocol.gating_min_size = 3;
    app.m_Counted_Viability_Protocol.gating_max_size = 18;

    TCountImageInfo& r = app.m_CountResult;
    r = TCountImageInfo();
    r.total = 2.25f;
    r.total_exp = 5;
    r.total_cell = 100;
    r.live = 1.8f;
    r.live_exp = 5;
    r.live_cell = 80;
    r.dead = 4.5f;
    r.dead_exp = 4;
    r.dead_cell = 20;
    r.viability = 80.0f;
    r.average_cell_size = 12.345f;
    r.dilution = 1.0f;
    r.z_position = 10496;
    r.live_histogram = bins(181, {{9, 30}, {12, 50}});
    r.dead_histogram = bins(181, {{11, 15}, {180, 5}});
    r.total_histogram = bins(181, {{9, 30}, {11, 15}, {12, 50}, {180, 5}});
    r.cluster_histogram = bins(9, {{0, 90}, {1, 4}, {8, 1}});

    m_engine->setImages(patternFrame(0), patternFrame(40));
    m_engine->setObjects({object(100, 200, 12.345678f, 0.987654f, 101.25f, 87, true, -1),
                          object(2591, 0, 4.5f, 1.0f, 100.0f, 255, false, 1),
                          object(0, 1943, 181.25f, 0.0f, 0.0f, 0, true, 0)});
    app.m_pCellCounter = m_engine.get();
}

CountedResult::~CountedResult()
{
    if (theApp.m_pCellCounter == m_engine.get())
        theApp.m_pCellCounter = nullptr;
}
