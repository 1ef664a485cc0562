#include "SimulatedVideoInternal.h"

#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform::videosim {

namespace {

// Grey level of an empty, evenly lit field at the reference light.
constexpr double kBareField = 196.0;

inline std::uint8_t clip8(double v)
{
    return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

}  // namespace

cv::Mat fitSlide(const cv::Mat& slide, cv::Size size)
{
    if (slide.empty())
        return cv::Mat(size, CV_8UC3, cv::Scalar::all(kBareField));
    if (slide.size() == size)
        return slide.clone();
    cv::Mat fitted;
    const bool shrinking = size.width < slide.cols && size.height < slide.rows;
    cv::resize(slide, fitted, size, 0, 0, shrinking ? cv::INTER_AREA : cv::INTER_LINEAR);
    return fitted;
}

cv::Mat defocus(const cv::Mat& image, double sigma)
{
    if (sigma < 0.01)
        return image;
    cv::Mat blurred;
    cv::GaussianBlur(image, blurred, cv::Size(), sigma, sigma, cv::BORDER_REFLECT);
    return blurred;
}

void exposeYuyv(const cv::Mat& image, const cv::Vec3d& gains, double noiseSigma, std::uint64_t seed,
                std::uint8_t* yuyv)
{
    CV_Assert(image.type() == CV_8UC3 && image.cols % 2 == 0);
    const int width = image.cols;
    cv::parallel_for_(cv::Range(0, image.rows), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            // One stream per row keeps the noise independent of the threading.
            cv::RNG rng(seed * 1000003u + static_cast<std::uint64_t>(y) + 1);
            const std::uint8_t* in = image.ptr<std::uint8_t>(y);
            std::uint8_t* out = yuyv + static_cast<std::size_t>(y) * width * 2;
            for (int x = 0; x < width; x += 2, in += 6, out += 4) {
                double rgb[2][3];
                for (int p = 0; p < 2; ++p) {
                    for (int c = 0; c < 3; ++c) {
                        const double v = in[p * 3 + c] * gains[c] + rng.gaussian(noiseSigma);
                        rgb[p][c] = std::clamp(std::round(v), 0.0, 255.0);
                    }
                }
                const double r = (rgb[0][0] + rgb[1][0]) / 2, g = (rgb[0][1] + rgb[1][1]) / 2,
                             b = (rgb[0][2] + rgb[1][2]) / 2;
                out[0] = clip8(16 + (65.481 * rgb[0][0] + 128.553 * rgb[0][1] + 24.966 * rgb[0][2]) / 255);
                out[1] = clip8(128 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255);
                out[2] = clip8(16 + (65.481 * rgb[1][0] + 128.553 * rgb[1][1] + 24.966 * rgb[1][2]) / 255);
                out[3] = clip8(128 + (112.0 * r - 93.786 * g - 18.214 * b) / 255);
            }
        }
    });
}

void corruptYuyv(std::uint8_t* yuyv, int width, int height, SimulatedVideo::Corruption kind,
                 double share)
{
    const int rows = static_cast<int>(std::lround(std::clamp(share, 0.0, 1.0) * height));
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 2;
    std::uint8_t* first = yuyv + (height - rows) * rowBytes;
    const std::size_t bytes = rows * rowBytes;
    switch (kind) {
    case SimulatedVideo::Corruption::None:
        break;
    case SimulatedVideo::Corruption::Green:  // a buffer the sensor never filled
        std::memset(first, 0x00, bytes);
        break;
    case SimulatedVideo::Corruption::Pink:
        std::memset(first, 0xFF, bytes);
        break;
    case SimulatedVideo::Corruption::Black:
        for (std::size_t i = 0; i < bytes; i += 2) {
            first[i] = 16;
            first[i + 1] = 128;
        }
        break;
    }
}

double exposureFactor(unsigned exposure, unsigned gain)
{
    // Bits 0-3 of the gain add sixteenths; every higher bit doubles.
    double factor = 1.0 + (gain & 0x0F) / 16.0;
    for (unsigned bits = (gain >> 4) & 0x3F; bits; bits >>= 1) {
        if (bits & 1)
            factor *= 2;
    }
    return factor * exposure / SimulatedVideo::kReferenceExposure;
}

double whiteBalanceFactor(unsigned value)
{
    return (value & 0x0FFF) / double(0x400);
}

}  // namespace platform::videosim
