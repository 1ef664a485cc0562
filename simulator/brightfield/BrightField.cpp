#include "BrightField.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>

namespace brightfield {

namespace {

constexpr float kTwoPi = 6.28318530718f;
constexpr int kSuper = 4;                // subsamples per pixel and axis
constexpr double kDiffractionSigma = 0.55;  // in-focus blur, pixels
constexpr double kElectronsPerLevel = 16.0;  // at gain 1
constexpr double kReadNoise = 3.0;          // electrons
constexpr double kPixelGainSpread = 0.008;  // photo-response non-uniformity
constexpr std::uint64_t kSensorSeed = 0x5e9503;  // one sensor for every scene

using Rgb = cv::Vec3f;

const Rgb kDebrisTint(1.0f, 0.96f, 0.88f);  // dust and cell fragments: brownish grey

float smoothstep(float t)
{
    t = std::clamp(t, 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

// A closed outline: an ellipse with a wobble of low harmonics,
// r(φ) = ellipse(φ) · (1 + Σ amp[k] cos((k + 2) φ + phase[k])).
struct Outline
{
    float x = 0, y = 0;  // centre
    float a = 1, b = 1;  // half-axes, pixels
    float angle = 0;     // radians
    std::array<float, 5> amp{}, phase{};

    float reach() const
    {
        float wobble = 1;
        for (float v : amp)
            wobble += std::abs(v);
        return std::max(a, b) * wobble;
    }

    // Boundary radius in the direction of (dx, dy) from the centre.
    float radiusTowards(float dx, float dy) const
    {
        const float c = std::cos(angle), s = std::sin(angle);
        const float u = dx * c + dy * s, v = -dx * s + dy * c;
        const float phi = std::atan2(v, u);
        const float cu = std::cos(phi) * b, sv = std::sin(phi) * a;
        float r = a * b / std::sqrt(cu * cu + sv * sv);
        float wobble = 1;
        for (size_t k = 0; k < amp.size(); ++k)
            wobble += amp[k] * std::cos(static_cast<float>(k + 2) * phi + phase[k]);
        return r * wobble;
    }
};

// Granules inside an object: small darker spots.
struct Granule
{
    float dx, dy, r, t;
};

// How an object passes light, by depth inside its outline (pixels, negative
// outside) and by position relative to its centre.
struct Look
{
    Rgb body{1, 1, 1};   // inside
    Rgb rim{1, 1, 1};    // the band just inside the outline
    float rimWidth = 1;  // pixels
    float coreSoftness = 1;
    float halo = 0, haloWidth = 1.5f;
    std::vector<Granule> granules;
    std::vector<cv::Vec3f> specks;  // a clump of specks instead: dx, dy, radius; body is their transmission
    bool merged = false;            // the specks are one body (its transmission once where they overlap)
};

struct Object
{
    Outline outline;
    Look look;
};

class Layout
{
public:
    explicit Layout(const SceneParams& p) : m_p(p), m_rng(p.seed * 0x9E3779B97F4A7C15ull + 1), m_cols(p.width / kCell + 1),
        m_rows(p.height / kCell + 1), m_grid(static_cast<size_t>(m_cols * m_rows)) {}

    void placeCells(std::vector<TrueCell>& truth, std::vector<Object>& objects);
    void placeDebris(std::vector<Object>& objects);

private:
    static constexpr int kCell = 32;
    struct Disc
    {
        float x, y, r;
        int group;
    };

    double uniform(double lo, double hi) { return m_rng.uniform(lo, hi); }
    bool chance(double p) { return m_rng.uniform(0.0, 1.0) < p; }
    float pixels(double microns) const { return static_cast<float>(microns / m_p.micronsPerPixel); }
    bool inside(float x, float y, float r) const
    {
        return x - r >= 1 && y - r >= 1 && x + r <= m_p.width - 2 && y + r <= m_p.height - 2;
    }
    // Keeps `gap` pixels from every disc but those of `group` (> 0).
    bool free(float x, float y, float r, float gap, int group) const;
    void occupy(float x, float y, float r, int group);

    TrueCell newCell();
    Object cellObject(const TrueCell& c);
    Object debrisObject();
    Object discBlob();
    // Places up to `size` touching cells of one clump; returns how many.
    int placeClump(int size, int group, std::vector<TrueCell>& truth, std::vector<Object>& objects);
    // Puts `c` against the clump's members, strung on or packed; false when
    // that place is unfit.
    bool stringOn(const std::vector<TrueCell>& members, TrueCell& c);
    bool packAgainst(const std::vector<TrueCell>& members, TrueCell& c);

    const SceneParams& m_p;
    cv::RNG m_rng;
    int m_cols, m_rows;
    std::vector<std::vector<Disc>> m_grid;
    float m_largest = 0;
};

bool Layout::free(float x, float y, float r, float gap, int group) const
{
    const int reach = static_cast<int>((r + gap + m_largest) / kCell) + 1;
    const int bx = static_cast<int>(x) / kCell, by = static_cast<int>(y) / kCell;
    for (int j = std::max(0, by - reach); j <= std::min(m_rows - 1, by + reach); ++j)
        for (int i = std::max(0, bx - reach); i <= std::min(m_cols - 1, bx + reach); ++i)
            for (const Disc& d : m_grid[static_cast<size_t>(j * m_cols + i)]) {
                if (group > 0 && d.group == group)
                    continue;
                const float need = r + d.r + gap;
                if ((d.x - x) * (d.x - x) + (d.y - y) * (d.y - y) < need * need)
                    return false;
            }
    return true;
}

void Layout::occupy(float x, float y, float r, int group)
{
    const int bx = std::clamp(static_cast<int>(x) / kCell, 0, m_cols - 1);
    const int by = std::clamp(static_cast<int>(y) / kCell, 0, m_rows - 1);
    m_grid[static_cast<size_t>(by * m_cols + bx)].push_back({x, y, r, group});
    m_largest = std::max(m_largest, r);
}

TrueCell Layout::newCell()
{
    TrueCell c;
    c.diameter = pixels(uniform(m_p.minDiameterUm, m_p.maxDiameterUm));
    c.minorDiameter = c.diameter * static_cast<float>(uniform(0.86, 1.0));
    c.angle = static_cast<float>(uniform(0, 180));
    c.live = chance(m_p.liveFraction);
    c.pale = !c.live && chance(m_p.paleDeadShare);
    return c;
}

Object Layout::cellObject(const TrueCell& c)
{
    Object o;
    o.outline.x = c.x;
    o.outline.y = c.y;
    o.outline.a = c.diameter / 2;
    o.outline.b = c.minorDiameter / 2;
    o.outline.angle = c.angle * kTwoPi / 360;
    for (size_t k = 0; k < o.outline.amp.size(); ++k) {
        o.outline.amp[k] = static_cast<float>(uniform(-0.012, 0.012));
        o.outline.phase[k] = static_cast<float>(uniform(0, kTwoPi));
    }
    const float r = (o.outline.a + o.outline.b) / 2;
    Look& l = o.look;
    if (c.live) {
        const float rim = static_cast<float>(uniform(0.22, 0.5));
        l.rim = Rgb(rim * 1.03f, rim, rim * 0.97f);
        const float core = static_cast<float>(uniform(1.04, 1.2));
        l.body = Rgb(core, core, core);
        // The refractive ring grows with the cell, as a thicker lens bends more.
        l.rimWidth = static_cast<float>(m_p.rimScale) * std::max(1.2f, static_cast<float>(uniform(0.2, 0.4)) * r);
        l.coreSoftness = std::max(0.8f, 0.12f * r);
        l.halo = static_cast<float>(uniform(0.03, 0.12));
        l.haloWidth = static_cast<float>(uniform(1.0, 2.0));
    } else {
        // Trypan blue passes blue and stops red and green; pale cells took
        // up little of it.
        const float k = c.pale ? static_cast<float>(uniform(0.55, 0.85)) : static_cast<float>(uniform(0.12, 0.4));
        l.body = Rgb(k * 0.9f, k, std::min(1.0f, k * (c.pale ? 1.15f : 1.9f)));
        l.rim = l.body * 0.82f;
        l.rimWidth = 0.9f;
        l.halo = static_cast<float>(uniform(0.0, 0.05));
        l.haloWidth = 1.2f;
    }
    const int granules = static_cast<int>(uniform(0, 7));
    for (int i = 0; i < granules; ++i) {
        const float at = static_cast<float>(uniform(0, 0.6)) * r, turn = static_cast<float>(uniform(0, kTwoPi));
        l.granules.push_back({at * std::cos(turn), at * std::sin(turn), static_cast<float>(uniform(0.5, 1.2)),
                              static_cast<float>(uniform(0.82, 0.95))});
    }
    return o;
}

Object Layout::debrisObject()
{
    Object o;
    Look& l = o.look;
    const float size = pixels(uniform(std::max(5.0, m_p.minDiameterUm * 0.7), m_p.maxDiameterUm * 1.2));
    const int kind = static_cast<int>(uniform(0, 3));
    const float grey = static_cast<float>(uniform(0.3, 0.8));
    if (kind == 0) {
        // A lobed blob: three to six lobes that no ellipse follows.
        o.outline.a = size / 2;
        o.outline.b = size / 2 * static_cast<float>(uniform(0.65, 1.0));
        const double total = uniform(0.18, 0.35);
        double left = total;
        for (size_t k = 1; k < o.outline.amp.size(); ++k) {  // harmonics 3..6
            const double share = k + 1 == o.outline.amp.size() ? left : uniform(0, left);
            o.outline.amp[k] = static_cast<float>(share);
            o.outline.phase[k] = static_cast<float>(uniform(0, kTwoPi));
            left -= share;
        }
    } else if (kind == 1) {
        // A rod or fibre fragment.
        o.outline.a = size / 2 * static_cast<float>(uniform(1.2, 2.0));
        o.outline.b = o.outline.a / static_cast<float>(uniform(2.5, 5.0));
        o.outline.amp[0] = static_cast<float>(uniform(-0.05, 0.05));
    } else {
        // A clump of specks.
        o.outline.a = o.outline.b = size / 2;
        const int n = static_cast<int>(uniform(3, 9));
        for (int i = 0; i < n; ++i) {
            const float at = static_cast<float>(uniform(0, 0.7)) * size / 2, turn = static_cast<float>(uniform(0, kTwoPi));
            l.specks.emplace_back(at * std::cos(turn), at * std::sin(turn), pixels(uniform(1.0, 2.5)));
        }
    }
    o.outline.angle = static_cast<float>(uniform(0, kTwoPi));
    // Uniformly dark, or a dark edge round a lighter inside as cells have.
    l.body = kDebrisTint * grey;
    l.rim = l.body;
    if (l.specks.empty() && chance(0.5)) {
        l.body = kDebrisTint * static_cast<float>(uniform(0.8, 1.05));
        l.rim = kDebrisTint * static_cast<float>(uniform(0.25, 0.55));
        l.rimWidth = std::max(1.0f, pixels(uniform(1.0, 2.5)));
    }
    l.coreSoftness = 0.8f;
    return o;
}

Object Layout::discBlob()
{
    // Discs added one by one, each overlapping one before it on a random
    // side, then scaled to the blob's width: lumpy, seldom round.
    Object o;
    std::vector<cv::Vec3f>& discs = o.look.specks;
    const int n = static_cast<int>(uniform(2, 5));
    for (int i = 0; i < n; ++i) {
        const float r = static_cast<float>(uniform(0.6, 1.0));
        cv::Vec3f d(0, 0, r);
        if (i > 0) {
            const cv::Vec3f& on = discs[static_cast<size_t>(uniform(0, i))];
            const double at = (on[2] + r) * uniform(0.35, 0.75), turn = uniform(0, kTwoPi);
            d[0] = on[0] + static_cast<float>(at * std::cos(turn));
            d[1] = on[1] + static_cast<float>(at * std::sin(turn));
        }
        discs.push_back(d);
    }
    cv::Point2f mid(0, 0);
    for (const cv::Vec3f& d : discs)
        mid += cv::Point2f(d[0], d[1]) * (1.0f / n);
    float reach = 0;
    for (cv::Vec3f& d : discs) {
        d[0] -= mid.x;
        d[1] -= mid.y;
        reach = std::max(reach, std::hypot(d[0], d[1]) + d[2]);
    }
    const float across = static_cast<float>(uniform(6.0, 16.0));
    for (cv::Vec3f& d : discs)
        d *= across / 2 / reach;
    o.outline.a = o.outline.b = across / 2;
    o.look.merged = true;
    o.look.body = o.look.rim = kDebrisTint * static_cast<float>(uniform(0.25, 0.6));
    return o;
}

bool Layout::stringOn(const std::vector<TrueCell>& members, TrueCell& c)
{
    // Pressed against a member: outlines touching, overlapping a little.
    const float r = c.diameter / 2;
    const TrueCell& m = members[static_cast<size_t>(uniform(0, static_cast<double>(members.size())))];
    const double distance = (m.diameter / 2 + r) * uniform(0.82, 0.98), turn = uniform(0, kTwoPi);
    c.x = static_cast<float>(m.x + distance * std::cos(turn));
    c.y = static_cast<float>(m.y + distance * std::sin(turn));
    return std::none_of(members.begin(), members.end(), [&](const TrueCell& o) {
        return std::hypot(o.x - c.x, o.y - c.y) < 0.8 * (o.diameter / 2 + r);
    });
}

bool Layout::packAgainst(const std::vector<TrueCell>& members, TrueCell& c)
{
    // Nested in the hollow between two members, at its overlap with each, so
    // that the clump grows as a raft rather than a chain; no other member may
    // be overlapped more.
    const double overlap = uniform(0, std::max(0.0, m_p.clumpOverlap));
    const auto need = [&](const TrueCell& m) {
        return (m.diameter + c.diameter) / 2 - overlap * std::min(m.diameter, c.diameter);
    };
    const auto pick = [&]() -> const TrueCell& {
        return members[static_cast<size_t>(uniform(0, static_cast<double>(members.size())))];
    };
    const TrueCell& a = pick();
    if (members.size() == 1) {
        const double turn = uniform(0, kTwoPi);
        c.x = static_cast<float>(a.x + need(a) * std::cos(turn));
        c.y = static_cast<float>(a.y + need(a) * std::sin(turn));
        return true;
    }
    const TrueCell& b = pick();
    const double dx = b.x - a.x, dy = b.y - a.y, d = std::hypot(dx, dy);
    const double ra = need(a), rb = need(b);
    if (&a == &b || d >= ra + rb || d <= std::abs(ra - rb))
        return false;
    // Where the circle at `ra` round a meets the one at `rb` round b, either side.
    const double along = (ra * ra - rb * rb + d * d) / (2 * d);
    const double across = std::sqrt(ra * ra - along * along) * (chance(0.5) ? 1 : -1);
    c.x = static_cast<float>(a.x + (along * dx - across * dy) / d);
    c.y = static_cast<float>(a.y + (along * dy + across * dx) / d);
    constexpr double kRounding = 0.01;  // pixels: positions are floats
    return std::none_of(members.begin(), members.end(), [&](const TrueCell& m) {
        return std::hypot(m.x - c.x, m.y - c.y) < need(m) - kRounding;
    });
}

int Layout::placeClump(int size, int group, std::vector<TrueCell>& truth, std::vector<Object>& objects)
{
    std::vector<TrueCell> members;
    for (int attempt = 0; attempt < 300 && static_cast<int>(members.size()) < size; ++attempt) {
        TrueCell c = newCell();
        const float r = c.diameter / 2;
        if (members.empty()) {
            c.x = static_cast<float>(uniform(r + 1, m_p.width - r - 2));
            c.y = static_cast<float>(uniform(r + 1, m_p.height - r - 2));
        } else if (!(m_p.packedClumps ? packAgainst(members, c) : stringOn(members, c))) {
            continue;
        }
        if (!inside(c.x, c.y, r) || !free(c.x, c.y, r, 2.5f, group))
            continue;
        c.clump = size > 1 ? group : 0;
        members.push_back(c);
        occupy(c.x, c.y, r, group);
    }
    if (members.size() == 1)
        members.front().clump = 0;
    for (const TrueCell& c : members) {
        truth.push_back(c);
        objects.push_back(cellObject(c));
    }
    return static_cast<int>(members.size());
}

void Layout::placeCells(std::vector<TrueCell>& truth, std::vector<Object>& objects)
{
    const int clumped = static_cast<int>(std::lround(m_p.cells * std::clamp(m_p.clumpedShare, 0.0, 1.0)));
    int placed = 0, group = 0, failures = 0;
    while (placed < m_p.cells && failures < 2000) {
        int size = 1;
        if (placed < clumped)
            size = std::max(2, std::min(clumped - placed, static_cast<int>(uniform(2, m_p.largestClump + 1))));
        const int got = placeClump(std::min(size, m_p.cells - placed), ++group, truth, objects);
        placed += got;
        failures += got == 0 ? 1 : 0;
    }
}

void Layout::placeDebris(std::vector<Object>& objects)
{
    auto place = [&](Object o, int tries) {
        for (int t = 0; t < tries; ++t) {
            const float reach = o.outline.reach();
            o.outline.x = static_cast<float>(uniform(reach + 1, m_p.width - reach - 2));
            o.outline.y = static_cast<float>(uniform(reach + 1, m_p.height - reach - 2));
            if (free(o.outline.x, o.outline.y, reach, 3, 0)) {
                occupy(o.outline.x, o.outline.y, reach, 0);
                objects.push_back(o);
                return;
            }
        }
    };
    for (int i = 0; i < m_p.debris; ++i)
        place(debrisObject(), 50);
    for (int i = 0; i < m_p.specks; ++i) {
        Object o;
        o.outline.a = pixels(uniform(0.6, 2.0));
        o.outline.b = o.outline.a * static_cast<float>(uniform(0.6, 1.0));
        o.outline.angle = static_cast<float>(uniform(0, kTwoPi));
        o.look.body = o.look.rim = Rgb::all(static_cast<float>(uniform(0.3, 0.75)));
        place(o, 20);
    }
    for (int i = 0; i < m_p.discBlobs; ++i)
        place(discBlob(), 50);
}

// The object's transmission at (dx, dy) from its centre; `boundary` is the
// outline's radius in that direction.
Rgb transmission(const Object& o, float dx, float dy, float boundary)
{
    const Look& l = o.look;
    if (!l.specks.empty()) {
        Rgb t(1, 1, 1);
        for (const cv::Vec3f& s : l.specks)
            if ((dx - s[0]) * (dx - s[0]) + (dy - s[1]) * (dy - s[1]) < s[2] * s[2]) {
                t = t.mul(l.body);
                if (l.merged)
                    break;
            }
        return t;
    }
    const float depth = boundary - std::sqrt(dx * dx + dy * dy);  // pixels inside the outline
    if (depth < 0) {
        const float h = (-depth - 0.3f * l.haloWidth) / l.haloWidth;
        return Rgb::all(1 + l.halo * std::exp(-h * h));
    }
    const float core = smoothstep((depth - l.rimWidth) / l.coreSoftness);
    Rgb t = l.rim + (l.body - l.rim) * core;
    for (const Granule& g : l.granules)
        if ((dx - g.dx) * (dx - g.dx) + (dy - g.dy) * (dy - g.dy) < g.r * g.r)
            t *= g.t;
    return t;
}

// Multiplies the object's transmission, averaged over subsamples, into `planes`.
void drawObject(cv::Mat& planes, const Object& o, double contrast)
{
    const Outline& s = o.outline;
    const float reach = s.reach() + 3 * o.look.haloWidth + 1;
    const int x0 = std::max(0, static_cast<int>(std::floor(s.x - reach)));
    const int x1 = std::min(planes.cols - 1, static_cast<int>(std::ceil(s.x + reach)));
    const int y0 = std::max(0, static_cast<int>(std::floor(s.y - reach)));
    const int y1 = std::min(planes.rows - 1, static_cast<int>(std::ceil(s.y + reach)));
    const float step = 1.0f / kSuper, first = -0.5f + step / 2;
    for (int y = y0; y <= y1; ++y) {
        Rgb* row = planes.ptr<Rgb>(y);
        for (int x = x0; x <= x1; ++x) {
            const float px = x - s.x, py = y - s.y;
            // The wobble changes slowly: one boundary radius per pixel.
            const float boundary = s.radiusTowards(px, py);
            Rgb sum(0, 0, 0);
            for (int j = 0; j < kSuper; ++j)
                for (int i = 0; i < kSuper; ++i)
                    sum += transmission(o, px + first + i * step, py + first + j * step, boundary);
            sum *= 1.0f / (kSuper * kSuper);
            for (int k = 0; k < 3; ++k)
                row[x][k] *= std::max(0.0f, 1 + static_cast<float>(contrast) * (sum[k] - 1));
        }
    }
}

// The light on the slide: an off-centre fall-off and a tilt, with soft dust
// shadows, in grey levels.
cv::Mat lightField(const SceneParams& p, cv::RNG& rng)
{
    const double cx = rng.uniform(0.3, 0.7) * p.width, cy = rng.uniform(0.3, 0.7) * p.height;
    const double tilt = rng.uniform(0.0, 2 * CV_PI);
    const double tx = std::cos(tilt), ty = std::sin(tilt);
    // Normalise both terms to 0..1 over the frame.
    double radialMax = 0, linLo = 1e300, linHi = -1e300;
    for (double x : {0.0, p.width - 1.0})
        for (double y : {0.0, p.height - 1.0}) {
            radialMax = std::max(radialMax, (x - cx) * (x - cx) + (y - cy) * (y - cy));
            linLo = std::min(linLo, x * tx + y * ty);
            linHi = std::max(linHi, x * tx + y * ty);
        }
    struct Shadow
    {
        double x, y, sigma, depth;
    };
    std::vector<Shadow> shadows;
    for (int i = 0; i < p.dust; ++i)
        shadows.push_back({rng.uniform(0.0, 1.0) * p.width, rng.uniform(0.0, 1.0) * p.height,
                           rng.uniform(40.0, 150.0), rng.uniform(0.02, 0.06)});

    cv::Mat light(p.height, p.width, CV_32F);
    cv::parallel_for_(cv::Range(0, p.height), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            float* row = light.ptr<float>(y);
            for (int x = 0; x < p.width; ++x) {
                const double radial = ((x - cx) * (x - cx) + (y - cy) * (y - cy)) / radialMax;
                const double linear = (x * tx + y * ty - linLo) / (linHi - linLo);
                double level = p.background * (1 - p.unevenness * (0.7 * radial + 0.3 * linear));
                for (const Shadow& s : shadows) {
                    const double d2 = (x - s.x) * (x - s.x) + (y - s.y) * (y - s.y);
                    if (d2 < 9 * s.sigma * s.sigma)
                        level *= 1 - s.depth * std::exp(-d2 / (2 * s.sigma * s.sigma));
                }
                row[x] = static_cast<float>(level);
            }
        }
    });
    return light;
}

// A uniform disc of the given diameter, its edge pixels weighted by coverage.
cv::Mat discKernel(double diameter)
{
    const double r = diameter / 2;
    const int half = static_cast<int>(std::ceil(r));
    cv::Mat k(2 * half + 1, 2 * half + 1, CV_32F, cv::Scalar(0));
    const int n = 8;
    for (int y = -half; y <= half; ++y)
        for (int x = -half; x <= half; ++x) {
            int in = 0;
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < n; ++i) {
                    const double sx = x - 0.5 + (i + 0.5) / n, sy = y - 0.5 + (j + 0.5) / n;
                    in += sx * sx + sy * sy <= r * r ? 1 : 0;
                }
            k.at<float>(y + half, x + half) = static_cast<float>(in);
        }
    return k / cv::sum(k)[0];
}

// Light through the optics: diffraction, then the defocus disc.
void blur(cv::Mat& image, double defocusDof)
{
    cv::GaussianBlur(image, image, cv::Size(), kDiffractionSigma, kDiffractionSigma, cv::BORDER_REFLECT);
    const double disc = 2 * kCircleOfConfusionPx * std::abs(defocusDof);
    if (disc > 0.5)
        cv::filter2D(image, image, -1, discKernel(disc), cv::Point(-1, -1), 0, cv::BORDER_REFLECT);
}

// Bayer photosites (red at even rows and columns), photon and read noise,
// 8-bit levels, then demosaiced to red, green, blue.
cv::Mat expose(const cv::Mat& light, double gain, cv::RNG& rng)
{
    cv::Mat sites(light.size(), CV_32F);
    for (int y = 0; y < light.rows; ++y) {
        const Rgb* in = light.ptr<Rgb>(y);
        float* out = sites.ptr<float>(y);
        for (int x = 0; x < light.cols; ++x)
            out[x] = in[x][(y & 1) + (x & 1)];  // R G / G B
    }
    cv::Mat normal(light.size(), CV_32F), spread(light.size(), CV_32F);
    rng.fill(normal, cv::RNG::NORMAL, 0.0, 1.0);
    cv::RNG sensor(kSensorSeed);
    sensor.fill(spread, cv::RNG::NORMAL, 1.0, kPixelGainSpread);

    const double electronsPerLevel = kElectronsPerLevel / std::max(gain, 1e-3);
    cv::Mat mosaic(light.size(), CV_8U);
    for (int y = 0; y < light.rows; ++y) {
        const float* s = sites.ptr<float>(y);
        const float* n = normal.ptr<float>(y);
        const float* g = spread.ptr<float>(y);
        uchar* out = mosaic.ptr<uchar>(y);
        for (int x = 0; x < light.cols; ++x) {
            const double electrons = std::max(0.0, s[x] * electronsPerLevel * g[x]);
            const double noisy = electrons + n[x] * std::sqrt(electrons + kReadNoise * kReadNoise);
            out[x] = cv::saturate_cast<uchar>(noisy / electronsPerLevel);
        }
    }
    cv::Mat rgb;
    // OpenCV names the pattern by the second row's second and third sites.
    cv::demosaicing(mosaic, rgb, cv::COLOR_BayerBG2RGB);
    return rgb;
}

}  // namespace

Rendered render(const SceneParams& p)
{
    Rendered out;
    std::vector<Object> objects;
    Layout layout(p);
    layout.placeCells(out.cells, objects);
    layout.placeDebris(objects);

    cv::Mat planes(p.height, p.width, CV_32FC3, cv::Scalar::all(1));
    for (const Object& o : objects)
        drawObject(planes, o, p.contrast);

    cv::RNG rng(p.seed * 0xD1B54A32D192ED03ull + 7);
    const cv::Mat light = lightField(p, rng);
    const Rgb lamp(0.97f, 1.0f, 1.02f);
    for (int y = 0; y < p.height; ++y) {
        Rgb* row = planes.ptr<Rgb>(y);
        const float* l = light.ptr<float>(y);
        for (int x = 0; x < p.width; ++x)
            row[x] = row[x].mul(lamp) * l[x];
    }
    blur(planes, p.defocusDof);
    out.rgb = expose(planes, p.gain, rng);
    return out;
}

}  // namespace brightfield
