#pragma once

#include <opencv2/core.hpp>

// Checks and statistics of packed RGB24 camera frames (width × height pixels,
// three bytes each, rows back to back). Channel 0 is the first byte of a pixel.
namespace camera {

// Counts, in the centre column (width / 2), the pixels of the colours a
// corrupt transfer leaves: green (0, >= 101, 0), pink (255, <= 127, 255) and
// black (0, 0, 0). A frame is corrupt with two or more green or pink pixels,
// or with black in more than `blackRatio` of the rows.
bool isCorruptFrame(const unsigned char* rgb, int width, int height, float blackRatio, int& green, int& pink,
                    int& black);

// The three channel means, and their standard deviations.
cv::Scalar channelMeans(const unsigned char* rgb, int width, int height);
// Exact for any frame size the camera has (at most 255 × 5 MP per channel).
cv::Scalar channelSums(const unsigned char* rgb, int width, int height);
void channelMeanStdDev(const unsigned char* rgb, int width, int height, cv::Scalar& mean, cv::Scalar& stdDev);

}  // namespace camera
