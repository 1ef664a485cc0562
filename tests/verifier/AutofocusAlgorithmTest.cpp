#include "Algorithm/VerifierAutofocus.h"

#include <gtest/gtest.h>

#include <cstdint>

using verifier::alg_Autofocus;
using verifier::AutoFocusingData_s;

// The sweep's choice: the first of the highest values; 0 when none is above 0.
TEST(VerifierAutofocus, ChoosesTheFirstHighestSample)
{
    const struct {
        std::vector<double> values;
        size_t best;
    } cases[] = {
        {{1, 5, 3, 5, 2}, 1},
        {{0, 0, 0}, 0},
        {{-1, -2}, 0},
        {{2, 1, 9}, 2},
    };
    for (const auto& c : cases) {
        std::vector<AutoFocusingData_s> data;
        for (double value : c.values)
            data.push_back({value, int(data.size()) * 640});
        size_t best = 99;
        EXPECT_EQ(alg_Autofocus::find_best_focus(data, best), verifier::AutoFocusingResult_Found);
        EXPECT_EQ(best, c.best);
    }
    size_t untouched = 7;
    EXPECT_EQ(alg_Autofocus::find_best_focus({}, untouched), verifier::AutoFocusingResult_NoSample);
    EXPECT_EQ(untouched, 7u);
}

// Stripes of 0 and 255 over a full-resolution plane: a sum far past 32 bits,
// counted whole.
TEST(VerifierAutofocus, BrennerOfAHighContrastFullFrame)
{
    cv::Mat plane(1944, 2592, CV_8UC1);
    for (int c = 0; c < plane.cols; ++c)
        plane.col(c).setTo((c / 2) % 2 ? 255 : 0);
    std::uint64_t reference = 0;
    for (int r = 0; r < plane.rows; ++r) {
        for (int c = 0; c + 2 < plane.cols; ++c) {
            const std::int64_t d = plane.at<uchar>(r, c + 2) - plane.at<uchar>(r, c);
            reference += std::uint64_t(d * d);
        }
    }
    ASSERT_GT(reference, std::uint64_t(UINT32_MAX));
    EXPECT_DOUBLE_EQ(alg_Autofocus::brennerGradient(plane), double(reference) / 1000000.0);
    EXPECT_EQ(alg_Autofocus::brennerGradient(cv::Mat(10, 2, CV_8UC1, cv::Scalar(9))), 0.0);
}
