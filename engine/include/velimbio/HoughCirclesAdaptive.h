#pragma once

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <vector>

namespace VelimBio {

// Circle detector for bright-field cell frames: dark-rimmed round objects
// (about 7 to 24 pixels across at 5 MP) on a bright background.
//
// Each edge pixel of a Canny map (at 0.6 times param1 where the frame is
// quiet, so that faint rims hold together; at param1 where noise covers it
// with edges) votes along its gradient, on the side where the image darkens,
// into an accumulator pooled over 2·dp pixels; local peaks with at least
// param2 votes (summed over 3×3 cells) are candidates. A
// candidate's centre and radius are then fitted to its own rim pixels (those
// whose gradient points at the centre; smaller radii are tried when the best
// fits none) and it is kept when enough of its outline is seen round the
// circle: rim pixels pointing at the centre within 12 degrees, which a cell's
// rim has all round and a lobed blob, a rod or a clump of specks only here
// and there. Where a neighbour presses against it or overlaps it, or the
// frame cuts it, the outline counts as seen. Most complete outlines first
// (and the rest again, as long as that keeps more), a circle is dropped when
// its centre is too close to a kept one, its rim and an overlapping kept
// one's lie on one circle (two lobes of one blob), its rim pixels already
// belong to kept ones, or its rim lies mostly inside kept ones: one circle
// per object.
// Circles that hide each other with none kept first (a clump) are judged
// together, whatever their order, and must show more of their own outline;
// a neighbour whose rim lies roughly on one circle with a circle's (a lobe of
// the same blob) hides none of it.
// Then the edge pixels no kept circle explains, near kept ones, vote again by
// themselves, and their candidates (fitted without the kept rims) are judged
// the same way beside the kept circles. A circle whose outline is seen or
// hidden all round may show a little less of its own.
// The frame's noise is measured once: a rim must outnumber the rim pixels
// noise gives a circle by chance, and the 12 degrees widen with the noise.
//
//   image        8-bit single-channel frame
//   circles      out: (centre x, centre y, radius) in image pixels, one per
//                object, ordered by centre row, then column; empty for an
//                empty or featureless frame
//   method       cv::HOUGH_GRADIENT (the only one)
//   dp           accumulator resolution: one cell per 2·dp pixels (1.0)
//   minDist      two circles are one object when their centres are closer
//                than minDist times the larger radius (0.7)
//   param1       Canny high threshold, L1 gradient (low = param1 / 2), for
//                a noisy frame; a quiet one is read at 0.6 times these
//   param2       votes a peak needs and rim pixels a circle needs; it also
//                sets how much of the outline must be seen (nine tenths at
//                18, three quarters at 10, about half at 1), at least half of
//                that the circle's own: 18 finds only clear objects, 1 also
//                faint, broken and hidden ones
//   minRadius, maxRadius   radius range in pixels, inclusive; returned radii
//                always lie in it
//   edgeDirection  which side of an edge the centre lies on: negative means
//                rims are dark seen from outside in (votes go where the image
//                darkens), positive the opposite, 0 both
//   fitToEdges   fit centre and radius to the rim pixels by least squares
//                (else the accumulator peak and the radius histogram)
//   keepPartial  accept two thirds of the outline param2 asks for (objects cut
//                by the frame border or squeezed in a clump)
void HoughCirclesAdaptive(const cv::Mat& image, std::vector<cv::Vec3f>& circles, int method, double dp,
                          double minDist, double param1, double param2, int minRadius, int maxRadius,
                          int edgeDirection, bool fitToEdges, bool keepPartial);

// The detector's arguments by name (see HoughCirclesAdaptive above); the
// defaults are the values the engine always uses.
struct DetectorArgs
{
    int method = cv::HOUGH_GRADIENT;
    double dp = 1.0;
    double minDist = 0.7;
    double param1 = 0;
    double param2 = 0;
    int minRadius = 0;
    int maxRadius = 0;
    int edgeDirection = 0;
    bool fitToEdges = false;
    bool keepPartial = false;
    // The image's 3 × 3 derivatives d/dx and d/dy (16-bit, borders replicated)
    // and their Canny map at param1 / 2 and param1 (L1), when the caller has
    // made them already (the map is read only for a noisy frame); otherwise
    // (empty, or not of the image's size) the detector makes its own.
    cv::Mat dx, dy, edges;
};

// HoughCirclesAdaptive called with named arguments: the engine's detector
// seam, and what tools and tests call.
std::vector<cv::Vec3f> detectCircles(const cv::Mat& image, const DetectorArgs& args);

}  // namespace VelimBio
