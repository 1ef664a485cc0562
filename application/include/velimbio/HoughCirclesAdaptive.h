#pragma once

#include <opencv2/core.hpp>

#include <vector>

namespace VelimBio {

// Circle detector for bright-field cell frames: dark-rimmed round objects on
// a bright background. Arguments follow the gradient method of the published
// circle transform; the contract the counting engine relies on:
//   image        8-bit single-channel frame
//   circles      out: (centre x, centre y, radius) in image pixels, distinct
//                candidates (one per object), deterministic order
//   method       cv::HOUGH_GRADIENT
//   dp, minDist  accumulator resolution (1.0) and minimum centre distance
//                as a fraction of the smaller radius (0.7)
//   param1       Canny high threshold of the noise-reduction level (60..600)
//   param2       accumulator threshold (18 at detection level 1 .. 1 at 10):
//                lower finds more, fainter objects
//   minRadius, maxRadius   inclusive radius range in pixels
//   edgeDirection  gradient sign rule: negative means rims are dark when
//                seen from outside in (the image brightens towards the centre)
//   flagA, flagB   see the implementation
void HoughCirclesAdaptive(const cv::Mat& image, std::vector<cv::Vec3f>& circles, int method, double dp,
                          double minDist, double param1, double param2, int minRadius, int maxRadius,
                          int edgeDirection, bool flagA, bool flagB);

}  // namespace VelimBio
