#include "Evaluation.h"

#include "velimbio/HoughCirclesAdaptive.h"

#include <chrono>
#include <memory>
#include <ostream>
#include <sstream>

namespace evaluation {

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void jsonConcentration(std::ostream& out, const char* name, const Concentration& c)
{
    out << '"' << name << "\":{\"mantissa\":" << c.mantissa << ",\"exponent\":" << c.exponent << '}';
}

}  // namespace

bool builtInProtocol(const std::string& name, int countMode, Protocol& protocol)
{
    const bool viability = countMode != 0;
    if (name == "DEFAULT")
        protocol = {7, 24, 5, viability ? 5 : 1, 5, viability ? 2 : 1};
    else if (name == "PBMC")
        protocol = {7, 15, 6, viability ? 6 : 1, 8, viability ? 2 : 1};
    else
        return false;
    return true;
}

void prepare(VelimBio::CellCounter& counter, const cv::Mat& rgb, const Setup& setup)
{
    // The engine copies a whole frame from the buffer without looking at its size.
    CV_Assert(rgb.type() == CV_8UC3 && rgb.isContinuous() && rgb.rows == kRows && rgb.cols == kCols);
    const Protocol& p = setup.protocol;
    counter.prepareImageData(rgb.data);
    counter.set_countMode(setup.countMode, 0.0, 0.0);
    counter.set_BF_Protocol(p.minSearchSize, p.maxSearchSize, 1, 180, p.detectionLevel, p.liveLevel, p.noiseLevel,
                            p.dilution);
}

Result evaluate(VelimBio::CellCounter& counter, const cv::Mat& rgb, const Setup& setup,
                const VelimBio::CircleDetector& detector)
{
    Result r;
    // The detector, timed through the engine's seam.
    const auto detectorTime = std::make_shared<double>(0.0);
    counter.setCircleDetector([detectorTime, detector](const cv::Mat& image, const VelimBio::DetectorArgs& args) {
        const Clock::time_point start = Clock::now();
        std::vector<cv::Vec3f> circles = detector(image, args);
        *detectorTime = millisecondsSince(start);
        return circles;
    });

    const Protocol& p = setup.protocol;
    const Clock::time_point start = Clock::now();
    prepare(counter, rgb, setup);
    r.times.prepare = millisecondsSince(start);

    Clock::time_point stage = Clock::now();
    counter.findObjects_BF();
    r.times.detection = millisecondsSince(stage);

    stage = Clock::now();
    counter.histogramsAndGating_BF(1.0f, 181.0f, r.live, r.dead);
    r.times.gating = millisecondsSince(stage);

    stage = Clock::now();
    counter.draw_cellsBF(false);
    counter.getOverlayImageData2(true);
    r.times.drawing = millisecondsSince(stage);

    r.total = r.live + r.dead;
    const float dilution = static_cast<float>(p.dilution);
    counter.getConcentration(r.total, dilution, r.totalConcentration.mantissa, r.totalConcentration.exponent);
    if (setup.countMode != 0) {
        counter.getConcentration(r.live, dilution, r.liveConcentration.mantissa, r.liveConcentration.exponent);
        counter.getConcentration(r.dead, dilution, r.deadConcentration.mantissa, r.deadConcentration.exponent);
    } else {
        // A total count has no live/dead split (its threshold is no stain
        // call); the instrument reports none either.
        r.live = 0;
        r.dead = 0;
    }
    counter.getViability(r.live, r.dead, r.viability);
    counter.getAvgCellSize(r.averageSize);
    if (r.averageSize < 0)
        r.averageSize = 0;
    r.objects = counter.getUngatedCellInformation();
    r.times.total = millisecondsSince(start);
    r.times.circleDetector = *detectorTime;
    counter.setCircleDetector(VelimBio::detectCircles);
    return r;
}

std::string toJson(const Result& r, const Setup& setup)
{
    const Protocol& p = setup.protocol;
    std::ostringstream out;
    out << "{\"mode\":\"" << (setup.countMode ? "viability" : "total") << "\""
        << ",\"protocol\":{\"min_search_size\":" << p.minSearchSize << ",\"max_search_size\":" << p.maxSearchSize
        << ",\"cell_detection\":" << p.detectionLevel << ",\"live_cell\":" << p.liveLevel
        << ",\"noise_reduction\":" << p.noiseLevel << ",\"dilution\":" << p.dilution << '}'
        << ",\"total\":" << r.total << ",\"live\":" << r.live << ",\"dead\":" << r.dead
        << ",\"viability\":" << r.viability << ",\"average_size_um\":" << r.averageSize << ',';
    jsonConcentration(out, "total_concentration", r.totalConcentration);
    out << ',';
    jsonConcentration(out, "live_concentration", r.liveConcentration);
    out << ',';
    jsonConcentration(out, "dead_concentration", r.deadConcentration);
    out << ",\"objects\":" << r.objects.size() << ",\"times_ms\":{\"prepare\":" << r.times.prepare
        << ",\"detection\":" << r.times.detection << ",\"circle_detector\":" << r.times.circleDetector
        << ",\"gating\":" << r.times.gating << ",\"drawing\":" << r.times.drawing << ",\"total\":" << r.times.total
        << "}}";
    return out.str();
}

void writeObjectsCsv(std::ostream& out, const Result& result)
{
    out << "x,y,diameter_px,size_um,live,gated\n";
    for (const VelimBio::TObj& o : result.objects)
        out << o.x << ',' << o.y << ',' << o.diameter_px << ',' << o.size_um << ',' << (o.is_live ? 1 : 0) << ','
            << (o.is_gated ? 1 : 0) << '\n';
}

}  // namespace evaluation
