#pragma once

#include "TempRoot.h"

#include <opencv2/core.hpp>

#include <QString>

// A root with the image sensor's bus, the calibration register order of the
// settings loader and a generated slide at the simulated camera's focus.
class CameraRoot : public TempRoot
{
public:
    static constexpr int kFocus = 32000;

    CameraRoot();

    // Writes the simulated microcontroller's state file.
    void setStage(int position, int brightness = 225) const;
    // A generated 1280 × 960 slide (the same for every test), as RGB.
    static const cv::Mat& slide();
};

// A generated 1280 × 960 slide of small cells (5 to 10 px) without noise, as RGB.
cv::Mat previewSlide(int cellCount);
// The Brenner gradient of an 8-bit plane: the sum of (I(r, c + 2) - I(r, c))².
double brenner(const cv::Mat& plane);
// The green plane of an RGB24 frame.
cv::Mat greenPlane(const unsigned char* rgb, int width, int height);
