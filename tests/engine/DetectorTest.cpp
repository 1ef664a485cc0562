// The circle detector on generated slides, called with the arguments the
// engine derives from the built-in protocols.
#include "Slide.h"
#include "SlideMatch.h"

#include "velimbio/CellCounter.h"
#include "velimbio/HoughCirclesAdaptive.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <ostream>

namespace {

using VelimBio::DetectorArgs;
using VelimBio::detectCircles;

// Asks the engine (through its detector seam) how it calls the detector.
DetectorArgs engineArgs(int minSize, int maxSize, int detectionLevel, int noiseLevel)
{
    VelimBio::CellCounter counter(3, 64, 64, 0.48979f, 1.431f, 1.4f);
    std::vector<unsigned char> frame(64 * 64 * 3, 200);
    counter.prepareImageData(frame.data());
    counter.set_countMode(1, 0.0, 0.0);
    counter.set_BF_Protocol(minSize, maxSize, 1, 180, detectionLevel, 5, noiseLevel, 1);
    DetectorArgs a;
    counter.setCircleDetector([&a](const cv::Mat&, const DetectorArgs& args) {
        a = args;
        return std::vector<cv::Vec3f>();
    });
    counter.findObjects_BF();
    // The edge maps are those of the probe frame; each test's frame has its own.
    a.dx = a.dy = a.edges = cv::Mat();
    return a;
}

cv::Mat green(const cv::Mat& rgb)
{
    cv::Mat g;
    cv::extractChannel(rgb, g, 1);
    return g;
}

struct ProtocolCase
{
    const char* name;
    int minSize, maxSize, detectionLevel;  // the built-in protocol's values
    int noiseLevel;
    std::uint64_t seed;
};

std::ostream& operator<<(std::ostream& os, const ProtocolCase& c)
{
    return os << c.name << "_noise_level_" << c.noiseLevel;
}

class IsolatedCells : public ::testing::TestWithParam<ProtocolCase>
{
};

TEST_P(IsolatedCells, FindsEveryCellOnceWithinTolerance)
{
    const ProtocolCase& c = GetParam();
    const DetectorArgs args = engineArgs(c.minSize, c.maxSize, c.detectionLevel, c.noiseLevel);

    // Cells from 8 px up to the protocol's largest size (24, PBMC 15), apart,
    // on a noisy background with plenty of debris.
    slide::SlideParams p;
    p.seed = c.seed;
    p.cellCount = 300;
    p.minDiameter = 8;
    p.maxDiameter = std::min(24, c.maxSize);
    p.clusterFraction = 0;
    p.minGap = 6;
    p.liveFraction = 0.6;
    p.noise = 4;
    p.debrisCount = 150;
    const slide::Slide s = slide::generateSlide(p);

    const std::vector<cv::Vec3f> circles = detectCircles(green(s.rgb), args);
    const slide::Match m = slide::matchDetections(s.truth, slide::fromCircles(circles));

    EXPECT_GE(m.recall, 0.97);
    EXPECT_GE(m.precision, 0.97);
    EXPECT_LE(m.maxCentreError, 1.5);
    EXPECT_EQ(m.duplicates, 0);
    for (const cv::Vec3f& circle : circles) {
        EXPECT_GE(circle[2], args.minRadius);
        EXPECT_LE(circle[2], args.maxRadius);
    }
}

// DEFAULT: search 7..24 px, detection level 5; PBMC: 7..15 px, level 6.
INSTANTIATE_TEST_SUITE_P(BuiltInProtocols, IsolatedCells,
                         ::testing::Values(ProtocolCase{"DEFAULT", 7, 24, 5, 2, 11},
                                           ProtocolCase{"DEFAULT", 7, 24, 5, 5, 12},
                                           ProtocolCase{"DEFAULT", 7, 24, 5, 8, 13},
                                           ProtocolCase{"PBMC", 7, 15, 6, 2, 21},
                                           ProtocolCase{"PBMC", 7, 15, 6, 5, 22},
                                           ProtocolCase{"PBMC", 7, 15, 6, 8, 23}));

TEST(Detector, FrameWithoutCellsGivesNoCircles)
{
    slide::SlideParams p;
    p.cellCount = 0;
    p.debrisCount = 0;
    p.noise = 4;
    const cv::Mat noisy = green(slide::generateSlide(p).rgb);
    p.debrisCount = 300;
    const cv::Mat debris = green(slide::generateSlide(p).rgb);
    const cv::Mat flat(1944, 2592, CV_8UC1, cv::Scalar(190));

    const DetectorArgs defaultLevels = engineArgs(7, 24, 5, 5), pbmcLevels = engineArgs(7, 15, 6, 8);
    const DetectorArgs mostSensitive = engineArgs(7, 24, 10, 5);
    for (const DetectorArgs& args : {defaultLevels, pbmcLevels, mostSensitive}) {
        EXPECT_TRUE(detectCircles(noisy, args).empty()) << args.param2;
        EXPECT_TRUE(detectCircles(flat, args).empty()) << args.param2;
        EXPECT_TRUE(detectCircles(cv::Mat(), args).empty()) << args.param2;
    }
    // Specks below the smallest cell size are no cells at the protocols' levels.
    EXPECT_TRUE(detectCircles(debris, defaultLevels).empty());
    EXPECT_TRUE(detectCircles(debris, pbmcLevels).empty());
}

TEST(Detector, RadiiStayInTheRequestedRange)
{
    // Cells of 8..24 px searched with radii 4..7: no radius outside the range
    // comes back, and big cells are not reported as smaller circles.
    slide::SlideParams p;
    p.seed = 5;
    p.minDiameter = 8;
    p.maxDiameter = 24;
    p.clusterFraction = 0;
    const slide::Slide s = slide::generateSlide(p);
    DetectorArgs args = engineArgs(8, 15, 5, 5);
    const std::vector<cv::Vec3f> circles = detectCircles(green(s.rgb), args);
    ASSERT_FALSE(circles.empty());
    for (const cv::Vec3f& c : circles) {
        EXPECT_GE(c[2], 4.0f);
        EXPECT_LE(c[2], 7.0f);
    }
    // Cells inside the range are found; those well beyond it (more than a
    // pixel of radius) are not.
    const slide::Match m = slide::matchDetections(s.truth, slide::fromCircles(circles));
    std::vector<bool> found(s.truth.size(), false);
    for (int cell : m.cellOf)
        if (cell >= 0)
            found[static_cast<size_t>(cell)] = true;
    int inRange = 0, inRangeFound = 0;
    for (size_t i = 0; i < s.truth.size(); ++i) {
        const float d = s.truth[i].diameter;
        if (d > 17) {
            EXPECT_FALSE(found[i]) << "a cell of " << d << " px";
        }
        if (d >= 8 && d <= 15) {
            ++inRange;
            inRangeFound += found[i] ? 1 : 0;
        }
    }
    EXPECT_GE(inRangeFound, 0.97 * inRange);
}

TEST(Detector, EdgeDirectionPicksTheSideOfTheRim)
{
    // Negative: centres lie where the image darkens, so the outer edge of the
    // dark rim is measured. Positive: the opposite side, i.e. the bright cores
    // of live cells on this image, or the rims of the inverted image. Zero:
    // either.
    slide::SlideParams p;
    p.seed = 8;
    p.clusterFraction = 0;
    const slide::Slide s = slide::generateSlide(p);
    const cv::Mat grey = green(s.rgb);
    const cv::Mat inverted = 255 - grey;
    DetectorArgs args = engineArgs(7, 24, 5, 5);

    const auto match = [&](const cv::Mat& image, int direction) {
        args.edgeDirection = direction;
        return slide::matchDetections(s.truth, slide::fromCircles(detectCircles(image, args)));
    };
    for (const auto& [image, direction] : {std::pair{grey, -32}, std::pair{inverted, 32}, std::pair{grey, 0},
                                           std::pair{inverted, 0}}) {
        const slide::Match m = match(image, direction);
        EXPECT_GE(m.recall, 0.97) << direction;
        EXPECT_NEAR(m.meanDiameterError, 0.0, 0.5) << direction;
    }
    const slide::Match cores = match(grey, 32);
    EXPECT_LT(cores.recall, 0.9);  // dead cells have no bright core
    EXPECT_LT(cores.meanDiameterError, -3.0);
}

TEST(Detector, DetectionLevelMovesTheSensitivity)
{
    // Faint, slightly defocused cells: the higher the level, the more are found,
    // without finding what is not there.
    slide::SlideParams p;
    p.seed = 9;
    p.contrast = 0.12;
    p.blur = 0.8;
    p.clusterFraction = 0;
    const slide::Slide s = slide::generateSlide(p);
    const cv::Mat grey = green(s.rgb);

    std::vector<double> recall;
    for (int level : {1, 5, 10}) {
        const std::vector<cv::Vec3f> circles = detectCircles(grey, engineArgs(7, 24, level, 2));
        const slide::Match m = slide::matchDetections(s.truth, slide::fromCircles(circles));
        recall.push_back(m.recall);
        EXPECT_GE(m.precision, 0.97) << "level " << level;
    }
    EXPECT_LT(recall[0] + 0.05, recall[1]) << recall[0] << ", " << recall[1];
    EXPECT_LT(recall[1] + 0.05, recall[2]) << recall[1] << ", " << recall[2];
}

TEST(Detector, MostSensitiveLevelInventsNothingBetweenCrowdedCells)
{
    // Seen from the gap between neighbours, the inner sides of their rims
    // look like the rim of one larger object; at level 10 only about half an
    // outline is needed, and neighbours excuse the rest, so such ghosts would
    // pass if nothing stopped them.
    slide::SlideParams p;
    p.seed = 1;
    p.cellCount = 1500;
    p.clusterFraction = 0.3;
    const slide::Slide s = slide::generateSlide(p);
    const std::vector<cv::Vec3f> circles = detectCircles(green(s.rgb), engineArgs(7, 24, 10, 5));
    const slide::Match m = slide::matchDetections(s.truth, slide::fromCircles(circles));
    EXPECT_GE(m.recall, 0.97);
    EXPECT_GE(m.precision, 0.98);
}

// Objects drawn by hand on a bright field, blurred as the optics do: a cell
// is a dark disc with a bright core (live) or without (dead).
class DrawnField
{
public:
    DrawnField(int width, int height) : m_grey(height, width, CV_8UC1, cv::Scalar(190)) {}

    void cell(cv::Point centre, int radius, bool live)
    {
        cv::circle(m_grey, centre * 4, radius * 4, 60, cv::FILLED, cv::LINE_AA, 2);
        if (live)
            cv::circle(m_grey, centre * 4, (radius - 3) * 4, 215, cv::FILLED, cv::LINE_AA, 2);
    }
    void shape(const std::vector<cv::Point>& outline, int level)
    {
        std::vector<cv::Point> scaled;
        for (const cv::Point& p : outline)
            scaled.push_back(p * 4);
        cv::fillPoly(m_grey, std::vector<std::vector<cv::Point>>{scaled}, level, cv::LINE_AA, 2);
    }
    // Blurred; with sensor noise of `noise` grey levels (a fixed seed) when given.
    cv::Mat grey(double noise = 0) const
    {
        cv::Mat out;
        cv::GaussianBlur(m_grey, out, cv::Size(), 0.8);
        if (noise > 0) {
            cv::Mat grain(out.size(), CV_16S);
            cv::RNG rng(17);
            rng.fill(grain, cv::RNG::NORMAL, 0, noise);
            cv::Mat sum;
            out.convertTo(sum, CV_16S);
            sum += grain;
            sum.convertTo(out, CV_8U);
        }
        return out;
    }

private:
    cv::Mat m_grey;
};

// A star of `lobes` lobes round (x, y): radius r·(1 ± depth).
std::vector<cv::Point> star(int x, int y, double r, int lobes, double depth)
{
    std::vector<cv::Point> outline;
    for (int i = 0; i < 72; ++i) {
        const double a = i * 2 * CV_PI / 72, rr = r * (1 + depth * std::cos(lobes * a));
        outline.emplace_back(cvRound(x + rr * std::cos(a)), cvRound(y + rr * std::sin(a)));
    }
    return outline;
}

// Which of `expected` (centres) the circles found, in order; and circles found elsewhere.
std::pair<std::vector<bool>, int> tally(const std::vector<cv::Vec3f>& circles, const std::vector<cv::Point>& expected)
{
    std::vector<bool> found(expected.size(), false);
    int elsewhere = 0;
    for (const cv::Vec3f& c : circles) {
        bool matched = false;
        for (size_t i = 0; i < expected.size(); ++i)
            if (std::hypot(c[0] - expected[i].x, c[1] - expected[i].y) < 2.0) {
                found[i] = true;
                matched = true;
            }
        elsewhere += matched ? 0 : 1;
    }
    return {found, elsewhere};
}

TEST(Detector, ObjectsOfCellSizeThatAreNotRoundAreNoCells)
{
    DrawnField field(260, 100);
    field.cell({30, 30}, 8, true);
    field.cell({30, 72}, 7, false);
    field.shape(star(80, 30, 8, 3, 0.25), 70);    // a three-lobed blob
    field.shape(star(80, 72, 8, 5, 0.2), 70);     // a five-lobed one
    field.shape({{110, 25}, {140, 31}, {139, 37}, {109, 31}}, 70);  // a rod
    field.shape({{115, 62}, {128, 78}, {124, 81}, {111, 65}}, 90);  // a shorter, paler one
    for (const cv::Point& speck : {cv::Point(175, 28), cv::Point(181, 33), cv::Point(174, 37), cv::Point(182, 25)})
        field.shape(star(speck.x, speck.y, 2, 1, 0), 60);  // a clump of specks
    const std::vector<cv::Vec3f> circles = detectCircles(field.grey(), engineArgs(7, 24, 5, 5));
    const auto [found, elsewhere] = tally(circles, {{30, 30}, {30, 72}});
    EXPECT_EQ(found, std::vector<bool>({true, true}));
    EXPECT_EQ(elsewhere, 0);
}

TEST(Detector, TwoLobesOfOneBlobAreOneObjectAndOverlappingCellsTwo)
{
    // Blobs of two dark discs overlapping at 0.55 to 0.65 of their radii's sum
    // (each lobe round enough to pass for a small cell, were the other a
    // neighbour hiding its rim), and pairs of live cells overlapping at 0.6
    // of it.
    struct Blob
    {
        cv::Point a;
        int ra;
        cv::Point b;
        int rb;
    };
    const std::vector<Blob> blobs = {{{20, 20}, 4, {24, 22}, 4}, {{20, 42}, 4, {23, 46}, 4},
                                     {{50, 20}, 5, {52, 25}, 5}, {{50, 45}, 5, {56, 45}, 5},
                                     {{175, 15}, 4, {180, 18}, 5}, {{175, 45}, 5, {170, 47}, 5},
                                     {{205, 15}, 5, {204, 21}, 5}, {{205, 47}, 5, {200, 44}, 4}};
    DrawnField field(230, 60);
    for (const Blob& blob : blobs) {
        field.cell(blob.a, blob.ra, false);
        field.cell(blob.b, blob.rb, false);
    }
    const std::vector<cv::Point> cells = {{80, 30}, {88, 33}, {140, 30}, {147, 36}};
    field.cell(cells[0], 8, true);
    field.cell(cells[1], 6, true);
    field.cell(cells[2], 7, true);
    field.cell(cells[3], 7, true);
    const std::vector<cv::Vec3f> circles = detectCircles(field.grey(), engineArgs(7, 24, 5, 5));
    for (const Blob& blob : blobs) {
        const cv::Point2f middle = (cv::Point2f(blob.a) + cv::Point2f(blob.b)) / 2;
        EXPECT_LE(std::count_if(circles.begin(), circles.end(),
                                [&](const cv::Vec3f& c) { return std::hypot(c[0] - middle.x, c[1] - middle.y) < 8; }),
                  1)
            << "blob at " << middle;
    }
    EXPECT_EQ(tally(circles, cells).first, std::vector<bool>(cells.size(), true));
}

TEST(Detector, CellsHiddenByTouchingNeighboursOrTheFrameBorderAreFound)
{
    // A cross of five touching cells: the middle one shows little of its own
    // outline. Three cells cut by the frame's edges.
    DrawnField field(160, 110);
    const std::vector<cv::Point> cells = {{60, 55}, {45, 55}, {75, 55}, {60, 40}, {60, 70},
                                          {3, 20},  {130, 2}, {157, 100}};
    for (const cv::Point& c : cells)
        field.cell(c, 8, true);
    const std::vector<cv::Vec3f> circles = detectCircles(field.grey(), engineArgs(7, 24, 5, 5));
    const auto [found, elsewhere] = tally(circles, cells);
    EXPECT_EQ(found, std::vector<bool>(cells.size(), true));
    EXPECT_EQ(elsewhere, 0);
}

// A generated slide with half its cells in clusters (a tuning seed), made once.
const slide::Slide& clumpySlide()
{
    static const slide::Slide s = [] {
        slide::SlideParams p;
        p.seed = 101;
        p.cellCount = 1500;
        p.liveFraction = 0.5;
        p.clusterFraction = 0.5;
        return slide::generateSlide(p);
    }();
    return s;
}

TEST(Detector, CellsOfAClumpThatHideEachOtherAreFoundInAnyOrder)
{
    // Four cells of a generated slide overlap so that none shows enough of its
    // own outline to be kept before another is. Mirrored, they are examined
    // in other orders.
    const slide::Slide& s = clumpySlide();
    const cv::Rect crop(552, 547, 80, 80);
    const DetectorArgs args = engineArgs(7, 24, 5, 5);
    for (int flip : {2, 0, 1, -1}) {  // none, about the x axis, the y axis, both
        cv::Mat grey = green(s.rgb)(crop).clone();
        if (flip != 2)
            cv::flip(grey, grey, flip);
        std::vector<cv::Point> cells;
        for (const slide::SlideCell& c : s.truth) {
            cv::Point at(cvRound(c.x) - crop.x, cvRound(c.y) - crop.y);
            if (!crop.contains({cvRound(c.x), cvRound(c.y)}))
                continue;
            if (flip != 0 && flip != 2)
                at.x = crop.width - 1 - at.x;
            if (flip <= 0)
                at.y = crop.height - 1 - at.y;
            cells.push_back(at);
        }
        ASSERT_EQ(cells.size(), 5u);  // the clump and a cell beside it
        const auto [found, elsewhere] = tally(detectCircles(grey, args), cells);
        EXPECT_EQ(found, std::vector<bool>(cells.size(), true)) << "flip " << flip;
        EXPECT_EQ(elsewhere, 0) << "flip " << flip;
    }
}

TEST(Detector, CellsInTheMiddleOfTightClumpsAreFound)
{
    // Cells of a generated slide whose outline shows only between neighbours
    // overlapping them; the accumulator gives them no peak of their own beside
    // the neighbours' votes, or too little of their outline shows.
    const slide::Slide& s = clumpySlide();
    const DetectorArgs args = engineArgs(7, 24, 5, 5);
    // Two cells in the middle of clumps, and one of a pair overlapping each other.
    for (const cv::Point middle : {cv::Point(752, 696), cv::Point(186, 1902), cv::Point(570, 451)}) {
        const cv::Rect crop = cv::Rect(middle.x - 40, middle.y - 40, 80, 80) & cv::Rect(0, 0, s.rgb.cols, s.rgb.rows);
        // Cells cut by the crop's edge count too.
        const cv::Rect reach(crop.x - 12, crop.y - 12, crop.width + 24, crop.height + 24);
        std::vector<cv::Point> cells;
        for (const slide::SlideCell& c : s.truth)
            if (reach.contains({cvRound(c.x), cvRound(c.y)}))
                cells.emplace_back(cvRound(c.x) - crop.x, cvRound(c.y) - crop.y);
        const std::vector<cv::Vec3f> circles = detectCircles(green(s.rgb)(crop).clone(), args);
        const auto [found, elsewhere] = tally(circles, cells);
        const auto it = std::min_element(cells.begin(), cells.end(), [&](const cv::Point& a, const cv::Point& b) {
            return cv::norm(a - (middle - crop.tl())) < cv::norm(b - (middle - crop.tl()));
        });
        EXPECT_TRUE(found[static_cast<size_t>(it - cells.begin())]) << "cell at " << middle;
        EXPECT_EQ(elsewhere, 0) << "clump at " << middle;
    }
}

TEST(Detector, RingsBrokenByNoiseAreFoundAndNoiseMakesNoCircles)
{
    // Strong noise leaves Canny edges all over the frame: many point at some
    // centre by chance, and the cells' rims break up. The cells are found and
    // no circle comes from the noise alone; a lobed blob is still refused at
    // a noise level that already covers the frame with circles of chance.
    const std::vector<cv::Point> cells = {{50, 50}, {160, 60}, {260, 50}, {60, 180}, {260, 190}};
    const struct
    {
        double noise;
        bool blob;
    } cases[] = {{0, true}, {14, true}, {20, false}, {32, false}};
    for (const auto& c : cases) {
        DrawnField field(320, 240);
        for (size_t i = 0; i < cells.size(); ++i)
            field.cell(cells[i], 7 + static_cast<int>(i % 3), i % 2 == 0);
        if (c.blob)
            field.shape(star(160, 170, 9, 3, 0.25), 70);  // three lobes
        const std::vector<cv::Vec3f> circles = detectCircles(field.grey(c.noise), engineArgs(7, 24, 5, 5));
        const auto [found, elsewhere] = tally(circles, cells);
        EXPECT_EQ(found, std::vector<bool>(cells.size(), true)) << "noise " << c.noise;
        EXPECT_EQ(elsewhere, 0) << "noise " << c.noise << ", blob " << c.blob;
    }
}

TEST(Detector, ResultIsTheSameInOrderWithAnyNumberOfThreadsAndWithGivenEdgeMaps)
{
    slide::SlideParams p;
    p.seed = 3;
    p.cellCount = 1500;
    p.clusterFraction = 0.2;
    const cv::Mat grey = green(slide::generateSlide(p).rgb);
    const DetectorArgs args = engineArgs(7, 24, 5, 5);

    const std::vector<cv::Vec3f> first = detectCircles(grey, args);
    const int threads = cv::getNumThreads();
    cv::setNumThreads(1);
    const std::vector<cv::Vec3f> single = detectCircles(grey, args);
    cv::setNumThreads(threads);
    EXPECT_EQ(first, single);
    EXPECT_EQ(first, detectCircles(grey, args));
    // The same with the edge maps made beforehand, as the engine hands them over.
    DetectorArgs withMaps = args;
    cv::Sobel(grey, withMaps.dx, CV_16S, 1, 0, 3, 1, 0, cv::BORDER_REPLICATE);
    cv::Sobel(grey, withMaps.dy, CV_16S, 0, 1, 3, 1, 0, cv::BORDER_REPLICATE);
    cv::Canny(withMaps.dx, withMaps.dy, withMaps.edges, args.param1 / 2, args.param1, false);
    EXPECT_EQ(first, detectCircles(grey, withMaps));
    // Row by row, then left to right.
    EXPECT_TRUE(std::is_sorted(first.begin(), first.end(), [](const cv::Vec3f& a, const cv::Vec3f& b) {
        return cvRound(a[1]) != cvRound(b[1]) ? cvRound(a[1]) < cvRound(b[1]) : a[0] < b[0];
    }));
}

}  // namespace
