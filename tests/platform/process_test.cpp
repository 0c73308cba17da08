#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include "platform/process.h"
#include "platform/test_support.h"

namespace {

// Runs argv_dump with `commandLine`; returns what it received (argv[0]
// first), its descriptor facts and its exit code.
struct Received {
    std::vector<std::string> argv;
    std::string facts;
    uint32_t exitCode = 0;
};

Received RunDump(const char* program, const char* commandLine) {
    test::TempDir dir;
    std::string dump = dir / "argv";
    test::ScopedEnv env("ARGV_DUMP_FILE", dump.c_str());
    Received received;
    platform::ProcessHandle process = platform::StartProcess(program, commandLine);
    EXPECT_NE(process, platform::kNoProcess);
    if (process == platform::kNoProcess) return received;
    EXPECT_TRUE(platform::WaitProcess(process, &received.exitCode));
    platform::CloseProcess(process);
    std::string text = test::ReadFile(dump);
    size_t start = 0;
    for (size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1) {
        received.argv.push_back(text.substr(start, end - start));
    }
    received.facts = text.substr(start);
    return received;
}

TEST(Process, ReceivesExactlyTheSplitArguments) {
    Received r = RunDump(ARGV_DUMP_PATH, R"( -add "/t/A B.h264"#video:fps=29.97 "" x\"y -new "/o/out.mp4")");
    EXPECT_EQ(r.argv, (std::vector<std::string>{ARGV_DUMP_PATH, "-add", "/t/A B.h264#video:fps=29.97", "",
                                                R"(x"y)", "-new", "/o/out.mp4"}));
    EXPECT_EQ(r.exitCode, 6u);  // argv_dump exits with its argument count

    r = RunDump(ARGV_DUMP_PATH, "");
    EXPECT_EQ(r.argv, std::vector<std::string>{ARGV_DUMP_PATH});
    EXPECT_EQ(r.exitCode, 0u);
}

TEST(Process, InheritsNoDescriptorsAndGetsNoInput) {
    // Not close-on-exec, so only the start itself can keep it from the child.
    int leaky = open("/dev/null", O_RDONLY);
    ASSERT_GE(leaky, 0);
    Received r = RunDump(ARGV_DUMP_PATH, "x");
    close(leaky);
    EXPECT_EQ(r.facts, "inherited=0 stdin-null=1 stdout-null=1");
}

TEST(Process, TakesTheProgramPathLiterally) {
    // A name that only the search path would find.
    test::TempDir dir;
    ASSERT_EQ(symlink(ARGV_DUMP_PATH, (dir / "tarvo-argv-dump").c_str()), 0);
    std::string path = dir.path() + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "");
    test::ScopedEnv env("PATH", path.c_str());
    EXPECT_EQ(platform::StartProcess("tarvo-argv-dump", "x"), platform::kNoProcess);

    test::WriteFile(dir / "not-executable", "#!/bin/sh\n");
    for (const std::string& bad : {std::string(), dir / "missing", dir.path(), dir / "not-executable"}) {
        EXPECT_EQ(platform::StartProcess(bad.c_str(), "x"), platform::kNoProcess) << bad;
    }
    EXPECT_EQ(platform::StartProcess(nullptr, "x"), platform::kNoProcess);
    EXPECT_FALSE(platform::WaitProcess(platform::kNoProcess, nullptr));
    platform::CloseProcess(platform::kNoProcess);
}

TEST(Process, ReportsExitCodesAndDeathBySignal) {
    uint32_t code = 0;
    platform::ProcessHandle process = platform::StartProcess("/bin/sh", "-c \"exit 7\"");
    ASSERT_NE(process, platform::kNoProcess);
    EXPECT_TRUE(platform::WaitProcess(process, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_TRUE(platform::WaitProcess(process, &code));  // a second wait answers the same
    EXPECT_EQ(code, 7u);
    platform::CloseProcess(process);

    process = platform::StartProcess("/bin/sh", "-c \"kill -9 $$\"");
    ASSERT_NE(process, platform::kNoProcess);
    EXPECT_TRUE(platform::WaitProcess(process, &code));
    EXPECT_NE(code, 0u);
    platform::CloseProcess(process);
}

// A bounded wait says "still running"; ending the program ends what it
// started too (its process group), even a child that ignores SIGTERM.
// True once `pid` is gone or a zombie (whoever adopted it reaps it later).
bool Ended(pid_t pid) {
    for (int i = 0; i < 100 && kill(pid, 0) == 0; ++i) {
        if (test::ReadFile("/proc/" + std::to_string(pid) + "/stat").find(") Z") != std::string::npos) return true;
        usleep(10000);
    }
    return kill(pid, 0) != 0;
}

TEST(Process, EndsTheProgramAndEverythingItStarted) {
    test::TempDir dir;
    std::string pids = dir / "pids";
    std::string script = "trap '' TERM; sleep 60 & echo $$ $! > '" + pids + "'; wait";
    platform::ProcessHandle process = platform::StartProcess("/bin/sh", ("-c \"" + script + "\"").c_str());
    ASSERT_NE(process, platform::kNoProcess);
    uint32_t code = 0;
    EXPECT_EQ(platform::WaitProcessFor(process, 50, &code), platform::WaitResult::kRunning);
    while (test::ReadFile(pids).find(' ') == std::string::npos) {
        ASSERT_EQ(platform::WaitProcessFor(process, 10, &code), platform::WaitResult::kRunning);
    }
    platform::EndProcess(process);
    EXPECT_EQ(platform::WaitProcessFor(process, 0, &code), platform::WaitResult::kEnded);
    EXPECT_NE(code, 0u);
    platform::CloseProcess(process);
    pid_t shell = 0, child = 0;
    std::sscanf(test::ReadFile(pids).c_str(), "%d %d", &shell, &child);
    ASSERT_GT(child, 0);
    EXPECT_TRUE(Ended(child));
}

TEST(Process, WhatAProgramLeftRunningEndsWithIt) {
    struct Case {
        const char* name;
        const char* ending;  // how the shell ends once its background child runs
        uint32_t exitCode;
        bool timedWait;      // WaitProcessFor rather than WaitProcess
    };
    const Case cases[] = {
        {"success", "exit 0", 0, false},
        {"failure", "exit 3", 3, true},
        {"background child ignoring TERM", "trap '' TERM; exit 0", 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        std::string pids = dir / "pids";
        std::string script = "sleep 60 & echo $! > '" + pids + "'; " + c.ending;
        platform::ProcessHandle process = platform::StartProcess("/bin/sh", ("-c \"" + script + "\"").c_str());
        ASSERT_NE(process, platform::kNoProcess);
        uint32_t code = 99;
        if (c.timedWait) {
            EXPECT_EQ(platform::WaitProcessFor(process, 30000, &code), platform::WaitResult::kEnded);
        } else {
            EXPECT_TRUE(platform::WaitProcess(process, &code));
        }
        EXPECT_EQ(code, c.exitCode);
        platform::CloseProcess(process);
        pid_t child = 0;
        std::sscanf(test::ReadFile(pids).c_str(), "%d", &child);
        ASSERT_GT(child, 0);
        EXPECT_TRUE(Ended(child));
    }
}

}  // namespace
