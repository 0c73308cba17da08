// BT.601 limited range in 16-bit fixed point, shared by the scalar and the
// vector conversion so that both give the same bytes:
//   Y  = 16  + ( 65.481 R + 128.553 G +  24.966 B) / 255
//   Cb = 128 + (-37.797 R -  74.203 G + 112.000 B) / 255
//   Cr = 128 + (112.000 R -  93.786 G -  18.214 B) / 255
#pragma once

namespace mfxsoft::coefficients {

constexpr int kShift = 16;
constexpr int kYR = 16829, kYG = 33039, kYB = 6416;  // round(c / 255 * 65536)
constexpr int kUR = -9714, kUG = -19070, kUB = 28784;
constexpr int kVR = 28784, kVG = -24103, kVB = -4681;
constexpr int kYOffset = (16 << kShift) + (1 << (kShift - 1));
// Chroma from the sum of four pixels: two more bits of shift.
constexpr int kCOffset4 = (128 << (kShift + 2)) + (1 << (kShift + 1));

}  // namespace mfxsoft::coefficients
