#include "Camera/FrameStats.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 960;

struct Pixel
{
    unsigned char r, g, b;
};

constexpr Pixel kGreen{0, 101, 0};
constexpr Pixel kPink{255, 127, 255};
constexpr Pixel kBlack{0, 0, 0};

struct CorruptCase
{
    const char* name;
    std::vector<std::pair<Pixel, int>> centre;  // colour and number of rows, from the top
    bool offCentre;                             // the same pixels one column to the left
    int green, pink, black;
    bool bad;
};

class CorruptFrame : public ::testing::TestWithParam<CorruptCase> {};

TEST_P(CorruptFrame, CentreColumnDecides)
{
    const CorruptCase& c = GetParam();
    std::vector<unsigned char> frame(kWidth * kHeight * 3, 128);
    const int column = kWidth / 2 - (c.offCentre ? 1 : 0);
    int row = 0;
    for (const auto& [pixel, rows] : c.centre) {
        for (int i = 0; i < rows; ++i, ++row) {
            unsigned char* p = &frame[(row * kWidth + column) * 3];
            p[0] = pixel.r;
            p[1] = pixel.g;
            p[2] = pixel.b;
        }
    }
    int green = -1, pink = -1, black = -1;
    EXPECT_EQ(camera::isCorruptFrame(frame.data(), kWidth, kHeight, 0.3f, green, pink, black), c.bad);
    EXPECT_EQ(green, c.green);
    EXPECT_EQ(pink, c.pink);
    EXPECT_EQ(black, c.black);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CorruptFrame,
    ::testing::Values(
        CorruptCase{"clean", {}, false, 0, 0, 0, false},
        CorruptCase{"oneGreenOnePink", {{kGreen, 1}, {kPink, 1}}, false, 1, 1, 0, false},
        CorruptCase{"twoGreen", {{kGreen, 2}}, false, 2, 0, 0, true},
        CorruptCase{"twoPink", {{kPink, 2}}, false, 0, 2, 0, true},
        CorruptCase{"twoGreenWithoutBlack", {{kGreen, 2}, {kBlack, 0}}, false, 2, 0, 0, true},
        CorruptCase{"black288", {{kBlack, 288}}, false, 0, 0, 288, false},
        CorruptCase{"black289", {{kBlack, 289}}, false, 0, 0, 289, true},
        CorruptCase{"almostGreen", {{Pixel{0, 100, 0}, 5}, {Pixel{1, 200, 0}, 5}}, false, 0, 0, 0, false},
        CorruptCase{"almostPink", {{Pixel{255, 128, 255}, 5}, {Pixel{255, 0, 254}, 5}}, false, 0, 0, 0, false},
        CorruptCase{"offCentre", {{kGreen, 5}, {kBlack, 500}}, true, 0, 0, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FrameStats, ChannelMeansInPixelOrder)
{
    std::vector<unsigned char> frame;
    for (int i = 0; i < 4 * 2; ++i)
        frame.insert(frame.end(), {10, 20, static_cast<unsigned char>(i % 2 ? 40 : 20)});
    const cv::Scalar mean = camera::channelMeans(frame.data(), 4, 2);
    EXPECT_DOUBLE_EQ(mean[0], 10);
    EXPECT_DOUBLE_EQ(mean[1], 20);
    EXPECT_DOUBLE_EQ(mean[2], 30);
    cv::Scalar m, s;
    camera::channelMeanStdDev(frame.data(), 4, 2, m, s);
    EXPECT_DOUBLE_EQ(s[0], 0);
    EXPECT_DOUBLE_EQ(s[2], 10);
}

}  // namespace
