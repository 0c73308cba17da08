#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "platform/file.h"
#include "platform/message.h"
#include "platform/test_support.h"

namespace {

bool WriteText(platform::FileHandle file, const std::string& text, uint32_t* written) {
    return platform::WriteToFile(file, text.data(), static_cast<uint32_t>(text.size()), written);
}

TEST(File, OpensWithoutTruncatingAndWritesFromTheStart) {
    test::TempDir dir;
    std::string path = dir / "f.bin";
    test::WriteFile(path, "hello world");
    platform::FileHandle file = platform::OpenFileForWrite(path.c_str());
    ASSERT_NE(file, nullptr);
    uint32_t written = 0;
    EXPECT_TRUE(WriteText(file, "HE", &written));
    EXPECT_EQ(written, 2u);
    EXPECT_TRUE(platform::FlushFile(file));
    EXPECT_TRUE(platform::CloseFile(file));
    EXPECT_EQ(test::ReadFile(path), "HEllo world");

    // A missing file is created.
    std::string fresh = dir / "new.bin";
    file = platform::OpenFileForWrite(fresh.c_str());
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(WriteText(file, "x", &written));
    EXPECT_TRUE(platform::CloseFile(file));
    EXPECT_EQ(test::ReadFile(fresh), "x");

    EXPECT_EQ(platform::OpenFileForWrite((dir / "missing/f.bin").c_str()), nullptr);
    EXPECT_EQ(platform::LastError(), uint32_t{ENOENT});
}

// The settings file's building blocks: a read that never goes past `limit`,
// a replace that leaves the old file or the new one, never half of one.
TEST(File, ReadsTheStartOfAFileOnly) {
    test::TempDir dir;
    const std::string path = dir / "f.bin";
    test::WriteFile(path, "0123456789");
    struct Case {
        size_t limit;
        std::string expected;
    } cases[] = {{0, ""}, {4, "0123"}, {10, "0123456789"}, {11, "0123456789"}};
    for (const Case& c : cases) {
        std::string bytes = "old";
        EXPECT_TRUE(platform::ReadFileStart(path.c_str(), c.limit, &bytes)) << c.limit;
        EXPECT_EQ(bytes, c.expected) << c.limit;
    }
    std::string bytes;
    EXPECT_FALSE(platform::ReadFileStart((dir / "missing").c_str(), 10, &bytes));
    EXPECT_FALSE(platform::ReadFileStart(dir.path().c_str(), 10, &bytes));  // a folder
}

TEST(File, ReplacesAFileInOneStep) {
    test::TempDir dir;
    const std::string path = dir / "settings";
    EXPECT_TRUE(platform::ReplaceFileContents(path.c_str(), "first", 5));
    EXPECT_TRUE(platform::ReplaceFileContents(path.c_str(), "2nd", 3));
    EXPECT_EQ(test::ReadFile(path), "2nd");

    // Links planted where the new file might go, or at the file itself, are
    // never written through.
    const std::string victim = dir / "victim";
    test::WriteFile(victim, "precious");
    std::filesystem::create_symlink(victim, path + ".new");
    const std::string linked = dir / "linked";
    std::filesystem::create_symlink(victim, linked);
    EXPECT_TRUE(platform::ReplaceFileContents(path.c_str(), "3rd", 3));
    EXPECT_TRUE(platform::ReplaceFileContents(linked.c_str(), "own", 3));
    EXPECT_EQ(test::ReadFile(victim), "precious");
    EXPECT_EQ(test::ReadFile(path), "3rd");
    EXPECT_FALSE(std::filesystem::is_symlink(linked));
    EXPECT_EQ(test::ReadFile(linked), "own");
    std::filesystem::remove(path + ".new");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);  // path, victim, linked

    // A folder in the way of the move: the old one stays, nothing is left over.
    const std::string blocked = dir / "blocked";
    std::filesystem::create_directories(blocked + "/inside");
    EXPECT_FALSE(platform::ReplaceFileContents(blocked.c_str(), "x", 1));
    EXPECT_TRUE(std::filesystem::is_directory(blocked + "/inside"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 4);
    EXPECT_FALSE(platform::ReplaceFileContents((dir / "missing/f").c_str(), "x", 1));

    EXPECT_TRUE(platform::MakeFolder((dir / "made").c_str()));
    EXPECT_TRUE(platform::MakeFolder((dir / "made").c_str()));  // already there
    EXPECT_FALSE(platform::MakeFolder(path.c_str()));           // a file of that name
    EXPECT_FALSE(platform::MakeFolder((dir / "missing/made").c_str()));
}

TEST(File, ReportsFailedAndShortWrites) {
    platform::FileHandle full = platform::OpenFileForWrite("/dev/full");
    ASSERT_NE(full, nullptr);
    uint32_t written = 99;
    EXPECT_FALSE(WriteText(full, "data", &written));
    EXPECT_EQ(platform::LastError(), uint32_t{ENOSPC});
    EXPECT_EQ(written, 0u);
    EXPECT_TRUE(platform::CloseFile(full));

    // A file size limit makes the system write only part of a block.
    test::TempDir dir;
    std::string path = dir / "limited.bin";
    platform::FileHandle file = platform::OpenFileForWrite(path.c_str());
    ASSERT_NE(file, nullptr);
    rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limited = old;
    limited.rlim_cur = 10;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limited);
    bool first = WriteText(file, std::string(16, 'a'), &written);
    uint32_t firstWritten = written;
    bool second = WriteText(file, "b", &written);
    int secondError = static_cast<int>(platform::LastError());
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(first);
    EXPECT_EQ(firstWritten, 10u);
    EXPECT_FALSE(second);
    EXPECT_EQ(secondError, EFBIG);
    EXPECT_TRUE(platform::CloseFile(file));
}

TEST(File, RemovesAndFindsPaths) {
    test::TempDir dir;
    std::string path = dir / "f";
    test::WriteFile(path, "x");
    EXPECT_TRUE(platform::PathExists(path.c_str()));
    EXPECT_TRUE(platform::PathExists(dir.path().c_str()));
    ASSERT_EQ(symlink("nowhere", (dir / "dangling").c_str()), 0);
    EXPECT_TRUE(platform::PathExists((dir / "dangling").c_str()));  // the name is taken
    EXPECT_TRUE(platform::RemoveFile(path.c_str()));
    EXPECT_FALSE(platform::PathExists(path.c_str()));
    EXPECT_FALSE(platform::RemoveFile(path.c_str()));
    EXPECT_FALSE(platform::PathExists((dir / "missing/f").c_str()));
}

// Exclusive creation: only where nothing is, never through a link; and a
// file never opened for writing through a link either.
TEST(File, CreatesNewFilesOnlyWhereNothingIs) {
    test::TempDir dir;
    test::WriteFile(dir / "target", "keep");
    ASSERT_EQ(symlink((dir / "target").c_str(), (dir / "link").c_str()), 0);
    ASSERT_EQ(symlink((dir / "nowhere").c_str(), (dir / "dangling").c_str()), 0);
    const struct {
        std::string path;
        platform::CreateResult result;
    } cases[] = {{dir / "new", platform::CreateResult::kCreated},
                 {dir / "new", platform::CreateResult::kExists},
                 {dir / "link", platform::CreateResult::kExists},
                 {dir / "dangling", platform::CreateResult::kExists},
                 {dir.path(), platform::CreateResult::kExists},
                 {dir / "missing/f", platform::CreateResult::kFailed}};
    for (const auto& c : cases) EXPECT_EQ(platform::CreateNewFile(c.path.c_str()), c.result) << c.path;
    EXPECT_EQ(test::ReadFile(dir / "target"), "keep");
    EXPECT_EQ(platform::OpenFileForWrite((dir / "link").c_str()), nullptr);
    EXPECT_FALSE(platform::PathExists((dir / "nowhere").c_str()));
}

TEST(File, TempFolderHonoursTmpdirAndEndsInASeparator) {
    char buffer[260];
    const struct {
        const char* tmpdir;
        const char* expected;
    } cases[] = {{"/var/x", "/var/x/"}, {"/var/x/", "/var/x/"}, {"", "/tmp/"}, {nullptr, "/tmp/"}};
    for (const auto& c : cases) {
        test::ScopedEnv env("TMPDIR", c.tmpdir);
        EXPECT_EQ(platform::GetTempFolder(buffer), std::strlen(c.expected));
        EXPECT_STREQ(buffer, c.expected);
    }
    std::string tooLong = "/" + std::string(258, 'a');  // no room left for the separator
    test::ScopedEnv tooLongEnv("TMPDIR", tooLong.c_str());
    EXPECT_EQ(platform::GetTempFolder(buffer), 0u);
    EXPECT_EQ(platform::PathSeparator(), '/');
}

// The code is linked into this test program: its folder is the program's.
TEST(File, ModuleFolderIsWhereTheCodeWasLoadedFrom) {
    const std::string folder = platform::ModuleFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(std::filesystem::canonical(folder), std::filesystem::canonical("/proc/self/exe").parent_path());
}

TEST(Message, WritesExactlyTheTextAsOneLine) {
    EXPECT_EQ(test::CaptureStderr([] { platform::ShowWarning("Configure data size failure."); }),
              "Configure data size failure.\n");
}

}  // namespace
