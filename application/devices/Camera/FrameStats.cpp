#include "Camera/FrameStats.h"

namespace camera {

namespace {

cv::Mat wrap(const unsigned char* rgb, int width, int height)
{
    return cv::Mat(height, width, CV_8UC3, const_cast<unsigned char*>(rgb));
}

}  // namespace

bool isCorruptFrame(const unsigned char* rgb, int width, int height, float blackRatio, int& green, int& pink,
                    int& black)
{
    green = pink = black = 0;
    const unsigned char* pixel = rgb + static_cast<std::size_t>(width / 2) * 3;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    for (int y = 0; y < height; ++y, pixel += rowBytes) {
        if (pixel[0] == 0) {
            if (pixel[1] >= 101 && pixel[2] == 0)
                ++green;
            else if (pixel[1] == 0 && pixel[2] == 0)
                ++black;
        } else if (pixel[0] == 255 && pixel[1] <= 127 && pixel[2] == 255) {
            ++pink;
        }
    }
    if (green >= 2 || pink >= 2)
        return true;
    return static_cast<float>(black) > static_cast<float>(height) * blackRatio;
}

cv::Scalar channelMeans(const unsigned char* rgb, int width, int height)
{
    return cv::mean(wrap(rgb, width, height));
}

cv::Scalar channelSums(const unsigned char* rgb, int width, int height)
{
    return cv::sum(wrap(rgb, width, height));
}

void channelMeanStdDev(const unsigned char* rgb, int width, int height, cv::Scalar& mean, cv::Scalar& stdDev)
{
    cv::meanStdDev(wrap(rgb, width, height), mean, stdDev);
}

}  // namespace camera
