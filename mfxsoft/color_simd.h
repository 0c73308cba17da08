// Vector versions of the colour conversion's row-pair step (color.cpp).
#pragma once
#include <cstdint>

#include "mfxsoft/color.h"
#include "platform/cpu.h"

namespace mfxsoft {

// Converts the leading pixels of one pair of source rows (`row1` equals
// `row0` at an odd bottom edge, and then `y1` is not written) exactly as the
// scalar step does: 2 luma rows and 1 interleaved chroma row. Returns how
// many pixels it converted, an even number, possibly 0; the caller converts
// the rest. Never reads beyond `width` pixels of either row.
using Nv12RowKernel = int (*)(const uint8_t* row0, const uint8_t* row1, int width, uint8_t* y0, uint8_t* y1,
                              uint8_t* uv);

// The kernel for `level` and pixels of `bytesPerPixel` (3: B, G, R; 4: B, G,
// R, A) bytes, with or without a second row; null for kScalar, for a level
// this build has no code for, and for other pixel sizes. The caller makes
// sure the processor has `level`.
Nv12RowKernel FindNv12RowKernel(platform::SimdLevel level, int bytesPerPixel, bool secondRow, ColourMatrix matrix);

}  // namespace mfxsoft
