#include "mfxsoft/color_simd.h"

#include <cstddef>
#include <cstdint>

#include "mfxsoft/color_coefficients.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#define MFXSOFT_COLOR_X86 1
#endif

namespace mfxsoft {
namespace {

#if MFXSOFT_COLOR_X86
using namespace coefficients;

inline int PackPair(int low, int high) { return static_cast<int>((static_cast<unsigned>(high) << 16) | (low & 0xFFFF)); }

// Each instruction set's code is compiled for that set alone (no global -m
// flags), so the rest of the library runs on any x86 processor. Nothing from
// a header may be defined inside these regions: an inline function compiled
// here could be picked by the linker for callers on older processors.
#pragma GCC push_options
#pragma GCC target("ssse3")
namespace ssse3 {

using V = __m128i;
constexpr int kLanes = 1;
inline V Load(const uint8_t* p, size_t) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store(uint8_t* p, V v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline V Broadcast128(const int8_t* bytes) { return _mm_load_si128(reinterpret_cast<const __m128i*>(bytes)); }
inline V Pair16(int low, int high) { return _mm_set1_epi32(PackPair(low, high)); }
inline V Set32(int value) { return _mm_set1_epi32(value); }
inline V Shuffle(V a, V mask) { return _mm_shuffle_epi8(a, mask); }
inline V Madd(V a, V b) { return _mm_madd_epi16(a, b); }
inline V Add16(V a, V b) { return _mm_add_epi16(a, b); }
inline V Add32(V a, V b) { return _mm_add_epi32(a, b); }
inline V HAdd32(V a, V b) { return _mm_hadd_epi32(a, b); }
inline V Sra32(V a, int n) { return _mm_srai_epi32(a, n); }
inline V UnpackLo32(V a, V b) { return _mm_unpacklo_epi32(a, b); }
inline V UnpackHi32(V a, V b) { return _mm_unpackhi_epi32(a, b); }
inline V Packs32(V a, V b) { return _mm_packs_epi32(a, b); }
inline V Packus16(V a, V b) { return _mm_packus_epi16(a, b); }
#include "mfxsoft/color_simd_rows.inc"

}  // namespace ssse3
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx2")
namespace avx2 {

using V = __m256i;
constexpr int kLanes = 2;
inline V Load(const uint8_t* p, size_t laneStride) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + laneStride));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}
inline void Store(uint8_t* p, V v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
inline V Broadcast128(const int8_t* bytes) {
    return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(bytes)));
}
inline V Pair16(int low, int high) { return _mm256_set1_epi32(PackPair(low, high)); }
inline V Set32(int value) { return _mm256_set1_epi32(value); }
inline V Shuffle(V a, V mask) { return _mm256_shuffle_epi8(a, mask); }
inline V Madd(V a, V b) { return _mm256_madd_epi16(a, b); }
inline V Add16(V a, V b) { return _mm256_add_epi16(a, b); }
inline V Add32(V a, V b) { return _mm256_add_epi32(a, b); }
inline V HAdd32(V a, V b) { return _mm256_hadd_epi32(a, b); }
inline V Sra32(V a, int n) { return _mm256_srai_epi32(a, n); }
inline V UnpackLo32(V a, V b) { return _mm256_unpacklo_epi32(a, b); }
inline V UnpackHi32(V a, V b) { return _mm256_unpackhi_epi32(a, b); }
inline V Packs32(V a, V b) { return _mm256_packs_epi32(a, b); }
inline V Packus16(V a, V b) { return _mm256_packus_epi16(a, b); }
#include "mfxsoft/color_simd_rows.inc"

}  // namespace avx2
#pragma GCC pop_options

// [level - 1][matrix][bytesPerPixel - 3][secondRow]
#define MFXSOFT_KERNELS(ns, m)                                                 \
    {{ns::ConvertRows<3, false, m>, ns::ConvertRows<3, true, m>},              \
     {ns::ConvertRows<4, false, m>, ns::ConvertRows<4, true, m>}}
constexpr Nv12RowKernel kKernels[2][2][2][2] = {
    {MFXSOFT_KERNELS(ssse3, 0), MFXSOFT_KERNELS(ssse3, 1)},
    {MFXSOFT_KERNELS(avx2, 0), MFXSOFT_KERNELS(avx2, 1)},
};
#undef MFXSOFT_KERNELS
#endif

}  // namespace

Nv12RowKernel FindNv12RowKernel(platform::SimdLevel level, int bytesPerPixel, bool secondRow, ColourMatrix matrix) {
#if MFXSOFT_COLOR_X86
    const int index = static_cast<int>(level) - 1;
    if (index < 0 || index > 1 || (bytesPerPixel != 3 && bytesPerPixel != 4)) return nullptr;
    return kKernels[index][matrix == ColourMatrix::kBt709 ? 1 : 0][bytesPerPixel - 3][secondRow ? 1 : 0];
#else
    (void)level;
    (void)bytesPerPixel;
    (void)secondRow;
    (void)matrix;
    return nullptr;
#endif
}

}  // namespace mfxsoft
