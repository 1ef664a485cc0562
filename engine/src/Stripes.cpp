#include "Stripes.h"

#include <opencv2/imgproc.hpp>

namespace VelimBio {

void copyInStripes(const cv::Mat& from, cv::Mat& to)
{
    to.create(from.size(), from.type());
    forEachStripe(from.rows, kStripeRows, [&](int y0, int y1) {
        from.rowRange(y0, y1).copyTo(to.rowRange(y0, y1));
    });
}

void sobelInStripes(const cv::Mat& image, cv::Mat& dx, cv::Mat& dy)
{
    dx.create(image.size(), CV_16S);
    dy.create(image.size(), CV_16S);
    forEachStripe(image.rows, kStripeRows, [&](int y0, int y1) {
        const cv::Range rows(y0, y1);
        cv::Sobel(image.rowRange(rows), dx.rowRange(rows), CV_16S, 1, 0, 3, 1, 0, cv::BORDER_REPLICATE);
        cv::Sobel(image.rowRange(rows), dy.rowRange(rows), CV_16S, 0, 1, 3, 1, 0, cv::BORDER_REPLICATE);
    });
}

}  // namespace VelimBio
