#include "HeldOut.h"

#include "SlideMatch.h"

#include <opencv2/imgproc.hpp>

namespace heldout {

namespace {

// DEFAULT, viability mode: diameters 7..24 px, detection 5, live 5, noise 5.
const evaluation::Protocol kDefault{7, 24, 5, 5, 5, 2};
// The same with the largest diameter raised for large cells, as a lab sets it.
const evaluation::Protocol kLarge{7, 32, 5, 5, 5, 2};

brightfield::SceneParams scene(int cells)
{
    brightfield::SceneParams p;
    p.cells = cells;
    return p;
}

std::vector<Condition> makeConditions()
{
    std::vector<Condition> c;
    auto add = [&c](const char* name, brightfield::SceneParams p, bool inFocus,
                    const evaluation::Protocol& protocol = kDefault) { c.push_back({name, p, protocol, inFocus}); };

    brightfield::SceneParams p = scene(50);
    p.debris = 25;
    p.specks = 80;
    add("sparse, cell-sized debris", p, true);
    add("medium", scene(300), true);
    add("dense", scene(1500), true);
    p = scene(300);
    p.clumpedShare = 0.5;
    add("half in clumps of 2-6", p, true);
    p = scene(300);
    p.unevenness = 0.4;
    p.dust = 8;
    add("uneven light", p, true);
    p = scene(300);
    p.minDiameterUm = 6;
    p.maxDiameterUm = 12;
    add("small cells 6-12 um", p, true);
    p = scene(200);
    p.minDiameterUm = 18;
    p.maxDiameterUm = 30;
    add("large cells 18-30 um", p, true, kLarge);
    p = scene(300);
    p.contrast = 0.5;
    add("contrast halved", p, false);
    p = scene(300);
    p.defocusDof = 1.5;
    add("defocus 1.5 DOF", p, false);
    p = scene(300);
    p.liveFraction = 0.5;
    p.paleDeadShare = 0.8;
    add("pale dead cells", p, false);
    p = scene(300);
    p.gain = 4;
    add("low light, gain 4", p, false);
    p = scene(300);
    p.liveFraction = 0.2;
    add("mostly dead", p, false);
    p = scene(800);
    p.clumpedShare = 0.25;
    p.debris = 40;
    p.unevenness = 0.25;
    p.gain = 2;
    p.defocusDof = 0.5;
    add("all at once, mild", p, false);
    // Later additions: appended so that the earlier conditions keep their seeds.
    p = scene(300);
    p.clumpedShare = 0.5;
    p.largestClump = 8;
    p.packedClumps = true;
    add("tight clumps of 2-8, 300 cells", p, true);
    p.cells = 1500;
    add("tight clumps of 2-8, 1500 cells", p, true);
    // Twice and three times the noise of gain 4 on clear glass: a quarter and
    // a ninth of its light.
    p = scene(300);
    p.gain = 16;
    add("noise x2 of gain 4", p, false);
    p.gain = 36;
    add("noise x3 of gain 4", p, false);
    // Weaker refraction: a fainter and thinner ring.
    p = scene(300);
    p.contrast = 0.5;
    p.rimScale = 0.6;
    add("contrast 0.5, thin rims", p, false);
    p.contrast = 0.35;
    add("contrast 0.35, thin rims", p, false);
    // As many debris objects as cells: mostly specks, a fifth of them small
    // blobs of overlapping discs, whose arcs look like a small cell's rim.
    p = scene(300);
    p.specks = 240;
    p.discBlobs = 60;
    add("debris as many as cells, a fifth blobs of discs", p, true);
    return c;
}

}  // namespace

const std::vector<Condition>& conditions()
{
    static const std::vector<Condition> all = makeConditions();
    return all;
}

std::uint64_t seedOf(Seeds set, size_t condition, int scene)
{
    return (set == Seeds::HeldOut ? 1000 : 700000) + 10 * condition + static_cast<std::uint64_t>(scene);
}

void Tally::add(const Tally& o)
{
    truth += o.truth;
    trueLive += o.trueLive;
    found += o.found;
    foundLive += o.foundLive;
    matched += o.matched;
    calledRight += o.calledRight;
    diameterErrorSum += o.diameterErrorSum;
}

double Tally::countError() const
{
    return truth ? static_cast<double>(found - truth) / truth : 0;
}

double Tally::viabilityError() const
{
    const double reported = found ? 100.0 * foundLive / found : 0;
    const double real = truth ? 100.0 * trueLive / truth : 0;
    return reported - real;
}

double Tally::precision() const
{
    return found ? static_cast<double>(matched) / found : 1;
}

double Tally::recall() const
{
    return truth ? static_cast<double>(matched) / truth : 1;
}

double Tally::diameterError() const
{
    return matched ? diameterErrorSum / matched : 0;
}

double Tally::callAccuracy() const
{
    return matched ? static_cast<double>(calledRight) / matched : 1;
}

namespace {

// The counted objects and the truth matched by position.
struct Matched
{
    std::vector<const VelimBio::TObj*> objects;
    slide::Match match;
};

Matched matchCounted(const std::vector<brightfield::TrueCell>& truth, const evaluation::Result& result)
{
    std::vector<slide::SlideCell> cells;
    cells.reserve(truth.size());
    for (const brightfield::TrueCell& c : truth) {
        slide::SlideCell s;
        s.x = c.x;
        s.y = c.y;
        s.diameter = c.diameter;
        cells.push_back(s);
    }
    Matched m;
    std::vector<slide::Detection> found;
    for (const VelimBio::TObj& o : result.objects)
        if (o.gate_position != 0) {
            m.objects.push_back(&o);
            found.push_back({static_cast<float>(o.x), static_cast<float>(o.y), o.diameter_px});
        }
    m.match = slide::matchDetections(cells, found);
    return m;
}

}  // namespace

Tally score(const std::vector<brightfield::TrueCell>& truth, const evaluation::Result& result)
{
    const Matched m = matchCounted(truth, result);
    Tally t;
    for (const brightfield::TrueCell& c : truth)
        t.trueLive += c.live ? 1 : 0;
    t.truth = m.match.truthCount;
    t.found = result.live + result.dead;
    t.foundLive = result.live;
    t.matched = m.match.matched;
    t.diameterErrorSum = m.match.meanDiameterError * m.match.matched;
    for (size_t i = 0; i < m.objects.size(); ++i) {
        const int cell = m.match.cellOf[i];
        if (cell >= 0 && m.objects[i]->is_live == truth[static_cast<size_t>(cell)].live)
            ++t.calledRight;
    }
    return t;
}

cv::Mat annotate(const brightfield::Rendered& scene, const evaluation::Result& result)
{
    const Matched m = matchCounted(scene.cells, result);
    cv::Mat out;
    cv::cvtColor(scene.rgb, out, cv::COLOR_RGB2BGR);
    std::vector<bool> found(scene.cells.size(), false);
    for (size_t i = 0; i < m.objects.size(); ++i) {
        const VelimBio::TObj& o = *m.objects[i];
        const int cell = m.match.cellOf[i];
        if (cell < 0) {
            cv::circle(out, {o.x, o.y}, cvRound(o.diameter_px / 2) + 4, {0, 0, 255}, 2);
            continue;
        }
        found[static_cast<size_t>(cell)] = true;
        if (o.is_live != scene.cells[static_cast<size_t>(cell)].live)
            cv::drawMarker(out, {o.x, o.y}, {0, 0, 255}, cv::MARKER_CROSS, 8, 1);
    }
    for (size_t c = 0; c < scene.cells.size(); ++c) {
        const brightfield::TrueCell& t = scene.cells[c];
        cv::circle(out, cv::Point(cvRound(t.x), cvRound(t.y)), cvRound(t.diameter / 2) + 3,
                   found[c] ? cv::Scalar(0, 200, 0) : cv::Scalar(0, 220, 255), 1);
    }
    return out;
}

VelimBio::CircleDetector stockDetector(double minDist, double votes)
{
    return [minDist, votes](const cv::Mat& image, const VelimBio::DetectorArgs& args) {
        std::vector<cv::Vec3f> circles;
        cv::HoughCircles(image, circles, args.method, args.dp, minDist, args.param1, votes, args.minRadius,
                         args.maxRadius);
        return circles;
    };
}

VelimBio::CircleDetector truthDetector(const brightfield::Rendered& scene)
{
    std::vector<cv::Vec3f> truth;
    for (const brightfield::TrueCell& c : scene.cells)
        truth.emplace_back(c.x, c.y, c.diameter / 2);
    return [truth](const cv::Mat&, const VelimBio::DetectorArgs&) { return truth; };
}

brightfield::Rendered renderScene(const Condition& condition, std::uint64_t seed)
{
    brightfield::SceneParams p = condition.scene;
    p.seed = seed;
    return brightfield::render(p);
}

Tally count(const Condition& condition, const brightfield::Rendered& scene, const VelimBio::CircleDetector& detector,
            evaluation::Result* result)
{
    evaluation::Setup setup;
    setup.countMode = 1;
    setup.protocol = condition.protocol;
    const auto counter = evaluation::makeCounter(setup);
    const evaluation::Result r = evaluation::evaluate(*counter, scene.rgb, setup, detector);
    if (result)
        *result = r;
    return score(scene.cells, r);
}

}  // namespace heldout
