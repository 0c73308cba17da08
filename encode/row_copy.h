// Copies of the host's bottom-up 24-bit rows into a VPP-input surface,
// turned upright: as they are (RGB3 surfaces) or widened to B, G, R, 255
// (RGB4 surfaces, for runtimes whose VPP refuses 24-bit input). They run on
// every frame, so the widening has a vectorised path where the processor
// has one; the plain reference below it defines the result.
#pragma once
#include <cstddef>
#include <cstdint>

// Copies `rows` rows of `rowBytes` bytes: source row i (at i * srcStride)
// becomes destination row rows - 1 - i (at that times dstPitch).
void FlipCopyRows(const uint8_t* src, size_t srcStride, uint8_t* dst, size_t dstPitch, int rows, size_t rowBytes);

// The same turn for `width` pixels a row, each 3-byte B, G, R pixel written
// as the 4 bytes B, G, R, 255. Padding after a row is not touched.
void FlipExpandRows(const uint8_t* src, size_t srcStride, uint8_t* dst, size_t dstPitch, int rows, int width);

// One row widened, the fastest way this processor allows.
void ExpandBgrRow(const uint8_t* src, uint8_t* dst, int width);

// One row widened byte by byte: the reference the fast path must equal.
void ExpandBgrRowReference(const uint8_t* src, uint8_t* dst, int width);
