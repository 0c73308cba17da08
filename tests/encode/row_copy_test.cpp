// The host-row copies against their plain reference: the fast widening on
// every width up to a few vector lengths (odd ones and the scalar tail
// included), and the turn upright of both copies.
#include "encode/row_copy.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

TEST(RowCopy, FastWideningEqualsTheReferenceOnEveryWidth) {
    std::mt19937 random(3);
    for (int width = 0; width <= 70; ++width) {
        // Offsets of 1 make every load and store unaligned.
        std::vector<uint8_t> src(static_cast<size_t>(width) * 3 + 1);
        for (auto& b : src) b = static_cast<uint8_t>(random());
        std::vector<uint8_t> fast(static_cast<size_t>(width) * 4 + 9, 0xEE), plain(fast);
        ExpandBgrRow(src.data() + 1, fast.data() + 1, width);
        ExpandBgrRowReference(src.data() + 1, plain.data() + 1, width);
        ASSERT_EQ(fast, plain) << width;
        // Nothing beyond the row is written.
        EXPECT_EQ(fast[static_cast<size_t>(width) * 4 + 1], 0xEE) << width;
    }
    // What the reference means: B, G, R kept, the fourth byte 255.
    const uint8_t pixel[3] = {1, 2, 3};
    uint8_t out[4] = {};
    ExpandBgrRowReference(pixel, out, 1);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{1, 2, 3, 255}));
}

TEST(RowCopy, BothCopiesTurnTheRowsUpright) {
    // Three rows of 5 pixels (stride 16, padded); the destination pitch is wider.
    const int width = 5, rows = 3;
    const size_t stride = 16, pitch = 32;
    std::vector<uint8_t> src(stride * rows);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> copied(pitch * rows, 0xEE), widened(pitch * rows, 0xEE);
    FlipCopyRows(src.data(), stride, copied.data(), pitch, rows, stride);
    FlipExpandRows(src.data(), stride, widened.data(), pitch, rows, width);
    for (int row = 0; row < rows; ++row) {
        const uint8_t* from = &src[static_cast<size_t>(rows - 1 - row) * stride];
        const uint8_t* to = &copied[static_cast<size_t>(row) * pitch];
        EXPECT_EQ(std::vector<uint8_t>(to, to + stride), std::vector<uint8_t>(from, from + stride)) << row;
        std::vector<uint8_t> expected(static_cast<size_t>(width) * 4);
        ExpandBgrRowReference(from, expected.data(), width);
        const uint8_t* wide = &widened[static_cast<size_t>(row) * pitch];
        EXPECT_EQ(std::vector<uint8_t>(wide, wide + width * 4), expected) << row;
        EXPECT_EQ(wide[width * 4], 0xEE);  // the pitch's slack stays untouched
    }
}

}  // namespace
