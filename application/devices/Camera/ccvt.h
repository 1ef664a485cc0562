#pragma once

// Packed YUYV 4:2:2 to RGB in integer arithmetic (ITU-R BT.601 full range,
// coefficients scaled by 256). `src` holds `height` rows of `width` pixels back
// to back, two pixels in the four bytes Y0 U Y1 V; `dst` receives the pixels
// in `mode`'s layout:
//   1: R G B   2: B G R   3: R G B 0   4: B G R 0
// Any other mode writes nothing. Only the width × height × 2 source bytes are
// read; an odd last pixel, which has no V byte in the image, is not written.
void ccvt_yuyv(int width, int height, const unsigned char* src, unsigned char* dst, int mode);
void ccvt_yuyv_rgb24(int width, int height, const unsigned char* src, unsigned char* dst);
void ccvt_yuyv_bgr24(int width, int height, const unsigned char* src, unsigned char* dst);
