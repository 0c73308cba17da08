#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <filesystem>
#include <memory>
#include <optional>
#include <regex>
#include <set>
#include <sys/stat.h>
#include <vector>

#include "platform/test_support.h"
#include "core/setting_data.h"
#include "core/temp_name.h"

namespace {

// A stem source that hands out the stems of `script` in order, then "ZZZZZZZ".
std::vector<std::string> script;
size_t scriptNext = 0;
std::string ScriptedStem() { return scriptNext < script.size() ? script[scriptNext++] : "ZZZZZZZ"; }

std::string TempName(const char* extension, const char* folder) {
    std::optional<std::string> path = MakeTempName(extension, folder);
    EXPECT_TRUE(path.has_value());
    return path.value_or("(none)");
}

TEST(TempName, AppendsOneSeparatorWhereNeeded) {
    test::TempDir dir;
    for (const std::string& folder : {dir.path(), dir.path() + "/"}) {
        std::string path = TempName("wav", folder.c_str());
        EXPECT_TRUE(std::regex_match(path, std::regex(dir.path() + "/[A-Z]{7}\\.wav"))) << path;
    }
    // A backslash counts as a separator as well (here it is part of a name).
    std::string path = TempName("aac", (dir.path() + "/pre\\").c_str());
    EXPECT_TRUE(std::regex_match(path, std::regex(dir.path() + R"(/pre\\[A-Z]{7}\.aac)"))) << path;
}

TEST(TempName, ClaimsTheNameAsAnEmptyFileOfItsOwn) {
    test::TempDir dir;
    std::string path = TempName("h264", dir.path().c_str());
    struct stat info;
    ASSERT_EQ(lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_size, 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);  // nobody else may read or write it

    // A folder that does not exist (or cannot be written) gives no name.
    EXPECT_FALSE(MakeTempName("h264", (dir / "no/such").c_str()));
    EXPECT_EQ(TempFileFailureText((dir / "no").c_str()), "Cannot create a temporary file in " + (dir / "no"));
}

TEST(TempName, EmptyFolderMeansTheSystemTemporaryFolder) {
    test::TempDir dir;
    test::ScopedEnv env("TMPDIR", dir.path().c_str());
    std::regex expected(dir.path() + "/[A-Z]{7}\\.h264");
    EXPECT_TRUE(std::regex_match(TempName("h264", ""), expected));
    EXPECT_TRUE(std::regex_match(TempName("h264", nullptr), expected));

    // No usable temporary folder: no name.
    std::string tooLong(300, 'a');
    test::ScopedEnv bad("TMPDIR", tooLong.c_str());
    EXPECT_FALSE(MakeTempName("h264", ""));
}

// A name that is taken by anything (a file, a folder, a link planted by
// someone else, dangling or not) is never used: another stem is drawn, and
// nothing is written through the link.
TEST(TempName, DrawsANewStemWhileTheNameIsTaken) {
    test::TempDir dir;
    test::WriteFile(dir / "AAAAAAA.wav", "");
    ASSERT_EQ(mkdir((dir / "BBBBBBB.wav").c_str(), 0700), 0);
    ASSERT_EQ(symlink((dir / "victim").c_str(), (dir / "CCCCCCC.wav").c_str()), 0);
    test::WriteFile(dir / "target", "keep");
    ASSERT_EQ(symlink((dir / "target").c_str(), (dir / "DDDDDDD.wav").c_str()), 0);
    script = {"AAAAAAA", "BBBBBBB", "CCCCCCC", "DDDDDDD", "EEEEEEE"};
    scriptNext = 0;
    EXPECT_EQ(MakeTempNameFrom(ScriptedStem, "wav", dir.path().c_str()), dir / "EEEEEEE.wav");
    struct stat info;
    EXPECT_NE(lstat((dir / "victim").c_str(), &info), 0);
    EXPECT_EQ(test::ReadFile(dir / "target"), "keep");

    // A folder where every name drawn is taken does not hang the host.
    test::WriteFile(dir / "ZZZZZZZ.wav", "");
    script.clear();
    EXPECT_FALSE(MakeTempNameFrom(ScriptedStem, "wav", dir.path().c_str()));
}

TEST(TempName, StemsAreSevenCapitalLettersFromTheWholeAlphabet) {
    std::set<char> seen;
    for (int i = 0; i < 1000; ++i) {
        std::string stem = MakeRandomStem();
        ASSERT_TRUE(std::regex_match(stem, std::regex("[A-Z]{7}"))) << stem;
        seen.insert(stem.begin(), stem.end());
    }
    EXPECT_EQ(seen.size(), 26u);
}

// The stems do not come from the C runtime's generator, whose state anyone
// who knows the clock can guess.
TEST(TempName, StemsDoNotFollowTheCRuntimesGenerator) {
    std::srand(1);
    std::string predicted;
    for (int i = 0; i < 7; ++i) predicted += static_cast<char>('A' + std::rand() % 26);
    std::srand(1);
    EXPECT_NE(MakeRandomStem(), predicted);
}

// A claimed file goes with its TempFile, also after a move, unless kept.
TEST(TempName, ATempFileDeletesItsFileUnlessKept) {
    test::TempDir dir;
    std::string kept;
    {
        std::optional<TempFile> first = TempFile::Claim("wav", dir.path().c_str());
        std::optional<TempFile> second = TempFile::ClaimBeside((dir / "out.mp4").c_str(), "mp4");
        ASSERT_TRUE(first && second);
        EXPECT_TRUE(std::regex_match(second->path(), std::regex(dir / R"(out\.mp4\.[A-Z]{6}\.mp4)")));
        TempFile moved = std::move(*first);
        EXPECT_TRUE(first->empty());
        struct stat info;
        EXPECT_EQ(stat(moved.c_str(), &info), 0);
        kept = second->path();
        second->Keep();
    }
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) left.push_back(entry.path().string());
    EXPECT_EQ(left, std::vector<std::string>{kept});
}

TEST(TempName, ReadsAnUnterminatedFolderFieldAs259Characters) {
    // An existing folder padded with separators to 259 characters, then
    // bytes that must never be read.
    test::TempDir dir;
    auto settings = std::make_unique<SettingData>();
    std::memset(settings->tempFolder, 'a', sizeof settings->tempFolder);
    std::string folder = dir.path() + std::string(259 - dir.path().size(), '/');
    std::memcpy(settings->tempFolder, folder.data(), folder.size());
    std::string path = TempName("wav", settings->tempFolder);
    EXPECT_TRUE(std::regex_match(path, std::regex(dir.path() + "/{" + std::to_string(259 - dir.path().size()) +
                                                  "}[A-Z]{7}\\.wav")))
        << path;

    char text[kSettingPathSize];
    ReadSettingText(settings->tempFolder, text);
    EXPECT_EQ(std::string(text), folder);
}

}  // namespace
