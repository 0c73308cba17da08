// The RGB to limited-range YCbCr matrices in 16-bit fixed point, shared by the
// scalar and the vector conversion so that both give the same bytes.
// BT.601 (SMPTE 170M):
//   Y  = 16  + ( 65.481 R + 128.553 G +  24.966 B) / 255
//   Cb = 128 + (-37.797 R -  74.203 G + 112.000 B) / 255
//   Cr = 128 + (112.000 R -  93.786 G -  18.214 B) / 255
// BT.709:
//   Y  = 16  + ( 46.559 R + 156.629 G +  15.812 B) / 255
//   Cb = 128 + (-25.664 R -  86.336 G + 112.000 B) / 255
//   Cr = 128 + (112.000 R - 101.730 G -  10.270 B) / 255
// Each entry is round(c / 255 * 65536); one chroma entry per row is nudged so
// the row sums to 0 and greys come out at exactly 128. Every entry, and half
// of the green luma one, fits 16 bits (the vector code multiplies pairs).
#pragma once

namespace mfxsoft::coefficients {

struct Matrix {
    int yr, yg, yb;
    int ur, ug, ub;
    int vr, vg, vb;
};

// Indexed by ColourMatrix (color.h).
constexpr Matrix kMatrices[2] = {
    {16829, 33039, 6416, -9714, -19070, 28784, 28784, -24103, -4681},  // BT.601
    {11966, 40254, 4064, -6596, -22188, 28784, 28784, -26145, -2639},  // BT.709
};

constexpr int kShift = 16;
constexpr int kYOffset = (16 << kShift) + (1 << (kShift - 1));
// Chroma from the sum of four pixels: two more bits of shift.
constexpr int kCOffset4 = (128 << (kShift + 2)) + (1 << (kShift + 1));

}  // namespace mfxsoft::coefficients
