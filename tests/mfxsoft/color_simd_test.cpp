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
Output Convert(SimdLevel level, const uint8_t* picture, size_t pitch, int bpp, int w, int h, int padW, int padH,
               mfxsoft::ColourMatrix matrix = mfxsoft::ColourMatrix::kBt601) {
    const size_t dp = static_cast<size_t>(padW) + 5;
    Output out{std::vector<uint8_t>(dp * padH, 0xEE), std::vector<uint8_t>(dp * padH / 2, 0xEE)};
    mfxsoft::ConvertToNv12With(level, mfxsoft::PackedBgrView{picture, pitch, w, h}, bpp,
                               mfxsoft::Nv12View{out.y.data(), dp, out.uv.data(), dp, padW, padH}, matrix);
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
    for (const auto matrix : {mfxsoft::ColourMatrix::kBt601, mfxsoft::ColourMatrix::kBt709})
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
                const Output expected =
                    Convert(SimdLevel::kScalar, picture, pitch, bpp, s.w, s.h, padW, padH, matrix);
                for (SimdLevel level : levels) {
                    const Output got = Convert(level, picture, pitch, bpp, s.w, s.h, padW, padH, matrix);
                    ASSERT_EQ(got.y, expected.y) << "matrix " << static_cast<int>(matrix) << ", luma, level " << static_cast<int>(level) << ", " << bpp
                                                 << " bytes, " << s.w << "x" << s.h << ", alignment " << align;
                    ASSERT_EQ(got.uv, expected.uv) << "chroma, level " << static_cast<int>(level) << ", " << bpp
                                                   << " bytes, " << s.w << "x" << s.h << ", alignment " << align;
                }
            }
        }
    }
}

// Flat patches of named colours through each matrix at every level (scalar
// included) against the floating-point formula: within one code value. The
// patch is wider than two AVX2 blocks so the vector step converts most of it.
TEST(ColourConversionSimd, ColourTableMatchesTheReferenceAtEveryLevel) {
    struct Colour {
        const char* name;
        uint8_t r, g, b;
    };
    const Colour table[] = {
        {"black", 0, 0, 0},           {"white", 255, 255, 255},     {"grey 25%", 64, 64, 64},
        {"grey 50%", 128, 128, 128},  {"grey 75%", 191, 191, 191},  {"red", 255, 0, 0},
        {"green", 0, 255, 0},         {"blue", 0, 0, 255},          {"cyan", 0, 255, 255},
        {"magenta", 255, 0, 255},     {"yellow", 255, 255, 0},      {"bar yellow 75%", 191, 191, 0},
        {"bar cyan 75%", 0, 191, 191}, {"bar green 75%", 0, 191, 0}, {"skin light", 255, 219, 172},
        {"skin medium", 224, 172, 105}, {"skin tan", 198, 134, 66}, {"skin dark", 141, 85, 36},
        {"skin deep", 92, 51, 23},
    };
    std::vector<SimdLevel> levels = VectorLevels();
    levels.insert(levels.begin(), SimdLevel::kScalar);
    constexpr int kW = 70, kH = 4;
    for (const auto matrix : {mfxsoft::ColourMatrix::kBt601, mfxsoft::ColourMatrix::kBt709}) {
        for (const Colour& c : table) {
            const mfxsoft::Yuv ref = mfxsoft::ReferenceYuv(matrix, c.r, c.g, c.b);
            for (const int bpp : {3, 4}) {
                std::vector<uint8_t> picture(static_cast<size_t>(kW) * kH * bpp);
                for (size_t p = 0; p < picture.size(); p += bpp) {
                    picture[p] = c.b;
                    picture[p + 1] = c.g;
                    picture[p + 2] = c.r;
                    if (bpp == 4) picture[p + 3] = 0xFF;
                }
                for (SimdLevel level : levels) {
                    const Output out = Convert(level, picture.data(), static_cast<size_t>(kW) * bpp, bpp, kW, kH, kW, kH,
                                               matrix);
                    const size_t dp = kW + 5;
                    for (int x = 0; x < kW; ++x) {
                        SCOPED_TRACE(::testing::Message() << c.name << ", matrix " << static_cast<int>(matrix)
                                                          << ", level " << static_cast<int>(level) << ", " << bpp
                                                          << " bytes, x " << x);
                        EXPECT_NEAR(out.y[x], ref.y, 1.0);
                        EXPECT_NEAR(out.y[dp + x], ref.y, 1.0);
                        EXPECT_NEAR(out.uv[x], x % 2 == 0 ? ref.cb : ref.cr, 1.0);
                    }
                }
            }
        }
    }
}

// The two matrices differ where the issue was seen (greens, cyans) and agree
// on greys: a conversion that ignored the matrix would pass the table above
// for neither or both, never for one.
TEST(ColourConversionSimd, MatricesDifferOnGreenAndAgreeOnGrey) {
    const mfxsoft::Yuv green601 = mfxsoft::ReferenceYuv(mfxsoft::ColourMatrix::kBt601, 0, 255, 0);
    const mfxsoft::Yuv green709 = mfxsoft::ReferenceYuv(mfxsoft::ColourMatrix::kBt709, 0, 255, 0);
    EXPECT_GT(green709.y - green601.y, 20.0);
    const mfxsoft::Yuv grey601 = mfxsoft::ReferenceYuv(mfxsoft::ColourMatrix::kBt601, 100, 100, 100);
    const mfxsoft::Yuv grey709 = mfxsoft::ReferenceYuv(mfxsoft::ColourMatrix::kBt709, 100, 100, 100);
    EXPECT_NEAR(grey601.y, grey709.y, 1e-9);
    EXPECT_NEAR(grey709.cb, 128.0, 1e-9);
    EXPECT_NEAR(grey709.cr, 128.0, 1e-9);
}
