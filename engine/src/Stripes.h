#pragma once

// Whole-frame work split into stripes of rows for OpenCV's threads. Each
// stripe reads its border rows from the whole image, so results are the same
// as in one piece and for any number of threads.

#include <opencv2/core.hpp>
#include <opencv2/core/utility.hpp>

#include <algorithm>

namespace VelimBio {

// Rows per stripe of the whole-frame steps.
constexpr int kStripeRows = 64;

// Runs f(first row, end row) over stripes of `height` rows, in parallel.
template <typename F>
void forEachStripe(int rows, int height, F&& f)
{
    const int stripes = (rows + height - 1) / height;
    cv::parallel_for_(cv::Range(0, stripes), [&](const cv::Range& r) {
        for (int i = r.start; i < r.end; ++i)
            f(i * height, std::min(rows, (i + 1) * height));
    });
}

// to = a copy of from (to keeps its buffer when it has the size and type).
void copyInStripes(const cv::Mat& from, cv::Mat& to);

// The 3 × 3 derivatives d/dx and d/dy (16-bit, borders replicated) of an
// 8-bit image into dx and dy.
void sobelInStripes(const cv::Mat& image, cv::Mat& dx, cv::Mat& dy);

}  // namespace VelimBio
