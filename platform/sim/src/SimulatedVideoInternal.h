#pragma once

#include "platform/SimulatedVideo.h"

#include <QByteArray>
#include <QHash>

#include <opencv2/core.hpp>

#include <cstdint>

// Pieces of the simulated camera shared by its source files only.
namespace platform {

// The "key=value" lines of a small text file under the root (logical path);
// false when it cannot be read.
bool readKeyValues(const QString& logicalPath, QHash<QByteArray, QByteArray>& values);

// Where the slide of the type the settings hold is sharp, for the focus of a
// 2-chamber slide.
int slideTypeFocus(int twoChamberFocus);

// The simulated camera's optics and sensor as plain functions over images.
namespace videosim {

// The slide as the sensor sees it: `slide` (8-bit RGB, any size; empty for a
// bare bright field) scaled to `size`.
cv::Mat fitSlide(const cv::Mat& slide, cv::Size size);

// Defocus: a Gaussian blur of `sigma` pixels (none below a hundredth).
cv::Mat defocus(const cv::Mat& image, double sigma);

// Scales the three channels by `gains`, adds Gaussian noise of `noiseSigma`
// (a stream seeded by `seed`), clips to 8 bits and packs the result as YUYV
// (BT.601 video range) into `yuyv`, width × height × 2 bytes. The width is even.
void exposeYuyv(const cv::Mat& image, const cv::Vec3d& gains, double noiseSigma, std::uint64_t seed,
                std::uint8_t* yuyv);

// Overwrites the bottom `share` of the rows of a YUYV frame as a corrupt
// frame of `kind` shows it.
void corruptYuyv(std::uint8_t* yuyv, int width, int height, SimulatedVideo::Corruption kind,
                 double share);

// The sensor's light factor of its exposure and gain registers, and the
// white-balance factor of a 12-bit gain (0x400 = 1).
double exposureFactor(unsigned exposure, unsigned gain);
double whiteBalanceFactor(unsigned value);

}  // namespace videosim
}  // namespace platform
