#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <regex>
#include <set>
#include <sys/stat.h>
#include <vector>

#include "platform/test_support.h"
#include "core/setting_data.h"
#include "core/temp_name.h"

namespace {

// The stems MakeRandomStem draws right after srand(seed); seeds again, so
// that they are the next ones drawn.
std::vector<std::string> StemsAfterSeed(unsigned seed, int count = 1) {
    std::srand(seed);
    std::vector<std::string> stems(count);
    for (std::string& stem : stems) {
        for (int i = 0; i < 7; ++i) stem += static_cast<char>('A' + std::rand() % 26);
    }
    std::srand(seed);
    return stems;
}

std::string Take(char* text) {
    std::string copy = text != nullptr ? text : "(null)";
    std::free(text);
    return copy;
}

std::string TempName(const char* extension, const char* folder) {
    char* path = nullptr;
    EXPECT_TRUE(MakeTempName(extension, folder, &path));
    return Take(path);
}

TEST(TempName, AppendsOneSeparatorWhereNeeded) {
    test::TempDir dir;
    for (const std::string& folder : {dir.path(), dir.path() + "/"}) {
        std::string path = TempName("wav", folder.c_str());
        EXPECT_TRUE(std::regex_match(path, std::regex(dir.path() + "/[A-Z]{7}\\.wav"))) << path;
    }
    // A backslash counts as a separator as well; a missing folder still gives a path.
    EXPECT_TRUE(std::regex_match(TempName("aac", "C:\\Work\\"), std::regex(R"(C:\\Work\\[A-Z]{7}\.aac)")));
    EXPECT_TRUE(std::regex_match(TempName("h264", "/no/such"), std::regex(R"(/no/such/[A-Z]{7}\.h264)")));
}

TEST(TempName, EmptyFolderMeansTheSystemTemporaryFolder) {
    test::TempDir dir;
    test::ScopedEnv env("TMPDIR", dir.path().c_str());
    std::regex expected(dir.path() + "/[A-Z]{7}\\.h264");
    EXPECT_TRUE(std::regex_match(TempName("h264", ""), expected));
    EXPECT_TRUE(std::regex_match(TempName("h264", nullptr), expected));

    // No usable temporary folder: false, and the place for the path untouched.
    std::string tooLong(300, 'a');
    test::ScopedEnv bad("TMPDIR", tooLong.c_str());
    char* path = reinterpret_cast<char*>(0x1);
    EXPECT_FALSE(MakeTempName("h264", "", &path));
    EXPECT_EQ(path, reinterpret_cast<char*>(0x1));
}

TEST(TempName, DrawsANewStemWhileTheNameIsTaken) {
    test::TempDir dir;
    Take(MakeRandomStem());  // seeded now; from here srand steers the stems
    std::vector<std::string> stems = StemsAfterSeed(42, 2);
    test::WriteFile(dir / (stems[0] + ".wav"), "");
    EXPECT_EQ(TempName("wav", dir.path().c_str()), dir / (stems[1] + ".wav"));

    // A directory of that name is taken just the same.
    ASSERT_EQ(mkdir((dir / (stems[0] + ".aac")).c_str(), 0700), 0);
    StemsAfterSeed(42);
    EXPECT_EQ(TempName("aac", dir.path().c_str()), dir / (stems[1] + ".aac"));

    // A folder where every name drawn is taken does not hang the host.
    for (const std::string& stem : StemsAfterSeed(43, 1000)) test::WriteFile(dir / (stem + ".wav"), "");
    char* path = nullptr;
    EXPECT_FALSE(MakeTempName("wav", dir.path().c_str(), &path));
    EXPECT_EQ(path, nullptr);
}

TEST(TempName, StemsAreSevenCapitalLettersFromTheWholeAlphabet) {
    std::set<char> seen;
    for (int i = 0; i < 1000; ++i) {
        std::string stem = Take(MakeRandomStem());
        ASSERT_TRUE(std::regex_match(stem, std::regex("[A-Z]{7}"))) << stem;
        seen.insert(stem.begin(), stem.end());
    }
    EXPECT_EQ(seen.size(), 26u);
}

TEST(TempName, SeedsOnlyOnce) {
    Take(MakeRandomStem());
    std::string expected = StemsAfterSeed(7)[0];
    EXPECT_EQ(Take(MakeRandomStem()), expected);
}

TEST(TempName, SeedsAtTheFirstStem) {
    // Needs a process that has made no stem yet.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::string unseeded = StemsAfterSeed(1)[0];  // what an unseeded generator gives
            std::exit(Take(MakeRandomStem()) != unseeded ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(TempName, ReadsAnUnterminatedFolderFieldAs259Characters) {
    auto settings = std::make_unique<SettingData>();
    std::memset(settings->tempFolder, 'a', sizeof settings->tempFolder);
    std::string path = TempName("wav", settings->tempFolder);
    EXPECT_TRUE(std::regex_match(path, std::regex("a{259}/[A-Z]{7}\\.wav"))) << path;

    char text[kSettingPathSize];
    ReadSettingText(settings->tempFolder, text);
    EXPECT_EQ(std::string(text), std::string(259, 'a'));
}

}  // namespace
