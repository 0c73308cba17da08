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

// Ten bits: the same matrix with every output scaled by four, which the
// coefficients carry exactly (219, 224 and the offsets all multiply by 4).
constexpr int kYOffset10 = (64 << kShift) + (1 << (kShift - 1));
constexpr int kCOffset10 = (512 << (kShift + 2)) + (1 << (kShift + 1));

inline void Store16(uint8_t* at, int value, int shift) {
    const uint16_t sample = static_cast<uint16_t>(value << (shift != 0 ? 6 : 0));
    std::memcpy(at, &sample, 2);
}

template <int bpp, int m>
void ConvertPackedToP010(const PackedBgrView& src, const P010View& dst) {
    constexpr Matrix M = kMatrices[m];
    const int w = src.width, h = src.height, shift = dst.shift;
    auto luma = [&M](const uint8_t* p) { return (4 * (M.yr * p[2] + M.yg * p[1] + M.yb * p[0]) + kYOffset10) >> kShift; };
    for (int row = 0; row < h; row += 2) {
        const uint8_t* row0 = src.data + static_cast<size_t>(row) * src.pitch;
        const uint8_t* row1 = row + 1 < h ? row0 + src.pitch : row0;
        uint8_t* y0 = dst.y + static_cast<size_t>(row) * dst.yPitch;
        uint8_t* y1 = y0 + dst.yPitch;
        uint8_t* uv = dst.uv + static_cast<size_t>(row / 2) * dst.uvPitch;
        for (int x = 0; x < w; ++x) {
            Store16(y0 + 2 * x, luma(row0 + bpp * x), shift);
            if (row + 1 < h) Store16(y1 + 2 * x, luma(row1 + bpp * x), shift);
        }
        for (int x = 0; x < w; x += 2) {
            // The 2x2 block; at an odd right edge the last column counts twice.
            const uint8_t* a = row0 + bpp * x;
            const uint8_t* c = row1 + bpp * x;
            const int next = x + 1 < w ? bpp : 0;
            const int sb = a[0] + a[next] + c[0] + c[next];
            const int sg = a[1] + a[next + 1] + c[1] + c[next + 1];
            const int sr = a[2] + a[next + 2] + c[2] + c[next + 2];
            Store16(uv + 2 * x, (4 * (M.ur * sr + M.ug * sg + M.ub * sb) + kCOffset10) >> (kShift + 2), shift);
            Store16(uv + 2 * x + 2, (4 * (M.vr * sr + M.vg * sg + M.vb * sb) + kCOffset10) >> (kShift + 2), shift);
        }
        // Right of the picture: the last column (luma) and the last chroma pair.
        const int uvWritten = (w + 1) / 2 * 2;
        for (int x = w; x < dst.width; ++x) {
            std::memcpy(y0 + 2 * x, y0 + 2 * (w - 1), 2);
            if (row + 1 < h) std::memcpy(y1 + 2 * x, y1 + 2 * (w - 1), 2);
        }
        for (int x = uvWritten; x < dst.width; x += 2) std::memcpy(uv + 2 * x, uv + 2 * (uvWritten - 2), 4);
    }
    // Rows below the picture repeat its last luma and chroma rows.
    const size_t rowBytes = static_cast<size_t>(dst.width) * 2;
    for (int row = h; row < dst.height; ++row) {
        std::memcpy(dst.y + static_cast<size_t>(row) * dst.yPitch, dst.y + static_cast<size_t>(h - 1) * dst.yPitch, rowBytes);
    }
    const int uvRows = (h + 1) / 2;
    for (int row = uvRows; row < dst.height / 2; ++row) {
        std::memcpy(dst.uv + static_cast<size_t>(row) * dst.uvPitch,
                    dst.uv + static_cast<size_t>(uvRows - 1) * dst.uvPitch, rowBytes);
    }
}

template <int bpp>
void ConvertP010(const PackedBgrView& src, const P010View& dst, ColourMatrix matrix) {
    if (matrix == ColourMatrix::kBt709) {
        ConvertPackedToP010<bpp, 1>(src, dst);
    } else {
        ConvertPackedToP010<bpp, 0>(src, dst);
    }
}

}  // namespace

void ConvertToP010(const PackedBgrView& src, int bytesPerPixel, const P010View& dst, ColourMatrix matrix) {
    if (bytesPerPixel == 4) {
        ConvertP010<4>(src, dst, matrix);
    } else {
        ConvertP010<3>(src, dst, matrix);
    }
}

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
