#pragma once

#include "Slide.h"

#include <vector>

namespace slide {

// A found object to hold against the truth.
struct Detection
{
    float x = 0;
    float y = 0;
    float diameter = 0;
};

// How well a list of detections matches a slide's truth. A detection belongs
// to the nearest true cell whose outline holds its centre; a cell takes the
// nearest such detection, further ones on it are duplicates.
struct Match
{
    int truthCount = 0;
    int foundCount = 0;
    int matched = 0;            // cells with a detection
    int duplicates = 0;         // detections on a cell that already has one
    double recall = 0;          // matched / truth (1 for an empty truth)
    double precision = 0;       // matched / found (1 when nothing was found)
    double maxCentreError = 0;  // pixels, over matched cells
    double meanDiameterError = 0;     // found - true, pixels, mean over matched cells
    double meanAbsDiameterError = 0;
    std::vector<int> cellOf;    // per detection: index of its true cell, -1 for none or a duplicate
};

Match matchDetections(const std::vector<SlideCell>& truth, const std::vector<Detection>& found);

// Detections from circles given as (centre x, centre y, radius).
std::vector<Detection> fromCircles(const std::vector<cv::Vec3f>& circles);

}  // namespace slide
