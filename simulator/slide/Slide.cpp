#include "Slide.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <random>

namespace slide {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Optical blur of the in-focus system, added to every image.
constexpr double kOpticsSigma = 0.7;

// A small dark speck of debris; not a cell.
struct SlideDebris
{
    float x = 0;
    float y = 0;
    float diameter = 0;
    float transmission = 0.5f;
};

struct SlideLayout
{
    std::vector<SlideCell> cells;
    std::vector<SlideDebris> debris;
};

// Uniform numbers from a fixed engine and our own mapping, so slides are the
// same with every standard library.
class Random
{
public:
    explicit Random(std::uint64_t seed) : m_engine(seed) {}
    double uniform() { return static_cast<double>(m_engine() >> 11) * (1.0 / 9007199254740992.0); }
    double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    int below(int n) { return std::min(n - 1, static_cast<int>(uniform() * n)); }

private:
    std::mt19937_64 m_engine;
};

// Spatial buckets of placed discs, to keep objects apart without testing all pairs.
class Occupancy
{
public:
    Occupancy(int width, int height) : m_cols(width / kBucket + 1), m_rows(height / kBucket + 1),
        m_buckets(static_cast<size_t>(m_cols * m_rows)) {}

    // True when a disc at (x, y) of radius r keeps `gap` from every disc except
    // those of `ownGroup` (a cluster's own members may touch).
    bool isFree(double x, double y, double r, double gap, int ownGroup) const
    {
        const int reach = static_cast<int>((r + gap + m_largest) / kBucket) + 1;
        const int bx = static_cast<int>(x) / kBucket, by = static_cast<int>(y) / kBucket;
        for (int j = std::max(0, by - reach); j <= std::min(m_rows - 1, by + reach); ++j)
            for (int i = std::max(0, bx - reach); i <= std::min(m_cols - 1, bx + reach); ++i)
                for (const Disc& d : m_buckets[static_cast<size_t>(j * m_cols + i)]) {
                    if (ownGroup > 0 && d.group == ownGroup)
                        continue;
                    const double need = r + d.r + gap;
                    if ((d.x - x) * (d.x - x) + (d.y - y) * (d.y - y) < need * need)
                        return false;
                }
        return true;
    }

    void add(double x, double y, double r, int group)
    {
        const int bx = std::clamp(static_cast<int>(x) / kBucket, 0, m_cols - 1);
        const int by = std::clamp(static_cast<int>(y) / kBucket, 0, m_rows - 1);
        m_buckets[static_cast<size_t>(by * m_cols + bx)].push_back({x, y, r, group});
        m_largest = std::max(m_largest, r);
    }

private:
    static constexpr int kBucket = 32;
    struct Disc
    {
        double x, y, r;
        int group;
    };
    int m_cols, m_rows;
    std::vector<std::vector<Disc>> m_buckets;
    double m_largest = 0;
};

SlideCell makeCell(Random& rnd, const SlideParams& p)
{
    SlideCell c;
    c.diameter = static_cast<float>(std::max(1.0, rnd.uniform(p.minDiameter, p.maxDiameter)));
    c.minorDiameter = static_cast<float>(c.diameter * (1.0 - rnd.uniform(0.0, std::clamp(p.ellipticity, 0.0, 0.9))));
    c.angle = static_cast<float>(rnd.uniform(0.0, 180.0));
    c.live = rnd.uniform() < p.liveFraction;
    return c;
}

// Places up to `size` touching cells around a free seed position; returns how many.
int placeCluster(Random& rnd, const SlideParams& p, Occupancy& occupied, int size, int group,
                 std::vector<SlideCell>& cells)
{
    const double margin = std::max(p.minDiameter, p.maxDiameter) / 2 + 2;
    if (p.width <= 2 * margin + 1 || p.height <= 2 * margin + 1)
        return 0;
    std::vector<SlideCell> members;
    for (int attempt = 0; attempt < 200 && static_cast<int>(members.size()) < size; ++attempt) {
        SlideCell c = makeCell(rnd, p);
        const double r = c.diameter / 2;
        if (members.empty()) {
            c.x = static_cast<float>(rnd.uniform(margin, p.width - 1 - margin));
            c.y = static_cast<float>(rnd.uniform(margin, p.height - 1 - margin));
        } else {
            // Touching a random member, overlapping it a little as cells in a clump do.
            const SlideCell& m = members[static_cast<size_t>(rnd.below(static_cast<int>(members.size())))];
            const double dist = (m.diameter / 2 + r) * rnd.uniform(0.6, 0.95);
            const double a = rnd.uniform(0.0, 2 * kPi);
            c.x = static_cast<float>(m.x + dist * std::cos(a));
            c.y = static_cast<float>(m.y + dist * std::sin(a));
            if (c.x < margin || c.y < margin || c.x > p.width - 1 - margin || c.y > p.height - 1 - margin)
                continue;
            const bool crowds = std::any_of(members.begin(), members.end(), [&](const SlideCell& o) {
                const double need = 0.6 * (o.diameter / 2 + r);
                return std::hypot(o.x - c.x, o.y - c.y) < need;
            });
            if (crowds)
                continue;
        }
        if (!occupied.isFree(c.x, c.y, r, p.minGap, group))
            continue;
        c.cluster = size > 1 ? group : 0;
        members.push_back(c);
        occupied.add(c.x, c.y, r, group);
    }
    if (members.size() == 1)
        members.front().cluster = 0;
    cells.insert(cells.end(), members.begin(), members.end());
    return static_cast<int>(members.size());
}

inline float logistic(double t) { return static_cast<float>(1.0 / (1.0 + std::exp(-t))); }

// Calls f(x, y, pixel) for the pixels of `light` within `reach` of (cx, cy).
template <typename F>
void forEachPixelNear(cv::Mat& light, float cx, float cy, double reach, F&& f)
{
    const int r = static_cast<int>(std::ceil(reach));
    const int x0 = std::max(0, static_cast<int>(cx) - r), x1 = std::min(light.cols - 1, static_cast<int>(cx) + r);
    const int y0 = std::max(0, static_cast<int>(cy) - r), y1 = std::min(light.rows - 1, static_cast<int>(cy) + r);
    for (int y = y0; y <= y1; ++y) {
        cv::Vec3f* row = light.ptr<cv::Vec3f>(y);
        for (int x = x0; x <= x1; ++x)
            f(x, y, row[x]);
    }
}

// Multiplies the light in `light` by one cell's transmission, within its box.
void drawCell(cv::Mat& light, const SlideCell& c, double contrast, Random& rnd)
{
    const double a = c.diameter / 2, b = c.minorDiameter / 2;
    const double radius = (a + b) / 2;
    const double ca = std::cos(c.angle * kPi / 180), sa = std::sin(c.angle * kPi / 180);
    // Unstained cells: a dark refractive rim round a bright core. Trypan blue
    // fills dead cells: dark throughout, passing mostly blue.
    const double rim = std::clamp(0.35 * radius, 2.0, 4.0);
    const double coreSoftness = std::max(0.5, 0.12 * radius);
    const double rimLevel = rnd.uniform(0.14, 0.26), coreLevel = rnd.uniform(1.12, 1.25);
    const double stain = rnd.uniform(0.85, 1.15);
    const cv::Vec3d dead(0.17 * stain, 0.12 * stain, 0.40 * stain);
    const cv::Vec3d rimTint(1.04, 1.0, 0.96);

    forEachPixelNear(light, c.x, c.y, a + 3, [&](int x, int y, cv::Vec3f& pixel) {
        const double dx = x - c.x, dy = y - c.y;
        const double u = (dx * ca + dy * sa) / a, v = (-dx * sa + dy * ca) / b;
        const double depth = (1.0 - std::sqrt(u * u + v * v)) * radius;  // pixels inside the rim
        if (depth < -3)
            return;
        const double inside = logistic(depth / 0.35);
        cv::Vec3d t;
        if (c.live) {
            const double core = logistic((depth - rim - 0.5) / coreSoftness);
            for (int k = 0; k < 3; ++k)
                t[k] = 1 + inside * (rimLevel * rimTint[k] - 1) + core * (coreLevel - rimLevel * rimTint[k]);
        } else {
            for (int k = 0; k < 3; ++k)
                t[k] = 1 + inside * (dead[k] - 1);
        }
        for (int k = 0; k < 3; ++k)
            pixel[k] *= static_cast<float>(std::max(0.0, 1 + contrast * (t[k] - 1)));
    });
}

void drawDebris(cv::Mat& light, const SlideDebris& d)
{
    const double r = d.diameter / 2;
    forEachPixelNear(light, d.x, d.y, r + 2, [&](int x, int y, cv::Vec3f& pixel) {
        const double inside = logistic((r - std::hypot(x - d.x, y - d.y)) / 0.4);
        pixel *= static_cast<float>(1 - inside * (1 - d.transmission));
    });
}

// Where the objects lie: deterministic for given parameters.
SlideLayout layoutSlide(const SlideParams& p)
{
    Random rnd(p.seed);
    SlideLayout layout;
    Occupancy occupied(p.width, p.height);
    // Clusters have two members at least; a largest size below that means none.
    const double clusterShare = p.maxClusterSize >= 2 ? std::clamp(p.clusterFraction, 0.0, 1.0) : 0.0;
    const int clustered = static_cast<int>(std::lround(p.cellCount * clusterShare));
    int group = 0, placed = 0, failures = 0;
    while (placed < p.cellCount && failures < 1000) {
        const int left = p.cellCount - placed;
        int size = 1;
        if (placed < clustered)
            size = std::min({left, clustered - placed, 2 + rnd.below(std::max(1, p.maxClusterSize - 1))});
        const int got = placeCluster(rnd, p, occupied, size, ++group, layout.cells);
        placed += got;
        failures += got == 0 ? 1 : 0;
    }
    for (int i = 0, tries = 0; i < p.debrisCount && tries < 20 * p.debrisCount; ++tries) {
        SlideDebris d;
        d.diameter = static_cast<float>(rnd.uniform(1.5, 4.0));
        d.transmission = static_cast<float>(rnd.uniform(0.35, 0.75));
        d.x = static_cast<float>(rnd.uniform(4, std::max(4, p.width - 5)));
        d.y = static_cast<float>(rnd.uniform(4, std::max(4, p.height - 5)));
        if (!occupied.isFree(d.x, d.y, d.diameter / 2, p.minGap, 0))
            continue;
        occupied.add(d.x, d.y, d.diameter / 2, 0);
        layout.debris.push_back(d);
        ++i;
    }
    return layout;
}

// The light reaching the sensor, linear, CV_32FC3 (red, green, blue) in grey
// levels, before optics and noise.
cv::Mat transmissionImage(const SlideParams& p, const SlideLayout& layout)
{
    cv::Mat light(p.height, p.width, CV_32FC3);
    const cv::Vec3f tint(0.97f, 1.0f, 1.03f);  // a faintly blue stained background
    const double cx = p.width / 2.0, cy = p.height / 2.0, corner = cx * cx + cy * cy;
    for (int y = 0; y < p.height; ++y) {
        cv::Vec3f* row = light.ptr<cv::Vec3f>(y);
        for (int x = 0; x < p.width; ++x) {
            const double vignette = ((x - cx) * (x - cx) + (y - cy) * (y - cy)) / corner;
            const double level = p.background * (1 - p.gradient * (0.55 * x / p.width + 0.45 * vignette));
            row[x] = tint * static_cast<float>(level);
        }
    }
    // A separate stream for the cells' looks, so the layout stays the same
    // whatever is drawn.
    Random rnd(p.seed ^ 0x5bd1e995u);
    for (const SlideCell& c : layout.cells)
        drawCell(light, c, p.contrast, rnd);
    for (const SlideDebris& d : layout.debris)
        drawDebris(light, d);
    return light;
}

// Optics and sensor: blur (optical 0.7 px plus `blur`), noise from a stream
// seeded by `noiseSeed`, rounding to 8 bits.
cv::Mat imageSlide(const cv::Mat& light, double blur, double noise, std::uint64_t noiseSeed)
{
    cv::Mat blurred;
    const double sigma = std::sqrt(kOpticsSigma * kOpticsSigma + blur * blur);
    cv::GaussianBlur(light, blurred, cv::Size(), sigma, sigma, cv::BORDER_REPLICATE);
    if (noise > 0) {
        cv::Mat grain(blurred.size(), blurred.type());
        cv::RNG rng(noiseSeed);
        rng.fill(grain, cv::RNG::NORMAL, 0.0, noise);
        blurred += grain;
    }
    cv::Mat image;
    blurred.convertTo(image, CV_8UC3);
    return image;
}

}  // namespace

Slide generateSlide(const SlideParams& params)
{
    const SlideLayout layout = layoutSlide(params);
    Slide s;
    s.rgb = imageSlide(transmissionImage(params, layout), params.blur, params.noise, params.seed * 7919 + 17);
    s.truth = layout.cells;
    return s;
}

Slide drawTarget(int width, int height, const std::vector<cv::Point2f>& centres, double diameter,
                 double background)
{
    constexpr int kShift = 4;  // sub-pixel centres
    constexpr double kScale = 1 << kShift;
    Slide target;
    target.rgb = cv::Mat(height, width, CV_8UC3, cv::Scalar::all(background));
    for (const cv::Point2f& c : centres) {
        cv::circle(target.rgb, cv::Point(cvRound(c.x * kScale), cvRound(c.y * kScale)),
                   cvRound(diameter / 2 * kScale), cv::Scalar::all(30), cv::FILLED, cv::LINE_AA, kShift);
        SlideCell disc;
        disc.x = c.x;
        disc.y = c.y;
        disc.diameter = disc.minorDiameter = float(diameter);
        disc.live = false;
        target.truth.push_back(disc);
    }
    return target;
}

void writeTruthCsv(std::ostream& out, const std::vector<SlideCell>& truth)
{
    out << "x,y,diameter,minor_diameter,angle,live,cluster\n";
    for (const SlideCell& c : truth)
        out << c.x << ',' << c.y << ',' << c.diameter << ',' << c.minorDiameter << ',' << c.angle << ','
            << (c.live ? 1 : 0) << ',' << c.cluster << '\n';
}

}  // namespace slide
