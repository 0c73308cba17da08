// RGB to NV12 and P010 conversion of the pre-processing stage: BT.601 or
// BT.709, limited range, chroma sited between the pixels of each 2x2 block.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/cpu.h"

namespace mfxsoft {

// The YCbCr matrix of a conversion; the values index coefficients::kMatrices.
enum class ColourMatrix { kBt601 = 0, kBt709 = 1 };

// A packed RGB picture in the Windows byte order, `pitch` bytes from one row
// to the next: B, G, R per pixel for "RGB3" frames (Bgr24View), B, G, R, A
// for "RGB4" frames (Bgra32View, alpha ignored).
struct PackedBgrView {
    const uint8_t* data;
    size_t pitch;
    int width;
    int height;
};
using Bgr24View = PackedBgrView;
using Bgra32View = PackedBgrView;

// An NV12 destination: a luma plane and an interleaved Cb/Cr plane of half
// height. `width` x `height` is the area to fill; it must be even in both
// directions.
struct Nv12View {
    uint8_t* y;
    size_t yPitch;
    uint8_t* uv;
    size_t uvPitch;
    int width;
    int height;
};

// Converts `src` into the top-left corner of `dst` and fills the rest of
// `dst` (right and bottom, up to its even size) by repeating the last column
// and row, so the encoder sees no garbage behind the crop. Chroma is the
// average of each 2x2 block; at an odd edge the block has fewer pixels.
// Requires src.width <= dst.width and src.height <= dst.height, both >= 1.
void ConvertBgr24ToNv12(const Bgr24View& src, const Nv12View& dst, ColourMatrix matrix = ColourMatrix::kBt601);
// The same for 32-bit pixels; gives exactly the bytes ConvertBgr24ToNv12
// gives for the same B, G, R values.
void ConvertBgra32ToNv12(const Bgra32View& src, const Nv12View& dst, ColourMatrix matrix = ColourMatrix::kBt601);

// The conversion with the vector code of `level` (kScalar: none), which the
// processor must have (see platform::BestSimdLevel); `bytesPerPixel` 3 or 4.
// Every level gives the same bytes: the tests and benchmarks compare them.
void ConvertToNv12With(platform::SimdLevel level, const PackedBgrView& src, int bytesPerPixel, const Nv12View& dst,
                       ColourMatrix matrix = ColourMatrix::kBt601);

// A P010 destination: like Nv12View, but each sample is 16 bits
// (little-endian) holding a 10-bit value, in the high bits (`shift` 1, the
// layout of Intel's hardware surfaces) or in the low bits (`shift` 0).
// Pitches are in bytes.
struct P010View {
    uint8_t* y;
    size_t yPitch;
    uint8_t* uv;
    size_t uvPitch;
    int width;
    int height;
    int shift;
};

// Converts `src` (3 or 4 bytes a pixel, as above) to 10-bit limited range:
// luma 64..940, chroma 64..960, the 8-bit formula scaled by four. Fills and
// pads `dst` as ConvertBgr24ToNv12 does. Scalar: ten-bit output is the rare case.
void ConvertToP010(const PackedBgrView& src, int bytesPerPixel, const P010View& dst,
                   ColourMatrix matrix = ColourMatrix::kBt601);

// The reference formula in floating point, one pixel; used by the tests and
// the benchmark to check the fast path.
struct Yuv {
    double y, cb, cr;
};
Yuv ReferenceBt601(double r, double g, double b);
Yuv ReferenceYuv(ColourMatrix matrix, double r, double g, double b);

}  // namespace mfxsoft
