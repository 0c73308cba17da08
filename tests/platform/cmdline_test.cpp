// The Windows command-line rules decide what the external programs receive.
#include <gtest/gtest.h>

#include "platform/process.h"

namespace {

using Args = std::vector<std::string>;

TEST(SplitCommandLine, FollowsTheWindowsRules) {
    const struct {
        const char* line;
        Args expected;
    } cases[] = {
        {"", {}},
        {" \t ", {}},
        {"a b", {"a", "b"}},
        {" \ta\t\tb  c \t", {"a", "b", "c"}},
        {"\"a b\" c", {"a b", "c"}},
        {"a\"b c\"d", {"ab cd"}},
        {"\"a\tb\"", {"a\tb"}},
        // Empty quoted arguments are arguments.
        {"\"\"", {""}},
        {"a \"\" b", {"a", "", "b"}},
        // Backslashes are literal unless a quote follows them.
        {R"(C:\dir\\x\)", {R"(C:\dir\\x\)"}},
        {R"(\"a)", {R"("a)"}},
        {R"(\\"a b")", {R"(\a b)"}},
        {R"(\\\"a b)", {R"(\"a)", "b"}},
        {R"(\\\\"a b")", {R"(\\a b)"}},
        {R"("a\\" b)", {R"(a\)", "b"}},
        {R"("a\\\" b")", {R"(a\" b)"}},
        // "" inside a quoted run is a literal quote and the run goes on.
        {R"("a""b c")", {R"(a"b c)"}},
        // An unterminated quote runs to the end.
        {R"("a b)", {"a b"}},
        {R"("a\")", {R"(a")"}},
        // The selector after the closing quote stays with its path.
        {R"("C:\a b\v.h264"#video:fps=29.97)", {R"(C:\a b\v.h264#video:fps=29.97)"}},
        {R"( -add "/t/A B.h264"#video:fps=29.97 -add "/t/X.aac"#audio -new "/o/out file.mp4")",
         {"-add", "/t/A B.h264#video:fps=29.97", "-add", "/t/X.aac#audio", "-new", "/o/out file.mp4"}},
        {R"(-2pass -br 96000 -he -if "/t/a b.wav" -of "/t/c.aac")",
         {"-2pass", "-br", "96000", "-he", "-if", "/t/a b.wav", "-of", "/t/c.aac"}},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::SplitCommandLine(c.line), c.expected) << "line: " << c.line;
    EXPECT_EQ(platform::SplitCommandLine(nullptr), Args{});
}

}  // namespace
