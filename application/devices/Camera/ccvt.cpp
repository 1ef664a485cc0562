#include "Camera/ccvt.h"

namespace {

// A channel value scaled by 256 back to a byte, saturated.
inline unsigned char clampScaled(int value)
{
    if (value >= 65536)
        return 255;
    if (value < 256)
        return 0;
    return static_cast<unsigned char>(value >> 8);
}

struct Layout
{
    int bytesPerPixel;
    bool bgr;
};

bool layoutOf(int mode, Layout& layout)
{
    switch (mode) {
    case 1: layout = {3, false}; return true;
    case 2: layout = {3, true}; return true;
    case 3: layout = {4, false}; return true;
    case 4: layout = {4, true}; return true;
    default: return false;
    }
}

inline void putPixel(unsigned char* out, int y, int u, int v, const Layout& layout)
{
    const int luma = 256 * y;
    const unsigned char r = clampScaled(luma + 359 * (v - 128));
    const unsigned char g = clampScaled(luma - 88 * (u - 128) - 183 * (v - 128));
    const unsigned char b = clampScaled(luma + 454 * (u - 128));
    out[0] = layout.bgr ? b : r;
    out[1] = g;
    out[2] = layout.bgr ? r : b;
    if (layout.bytesPerPixel == 4)
        out[3] = 0;
}

}  // namespace

void ccvt_yuyv(int width, int height, const unsigned char* src, unsigned char* dst, int mode)
{
    Layout layout{};
    if (!layoutOf(mode, layout) || width <= 0 || height <= 0 || !src || !dst)
        return;
    const long pairs = static_cast<long>(width) * height / 2;
    for (long i = 0; i < pairs; ++i) {
        const unsigned char* in = src + 4 * i;
        unsigned char* out = dst + 2 * i * layout.bytesPerPixel;
        putPixel(out, in[0], in[1], in[3], layout);
        putPixel(out + layout.bytesPerPixel, in[2], in[1], in[3], layout);
    }
}

void ccvt_yuyv_rgb24(int width, int height, const unsigned char* src, unsigned char* dst)
{
    ccvt_yuyv(width, height, src, dst, 1);
}

void ccvt_yuyv_bgr24(int width, int height, const unsigned char* src, unsigned char* dst)
{
    ccvt_yuyv(width, height, src, dst, 2);
}
