// Every vector level of the RGB to NV12 conversion against the scalar one,
// byte for byte, checkasm-style: odd and even sizes around the vector block,
// every alignment of the host's row stride, both pixel sizes, random and
// extreme pictures. The picture ends exactly at the end of its allocation,
// so a read beyond the last pixel shows under AddressSanitizer.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "mfxsoft/color.h"

using platform::SimdLevel;

namespace {

struct Output {
    std::vector<uint8_t> y, uv;
};

// Destination of padW x padH with 5 guard bytes per row, filled with 0xEE.
Output Convert(SimdLevel level, const uint8_t* picture, size_t pitch, int bpp, int w, int h, int padW, int padH) {
    const size_t dp = static_cast<size_t>(padW) + 5;
    Output out{std::vector<uint8_t>(dp * padH, 0xEE), std::vector<uint8_t>(dp * padH / 2, 0xEE)};
    mfxsoft::ConvertToNv12With(level, mfxsoft::PackedBgrView{picture, pitch, w, h}, bpp,
                               mfxsoft::Nv12View{out.y.data(), dp, out.uv.data(), dp, padW, padH});
    return out;
}

std::vector<SimdLevel> VectorLevels() {
    std::vector<SimdLevel> levels;
    for (SimdLevel level : {SimdLevel::kSsse3, SimdLevel::kAvx2}) {
        if (level <= platform::BestSimdLevel()) levels.push_back(level);
    }
    return levels;
}

}  // namespace

TEST(ColourConversionSimd, EveryLevelGivesTheScalarBytes) {
    const std::vector<SimdLevel> levels = VectorLevels();
    if (levels.empty()) GTEST_SKIP() << "this processor has no vector level";
    struct Shape {
        int w, h;
    };
    // Around the block sizes (16 pixels for SSSE3, 32 for AVX2) and the
    // "last group must end in the row" bound, odd heights, a real frame row.
    const Shape shapes[] = {{1, 1},  {2, 2},  {5, 3},   {15, 2},  {16, 1},  {17, 5},  {18, 2},  {21, 3},
                            {22, 2}, {31, 4}, {32, 3},  {33, 2},  {35, 1},  {37, 2},  {38, 3},  {47, 2},
                            {63, 3}, {64, 2}, {65, 1},  {66, 2},  {70, 5},  {129, 3}, {1366, 2}, {1921, 3}};
    std::mt19937 random(16);
    for (const int bpp : {3, 4}) {
        for (const Shape& s : shapes) {
            // Every alignment of the start and of the stride modulo 32.
            for (int align = 0; align < 32; ++align) {
                const size_t pitch = static_cast<size_t>(s.w) * bpp + align;
                const size_t size = align + pitch * (s.h - 1) + static_cast<size_t>(s.w) * bpp;
                std::vector<uint8_t> buffer(size);
                // Odd alignments get extremes only (sums at their limits), even ones any byte.
                for (auto& b : buffer) b = static_cast<uint8_t>(align % 2 ? (random() & 1) * 255 : random());
                const uint8_t* picture = buffer.data() + align;
                const int padW = (s.w + 1 + align % 3) & ~1, padH = (s.h + 1 + align % 5) & ~1;
                const Output expected = Convert(SimdLevel::kScalar, picture, pitch, bpp, s.w, s.h, padW, padH);
                for (SimdLevel level : levels) {
                    const Output got = Convert(level, picture, pitch, bpp, s.w, s.h, padW, padH);
                    ASSERT_EQ(got.y, expected.y) << "luma, level " << static_cast<int>(level) << ", " << bpp
                                                 << " bytes, " << s.w << "x" << s.h << ", alignment " << align;
                    ASSERT_EQ(got.uv, expected.uv) << "chroma, level " << static_cast<int>(level) << ", " << bpp
                                                   << " bytes, " << s.w << "x" << s.h << ", alignment " << align;
                }
            }
        }
    }
}
