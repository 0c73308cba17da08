#include "encode/row_copy.h"

#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <tmmintrin.h>
#define TARVO_ROW_COPY_X86 1
#endif

namespace {

#if TARVO_ROW_COPY_X86
// 16 pixels at a time: three 16-byte loads hold 48 source bytes; each group
// of 12 is shuffled into four B, G, R, A pixels with the alpha byte forced
// to 255. Only whole groups are read, so nothing beyond the row is touched.
__attribute__((target("ssse3"))) void ExpandBgrRowSsse3(const uint8_t* src, uint8_t* dst, int width) {
    const __m128i shuffle = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const uint8_t* s = src + 3 * x;
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32));
        const __m128i p0 = a;                          // bytes 0..11
        const __m128i p1 = _mm_alignr_epi8(b, a, 12);  // bytes 12..23
        const __m128i p2 = _mm_alignr_epi8(c, b, 8);   // bytes 24..35
        const __m128i p3 = _mm_srli_si128(c, 4);       // bytes 36..47
        __m128i* d = reinterpret_cast<__m128i*>(dst + 4 * x);
        _mm_storeu_si128(d, _mm_or_si128(_mm_shuffle_epi8(p0, shuffle), alpha));
        _mm_storeu_si128(d + 1, _mm_or_si128(_mm_shuffle_epi8(p1, shuffle), alpha));
        _mm_storeu_si128(d + 2, _mm_or_si128(_mm_shuffle_epi8(p2, shuffle), alpha));
        _mm_storeu_si128(d + 3, _mm_or_si128(_mm_shuffle_epi8(p3, shuffle), alpha));
    }
    ExpandBgrRowReference(src + 3 * x, dst + 4 * x, width - x);
}

using ExpandFn = void (*)(const uint8_t*, uint8_t*, int);

ExpandFn ChooseExpand() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") ? ExpandBgrRowSsse3 : ExpandBgrRowReference;
}
#endif

}  // namespace

void ExpandBgrRowReference(const uint8_t* src, uint8_t* dst, int width) {
    for (int x = 0; x < width; ++x) {
        dst[4 * x] = src[3 * x];
        dst[4 * x + 1] = src[3 * x + 1];
        dst[4 * x + 2] = src[3 * x + 2];
        dst[4 * x + 3] = 255;
    }
}

void ExpandBgrRow(const uint8_t* src, uint8_t* dst, int width) {
#if TARVO_ROW_COPY_X86
    // Chosen once; a static's initialisation is thread-safe.
    static const ExpandFn expand = ChooseExpand();
    expand(src, dst, width);
#else
    ExpandBgrRowReference(src, dst, width);
#endif
}

void FlipCopyRows(const uint8_t* src, size_t srcStride, uint8_t* dst, size_t dstPitch, int rows, size_t rowBytes) {
    for (int row = 0; row < rows; ++row) {
        std::memcpy(dst + static_cast<size_t>(rows - 1 - row) * dstPitch, src + static_cast<size_t>(row) * srcStride,
                    rowBytes);
    }
}

void FlipExpandRows(const uint8_t* src, size_t srcStride, uint8_t* dst, size_t dstPitch, int rows, int width) {
    for (int row = 0; row < rows; ++row) {
        ExpandBgrRow(src + static_cast<size_t>(row) * srcStride, dst + static_cast<size_t>(rows - 1 - row) * dstPitch,
                     width);
    }
}
