// kova-engine-digest: what the engine gives for many frames, hashed, so that a
// change meant only to make it faster can be shown to leave every result bit
// for bit as it was: run it before and after the change and compare.
//
// Frames: the held-out and tuning scenes of every condition and a few
// generated slides. Each is counted twice: with the engine's own detector,
// and with the true circles in the detector's seam, which shows the steps
// after detection unchanged even when the detector's answer has changed.
// One line per count: the hashes of the detector's circles, the records, the
// histograms, the objects of the gating and the overlay image.
#include "HeldOut.h"
#include "Slide.h"

#include <opencv2/core/utility.hpp>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// 64-bit FNV-1a over bytes.
class Hash
{
public:
    void add(const void* data, size_t size)
    {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < size; ++i)
            m_value = (m_value ^ bytes[i]) * 0x100000001b3ull;
    }
    template <typename T>
    void add(const T& value)
    {
        add(&value, sizeof value);
    }
    void add(const cv::Mat& image)
    {
        for (int y = 0; y < image.rows; ++y)
            add(image.ptr(y), image.cols * image.elemSize());
    }
    std::uint64_t value() const { return m_value; }

private:
    std::uint64_t m_value = 0xcbf29ce484222325ull;
};

// The engine with its records open to the digest.
class Counter : public VelimBio::CellCounter
{
public:
    using CellCounter::CellCounter;
    using CellCounter::m_detectedCells;
};

struct Digest
{
    Hash circles, records, histograms, objects, overlay;
};

Digest countOnce(const cv::Mat& rgb, const evaluation::Protocol& protocol, const VelimBio::CircleDetector& detector)
{
    evaluation::Setup setup;
    setup.protocol = protocol;
    const auto counter = evaluation::makeCounter<Counter>(setup);
    Digest d;
    const auto hashed = [&d, &detector](const cv::Mat& image, const VelimBio::DetectorArgs& args) {
        std::vector<cv::Vec3f> circles = detector(image, args);
        for (const cv::Vec3f& c : circles)
            d.circles.add(c);
        return circles;
    };
    const evaluation::Result r = evaluation::evaluate(*counter, rgb, setup, hashed);
    for (const cv::Vec6f& record : counter->m_detectedCells)
        d.records.add(record);
    for (int which = 0; which < 3; ++which)
        d.histograms.add(counter->getHistogram2(which),
                         sizeof(int) * (which == 2 ? VelimBio::CellCounter::kClusterBins
                                                   : VelimBio::CellCounter::kSizeBins));
    // Field by field: the structure's padding is no result.
    for (const VelimBio::TObj& o : r.objects) {
        for (float v : {o.diameter_px, o.size_um, o.circularity, o.roundness})
            d.objects.add(v);
        for (std::int32_t v : {o.mean_intensity, o.x, o.y, o.gate_position})
            d.objects.add(v);
        for (bool v : {o.is_live, o.is_gated})
            d.objects.add(v);
    }
    d.overlay.add(counter->getOverlayImageData2(true));
    return d;
}

void print(const std::string& name, const Digest& d, Hash& all)
{
    std::printf("%-34s %016llx %016llx %016llx %016llx %016llx\n", name.c_str(),
                static_cast<unsigned long long>(d.circles.value()), static_cast<unsigned long long>(d.records.value()),
                static_cast<unsigned long long>(d.histograms.value()),
                static_cast<unsigned long long>(d.objects.value()), static_cast<unsigned long long>(d.overlay.value()));
    std::fflush(stdout);
    for (const Hash* h : {&d.circles, &d.records, &d.histograms, &d.objects, &d.overlay})
        all.add(h->value());
}

// The generated slides: cells, seed, clusters, blur.
struct SlideCase
{
    int cells;
    std::uint64_t seed;
    double clusters, blur;
};
const SlideCase kSlides[] = {{300, 11, 0.1, 0}, {1500, 12, 0.1, 0}, {1500, 13, 0.4, 1.0}, {3000, 14, 0.2, 0.5}};

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && (std::strcmp(argv[1], "--threads") != 0 || argc != 3 || std::atoi(argv[2]) < 1)) {
        std::fprintf(stderr, "usage: kova-engine-digest [--threads N]\n");
        return 2;
    }
    if (argc == 3)
        cv::setNumThreads(std::atoi(argv[2]));
    std::printf("%-34s %-16s %-16s %-16s %-16s %-16s\n", "count", "circles", "records", "histograms", "objects",
                "overlay");
    Hash all;
    for (const heldout::Seeds set : {heldout::Seeds::HeldOut, heldout::Seeds::Tuning})
        for (size_t i = 0; i < heldout::conditions().size(); ++i)
            for (int s = 0; s < heldout::kScenes; ++s) {
                const heldout::Condition& condition = heldout::conditions()[i];
                const brightfield::Rendered scene = heldout::renderScene(condition, heldout::seedOf(set, i, s));
                const std::string name = std::string(set == heldout::Seeds::HeldOut ? "held-out " : "tuning ") +
                                         std::to_string(i) + "/" + std::to_string(s);
                print(name + " engine", countOnce(scene.rgb, condition.protocol, VelimBio::detectCircles), all);
                print(name + " true circles", countOnce(scene.rgb, condition.protocol, heldout::truthDetector(scene)),
                      all);
            }
    evaluation::Protocol protocol;
    evaluation::builtInProtocol("DEFAULT", 1, protocol);
    for (const SlideCase& c : kSlides) {
        slide::SlideParams p;
        p.cellCount = c.cells;
        p.seed = c.seed;
        p.clusterFraction = c.clusters;
        p.blur = c.blur;
        p.maxDiameter = 24;
        print("slide " + std::to_string(c.cells) + " cells, seed " + std::to_string(c.seed),
              countOnce(slide::generateSlide(p).rgb, protocol, VelimBio::detectCircles), all);
    }
    std::printf("all %016llx\n", static_cast<unsigned long long>(all.value()));
    return 0;
}
