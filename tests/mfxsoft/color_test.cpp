// The RGB3 to NV12 conversion against the BT.601 limited-range formula, on
// random pictures, extreme colours and odd crops, padding included; the P010
// conversion against the same formula at 10 bits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "mfxsoft/color.h"

using mfxsoft::Bgr24View;
using mfxsoft::Bgra32View;
using mfxsoft::ConvertBgr24ToNv12;
using mfxsoft::ConvertBgra32ToNv12;
using mfxsoft::Nv12View;
using mfxsoft::ReferenceBt601;

namespace {

struct Converted {
    int padW, padH;
    std::vector<uint8_t> y, uv;
};

// Converts a w x h picture (pitch with slack) into a destination of padW x padH.
Converted Convert(const std::vector<uint8_t>& bgr, size_t pitch, int w, int h, int padW, int padH) {
    Converted c{padW, padH, std::vector<uint8_t>(static_cast<size_t>(padW + 8) * padH, 0xEE),
                std::vector<uint8_t>(static_cast<size_t>(padW + 8) * padH / 2, 0xEE)};
    ConvertBgr24ToNv12(Bgr24View{bgr.data(), pitch, w, h},
                       Nv12View{c.y.data(), static_cast<size_t>(padW + 8), c.uv.data(), static_cast<size_t>(padW + 8), padW, padH});
    return c;
}

// The largest deviation of any sample from the formula (times `scale`: 1
// for 8 bits, 4 for 10), chroma from the mean of each 2x2 block (fewer pixels
// at an odd edge), the padding repeating the edge. `luma(x, y)` and
// `chroma(bx, by, k)` (k 0: Cb, 1: Cr) read the converted samples.
template <typename Luma, typename Chroma>
double WorstDeviation(const std::vector<uint8_t>& rgb, size_t pitch, int bpp, int w, int h, int padW, int padH,
                      mfxsoft::ColourMatrix matrix, double scale, Luma luma, Chroma chroma) {
    double worst = 0;
    auto px = [&](int x, int y, int k) { return static_cast<double>(rgb[y * pitch + bpp * x + k]); };
    for (int y = 0; y < padH; ++y) {
        for (int x = 0; x < padW; ++x) {
            const int sx = std::min(x, w - 1), sy = std::min(y, h - 1);
            const double expected = scale * mfxsoft::ReferenceYuv(matrix, px(sx, sy, 2), px(sx, sy, 1), px(sx, sy, 0)).y;
            worst = std::max(worst, std::fabs(luma(x, y) - expected));
        }
    }
    for (int by = 0; by < padH / 2; ++by) {
        for (int bx = 0; bx < padW / 2; ++bx) {
            const int x0 = std::min(2 * bx, (w - 1) & ~1), y0 = std::min(2 * by, (h - 1) & ~1);
            double r = 0, g = 0, b = 0;
            for (int k = 0; k < 4; ++k) {
                const int sx = std::min(x0 + k % 2, w - 1), sy = std::min(y0 + k / 2, h - 1);
                r += px(sx, sy, 2) / 4;
                g += px(sx, sy, 1) / 4;
                b += px(sx, sy, 0) / 4;
            }
            const auto ref = mfxsoft::ReferenceYuv(matrix, r, g, b);
            worst = std::max(worst, std::fabs(chroma(bx, by, 0) - scale * ref.cb));
            worst = std::max(worst, std::fabs(chroma(bx, by, 1) - scale * ref.cr));
        }
    }
    return worst;
}

// BT.601 NV12 from 3-byte pixels.
double CheckAgainstReference(const std::vector<uint8_t>& bgr, size_t pitch, int w, int h, const Converted& c) {
    const size_t yp = static_cast<size_t>(c.padW + 8);
    return WorstDeviation(
        bgr, pitch, 3, w, h, c.padW, c.padH, mfxsoft::ColourMatrix::kBt601, 1.0,
        [&](int x, int y) { return static_cast<double>(c.y[y * yp + x]); },
        [&](int bx, int by, int k) { return static_cast<double>(c.uv[by * yp + 2 * bx + k]); });
}

// The picture with each pixel widened to 4 bytes, a random fourth byte.
std::vector<uint8_t> Widen(std::mt19937& random, const std::vector<uint8_t>& bgr, size_t pitch, int w, int h,
                           size_t* widePitch) {
    *widePitch = static_cast<size_t>(w) * 4 + 12;
    std::vector<uint8_t> bgra(*widePitch * h);
    for (auto& b : bgra) b = static_cast<uint8_t>(random());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) std::memcpy(&bgra[y * *widePitch + 4 * x], &bgr[y * pitch + 3 * x], 3);
    }
    return bgra;
}

std::vector<uint8_t> RandomPicture(std::mt19937& random, size_t pitch, int h) {
    std::vector<uint8_t> bgr(pitch * h);
    for (auto& b : bgr) b = static_cast<uint8_t>(random());
    return bgr;
}

}  // namespace

TEST(ColourConversion, RandomPicturesAndOddCropsStayWithinOneCodeValue) {
    std::mt19937 random(7);
    const int sizes[][4] = {
        // crop width, crop height, padded width, padded height
        {64, 32, 64, 32}, {1, 1, 16, 16}, {3, 5, 16, 16},   {17, 9, 32, 16},
        {70, 38, 80, 48}, {641, 3, 656, 16}, {1366, 8, 1376, 16}, {33, 33, 34, 34},
    };
    for (const auto& s : sizes) {
        const size_t pitch = static_cast<size_t>(s[0]) * 3 + 13;  // a pitch with slack
        auto bgr = RandomPicture(random, pitch, s[1]);
        Converted c = Convert(bgr, pitch, s[0], s[1], s[2], s[3]);
        EXPECT_LE(CheckAgainstReference(bgr, pitch, s[0], s[1], c), 1.0) << s[0] << "x" << s[1];
        // Nothing is written beyond the destination area.
        EXPECT_EQ(c.y[static_cast<size_t>(s[2])], 0xEE);
    }
}

TEST(ColourConversion, ExtremeColoursHitTheLimitedRange) {
    struct Colour {
        uint8_t b, g, r, y, cb, cr;
    };
    const Colour colours[] = {
        {0, 0, 0, 16, 128, 128},       {255, 255, 255, 235, 128, 128}, {0, 0, 255, 81, 90, 240},
        {0, 255, 0, 145, 54, 34},      {255, 0, 0, 41, 240, 110},      {128, 128, 128, 126, 128, 128},
    };
    for (const Colour& colour : colours) {
        std::vector<uint8_t> bgr(4 * 4 * 3);
        for (size_t i = 0; i < bgr.size(); i += 3) {
            bgr[i] = colour.b;
            bgr[i + 1] = colour.g;
            bgr[i + 2] = colour.r;
        }
        Converted c = Convert(bgr, 12, 4, 4, 4, 4);
        EXPECT_EQ(c.y[0], colour.y);
        EXPECT_EQ(c.uv[0], colour.cb);
        EXPECT_EQ(c.uv[1], colour.cr);
    }
    // A black and white checkerboard: luma at both ends, chroma neutral.
    std::vector<uint8_t> board(8 * 8 * 3);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const uint8_t v = (x + y) % 2 ? 255 : 0;
            for (int k = 0; k < 3; ++k) board[(y * 8 + x) * 3 + k] = v;
        }
    }
    Converted c = Convert(board, 24, 8, 8, 8, 8);
    EXPECT_EQ(c.y[0], 16);
    EXPECT_EQ(c.y[1], 235);
    EXPECT_EQ(c.uv[0], 128);
    EXPECT_EQ(c.uv[1], 128);
    EXPECT_LE(CheckAgainstReference(board, 24, 8, 8, c), 1.0);
}

TEST(ColourConversion, FourBytePixelsGiveTheBytesOfThreeBytePixels) {
    // Alpha is ignored: RGB4 input must give exactly what RGB3 gives, so
    // either runtime kind encodes the same picture.
    std::mt19937 random(11);
    const int sizes[][4] = {{1, 1, 16, 16}, {3, 5, 16, 16}, {641, 7, 656, 16}, {33, 33, 34, 34}, {64, 32, 64, 32}};
    for (const auto& s : sizes) {
        const size_t pitch = static_cast<size_t>(s[0]) * 3 + 13;
        auto bgr = RandomPicture(random, pitch, s[1]);
        size_t widePitch = 0;
        auto bgra = Widen(random, bgr, pitch, s[0], s[1], &widePitch);
        Converted narrow = Convert(bgr, pitch, s[0], s[1], s[2], s[3]);
        Converted wide{s[2], s[3], std::vector<uint8_t>(narrow.y.size(), 0xEE),
                       std::vector<uint8_t>(narrow.uv.size(), 0xEE)};
        const size_t dp = static_cast<size_t>(s[2] + 8);
        ConvertBgra32ToNv12(Bgra32View{bgra.data(), widePitch, s[0], s[1]},
                            Nv12View{wide.y.data(), dp, wide.uv.data(), dp, s[2], s[3]});
        EXPECT_EQ(wide.y, narrow.y) << s[0] << "x" << s[1];
        EXPECT_EQ(wide.uv, narrow.uv) << s[0] << "x" << s[1];
    }
}

TEST(ColourConversion, TenBitOutputStaysWithinOneCodeValueForEitherShift) {
    // P010 against the formula at 10 bits (luma 64..940), both matrices,
    // 3- and 4-byte pixels, odd crops with padding, the 10 bits in the high
    // bits (Shift 1) or the low bits (Shift 0).
    std::mt19937 random(5);
    const int sizes[][4] = {{64, 32, 64, 32}, {1, 1, 16, 16}, {17, 9, 32, 16}, {33, 33, 34, 34}};
    for (int shift : {0, 1}) {
        for (auto matrix : {mfxsoft::ColourMatrix::kBt601, mfxsoft::ColourMatrix::kBt709}) {
            for (int bpp : {3, 4}) {
                for (const auto& s : sizes) {
                    SCOPED_TRACE(std::to_string(s[0]) + "x" + std::to_string(s[1]) + " shift " + std::to_string(shift) +
                                 " bpp " + std::to_string(bpp) + " matrix " + std::to_string(static_cast<int>(matrix)));
                    const size_t pitch = static_cast<size_t>(s[0]) * bpp + 7, dp = static_cast<size_t>(s[2]) * 2 + 16;
                    auto rgb = RandomPicture(random, pitch, s[1]);
                    std::vector<uint8_t> y(dp * s[3], 0xEE), uv(dp * s[3] / 2, 0xEE);
                    mfxsoft::ConvertToP010(mfxsoft::PackedBgrView{rgb.data(), pitch, s[0], s[1]}, bpp,
                                           mfxsoft::P010View{y.data(), dp, uv.data(), dp, s[2], s[3], shift}, matrix);
                    int stray = 0, outside = 0;  // set bits outside the 10, luma outside 64..940
                    auto sample = [&](const std::vector<uint8_t>& plane, size_t at) {
                        const int raw = plane[at] | plane[at + 1] << 8;
                        stray |= raw & (shift != 0 ? 0x3F : 0xFC00);
                        return static_cast<double>(shift != 0 ? raw >> 6 : raw);
                    };
                    const double worst = WorstDeviation(
                        rgb, pitch, bpp, s[0], s[1], s[2], s[3], matrix, 4.0,
                        [&](int x, int row) {
                            const double v = sample(y, row * dp + 2 * x);
                            outside += v < 64 || v > 940;
                            return v;
                        },
                        [&](int bx, int by, int k) { return sample(uv, by * dp + 4 * bx + 2 * k); });
                    EXPECT_LE(worst, 1.0);
                    EXPECT_EQ(stray, 0);
                    EXPECT_EQ(outside, 0);
                    EXPECT_EQ(y[static_cast<size_t>(s[2]) * 2], 0xEE);  // nothing beyond the destination area
                }
            }
        }
    }
}
