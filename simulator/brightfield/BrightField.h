#pragma once

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

// A second bright-field renderer, written apart from the slide generator so
// that the engine can be judged on pictures it was not shaped on: its own
// cell and debris models and its own optics and sensor.
//
// Objects are drawn supersampled (4 × 4 per pixel) as transmission maps: live
// cells a dark refractive rim with a bright halo outside and a bright, grainy
// core; trypan-blue dead cells dark or pale blue with a thin membrane; cells
// alone or in touching clumps, strung on or packed tight; debris
// of cell size and contrast that is not round (lobed blobs, rods, clumps of
// specks, blobs of overlapping discs); specks below cell size. The light
// field is uneven (an off-centre fall-off, a tilt and out-of-focus dust), the
// optics a diffraction blur and, out of focus, a defocus disc over the whole
// field; the sensor counts photons (shot and read noise, pixel gain spread,
// analog gain) on a Bayer mosaic that is then demosaiced. The same parameters
// give the same pixels.
namespace brightfield {

struct SceneParams
{
    std::uint64_t seed = 1;
    int width = 2592;
    int height = 1944;
    double micronsPerPixel = 1.4 / 1.431;  // object side, the instrument's lens

    // What lies on the slide.
    int cells = 300;
    double minDiameterUm = 8.0;
    double maxDiameterUm = 20.0;
    double liveFraction = 0.75;
    double paleDeadShare = 0.35;   // dead cells only lightly stained
    double clumpedShare = 0.1;     // cells in touching clumps
    int largestClump = 6;          // clumps hold 2 to this many cells
    // Packed clumps nest each new cell in the hollow between two members, so
    // that cells have several neighbours each, touching or overlapping by up
    // to `clumpOverlap` of the smaller diameter; otherwise cells are strung on
    // at random, each against one member.
    bool packedClumps = false;
    double clumpOverlap = 0.15;
    int debris = 0;                // cell-sized objects that are not cells
    int specks = 30;               // particles below cell size
    // Small irregular blobs: two to four dark discs overlapping into one body
    // 6 to 16 pixels across, arcs of circles all round.
    int discBlobs = 0;
    double contrast = 1.0;         // scales every object's departure from clear
    double rimScale = 1.0;         // scales the width of live cells' refractive rim

    // Light, optics, sensor.
    double background = 190.0;     // grey level of the brightest clear glass
    double unevenness = 0.12;      // share of the light lost at the darkest point
    int dust = 2;                  // out-of-focus dust shadows on the light path
    double defocusDof = 0.0;       // distance from focus in depths of field
    double gain = 1.0;             // analog gain; the exposure shrinks by as much, so the
                                   // noise on clear glass grows as its square root
};

// Pixels per depth of field: the defocus disc's diameter is this times twice
// the distance from focus in depths of field (the disc is one circle of
// confusion, 1.5 px, at half a depth of field).
constexpr double kCircleOfConfusionPx = 1.5;

// One cell of the truth; pixel centres at integer coordinates.
struct TrueCell
{
    float x = 0;
    float y = 0;
    float diameter = 0;       // outer edge, major axis, pixels
    float minorDiameter = 0;
    float angle = 0;          // degrees
    bool live = true;
    bool pale = false;        // dead and only lightly stained
    int clump = 0;            // >= 1 for cells of a touching clump
};

struct Rendered
{
    cv::Mat rgb;                  // CV_8UC3, red, green, blue as the camera delivers
    std::vector<TrueCell> cells;  // every cell, wholly inside the frame
};

Rendered render(const SceneParams& params);

}  // namespace brightfield
