#pragma once

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

// Synthetic bright-field slides with known truth, for the engine's tests, the
// benchmarks, the evaluation tool and the simulated camera. Everything is drawn
// from one seed, so the same parameters always give the same pixels.
namespace slide {

struct SlideParams
{
    int width = 2592;
    int height = 1944;
    std::uint64_t seed = 1;

    int cellCount = 300;
    double liveFraction = 0.8;   // share of live (unstained) cells
    double minDiameter = 8.0;    // outer rim diameter range, pixels
    double maxDiameter = 20.0;
    double ellipticity = 0.08;   // largest 1 - minor/major axis ratio
    double clusterFraction = 0.1;  // share of cells placed in touching clusters
    int maxClusterSize = 4;
    double minGap = 3.0;         // least free space between separate objects, pixels

    int debrisCount = 40;        // small dark specks, below the cell sizes

    double background = 196.0;   // grey level of the brightest background
    double gradient = 0.12;      // relative illumination fall-off across the frame
    double contrast = 1.0;       // 1 = typical cells; smaller is fainter
    double blur = 0.0;           // defocus, Gaussian sigma in pixels (optics add 0.7)
    double noise = 2.5;          // sensor noise sigma, grey levels
};

// One cell of the truth. Cells of a cluster share `cluster` (>= 1); isolated
// cells have 0.
struct SlideCell
{
    float x = 0;             // centre, pixels (pixel centres at integers)
    float y = 0;
    float diameter = 0;      // major axis of the outer rim, pixels
    float minorDiameter = 0;
    float angle = 0;         // major axis direction, degrees
    bool live = true;
    int cluster = 0;
};

struct Slide
{
    cv::Mat rgb;                   // CV_8UC3, channels red, green, blue as the camera delivers
    std::vector<SlideCell> truth;  // in placement order
};

// The whole slide: layout, light, optics and noise from params. Fewer cells
// than asked are placed only when the frame is too crowded to keep them apart.
Slide generateSlide(const SlideParams& params);

// A QC target: dark discs (grey level 30) of `diameter` pixels at `centres`
// on an even field of `background`, sharp and without noise (the camera adds
// both), with the discs as its truth. Centres off the frame draw nothing.
Slide drawTarget(int width, int height, const std::vector<cv::Point2f>& centres, double diameter,
                 double background = 196.0);

// The truth as CSV: a header line, then one line per cell.
void writeTruthCsv(std::ostream& out, const std::vector<SlideCell>& truth);

}  // namespace slide
