#include "mfxsoft/color.h"

#include <cstring>

namespace mfxsoft {
namespace {

// BT.601 limited range in 16-bit fixed point:
//   Y  = 16  + ( 65.481 R + 128.553 G +  24.966 B) / 255
//   Cb = 128 + (-37.797 R -  74.203 G + 112.000 B) / 255
//   Cr = 128 + (112.000 R -  93.786 G -  18.214 B) / 255
constexpr int kShift = 16;
constexpr int kYR = 16829, kYG = 33039, kYB = 6416;       // round(c / 255 * 65536)
constexpr int kUR = -9714, kUG = -19070, kUB = 28784;
constexpr int kVR = 28784, kVG = -24103, kVB = -4681;
constexpr int kYOffset = (16 << kShift) + (1 << (kShift - 1));
// Chroma from the sum of four pixels: two more bits of shift.
constexpr int kCOffset4 = (128 << (kShift + 2)) + (1 << (kShift + 1));

inline uint8_t Luma(int b, int g, int r) {
    return static_cast<uint8_t>((kYR * r + kYG * g + kYB * b + kYOffset) >> kShift);
}

// One pair of rows (row1 may equal row0 at an odd bottom edge) and `width`
// pixels of `bpp` bytes (B, G, R first); writes 2 luma rows and 1 chroma row.
// Written so that the compiler vectorises the inner loop over pixel pairs.
// `secondRow` is a template argument so the loop has no branch and vectorises.
template <bool secondRow, int bpp>
void ConvertRowPair(const uint8_t* __restrict row0, const uint8_t* __restrict row1, int width,
                    uint8_t* __restrict y0, uint8_t* __restrict y1, uint8_t* __restrict uv) {
    const int pairs = width / 2;
    for (int i = 0; i < pairs; ++i) {
        const uint8_t* a = row0 + 2 * bpp * i;
        const uint8_t* c = row1 + 2 * bpp * i;
        int b0 = a[0], g0 = a[1], r0 = a[2], b1 = a[bpp], g1 = a[bpp + 1], r1 = a[bpp + 2];
        int b2 = c[0], g2 = c[1], r2 = c[2], b3 = c[bpp], g3 = c[bpp + 1], r3 = c[bpp + 2];
        y0[2 * i] = Luma(b0, g0, r0);
        y0[2 * i + 1] = Luma(b1, g1, r1);
        if constexpr (secondRow) {
            y1[2 * i] = Luma(b2, g2, r2);
            y1[2 * i + 1] = Luma(b3, g3, r3);
        }
        int sb = b0 + b1 + b2 + b3, sg = g0 + g1 + g2 + g3, sr = r0 + r1 + r2 + r3;
        uv[2 * i] = static_cast<uint8_t>((kUR * sr + kUG * sg + kUB * sb + kCOffset4) >> (kShift + 2));
        uv[2 * i + 1] = static_cast<uint8_t>((kVR * sr + kVG * sg + kVB * sb + kCOffset4) >> (kShift + 2));
    }
    if (width & 1) {  // last column alone: its 1x2 block counts twice
        const uint8_t* a = row0 + bpp * (width - 1);
        const uint8_t* c = row1 + bpp * (width - 1);
        y0[width - 1] = Luma(a[0], a[1], a[2]);
        if constexpr (secondRow) y1[width - 1] = Luma(c[0], c[1], c[2]);
        int sb = 2 * (a[0] + c[0]), sg = 2 * (a[1] + c[1]), sr = 2 * (a[2] + c[2]);
        uv[width - 1] = static_cast<uint8_t>((kUR * sr + kUG * sg + kUB * sb + kCOffset4) >> (kShift + 2));
        uv[width] = static_cast<uint8_t>((kVR * sr + kVG * sg + kVB * sb + kCOffset4) >> (kShift + 2));
    }
}

// Repeats the last written column of a luma row (step 1) or chroma row (step 2).
void PadRow(uint8_t* row, int written, int total, int step) {
    for (int x = written; x < total; x += step) std::memcpy(row + x, row + written - step, static_cast<size_t>(step));
}

template <int bpp>
void ConvertPackedToNv12(const PackedBgrView& src, const Nv12View& dst) {
    const int w = src.width;
    const int h = src.height;
    // Chroma columns actually written: an odd width writes one pair more.
    const int uvWritten = (w + 1) / 2 * 2;
    for (int row = 0; row < h; row += 2) {
        const bool second = row + 1 < h;
        const uint8_t* row0 = src.data + static_cast<size_t>(row) * src.pitch;
        const uint8_t* row1 = second ? row0 + src.pitch : row0;
        uint8_t* y0 = dst.y + static_cast<size_t>(row) * dst.yPitch;
        uint8_t* y1 = y0 + dst.yPitch;
        uint8_t* uv = dst.uv + static_cast<size_t>(row / 2) * dst.uvPitch;
        if (second) {
            ConvertRowPair<true, bpp>(row0, row1, w, y0, y1, uv);
        } else {
            ConvertRowPair<false, bpp>(row0, row1, w, y0, y1, uv);
        }
        if (w < dst.width) {
            PadRow(y0, w, dst.width, 1);
            if (second) PadRow(y1, w, dst.width, 1);
            PadRow(uv, uvWritten, dst.width, 2);
        }
    }
    // Rows below the picture repeat its last row (luma) and last chroma row.
    for (int row = h; row < dst.height; ++row) {
        std::memcpy(dst.y + static_cast<size_t>(row) * dst.yPitch, dst.y + static_cast<size_t>(h - 1) * dst.yPitch,
                    static_cast<size_t>(dst.width));
    }
    const int uvRows = (h + 1) / 2;
    for (int row = uvRows; row < dst.height / 2; ++row) {
        std::memcpy(dst.uv + static_cast<size_t>(row) * dst.uvPitch,
                    dst.uv + static_cast<size_t>(uvRows - 1) * dst.uvPitch, static_cast<size_t>(dst.width));
    }
}

}  // namespace

void ConvertBgr24ToNv12(const Bgr24View& src, const Nv12View& dst) { ConvertPackedToNv12<3>(src, dst); }

void ConvertBgra32ToNv12(const Bgra32View& src, const Nv12View& dst) { ConvertPackedToNv12<4>(src, dst); }

Yuv ReferenceBt601(double r, double g, double b) {
    return Yuv{16.0 + (65.481 * r + 128.553 * g + 24.966 * b) / 255.0,
               128.0 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255.0,
               128.0 + (112.0 * r - 93.786 * g - 18.214 * b) / 255.0};
}

}  // namespace mfxsoft
