#include "plugin2/log_message.h"

#include <gtest/gtest.h>

namespace {

// UTF-16 units of valid UTF-8.
size_t Units(const std::string& text) {
    size_t units = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80) units += c >= 0xF0 ? 2 : 1;
    }
    return units;
}

TEST(LogMessage, PiecesFitAndCutBetweenCharacters) {
    const std::string emoji = "\xF0\x9F\x8E\xAC";  // two UTF-16 units
    const std::string kanji = "\xE5\x8B\x95";      // one
    std::string kanji12;
    for (int i = 0; i < 12; ++i)
        kanji12 += kanji;
    struct Case {
        const char* name;
        std::string line;
        size_t maxUnits;
        std::vector<std::string> expected;
    } cases[] = {
        {"fits", "abcdefghij", 10, {"abcdefghij"}},
        {"empty", "", 10, {""}},
        {"one over", "abcdefghijk", 10, {"abcdefghij", "... k"}},
        {"a pair at the edge moves whole", "abcdefghi" + emoji + "x", 10, {"abcdefghi", "... " + emoji + "x"}},
        {"three-byte characters count one", kanji12, 10, {kanji12.substr(0, 30), "... " + kanji12.substr(30)}},
        {"invalid bytes count one each",
         "\xFF\xFE"
         "abcdefghi",
         10,
         {"\xFF\xFE"
          "abcdefgh",
          "... i"}},
        {"a cut-off sequence", "abcdefghi\xE5\x8B", 10, {"abcdefghi\xE5", "... \x8B"}},
        {"no room for a piece", "abcdefghij", 5, {"abcdefghij"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitLogMessage(c.line, c.maxUnits), c.expected) << c.name;
    // A long line of mixed characters: every piece within 1023 units.
    std::string line;
    for (int i = 0; i < 700; ++i)
        line += (i % 3 == 0 ? emoji : i % 3 == 1 ? kanji : std::string("a"));
    std::string joined;
    for (const std::string& piece : SplitLogMessage(line, 1023)) {
        EXPECT_LE(Units(piece), 1023u);
        joined += joined.empty() ? piece : piece.substr(4);
    }
    EXPECT_EQ(joined, line);
}

}  // namespace
