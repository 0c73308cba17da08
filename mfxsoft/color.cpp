#include "mfxsoft/color.h"

#include <cstring>

#include "mfxsoft/color_coefficients.h"
#include "mfxsoft/color_simd.h"

namespace mfxsoft {
namespace {

using namespace coefficients;

template <int m>
inline uint8_t Luma(int b, int g, int r) {
    constexpr Matrix M = kMatrices[m];
    return static_cast<uint8_t>((M.yr * r + M.yg * g + M.yb * b + kYOffset) >> kShift);
}

template <int m>
inline uint8_t Cb4(int sb, int sg, int sr) {
    constexpr Matrix M = kMatrices[m];
    return static_cast<uint8_t>((M.ur * sr + M.ug * sg + M.ub * sb + kCOffset4) >> (kShift + 2));
}

template <int m>
inline uint8_t Cr4(int sb, int sg, int sr) {
    constexpr Matrix M = kMatrices[m];
    return static_cast<uint8_t>((M.vr * sr + M.vg * sg + M.vb * sb + kCOffset4) >> (kShift + 2));
}

// One pair of rows (row1 may equal row0 at an odd bottom edge) and `width`
// pixels of `bpp` bytes (B, G, R first); writes 2 luma rows and 1 chroma row.
// Written so that the compiler vectorises the inner loop over pixel pairs.
// `secondRow` is a template argument so the loop has no branch and vectorises.
template <bool secondRow, int bpp, int m>
void ConvertRowPair(const uint8_t* __restrict row0, const uint8_t* __restrict row1, int width,
                    uint8_t* __restrict y0, uint8_t* __restrict y1, uint8_t* __restrict uv) {
    const int pairs = width / 2;
    for (int i = 0; i < pairs; ++i) {
        const uint8_t* a = row0 + 2 * bpp * i;
        const uint8_t* c = row1 + 2 * bpp * i;
        int b0 = a[0], g0 = a[1], r0 = a[2], b1 = a[bpp], g1 = a[bpp + 1], r1 = a[bpp + 2];
        int b2 = c[0], g2 = c[1], r2 = c[2], b3 = c[bpp], g3 = c[bpp + 1], r3 = c[bpp + 2];
        y0[2 * i] = Luma<m>(b0, g0, r0);
        y0[2 * i + 1] = Luma<m>(b1, g1, r1);
        if constexpr (secondRow) {
            y1[2 * i] = Luma<m>(b2, g2, r2);
            y1[2 * i + 1] = Luma<m>(b3, g3, r3);
        }
        int sb = b0 + b1 + b2 + b3, sg = g0 + g1 + g2 + g3, sr = r0 + r1 + r2 + r3;
        uv[2 * i] = Cb4<m>(sb, sg, sr);
        uv[2 * i + 1] = Cr4<m>(sb, sg, sr);
    }
    if (width & 1) {  // last column alone: its 1x2 block counts twice
        const uint8_t* a = row0 + bpp * (width - 1);
        const uint8_t* c = row1 + bpp * (width - 1);
        y0[width - 1] = Luma<m>(a[0], a[1], a[2]);
        if constexpr (secondRow) y1[width - 1] = Luma<m>(c[0], c[1], c[2]);
        int sb = 2 * (a[0] + c[0]), sg = 2 * (a[1] + c[1]), sr = 2 * (a[2] + c[2]);
        uv[width - 1] = Cb4<m>(sb, sg, sr);
        uv[width] = Cr4<m>(sb, sg, sr);
    }
}

// Repeats the last written column of a luma row (step 1) or chroma row (step 2).
void PadRow(uint8_t* row, int written, int total, int step) {
    for (int x = written; x < total; x += step) std::memcpy(row + x, row + written - step, static_cast<size_t>(step));
}

template <int bpp, int m>
void ConvertPackedToNv12(const PackedBgrView& src, const Nv12View& dst, platform::SimdLevel level) {
    // The vector step converts what it can of each row pair; the scalar step
    // the rest (an odd last column, a tail shorter than a vector block).
    const Nv12RowKernel pairKernel = FindNv12RowKernel(level, bpp, true, static_cast<ColourMatrix>(m));
    const Nv12RowKernel loneKernel = FindNv12RowKernel(level, bpp, false, static_cast<ColourMatrix>(m));
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
        const Nv12RowKernel kernel = second ? pairKernel : loneKernel;
        const int done = kernel != nullptr ? kernel(row0, row1, w, y0, y1, uv) : 0;
        const size_t skip = static_cast<size_t>(done) * bpp;
        if (second) {
            ConvertRowPair<true, bpp, m>(row0 + skip, row1 + skip, w - done, y0 + done, y1 + done, uv + done);
        } else {
            ConvertRowPair<false, bpp, m>(row0 + skip, row1 + skip, w - done, y0 + done, y1 + done, uv + done);
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

template <int bpp>
void ConvertPacked(const PackedBgrView& src, const Nv12View& dst, platform::SimdLevel level, ColourMatrix matrix) {
    if (matrix == ColourMatrix::kBt709) {
        ConvertPackedToNv12<bpp, 1>(src, dst, level);
    } else {
        ConvertPackedToNv12<bpp, 0>(src, dst, level);
    }
}

}  // namespace

void ConvertBgr24ToNv12(const Bgr24View& src, const Nv12View& dst, ColourMatrix matrix) {
    ConvertPacked<3>(src, dst, platform::BestSimdLevel(), matrix);
}

void ConvertBgra32ToNv12(const Bgra32View& src, const Nv12View& dst, ColourMatrix matrix) {
    ConvertPacked<4>(src, dst, platform::BestSimdLevel(), matrix);
}

void ConvertToNv12With(platform::SimdLevel level, const PackedBgrView& src, int bytesPerPixel, const Nv12View& dst,
                       ColourMatrix matrix) {
    if (bytesPerPixel == 4) {
        ConvertPacked<4>(src, dst, level, matrix);
    } else {
        ConvertPacked<3>(src, dst, level, matrix);
    }
}

Yuv ReferenceBt601(double r, double g, double b) { return ReferenceYuv(ColourMatrix::kBt601, r, g, b); }

Yuv ReferenceYuv(ColourMatrix matrix, double r, double g, double b) {
    // Straight from the luma weights, without the fixed-point rounding.
    const double kr = matrix == ColourMatrix::kBt709 ? 0.2126 : 0.299;
    const double kb = matrix == ColourMatrix::kBt709 ? 0.0722 : 0.114;
    const double kg = 1.0 - kr - kb;
    const double y = (kr * r + kg * g + kb * b) / 255.0;
    return Yuv{16.0 + 219.0 * y, 128.0 + 224.0 * (b / 255.0 - y) / (2.0 * (1.0 - kb)),
               128.0 + 224.0 * (r / 255.0 - y) / (2.0 * (1.0 - kr))};
}

}  // namespace mfxsoft
