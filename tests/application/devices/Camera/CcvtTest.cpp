#include "Camera/ccvt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

struct Yuyv
{
    unsigned char y, u, v;
};

struct Rgb
{
    int r, g, b;
};

// One pixel pair with equal luma, converted in `mode`.
std::vector<unsigned char> convert(const Yuyv& in, int mode, int bytesPerPixel)
{
    const unsigned char src[4] = {in.y, in.u, in.y, in.v};
    std::vector<unsigned char> dst(2 * bytesPerPixel, 0xEE);
    ccvt_yuyv(2, 1, src, dst.data(), mode);
    return dst;
}

}  // namespace

TEST(Ccvt, Bt601IntegerCoefficientsWithClamps)
{
    const struct {
        Yuyv in;
        Rgb out;
    } cases[] = {
        {{128, 128, 128}, {128, 128, 128}},  // neutral grey
        {{255, 128, 255}, {255, 164, 255}},  // R saturates at 255 (65536 or more)
        {{0, 255, 128}, {0, 0, 225}},        // G negative clamps to 0; B = 454·127 >> 8
        {{0, 128, 128}, {0, 0, 0}},          // below 256 is 0
        {{1, 128, 128}, {1, 1, 1}},          // exactly 256 is 1
        {{16, 0, 0}, {0, 151, 0}},           // R and B negative; G = 4096 + 11264 + 23424
        {{100, 90, 200}, {200, 61, 32}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.in.y) << "," << int(c.in.u) << "," << int(c.in.v));
        const unsigned char r = c.out.r, g = c.out.g, b = c.out.b;
        EXPECT_EQ(convert(c.in, 1, 3), (std::vector<unsigned char>{r, g, b, r, g, b}));
        EXPECT_EQ(convert(c.in, 2, 3), (std::vector<unsigned char>{b, g, r, b, g, r}));
        EXPECT_EQ(convert(c.in, 3, 4), (std::vector<unsigned char>{r, g, b, 0, r, g, b, 0}));
        EXPECT_EQ(convert(c.in, 4, 4), (std::vector<unsigned char>{b, g, r, 0, b, g, r, 0}));
    }
}

TEST(Ccvt, EachPixelUsesItsOwnLumaAndThePairsChroma)
{
    const unsigned char src[8] = {10, 128, 200, 128, 50, 128, 60, 128};
    unsigned char rgb[12] = {};
    unsigned char bgr[12] = {};
    ccvt_yuyv_rgb24(2, 2, src, rgb);
    ccvt_yuyv_bgr24(2, 2, src, bgr);
    const unsigned char expected[12] = {10, 10, 10, 200, 200, 200, 50, 50, 50, 60, 60, 60};
    EXPECT_TRUE(std::equal(rgb, rgb + 12, expected));
    EXPECT_TRUE(std::equal(bgr, bgr + 12, expected));
}

TEST(Ccvt, UnknownModesAndEmptyImagesWriteNothing)
{
    const unsigned char src[4] = {128, 128, 128, 128};
    for (int mode : {0, 5, -1}) {
        unsigned char dst[8] = {7, 7, 7, 7, 7, 7, 7, 7};
        ccvt_yuyv(2, 1, src, dst, mode);
        EXPECT_TRUE(std::all_of(dst, dst + 8, [](unsigned char v) { return v == 7; })) << mode;
    }
    unsigned char dst[8] = {7, 7, 7, 7, 7, 7, 7, 7};
    ccvt_yuyv(0, 1, src, dst, 1);
    ccvt_yuyv(2, 0, src, dst, 1);
    EXPECT_TRUE(std::all_of(dst, dst + 8, [](unsigned char v) { return v == 7; }));
}

// A 3×1 image has 6 source bytes; its last pixel's V byte would lie outside.
TEST(Ccvt, ReadsOnlyInsideTheSourceForAnOddPixelCount)
{
    std::vector<unsigned char> src = {128, 128, 128, 128, 90, 90};
    src.shrink_to_fit();
    unsigned char dst[9] = {};
    std::fill(dst, dst + 9, 7);
    ccvt_yuyv(3, 1, src.data(), dst, 1);
    const unsigned char expected[9] = {128, 128, 128, 128, 128, 128, 7, 7, 7};
    EXPECT_TRUE(std::equal(dst, dst + 9, expected));
}
