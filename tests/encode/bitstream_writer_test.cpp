#include "encode/bitstream_writer.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>
#include <vector>

#include <sys/resource.h>

#include <gtest/gtest.h>

#include "tests/encode/test_support.h"

namespace {

using tarvo_test::ReadAll;
using tarvo_test::RunBounded;
using tarvo_test::TempPath;

// A writer on a fresh file, torn down in the owner's order.
struct OpenWriter {
    explicit OpenWriter(const char* path) : file(platform::OpenFileForWrite(path)), writer(StartWriter()) {
        SetWriterFile(writer, file);
    }
    ~OpenWriter() {
        DestroyWriter(writer);
        platform::CloseFile(file);
    }
    platform::FileHandle file;
    BitstreamWriter* writer;
};

TEST(BitstreamWriter, RefusesEmptyBlocksAndBlocksBeforeTheFile) {
    TempPath path;
    BitstreamWriter* writer = StartWriter();
    ASSERT_NE(writer, nullptr);
    ASSERT_NE(writer->thread, nullptr);
    const char bytes[] = "abc";
    EXPECT_FALSE(EnqueueBlock(writer, bytes, 3));  // no file yet
    platform::FileHandle file = platform::OpenFileForWrite(path.c_str());
    SetWriterFile(writer, file);
    EXPECT_FALSE(EnqueueBlock(writer, nullptr, 3));
    EXPECT_FALSE(EnqueueBlock(writer, bytes, 0));
    EXPECT_EQ(FinishWriter(writer), 0u);
    DestroyWriter(writer);
    platform::CloseFile(file);
    EXPECT_TRUE(ReadAll(path.str()).empty());

    // Without a writer record everything is refused and nothing breaks.
    EXPECT_FALSE(EnqueueBlock(nullptr, bytes, 3));
    EXPECT_EQ(FinishWriter(nullptr), 0u);
    DestroyWriter(nullptr);
}

TEST(BitstreamWriter, WritesBlocksInOrderSkippingEmptyOnes) {
    TempPath path;
    {
        OpenWriter open(path.c_str());
        EXPECT_TRUE(EnqueueBlock(open.writer, "12345", 5));
        EXPECT_FALSE(EnqueueBlock(open.writer, "x", 0));
        EXPECT_TRUE(EnqueueBlock(open.writer, "abcdefg", 7));
        RunBounded([&] { EXPECT_EQ(FinishWriter(open.writer), 0u); });
        // Everything is written once FinishWriter returns, before the thread stops.
        EXPECT_EQ(ReadAll(path.str()).size(), 12u);
    }
    const auto bytes = ReadAll(path.str());
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "12345abcdefg");
}

TEST(BitstreamWriter, KeepsEachProducersOrderUnderManyThreads) {
    TempPath path;
    constexpr int kThreads = 4;
    constexpr uint32_t kBlocks = 400;
    {
        OpenWriter open(path.c_str());
        std::vector<std::thread> producers;
        for (int t = 0; t < kThreads; ++t) {
            producers.emplace_back([&, t] {
                for (uint32_t i = 0; i < kBlocks; ++i) {
                    // Block: thread id, sequence number, then filler of varying length.
                    uint8_t block[8 + 40] = {};
                    const uint32_t id = static_cast<uint32_t>(t);
                    std::memcpy(block, &id, 4);
                    std::memcpy(block + 4, &i, 4);
                    EXPECT_TRUE(EnqueueBlock(open.writer, block, 8 + (i % 5) * 10));
                }
            });
        }
        for (auto& producer : producers) producer.join();
        RunBounded([&] { EXPECT_EQ(FinishWriter(open.writer), 0u); });
    }
    const auto bytes = ReadAll(path.str());
    uint32_t next[kThreads] = {};
    size_t at = 0;
    while (at + 8 <= bytes.size()) {
        uint32_t id, sequence;
        std::memcpy(&id, &bytes[at], 4);
        std::memcpy(&sequence, &bytes[at + 4], 4);
        ASSERT_LT(id, static_cast<uint32_t>(kThreads));
        ASSERT_EQ(sequence, next[id]) << "thread " << id;
        ++next[id];
        at += 8 + (sequence % 5) * 10;
    }
    EXPECT_EQ(at, bytes.size());
    for (uint32_t count : next) EXPECT_EQ(count, kBlocks);
}

TEST(BitstreamWriter, DestroyWithoutFinishWritesEverything) {
    TempPath path;
    std::vector<uint8_t> block(1000, 0x42);
    {
        OpenWriter open(path.c_str());
        for (int i = 0; i < 200; ++i) ASSERT_TRUE(EnqueueBlock(open.writer, block.data(), 1000));
    }
    EXPECT_EQ(ReadAll(path.str()).size(), 200u * 1000u);
}

TEST(BitstreamWriter, FullDiskStopsTheWriterAndIsReported) {
    // /dev/full fails every write with ENOSPC.
    platform::FileHandle file = platform::OpenFileForWrite("/dev/full");
    ASSERT_NE(file, nullptr);
    BitstreamWriter* writer = StartWriter();
    SetWriterFile(writer, file);
    for (int i = 0; i < 50; ++i) EXPECT_TRUE(EnqueueBlock(writer, "frame", 5));
    // The failed writer takes no more blocks; FinishWriter must end anyway.
    RunBounded([&] { EXPECT_EQ(FinishWriter(writer), static_cast<uint32_t>(ENOSPC)); });
    EXPECT_EQ(writer->status.load(), static_cast<uint32_t>(ENOSPC));
    EXPECT_TRUE(EnqueueBlock(writer, "late", 4));  // still accepted, never written
    RunBounded([&] { EXPECT_EQ(FinishWriter(writer), static_cast<uint32_t>(ENOSPC)); });
    DestroyWriter(writer);  // frees what is left queued
    platform::CloseFile(file);
}

TEST(BitstreamWriter, ShortWriteGives29AndNothingAfterIt) {
    // A file-size limit makes the write that crosses it short; with SIGXFSZ
    // ignored the process lives on.
    TempPath path;
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved;
    limit.rlim_cur = 10;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);

    uint32_t finished = 0;
    {
        OpenWriter open(path.c_str());
        EXPECT_TRUE(EnqueueBlock(open.writer, "12345", 5));
        EXPECT_TRUE(EnqueueBlock(open.writer, "abcdefg", 7));  // only 5 bytes fit
        EXPECT_TRUE(EnqueueBlock(open.writer, "xyz", 3));
        RunBounded([&] { finished = FinishWriter(open.writer); });
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(finished, kWriterShortWrite);
    const auto bytes = ReadAll(path.str());
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "12345abcde");
}

}  // namespace
