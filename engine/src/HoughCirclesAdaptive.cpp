#include "velimbio/HoughCirclesAdaptive.h"

#include "Stripes.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <bitset>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

namespace VelimBio {

namespace {

// The edge map read where the frame is quiet: Canny at this share of param1.
constexpr double kWeakEdges = 0.6;
// A frame is quiet while noise makes edges of at most this share of its
// pixels at that threshold (a clear frame none, noise of gain 4 about 8 %).
constexpr double kQuietFrame = 0.01;
// The frame's noise is measured on tiles of this side (pixels); whether it is
// quiet, on one band of tiles in this many.
constexpr int kNoiseTile = 64, kNoiseBands = 8;
// A rim pixel counts for a centre when its darkening direction points at the
// centre within about 37 degrees.
constexpr float kAlignment = 0.8f;
// It shows the outline of a round object there when it points at the centre
// within 12 degrees: a cell's rim does so all round, the outline of a lobed
// blob or a rod only here and there.
constexpr float kCloseAlignment = 0.978f;
// The chance that an edge pixel of noise (any direction) counts for a centre.
const double kAgreeingByChance = std::acos(kAlignment) / CV_PI;
// A rim shows this many times the agreeing pixels noise puts round a circle.
constexpr double kNoiseMargin = 3.5;
// Noise turns rim pixels' directions: the close tolerance widens by this many
// radians per unit of the frame's noise edge share (the share of pixels that
// are edges where no object lies).
constexpr double kNoiseTurn = 0.6;
// Where noise leaves edges all over the frame, a rim's band holds them too;
// a rim still makes most of the band's edges point at its centre, noise about
// one in five. The share asked for is this many times the frame's noise edge
// share, up to the cap.
constexpr double kShareSlope = 3.0, kShareCap = 0.7;
// Radii tried for a candidate, best first, until one gives a circle.
constexpr int kRadiusTries = 3;
// Rim pixels lie within this many pixels of the circle.
constexpr float kBand = 1.5f;
// Angular sectors for the rim coverage test.
constexpr int kSectors = 16;
// A circle kept only together with neighbours that are not kept yet shows by
// itself all but kOwnShortInClump of the sectors asked for (pointing at its
// centre as closely as without noise, which widens a blob's outline), and its
// outline is seen or hidden by neighbours all round but for
// kUnexplainedInClump sectors, unless it shows one sector more: lobes of one
// blob excuse each other as well as cells of a clump do, but show less of
// their outline, and miss parts of it that no neighbour hides.
constexpr int kOwnShortInClump = 3;
constexpr int kUnexplainedInClump = 2;
// A cell in the middle of a clump shows only the arcs between its neighbours:
// one whose outline is seen or hidden all round may show this many sectors
// fewer of its own (of half those asked for, and of those asked of a circle
// kept in a clump).
constexpr int kEnclosedSlack = 1;
// Two overlapping circles are two arcs of one object's outline (the lobes of a
// blob) when this share of each one's rim pixels lies on one circle.
constexpr double kOneOutline = 0.78;
// A neighbour with this share of each one's rim pixels on one circle with a
// circle's is more of its outline, not an object beside it: it hides none of
// it. Looser than kOneOutline, as a lobe's rim follows its twin's only
// roughly.
constexpr double kContinuesOutline = 0.7;
// Two outlines this close (pixels) touch.
constexpr float kTouchGap = 2.0f;
// What an edge pixel is to the circles kept so far.
constexpr uchar kFree = 0, kRim = 1, kInside = 2;

// Sectors of the outline a circle must show: from about half at param2 = 1
// (broken, faint rims) to nine tenths at 18 (only clear outlines).
int requiredSectors(double param2, bool keepPartial)
{
    double share = std::clamp(0.45 + 0.03 * param2, 0.45, 0.9);
    if (keepPartial)
        share *= 2.0 / 3.0;
    return std::max(1, static_cast<int>(std::ceil(share * kSectors - 1e-9)));
}

struct Candidate
{
    float x, y;  // centre estimate from the accumulator
    int votes;
};

// A rim pixel supporting a circle (its index in the edge list), whether it
// points at the centre closely (within the tolerance widened for the frame's
// noise, and within the tolerance of a noise-free frame) and, if so, the
// sector of the circle it lies in.
struct RimHit
{
    int edge, sector;
    bool close, closeWithoutNoise;
};

using Sectors = std::bitset<kSectors>;

struct Circle
{
    float x = 0, y = 0, r = 0;
    int votes = 0;
    int sectors = 0;  // of the outline shown by its own rim pixels; 0 when too little rim was found
    std::vector<RimHit> hits;
    std::vector<int> inside;  // the edge pixels within the inner side of its rim
};

// An edge pixel, its unit direction (the gradient, or the side of its
// circle's centre) and its index in the edge list.
struct RimPixel
{
    float x, y, ux, uy;
    int edge;
};

// Whether noise leaves few edges in the derivatives' Canny map at `threshold`
// (high, L1), judged on bands of the frame.
bool quiet(const cv::Mat& dx, const cv::Mat& dy, double threshold);

class Detector
{
public:
    // a: the arguments with radii already checked.
    Detector(const cv::Mat& image, const DetectorArgs& a)
        : m_cell(std::max(1, cvRound(2 * a.dp))), m_minVotes(std::max(1, static_cast<int>(std::ceil(a.param2)))),
          m_minR(a.minRadius), m_maxR(a.maxRadius), m_direction(a.edgeDirection), m_fit(a.fitToEdges),
          m_minCoverage(requiredSectors(a.param2, a.keepPartial))
    {
        const auto given = [&image](const cv::Mat& m, int type) { return m.size() == image.size() && m.type() == type; };
        cv::Mat dx = a.dx, dy = a.dy;
        if (!given(dx, CV_16SC1) || !given(dy, CV_16SC1)) {
            dx = dy = cv::Mat();  // the caller's own stay as they are
            sobelInStripes(image, dx, dy);
        }
        // The faint rims of weakly refracting cells break up at param1: a
        // quiet frame is read at a lower threshold, a noisy one at param1.
        // Whether it is quiet, bands of it tell.
        const double weak = kWeakEdges * a.param1;
        cv::Mat edges;
        if (quiet(dx, dy, weak)) {
            cv::Canny(dx, dy, edges, weak / 2, weak, false);
        } else if (dx.data == a.dx.data && dy.data == a.dy.data && given(a.edges, CV_8UC1)) {
            edges = a.edges;
        } else {
            cv::Canny(dx, dy, edges, a.param1 / 2, a.param1, false);
        }
        listEdges(edges, dx, dy);
        measureNoise();
    }

    // Accumulator peaks, in raster order.
    std::vector<Candidate> candidates() const;
    // The same for the votes of some edge pixels only (indices in the edge list).
    std::vector<Candidate> candidatesAmong(const std::vector<int>& edges) const;
    // The circle fitted to a candidate's rim, leaving out the rims of kept
    // circles when `taken` is given; sectors 0 when too little rim was found.
    Circle verify(const Candidate& c, const std::vector<uchar>* taken) const;
    // The circle fitted from the candidate's centre and a radius, with its rim
    // pixels from forEachOn(cx, cy, r, band, f); sectors 0 when too little rim
    // was found.
    template <typename OnCircle>
    Circle fitAt(const Candidate& c, float radius, int slack, const OnCircle& forEachOn) const;
    // Whether the circle may be kept: enough of its rim pixels are still free
    // and, with the sectors `hidden` by neighbours or the frame border, enough
    // of the outline is seen; `taken` says for each edge pixel whether it is
    // free, the rim of a kept circle or inside one.
    bool accepts(const Circle& c, Sectors hidden, const std::vector<uchar>& taken) const;
    // The same for a circle kept together with neighbours not kept yet, which
    // asks more of it.
    bool acceptsInClump(const Circle& c, Sectors hidden, const std::vector<uchar>& taken) const;
    // Marks the rim pixels of a kept circle as its own and the free edge pixels
    // inside it as inside.
    void take(const Circle& c, std::vector<uchar>& taken) const;
    // Sectors of the circle's outline beyond the frame.
    Sectors outsideFrame(const Circle& c) const;
    // Whether `share` of the circle's rim pixels and of those of `rim` (edge
    // indices) lie on one circle: two arcs of one object's outline.
    bool oneOutline(const Circle& c, const std::vector<int>& rim, double share = kOneOutline) const;
    size_t edgeCount() const { return m_edgePixels.size(); }
    // Position of edge pixel i.
    cv::Point2f edgeAt(int i) const
    {
        const RimPixel& p = m_edgePixels[static_cast<size_t>(i)];
        return {p.x, p.y};
    }

private:
    void listEdges(const cv::Mat& edges, const cv::Mat& dx, const cv::Mat& dy);
    void vote(cv::Mat& acc) const;
    void voteRows(cv::Mat& acc, int y0, int y1) const;
    // Votes of pixelAt(0 .. count - 1).
    template <typename PixelAt>
    void votePixels(cv::Mat& acc, int count, const PixelAt& pixelAt) const;
    // An accumulator of the frame's size, cleared.
    cv::Mat emptyAccumulator() const;
    std::vector<Candidate> peaks(const cv::Mat& acc) const;
    void findPeaks(const cv::Mat& acc, int y0, int y1, std::vector<Candidate>& found) const;
    // Calls f(edge pixel) for the edge pixels within `reach` rows and columns.
    template <typename F>
    void forEachEdgeNear(float cx, float cy, float reach, F&& f) const;
    void gather(float cx, float cy, std::vector<RimPixel>& rim, const std::vector<uchar>* taken) const;
    // What a circle's rim pixels that are not the rim of a kept circle show.
    struct Seen
    {
        Sectors own;  // sectors with a rim pixel pointing at the centre closely
        Sectors ownWithoutNoise;  // the same at a noise-free frame's tolerance
        int support = 0;
        int inside = 0;  // of them inside kept circles
    };
    Seen seen(const std::vector<RimHit>& hits, const std::vector<uchar>* taken) const;
    // Sectors a circle must show by itself (at a noise-free frame's
    // tolerance), and seen or hidden in all.
    struct Needs
    {
        int own, outline;
    };
    bool accepts(const Circle& c, Sectors hidden, const std::vector<uchar>& taken, const Needs& needs) const;
    // Enough rim, beyond what the frame's noise puts round a circle of radius
    // r, and of its own outline (less `slack` sectors) to be worth a place in
    // the queue.
    bool promising(const Seen& s, float r, int slack) const;
    // Whether most edge pixels in the circle's band point at its centre, as
    // many more as the frame's noise asks for.
    bool rimStandsOut(const Circle& c) const;
    // Measures m_noiseEdges from the edge list.
    void measureNoise();

    // The edge pixels within the inner side of the circle's rim (the rim's
    // inner edge, the core), listed for take().
    void listInside(Circle& c) const;

    int m_cell;
    int m_minVotes;
    int m_minR, m_maxR;
    int m_direction;
    bool m_fit;
    int m_minCoverage;
    cv::Size m_size;
    // The frame's noise level as the edge stage sees it: the share of pixels
    // that are edges where no object lies.
    double m_noiseEdges = 0;
    // The least cosine between a rim pixel's direction and its centre's at
    // which it points at the centre closely.
    float m_closeCos = kCloseAlignment;
    // Edge pixels with their unit gradient, in raster order; those of row y
    // are m_edgePixels[m_rowStart[y] .. m_rowStart[y + 1]).
    std::vector<RimPixel> m_edgePixels;
    std::vector<int> m_rowStart;
};

void Detector::listEdges(const cv::Mat& edges, const cv::Mat& dx, const cv::Mat& dy)
{
    m_size = edges.size();
    std::vector<std::vector<RimPixel>> stripes(static_cast<size_t>((edges.rows + kStripeRows - 1) / kStripeRows));
    forEachStripe(edges.rows, kStripeRows, [&](int y0, int y1) {
        std::vector<RimPixel>& out = stripes[static_cast<size_t>(y0 / kStripeRows)];
        for (int y = y0; y < y1; ++y) {
            const uchar* e = edges.ptr<uchar>(y);
            const short* gx = dx.ptr<short>(y);
            const short* gy = dy.ptr<short>(y);
            for (int x = 0; x < edges.cols; ++x) {
                // Edge maps are mostly empty: skip eight pixels at a time.
                if (x + 8 <= edges.cols) {
                    std::uint64_t word;
                    std::memcpy(&word, e + x, sizeof word);
                    if (!word) {
                        x += 7;
                        continue;
                    }
                }
                if (!e[x])
                    continue;
                const float norm = std::sqrt(static_cast<float>(gx[x] * gx[x] + gy[x] * gy[x]));
                if (norm > 0)
                    out.push_back({static_cast<float>(x), static_cast<float>(y), gx[x] / norm, gy[x] / norm, 0});
            }
        }
    });
    // Each stripe's pixels go to their place in the list, in parallel: a
    // stripe's rows are its own, and so are its slots in the list.
    std::vector<int> first(stripes.size() + 1, 0);
    for (size_t i = 0; i < stripes.size(); ++i)
        first[i + 1] = first[i] + static_cast<int>(stripes[i].size());
    m_edgePixels.resize(static_cast<size_t>(first.back()));
    m_rowStart.assign(static_cast<size_t>(edges.rows) + 1, 0);
    forEachStripe(edges.rows, kStripeRows, [&](int y0, int) {
        const size_t stripe = static_cast<size_t>(y0 / kStripeRows);
        int edge = first[stripe];
        for (RimPixel p : stripes[stripe]) {
            ++m_rowStart[static_cast<size_t>(p.y) + 1];
            p.edge = edge;
            m_edgePixels[static_cast<size_t>(edge++)] = p;
        }
    });
    for (size_t y = 1; y < m_rowStart.size(); ++y)
        m_rowStart[y] += m_rowStart[y - 1];
}

bool Detector::rimStandsOut(const Circle& c) const
{
    const double share = std::min(kShareCap, kShareSlope * m_noiseEdges);
    // Below the share noise reaches by chance it asks nothing of a rim.
    if (share <= kAgreeingByChance)
        return true;
    int band = 0;
    forEachEdgeNear(c.x, c.y, c.r + kBand + 1, [&](const RimPixel& p) {
        band += std::abs(std::hypot(p.x - c.x, p.y - c.y) - c.r) <= kBand ? 1 : 0;
    });
    return c.hits.size() >= share * band;
}

// Appends the share of edge pixels of each tile of `edges`.
void addTileDensities(const cv::Mat& edges, std::vector<double>& density)
{
    for (int y = 0; y < edges.rows; y += kNoiseTile)
        for (int x = 0; x < edges.cols; x += kNoiseTile) {
            const cv::Mat tile =
                edges(cv::Rect(x, y, std::min(kNoiseTile, edges.cols - x), std::min(kNoiseTile, edges.rows - y)));
            density.push_back(cv::countNonZero(tile) / static_cast<double>(tile.total()));
        }
}

// Objects cover some tiles, noise all of them, so the lower quartile of the
// tiles' edge densities is the noise's.
double lowerQuartile(std::vector<double> density)
{
    if (density.empty())
        return 0;
    const auto quartile = density.begin() + static_cast<std::ptrdiff_t>(density.size() / 4);
    std::nth_element(density.begin(), quartile, density.end());
    return *quartile;
}

// One band of tiles in every kNoiseBands is enough to tell.
bool quiet(const cv::Mat& dx, const cv::Mat& dy, double threshold)
{
    std::vector<double> density;
    cv::Mat edges;
    for (int y = 0; y < dx.rows; y += kNoiseBands * kNoiseTile) {
        const cv::Rect band(0, y, dx.cols, std::min(kNoiseTile, dx.rows - y));
        cv::Canny(dx(band), dy(band), edges, threshold / 2, threshold, false);
        addTileDensities(edges, density);
    }
    return lowerQuartile(std::move(density)) <= kQuietFrame;
}

void Detector::measureNoise()
{
    // Edges counted in tiles, as addTileDensities does, from the edge list.
    const int cols = (m_size.width + kNoiseTile - 1) / kNoiseTile, rows = (m_size.height + kNoiseTile - 1) / kNoiseTile;
    std::vector<int> counts(static_cast<size_t>(cols * rows), 0);
    for (const RimPixel& p : m_edgePixels)
        ++counts[static_cast<size_t>(static_cast<int>(p.y) / kNoiseTile * cols + static_cast<int>(p.x) / kNoiseTile)];
    std::vector<double> density(counts.size());
    for (int ty = 0; ty < rows; ++ty)
        for (int tx = 0; tx < cols; ++tx) {
            const int w = std::min(kNoiseTile, m_size.width - tx * kNoiseTile);
            const int h = std::min(kNoiseTile, m_size.height - ty * kNoiseTile);
            const size_t i = static_cast<size_t>(ty * cols + tx);
            density[i] = counts[i] / static_cast<double>(w * h);
        }
    m_noiseEdges = lowerQuartile(std::move(density));
    m_closeCos = static_cast<float>(std::cos(std::acos(kCloseAlignment) + kNoiseTurn * m_noiseEdges));
}

void Detector::vote(cv::Mat& acc) const
{
    // Votes of a stripe land within maxR + 1 rows of it; with stripes of at
    // least twice that height, every other stripe can vote at the same time
    // without touching the same cells. Counting is order-free, so the
    // accumulator is the same for any number of threads.
    const int height = std::max(64, (2 * (m_maxR + 2) + m_cell + 15) / 16 * 16);
    const int stripes = (m_size.height + height - 1) / height;
    for (int phase = 0; phase < 2; ++phase)
        cv::parallel_for_(cv::Range(0, (stripes - phase + 1) / 2), [&](const cv::Range& r) {
            for (int i = r.start; i < r.end; ++i) {
                const int y0 = (2 * i + phase) * height;
                voteRows(acc, y0, std::min(m_size.height, y0 + height));
            }
        });
}

void Detector::voteRows(cv::Mat& acc, int y0, int y1) const
{
    const int first = m_rowStart[static_cast<size_t>(y0)];
    votePixels(acc, m_rowStart[static_cast<size_t>(y1)] - first,
               [&](int i) -> const RimPixel& { return m_edgePixels[static_cast<size_t>(first + i)]; });
}

template <typename PixelAt>
void Detector::votePixels(cv::Mat& acc, int count, const PixelAt& pixelAt) const
{
    const int signs[2] = {m_direction <= 0 ? -1 : 1, m_direction == 0 ? 1 : 0};
    const float inv = 1.0f / static_cast<float>(m_cell);
    const int cols = acc.cols, rows = acc.rows;
    ushort* cells = acc.ptr<ushort>();
    for (int i = 0; i < count; ++i) {
        const RimPixel& e = pixelAt(i);
        for (int sign : signs) {
            if (!sign)
                continue;
            const float ux = sign * e.ux, uy = sign * e.uy, x = e.x + 0.5f, y = e.y + 0.5f;
            const auto lands = [&](int r) {
                const float px = x + ux * r, py = y + uy * r;
                return px >= 0 && py >= 0 && static_cast<int>(px * inv) < cols && static_cast<int>(py * inv) < rows;
            };
            // The ray votes up to its first step off the accumulator. Along it
            // a step's coordinates only grow or only shrink: when the first and
            // the last step land on the accumulator, all do.
            int end = m_maxR + 1;
            if (!lands(m_minR) || !lands(m_maxR))
                for (end = m_minR; end <= m_maxR && lands(end); ++end) {
                }
            int last = -1;
            for (int r = m_minR; r < end; ++r) {
                const int at = static_cast<int>((y + uy * r) * inv) * cols + static_cast<int>((x + ux * r) * inv);
                if (at != last && cells[at] != USHRT_MAX)
                    ++cells[at];
                last = at;
            }
        }
    }
}

cv::Mat Detector::emptyAccumulator() const
{
    cv::Mat acc((m_size.height + m_cell - 1) / m_cell, (m_size.width + m_cell - 1) / m_cell, CV_16U);
    forEachStripe(acc.rows, kStripeRows, [&](int y0, int y1) { acc.rowRange(y0, y1).setTo(0); });
    return acc;
}

std::vector<Candidate> Detector::candidates() const
{
    cv::Mat acc = emptyAccumulator();
    vote(acc);
    return peaks(acc);
}

std::vector<Candidate> Detector::candidatesAmong(const std::vector<int>& edges) const
{
    if (edges.empty())
        return {};
    cv::Mat acc = emptyAccumulator();
    votePixels(acc, static_cast<int>(edges.size()),
               [&](int i) -> const RimPixel& { return m_edgePixels[static_cast<size_t>(edges[static_cast<size_t>(i)])]; });
    return peaks(acc);
}

std::vector<Candidate> Detector::peaks(const cv::Mat& acc) const
{
    // Peaks per stripe of accumulator rows, joined in row order.
    const int height = 16;
    std::vector<std::vector<Candidate>> stripes(static_cast<size_t>((acc.rows + height - 1) / height));
    forEachStripe(acc.rows, height, [&](int y0, int y1) {
        findPeaks(acc, y0, y1, stripes[static_cast<size_t>(y0 / height)]);
    });
    std::vector<Candidate> found;
    for (const std::vector<Candidate>& s : stripes)
        found.insert(found.end(), s.begin(), s.end());
    return found;
}

void Detector::findPeaks(const cv::Mat& acc, int y0, int y1, std::vector<Candidate>& found) const
{
    // Votes summed over 3×3 cells (none beyond the border) and held to 16
    // bits, row by row: column sums first, with a zero column on either side.
    // Most of the accumulator holds no peak: a block of cells is passed over
    // at once when none of it has the votes.
    constexpr int kBlock = 16;
    const int cols = acc.cols, minVotes = m_minVotes;
    const int padded = (cols + kBlock - 1) / kBlock * kBlock;
    std::vector<int> columns(static_cast<size_t>(padded) + 2, 0), sums(static_cast<size_t>(padded), 0);
    const std::vector<ushort> none(static_cast<size_t>(cols), 0);
    int* column = columns.data();
    int* sum = sums.data();
    for (int by = y0; by < y1; ++by) {
        const ushort* above = by > 0 ? acc.ptr<ushort>(by - 1) : none.data();
        const ushort* row = acc.ptr<ushort>(by);
        const ushort* below = by + 1 < acc.rows ? acc.ptr<ushort>(by + 1) : none.data();
        for (int bx = 0; bx < cols; ++bx)
            column[bx + 1] = above[bx] + row[bx] + below[bx];
        for (int bx = 0; bx < cols; ++bx)
            sum[bx] = std::min(column[bx] + column[bx + 1] + column[bx + 2], int{USHRT_MAX});
        for (int bx = 0; bx < cols; ++bx) {
            if (bx % kBlock == 0) {
                int any = 0;
                for (int k = 0; k < kBlock; ++k)
                    any |= sum[bx + k] >= minVotes;
                if (!any) {
                    bx += kBlock - 1;
                    continue;
                }
            }
            const int v = sum[bx];
            if (v < minVotes)
                continue;
            // The cell's own votes must be a strict maximum over its 3×3
            // neighbourhood (on a plateau the first cell in raster order wins):
            // the pooled sums would let a strong neighbour swallow the peak of
            // a small cell pressed against it.
            bool peak = true;
            const int centre = acc.ptr<ushort>(by)[bx];
            for (int j = -1; j <= 1 && peak; ++j)
                for (int i = -1; i <= 1 && peak; ++i) {
                    const int nx = bx + i, ny = by + j;
                    if ((i == 0 && j == 0) || nx < 0 || ny < 0 || nx >= acc.cols || ny >= acc.rows)
                        continue;
                    const int w = acc.ptr<ushort>(ny)[nx];
                    const bool before = j < 0 || (j == 0 && i < 0);
                    peak = before ? centre > w : centre >= w;
                }
            if (!peak)
                continue;
            // Centre of gravity of the votes around the peak, in pixels.
            double wx = 0, wy = 0, w = 0;
            for (int j = -1; j <= 1; ++j)
                for (int i = -1; i <= 1; ++i) {
                    const int nx = bx + i, ny = by + j;
                    if (nx < 0 || ny < 0 || nx >= acc.cols || ny >= acc.rows)
                        continue;
                    const int a = acc.ptr<ushort>(ny)[nx];
                    wx += a * ((nx + 0.5) * m_cell - 0.5);
                    wy += a * ((ny + 0.5) * m_cell - 0.5);
                    w += a;
                }
            found.push_back({static_cast<float>(wx / w), static_cast<float>(wy / w), v});
        }
    }
}

template <typename F>
void Detector::forEachEdgeNear(float cx, float cy, float reach, F&& f) const
{
    const float x0 = std::floor(cx - reach), x1 = std::ceil(cx + reach);
    const int y0 = std::max(0, static_cast<int>(std::floor(cy - reach)));
    const int y1 = std::min(m_size.height - 1, static_cast<int>(std::ceil(cy + reach)));
    const auto begin = m_edgePixels.begin();
    for (int y = y0; y <= y1; ++y) {
        const auto rowEnd = begin + m_rowStart[static_cast<size_t>(y) + 1];
        auto it = std::lower_bound(begin + m_rowStart[static_cast<size_t>(y)], rowEnd, x0,
                                   [](const RimPixel& p, float x) { return p.x < x; });
        for (; it != rowEnd && it->x <= x1; ++it)
            f(*it);
    }
}

void Detector::gather(float cx, float cy, std::vector<RimPixel>& rim, const std::vector<uchar>* taken) const
{
    rim.clear();
    const float sign = m_direction > 0 ? 1.0f : -1.0f;
    const auto add = [&](const RimPixel& e) {
        RimPixel p{e.x, e.y, sign * e.ux, sign * e.uy, e.edge};
        // Either side: orient the direction towards the candidate.
        if (m_direction == 0 && p.ux * (cx - p.x) + p.uy * (cy - p.y) < 0) {
            p.ux = -p.ux;
            p.uy = -p.uy;
        }
        rim.push_back(p);
    };
    // The common case, with nothing kept yet, without a look at `taken`.
    const float reach = m_maxR + kBand + 1;
    if (!taken) {
        forEachEdgeNear(cx, cy, reach, add);
        return;
    }
    forEachEdgeNear(cx, cy, reach, [&](const RimPixel& e) {
        if ((*taken)[static_cast<size_t>(e.edge)] != kRim)
            add(e);
    });
}

// Rim pixels of `rim` that lie on the circle and point at its centre.
template <typename F>
void forEachOnCircle(const std::vector<RimPixel>& rim, float cx, float cy, float r, float band, F&& f)
{
    for (const RimPixel& p : rim) {
        const float vx = cx - p.x, vy = cy - p.y;
        const float d = std::sqrt(vx * vx + vy * vy);
        if (d < 0.5f || std::abs(d - r) > band)
            continue;
        if (p.ux * vx + p.uy * vy < kAlignment * d)
            continue;
        f(p, d);
    }
}

Detector::Seen Detector::seen(const std::vector<RimHit>& hits, const std::vector<uchar>* taken) const
{
    Seen s;
    for (const RimHit& h : hits) {
        const uchar owner = taken ? (*taken)[static_cast<size_t>(h.edge)] : kFree;
        if (owner == kRim)
            continue;
        if (h.close)
            s.own.set(static_cast<size_t>(h.sector));
        if (h.closeWithoutNoise)
            s.ownWithoutNoise.set(static_cast<size_t>(h.sector));
        ++s.support;
        s.inside += owner == kInside ? 1 : 0;
    }
    return s;
}

bool Detector::promising(const Seen& s, float r, int slack) const
{
    // Noise edges in the band round the circle point at its centre by chance
    // (a fitted circle finds the most of them); a rim must outnumber them.
    const double byChance = kAgreeingByChance * m_noiseEdges * 2 * kBand * 2 * CV_PI * r;
    // At least half of the outline asked for, less the slack, must be the
    // circle's own.
    return s.support >= m_minVotes && s.support >= kNoiseMargin * byChance &&
           2 * (static_cast<int>(s.own.count()) + slack) >= m_minCoverage;
}

bool Detector::accepts(const Circle& c, Sectors hidden, const std::vector<uchar>& taken) const
{
    return accepts(c, hidden, taken, {0, m_minCoverage});
}

bool Detector::acceptsInClump(const Circle& c, Sectors hidden, const std::vector<uchar>& taken) const
{
    // Most of its outline its own and little missing that no neighbour hides,
    // or one sector more its own and as much missing as a circle kept alone.
    const int own = m_minCoverage - kOwnShortInClump;
    return accepts(c, hidden, taken, {own, std::max(m_minCoverage, kSectors - kUnexplainedInClump)}) ||
           accepts(c, hidden, taken, {own + 1, m_minCoverage});
}

bool Detector::accepts(const Circle& c, Sectors hidden, const std::vector<uchar>& taken, const Needs& needs) const
{
    const Seen s = seen(c.hits, &taken);
    // An outline drawn mostly (over three quarters) from the insides of kept
    // objects is the inner side of their rims seen from a gap between them; a
    // neighbour overlapping a kept object has most of its rim outside.
    const int outline = static_cast<int>((s.own | hidden | outsideFrame(c)).count());
    const int slack = outline == kSectors ? kEnclosedSlack : 0;
    return promising(s, c.r, slack) && static_cast<int>(s.ownWithoutNoise.count()) >= needs.own - slack &&
           outline >= needs.outline &&
           4 * s.inside <= 3 * s.support;
}

void Detector::take(const Circle& c, std::vector<uchar>& taken) const
{
    for (const RimHit& h : c.hits)
        taken[static_cast<size_t>(h.edge)] = kRim;
    // Edges inside are the object's own or those of a neighbour overlapping it.
    for (int edge : c.inside) {
        uchar& owner = taken[static_cast<size_t>(edge)];
        if (owner == kFree)
            owner = kInside;
    }
}

void Detector::listInside(Circle& c) const
{
    const float inner = c.r - kBand;
    forEachEdgeNear(c.x, c.y, inner, [&](const RimPixel& p) {
        if ((p.x - c.x) * (p.x - c.x) + (p.y - c.y) * (p.y - c.y) < inner * inner)
            c.inside.push_back(p.edge);
    });
}

// Sector i spans the directions from -pi + i·2pi/kSectors (atan2 angles).
int sectorOf(float x, float y, float cx, float cy)
{
    const double a = std::atan2(y - cy, x - cx) + CV_PI;
    return std::min(kSectors - 1, static_cast<int>(a / (2 * CV_PI) * kSectors));
}

double sectorMiddle(int i)
{
    return (i + 0.5) * 2 * CV_PI / kSectors - CV_PI;
}

// Sectors that reach within `halfAngle` (radians) of the direction `towards`.
Sectors sectorsFacing(double towards, double halfAngle)
{
    Sectors s;
    for (int i = 0; i < kSectors; ++i)
        if (std::abs(std::remainder(sectorMiddle(i) - towards, 2 * CV_PI)) <= halfAngle + CV_PI / kSectors)
            s.set(static_cast<size_t>(i));
    return s;
}

Sectors Detector::outsideFrame(const Circle& c) const
{
    // The directions of the sectors' middles, worked out once.
    static const auto directions = [] {
        std::array<cv::Point2d, kSectors> d;
        for (int i = 0; i < kSectors; ++i)
            d[static_cast<size_t>(i)] = {std::cos(sectorMiddle(i)), std::sin(sectorMiddle(i))};
        return d;
    }();
    Sectors s;
    for (int i = 0; i < kSectors; ++i) {
        const cv::Point2d& d = directions[static_cast<size_t>(i)];
        const double x = c.x + c.r * d.x, y = c.y + c.r * d.y;
        if (x < 1 || y < 1 || x > m_size.width - 2 || y > m_size.height - 2)
            s.set(static_cast<size_t>(i));
    }
    return s;
}

// Least-squares circle through points (algebraic fit); false when degenerate.
bool fitCircle(const std::vector<cv::Point2f>& pts, float& cx, float& cy, float& r)
{
    if (pts.size() < 5)
        return false;
    // Centred on the mean for numerical stability.
    double mx = 0, my = 0;
    for (const cv::Point2f& p : pts) {
        mx += p.x;
        my += p.y;
    }
    mx /= pts.size();
    my /= pts.size();
    double suu = 0, svv = 0, suv = 0, suuu = 0, svvv = 0, suvv = 0, svuu = 0;
    for (const cv::Point2f& p : pts) {
        const double u = p.x - mx, v = p.y - my;
        suu += u * u;
        svv += v * v;
        suv += u * v;
        suuu += u * u * u;
        svvv += v * v * v;
        suvv += u * v * v;
        svuu += v * u * u;
    }
    const double det = suu * svv - suv * suv;
    if (std::abs(det) < 1e-9)
        return false;
    const double bu = 0.5 * (suuu + suvv), bv = 0.5 * (svvv + svuu);
    const double uc = (bu * svv - bv * suv) / det, vc = (bv * suu - bu * suv) / det;
    cx = static_cast<float>(uc + mx);
    cy = static_cast<float>(vc + my);
    r = static_cast<float>(std::sqrt(uc * uc + vc * vc + (suu + svv) / pts.size()));
    return std::isfinite(r);
}

bool Detector::oneOutline(const Circle& c, const std::vector<int>& rim, double share) const
{
    thread_local std::vector<cv::Point2f> pts;
    pts.clear();
    for (const RimHit& h : c.hits)
        pts.push_back(edgeAt(h.edge));
    for (int edge : rim)
        pts.push_back(edgeAt(edge));
    float x, y, r;
    if (!fitCircle(pts, x, y, r))
        return false;
    // Each of the two rims mostly on it: a small circle's few pixels would
    // not outweigh a large neighbour's.
    const auto onIt = [&](auto first, auto last) {
        const auto on = std::count_if(first, last, [&](const cv::Point2f& p) {
            return std::abs(std::hypot(p.x - x, p.y - y) - r) <= kBand;
        });
        return on / static_cast<double>(last - first);
    };
    const auto split = pts.begin() + static_cast<std::ptrdiff_t>(c.hits.size());
    const double a = onIt(pts.begin(), split), b = onIt(split, pts.end());
    return std::min(a, b) >= share;
}

Circle Detector::verify(const Candidate& c, const std::vector<uchar>* taken) const
{
    thread_local std::vector<RimPixel> rim;
    gather(c.x, c.y, rim, taken);

    const float lo = m_minR - 1.0f, hi = m_maxR + 1.0f;
    // The rim pixels on some circle about the candidate's own centre with a
    // radius in range, with their distances: a pass about that centre whose
    // band lies well within theirs picks its pixels from these instead of
    // measuring the whole rim again.
    const float middle = (lo + hi) / 2, reach = (hi - lo) / 2 + kBand + 1;
    thread_local std::vector<std::pair<RimPixel, float>> around;
    around.clear();
    forEachOnCircle(rim, c.x, c.y, middle, reach, [&](const RimPixel& p, float d) { around.emplace_back(p, d); });
    const auto forEachOn = [&](float cx, float cy, float r, float band, auto&& f) {
        if (cx != c.x || cy != c.y || std::abs(r - middle) + band > reach - 0.5f) {
            forEachOnCircle(rim, cx, cy, r, band, f);
            return;
        }
        for (const auto& [p, d] : around)
            if (!(std::abs(d - r) > band))
                f(p, d);
    };

    // Radius: the middle of the three neighbouring half-pixel bins that hold the
    // most rim pixels. In a clump, a wider circle through the neighbours' rims
    // can hold more than the cell's own: smaller radii, best first, are tried
    // when the first gives no circle.
    const int bins = static_cast<int>((hi - lo) * 2) + 1;
    thread_local std::vector<int> hist;
    hist.assign(static_cast<size_t>(bins), 0);
    forEachOn(c.x, c.y, middle, (hi - lo) / 2 + 0.25f, [&](const RimPixel&, float d) {
        ++hist[static_cast<size_t>(std::clamp(cvRound((d - lo) * 2), 0, bins - 1))];
    });
    // Less what noise puts in each bin's ring, which grows with the radius.
    const double noisePerBin = kAgreeingByChance * m_noiseEdges * CV_PI;
    // The best bin at or below `highest` holding more than `least` rim pixels.
    const auto bestBin = [&](int highest, double least) {
        int best = -1;
        double bestCount = least;
        for (int b = 0; b <= highest; ++b) {
            const double n = hist[b] + (b > 0 ? hist[b - 1] : 0) + (b + 1 < bins ? hist[b + 1] : 0) -
                             noisePerBin * 3 * (lo + b * 0.5);
            if (n > bestCount) {
                bestCount = n;
                best = b;
            }
        }
        return best;
    };
    Circle out;
    for (int tries = 0, highest = bins - 1; tries < kRadiusTries; ++tries) {
        // A smaller ring with fewer rim pixels than a circle needs is not tried.
        const int bin = bestBin(highest, tries == 0 ? 0 : m_minVotes - 1);
        if (bin < 0)
            break;
        out = fitAt(c, lo + bin * 0.5f, taken ? kEnclosedSlack : 0, forEachOn);
        if (out.sectors != 0)
            break;
        highest = bin - 4;  // two pixels smaller
    }
    return out;
}

template <typename OnCircle>
Circle Detector::fitAt(const Candidate& c, float radius, int slack, const OnCircle& forEachOn) const
{
    Circle out;
    out.x = c.x;
    out.y = c.y;
    out.r = radius;
    out.votes = c.votes;

    if (m_fit) {
        thread_local std::vector<cv::Point2f> pts;
        for (int round = 0; round < 2; ++round) {
            pts.clear();
            forEachOn(out.x, out.y, out.r, kBand, [&](const RimPixel& p, float) { pts.emplace_back(p.x, p.y); });
            float fx, fy, fr;
            if (!fitCircle(pts, fx, fy, fr) || std::hypot(fx - c.x, fy - c.y) > 0.5f * out.r + 1)
                break;
            out.x = fx;
            out.y = fy;
            out.r = fr;
        }
    }
    if (out.r < m_minR || out.r > m_maxR + 1.0f)
        return out;
    out.r = std::clamp(out.r, static_cast<float>(m_minR), static_cast<float>(m_maxR));
    forEachOn(out.x, out.y, out.r, kBand, [&](const RimPixel& p, float d) {
        const float towards = p.ux * (out.x - p.x) + p.uy * (out.y - p.y);
        const bool close = towards >= m_closeCos * d;
        out.hits.push_back({p.edge, close ? sectorOf(p.x, p.y, out.x, out.y) : 0, close,
                            towards >= kCloseAlignment * d});
    });
    const Seen s = seen(out.hits, nullptr);
    out.sectors = promising(s, out.r, slack) && rimStandsOut(out) ? static_cast<int>(s.own.count()) : 0;
    if (out.sectors == 0)
        out.hits.clear();
    else
        listInside(out);
    return out;
}

// A circle placed in a CircleGrid, with the caller's number for it.
struct Placed
{
    float x, y, r;
    int id;
};

// Circles in square buckets, to look up those within `reach` of a point.
class CircleGrid
{
public:
    CircleGrid(cv::Size size, float reach)
        : m_side(std::max(16.0f, reach)), m_cols(static_cast<int>(size.width / m_side) + 1),
          m_rows(static_cast<int>(size.height / m_side) + 1), m_buckets(static_cast<size_t>(m_cols * m_rows))
    {
    }

    void add(const Circle& c, int id = 0)
    {
        m_buckets[index(bucket(c.x, m_cols), bucket(c.y, m_rows))].push_back({c.x, c.y, c.r, id});
    }

    // Whether f(placed) holds for one of the circles within reach of (x, y);
    // stops at the first.
    template <typename F>
    bool any(float x, float y, F&& f) const
    {
        const int bx = bucket(x, m_cols), by = bucket(y, m_rows);
        for (int j = std::max(0, by - 1); j <= std::min(m_rows - 1, by + 1); ++j)
            for (int i = std::max(0, bx - 1); i <= std::min(m_cols - 1, bx + 1); ++i)
                for (const Placed& k : m_buckets[index(i, j)])
                    if (f(k))
                        return true;
        return false;
    }

private:
    int bucket(float v, int count) const { return std::clamp(static_cast<int>(v / m_side), 0, count - 1); }
    size_t index(int i, int j) const { return static_cast<size_t>(j * m_cols + i); }

    float m_side;
    int m_cols, m_rows;
    std::vector<std::vector<Placed>> m_buckets;
};

// Sectors of the outline of c that a neighbour k pressed against it or
// overlapping it hides; none when k lies farther off.
Sectors hiddenBy(const Circle& c, const Placed& k)
{
    const float d = std::hypot(k.x - c.x, k.y - c.y);
    if (!(d < c.r + k.r + kTouchGap))
        return {};
    return sectorsFacing(std::atan2(k.y - c.y, k.x - c.x), std::asin(std::min(1.0f, k.r / d)));
}

// The edge indices of the circle's rim pixels.
std::vector<int> rimOf(const Circle& c)
{
    std::vector<int> rim;
    rim.reserve(c.hits.size());
    for (const RimHit& h : c.hits)
        rim.push_back(h.edge);
    return rim;
}

// Keeps one circle per object out of the verified ones, each rim pixel for
// one object only.
class Selection
{
public:
    Selection(const Detector& detector, cv::Size size, double minDist, int maxRadius)
        : m_detector(detector), m_size(size), m_minDist(static_cast<float>(minDist)),
          // Neighbours that touch a circle lie within two largest radii and a gap.
          m_reach(std::max(m_minDist * maxRadius, 2.0f * maxRadius + kTouchGap)), m_taken(detector.edgeCount(), kFree),
          m_kept(size, m_reach)
    {
    }

    // Keeps the circles of `queue` (most complete outlines first) one by one,
    // each with the kept neighbours that hide part of it; the rest is tried
    // again while that keeps more. Returns those left, in queue order.
    std::vector<const Circle*> keepInTurn(std::vector<const Circle*> queue);
    // Keeps what stands of `left` when its circles are judged together.
    // Returns those left of it (the same object seen again dropped), in order.
    std::vector<const Circle*> keepTogether(const std::vector<const Circle*>& left);
    // The edge pixels that no kept circle explains (neither its rim nor
    // inside it) within reach of one: where a cell hidden in a clump leaves
    // its rim.
    std::vector<int> unexplainedNearKept() const;
    const std::vector<uchar>& taken() const { return m_taken; }
    // The kept circles, ordered by centre row, then column.
    std::vector<cv::Vec3f> circles() const;

private:
    // Circles not kept yet, each object once, with the sectors of each that
    // kept circles hide and those that each of the others would.
    struct Clump
    {
        std::vector<const Circle*> circles;
        std::vector<Sectors> byKept;
        std::vector<std::vector<std::pair<int, Sectors>>> byOthers;  // (index in circles, sectors)
    };
    Clump gather(const std::vector<const Circle*>& left) const;
    // A circle whose centre lies too close to one in `grid` is the same object seen again.
    bool sameAsOneIn(const Circle& c, const CircleGrid& grid) const;
    // A circle overlapping a kept one whose rim goes on along the kept one's
    // outline is that object seen again.
    bool onOutlineOfKept(const Circle& c) const;
    Sectors hiddenByKept(const Circle& c) const;
    void keep(const Circle& c);

    const Detector& m_detector;
    cv::Size m_size;
    float m_minDist, m_reach;
    std::vector<uchar> m_taken;
    CircleGrid m_kept;
    std::vector<std::vector<int>> m_keptRims;  // edge indices of each kept circle's rim, by its id in m_kept
    std::vector<cv::Vec3f> m_circles;
};

bool Selection::sameAsOneIn(const Circle& c, const CircleGrid& grid) const
{
    return grid.any(c.x, c.y, [&](const Placed& k) {
        const float limit = m_minDist * std::max(c.r, k.r);
        return (c.x - k.x) * (c.x - k.x) + (c.y - k.y) * (c.y - k.y) < limit * limit;
    });
}

Sectors Selection::hiddenByKept(const Circle& c) const
{
    Sectors hidden;
    m_kept.any(c.x, c.y, [&](const Placed& k) {
        hidden |= hiddenBy(c, k);
        return false;
    });
    return hidden;
}

bool Selection::onOutlineOfKept(const Circle& c) const
{
    return m_kept.any(c.x, c.y, [&](const Placed& k) {
        const float reach = c.r + k.r;
        return (c.x - k.x) * (c.x - k.x) + (c.y - k.y) * (c.y - k.y) < reach * reach &&
               m_detector.oneOutline(c, m_keptRims[static_cast<size_t>(k.id)]);
    });
}

void Selection::keep(const Circle& c)
{
    m_detector.take(c, m_taken);
    m_kept.add(c, static_cast<int>(m_keptRims.size()));
    m_keptRims.push_back(rimOf(c));
    m_circles.emplace_back(c.x, c.y, c.r);
}

std::vector<const Circle*> Selection::keepInTurn(std::vector<const Circle*> queue)
{
    while (!queue.empty()) {
        std::vector<const Circle*> waiting;
        for (const Circle* c : queue) {
            if (sameAsOneIn(*c, m_kept))
                continue;
            if (!m_detector.accepts(*c, hiddenByKept(*c), m_taken))
                waiting.push_back(c);
            else if (!onOutlineOfKept(*c))
                keep(*c);
        }
        if (waiting.size() == queue.size())
            return waiting;
        queue.swap(waiting);
    }
    return queue;
}

Selection::Clump Selection::gather(const std::vector<const Circle*>& left) const
{
    Clump clump;
    CircleGrid grid(m_size, m_reach);
    for (const Circle* c : left)
        if (!sameAsOneIn(*c, grid)) {
            grid.add(*c, static_cast<int>(clump.circles.size()));
            clump.circles.push_back(c);
        }
    const size_t n = clump.circles.size();
    clump.byKept.resize(n);
    clump.byOthers.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const Circle& c = *clump.circles[i];
        clump.byKept[i] = hiddenByKept(c);
        // A lobe of the same blob hides nothing: two would excuse each
        // other's missing rim.
        grid.any(c.x, c.y, [&](const Placed& k) {
            const Sectors s = hiddenBy(c, k);
            if (k.id != static_cast<int>(i) && s.any() &&
                !m_detector.oneOutline(c, rimOf(*clump.circles[static_cast<size_t>(k.id)]), kContinuesOutline))
                clump.byOthers[i].emplace_back(k.id, s);
            return false;
        });
    }
    return clump;
}

std::vector<const Circle*> Selection::keepTogether(const std::vector<const Circle*>& left)
{
    // In a clump the cells hide each other's outline, and none may be kept
    // before another is. Each circle left is judged with every other one still
    // standing as a neighbour, and those that fail drop out until the rest
    // stand together: the largest such set, whatever the order. They are then
    // kept in queue order, so that an outline pieced together from their rims
    // loses its pixels to the more complete ones.
    const Clump clump = gather(left);
    const size_t n = clump.circles.size();
    std::vector<bool> standing(n, true);
    const auto hidden = [&](size_t i) {
        Sectors h = clump.byKept[i];
        for (const auto& [j, s] : clump.byOthers[i])
            if (standing[static_cast<size_t>(j)])
                h |= s;
        return h;
    };
    const auto stands = [&](size_t i) { return m_detector.acceptsInClump(*clump.circles[i], hidden(i), m_taken); };
    for (bool dropped = true; dropped;) {
        dropped = false;
        for (size_t i = 0; i < n; ++i)
            if (standing[i] && !stands(i)) {
                standing[i] = false;
                dropped = true;
            }
    }
    std::vector<const Circle*> rest;
    for (size_t i = 0; i < n; ++i) {
        standing[i] = standing[i] && stands(i) && !onOutlineOfKept(*clump.circles[i]);
        if (standing[i])
            keep(*clump.circles[i]);
        else
            rest.push_back(clump.circles[i]);
    }
    return rest;
}

std::vector<int> Selection::unexplainedNearKept() const
{
    std::vector<int> out;
    for (size_t i = 0; i < m_taken.size(); ++i) {
        if (m_taken[i] != kFree)
            continue;
        const cv::Point2f p = m_detector.edgeAt(static_cast<int>(i));
        const bool near = m_kept.any(p.x, p.y, [&](const Placed& k) {
            return (p.x - k.x) * (p.x - k.x) + (p.y - k.y) * (p.y - k.y) < m_reach * m_reach;
        });
        if (near)
            out.push_back(static_cast<int>(i));
    }
    return out;
}

std::vector<cv::Vec3f> Selection::circles() const
{
    std::vector<cv::Vec3f> out = m_circles;
    std::stable_sort(out.begin(), out.end(), [](const cv::Vec3f& a, const cv::Vec3f& b) {
        const int ay = cvRound(a[1]), by = cvRound(b[1]);
        return ay != by ? ay < by : a[0] < b[0];
    });
    return out;
}

// The circles fitted to the candidates, in their order (see Detector::verify);
// those with too little rim have no sectors.
std::vector<Circle> verifyAll(const Detector& detector, const std::vector<Candidate>& candidates,
                              const std::vector<uchar>* taken)
{
    std::vector<Circle> found(candidates.size());
    // Candidates are independent; each result has its own slot, so the outcome
    // does not depend on the threads.
    cv::parallel_for_(cv::Range(0, static_cast<int>(candidates.size())), [&](const cv::Range& range) {
        for (int i = range.start; i < range.end; ++i)
            found[static_cast<size_t>(i)] = detector.verify(candidates[static_cast<size_t>(i)], taken);
    });
    return found;
}

// Keeps what it can of the found circles beside those already kept.
void select(const std::vector<Circle>& found, Selection& selection)
{
    // Most complete outlines first (the circles themselves stay in place). A
    // circle whose centre lies too close to a kept one is the same object seen
    // again; every rim pixel belongs to one object only, so an outline pieced
    // together from the rims of kept ones (around two neighbours, say) is
    // dropped.
    std::vector<const Circle*> queue;
    for (const Circle& c : found)
        if (c.sectors != 0)
            queue.push_back(&c);
    std::stable_sort(queue.begin(), queue.end(), [](const Circle* a, const Circle* b) {
        if (a->sectors != b->sectors)
            return a->sectors > b->sectors;
        return a->hits.size() != b->hits.size() ? a->hits.size() > b->hits.size() : a->votes > b->votes;
    });
    // Circles kept together excuse more of those left, one by one or together.
    std::vector<const Circle*> left = selection.keepInTurn(std::move(queue));
    for (size_t before = left.size() + 1; left.size() < before;) {
        before = left.size();
        left = selection.keepInTurn(selection.keepTogether(left));
    }
}

}  // namespace

void HoughCirclesAdaptive(const cv::Mat& image, std::vector<cv::Vec3f>& circles, int method, double dp,
                          double minDist, double param1, double param2, int minRadius, int maxRadius,
                          int edgeDirection, bool fitToEdges, bool keepPartial)
{
    DetectorArgs args;
    args.method = method;
    args.dp = dp;
    args.minDist = minDist;
    args.param1 = param1;
    args.param2 = param2;
    args.minRadius = minRadius;
    args.maxRadius = maxRadius;
    args.edgeDirection = edgeDirection;
    args.fitToEdges = fitToEdges;
    args.keepPartial = keepPartial;
    circles = detectCircles(image, args);
}

std::vector<cv::Vec3f> detectCircles(const cv::Mat& image, const DetectorArgs& arguments)
{
    if (image.empty())
        return {};
    CV_Assert(image.type() == CV_8UC1 && arguments.method == cv::HOUGH_GRADIENT && arguments.dp > 0);
    DetectorArgs a = arguments;
    a.minRadius = std::max(a.minRadius, 1);
    if (a.maxRadius < a.minRadius)
        return {};
    const double minDist = a.minDist;
    const int maxRadius = a.maxRadius;

    const Detector detector(image, a);
    Selection selection(detector, image.size(), minDist, maxRadius);
    select(verifyAll(detector, detector.candidates(), nullptr), selection);
    // A cell in the middle of a clump may leave no peak beside its neighbours'
    // votes: the edge pixels no kept circle explains vote again by themselves.
    select(verifyAll(detector, detector.candidatesAmong(selection.unexplainedNearKept()), &selection.taken()),
           selection);
    return selection.circles();
}

}  // namespace VelimBio
