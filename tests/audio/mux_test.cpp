#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

#include "audio/mux.h"
#include "test_support.h"

using namespace audio_test;

namespace {

TEST(FrameRateText, WritesSixSignificantDigitsWithAFullStopUnderAnyLocale) {
    CommaLocale comma;  // would write 1.234,5 if the global locale leaked in
    EXPECT_EQ(FormatFrameRate(30000.0 / 1001.0), "29.97");
    EXPECT_EQ(FormatFrameRate(25.0 / 1.0), "25");
    EXPECT_EQ(FormatFrameRate(24000.0 / 1001.0), "23.976");
    EXPECT_EQ(FormatFrameRate(60000.0 / 1001.0), "59.9401");
    EXPECT_EQ(FormatFrameRate(1234.5), "1234.5");
    EXPECT_EQ(FormatFrameRate(1234567.0), "1.23457e+06");
    EXPECT_EQ(MuxerCommandLine("o.mp4", 30000.0 / 1001.0, "v.h264", nullptr),
              " -add \"v.h264\"#video:fps=29.97 -new \"o.mp4\"");
}

TEST(MuxerCommandLine, VideoThenAudioThenTheNewFile) {
    EXPECT_EQ(MuxerCommandLine("C:\\Out\\movie.mp4", 25.0, "C:\\Temp\\ABCDEFG.h264", nullptr),
              " -add \"C:\\Temp\\ABCDEFG.h264\"#video:fps=25 -new \"C:\\Out\\movie.mp4\"");
    EXPECT_EQ(MuxerCommandLine("C:\\Out\\movie.mp4", 24000.0 / 1001.0, "C:\\Temp\\ABCDEFG.h264",
                               "C:\\Temp\\HIJKLMN.aac"),
              " -add \"C:\\Temp\\ABCDEFG.h264\"#video:fps=23.976 -add \"C:\\Temp\\HIJKLMN.aac\"#audio"
              " -new \"C:\\Out\\movie.mp4\"");
}

class MuxMp4Test : public ::testing::Test {
protected:
    ScratchDir scratch{"tarvo mux"};
    std::string record = scratch.File("record.txt");
    std::string output = scratch.File("my movie.mp4");
    std::string video = scratch.File("ABCDEFG.h264");
    std::string audio = scratch.File("HIJKLMN.aac");
    ScopedEnv recordEnv{"TARVO_RECORD", record};

    bool MuxerRan() const { return !ReadWholeFile(record).empty(); }
    // What the stand-in writes after "-new" is moved to the output.
    const std::string kMuxed = std::string("\0\0\0\x08" "ftyp", 8) + "output";
    // The path the muxer was told to write: the last line of the record.
    std::string MuxerOutput() const { return ReadLines(record).back(); }
    void WriteOldFile() const {
        std::FILE* file = std::fopen(output.c_str(), "wb");
        std::fputs("old movie\n", file);
        std::fclose(file);
    }
};

TEST_F(MuxMp4Test, RunsTheMuxerAndWaitsForTheFile) {
    ASSERT_TRUE(MuxMp4(TARVO_RECORD_ARGS, output.c_str(), 30000.0 / 1001.0, video.c_str(), audio.c_str()).done());
    const std::string sibling = MuxerOutput();
    EXPECT_EQ(ReadLines(record), (std::vector<std::string>{"-add", video + "#video:fps=29.97", "-add",
                                                           audio + "#audio", "-new", sibling}));
    // "<output>.<6 capital letters>.mp4" in the same folder.
    ASSERT_EQ(sibling.size(), output.size() + 11);
    EXPECT_EQ(sibling.compare(0, output.size() + 1, output + "."), 0);
    for (size_t i = output.size() + 1; i < output.size() + 7; ++i) EXPECT_TRUE(sibling[i] >= 'A' && sibling[i] <= 'Z');
    EXPECT_EQ(sibling.substr(output.size() + 7), ".mp4");
    EXPECT_EQ(ReadWholeFile(output), kMuxed);
    EXPECT_EQ(ListDir(scratch.path()), (std::vector<std::string>{"my movie.mp4", "record.txt"}));

    // An old file at the output path is replaced.
    WriteOldFile();
    ASSERT_TRUE(MuxMp4(TARVO_RECORD_ARGS, output.c_str(), 25.0, video.c_str(), nullptr).done());
    EXPECT_EQ(ReadLines(record), (std::vector<std::string>{"-add", video + "#video:fps=25", "-new", MuxerOutput()}));
    EXPECT_EQ(ReadWholeFile(output), kMuxed);
}

TEST_F(MuxMp4Test, ASymlinkAtTheOutputIsReplacedNotWrittenThrough) {
    const std::string target = scratch.File("target.mp4");
    {
        std::FILE* file = std::fopen(target.c_str(), "wb");
        std::fputs("target", file);
        std::fclose(file);
    }
    ASSERT_EQ(symlink(target.c_str(), output.c_str()), 0);
    ASSERT_TRUE(MuxMp4(TARVO_RECORD_ARGS, output.c_str(), 25.0, video.c_str(), nullptr).done());
    EXPECT_EQ(ReadWholeFile(target), "target");
    struct stat info;
    ASSERT_EQ(lstat(output.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(ReadWholeFile(output), kMuxed);
}

// Each way a muxer can fail leaves the old file byte for byte and nothing
// else in the folder, and says why naming the muxer.
TEST_F(MuxMp4Test, AFailingMuxerLeavesTheOldFileAndNothingElse) {
    struct Row {
        const char* variable;
        const char* value;
        const char* message;
    };
    const Row rows[] = {
        {"TARVO_EXIT", "1", "MP4 muxer failed (exit code 1): "},           // wrote part, then failed
        {"TARVO_NO_OUTPUT", "1", "MP4 muxer wrote no file at "},          // exit 0, nothing written
        {"TARVO_NOT_MP4", "1", "MP4 muxer wrote no MP4 file at "},        // exit 0, not an MP4
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.variable);
        WriteOldFile();
        ScopedEnv set(row.variable, row.value);
        const Outcome failure = MuxMp4(TARVO_RECORD_ARGS, output.c_str(), 25.0, video.c_str(), audio.c_str());
        EXPECT_TRUE(failure.failed());
        EXPECT_TRUE(MuxerRan());
        EXPECT_EQ(failure.stage, Stage::kMuxer);
        EXPECT_EQ(failure.message.rfind(row.message, 0), 0u) << failure.message;
        EXPECT_NE(failure.message.find(TARVO_RECORD_ARGS), std::string::npos) << failure.message;
        EXPECT_EQ(ReadWholeFile(output), "old movie\n");
        EXPECT_EQ(ListDir(scratch.path()), (std::vector<std::string>{"my movie.mp4", "record.txt"}));
    }
    // Without an old file, nothing is left either.
    std::remove(output.c_str());
    ScopedEnv exitCode("TARVO_EXIT", "1");
    EXPECT_TRUE(MuxMp4(TARVO_RECORD_ARGS, output.c_str(), 25.0, video.c_str(), audio.c_str()).failed());
    EXPECT_EQ(ListDir(scratch.path()), (std::vector<std::string>{"record.txt"}));
}

TEST_F(MuxMp4Test, AMuxerThatFailsOrWritesNothingIsNotASuccess) {
    {
        ScopedEnv exitCode("TARVO_EXIT", "1");
        EXPECT_TRUE(MuxMp4(TARVO_RECORD_ARGS, output.c_str(), 25.0, video.c_str(), audio.c_str()).failed());
        EXPECT_TRUE(MuxerRan());
    }
    std::remove(output.c_str());
    ScopedEnv noOutput("TARVO_NO_OUTPUT", "1");
    EXPECT_TRUE(MuxMp4(TARVO_RECORD_ARGS, output.c_str(), 25.0, video.c_str(), audio.c_str()).failed());
}

TEST_F(MuxMp4Test, RefusesWhatItCannotRunWithoutStartingAnything) {
    EXPECT_TRUE(MuxMp4("", output.c_str(), 25.0, video.c_str(), nullptr).failed());
    EXPECT_TRUE(MuxMp4(scratch.File("no such muxer").c_str(), output.c_str(), 25.0, video.c_str(), nullptr).failed());
    EXPECT_TRUE(MuxMp4(nullptr, output.c_str(), 25.0, video.c_str(), nullptr).failed());
    EXPECT_TRUE(MuxMp4(TARVO_RECORD_ARGS, nullptr, 25.0, video.c_str(), nullptr).failed());
    EXPECT_TRUE(MuxMp4(TARVO_RECORD_ARGS, output.c_str(), 25.0, nullptr, nullptr).failed());
    std::string quoted = scratch.File("a\" -new \"/tmp/elsewhere.mp4");
    EXPECT_TRUE(MuxMp4(TARVO_RECORD_ARGS, quoted.c_str(), 25.0, video.c_str(), nullptr).failed());
    EXPECT_TRUE(MuxMp4(TARVO_RECORD_ARGS, output.c_str(), 25.0, video.c_str(), "C:\\dir\\").failed());
    EXPECT_TRUE(MuxMp4(TARVO_RECORD_ARGS, output.c_str(), std::numeric_limits<double>::infinity(), video.c_str(),
                        nullptr).failed());
    EXPECT_TRUE(MuxMp4(TARVO_RECORD_ARGS, output.c_str(), std::nan(""), video.c_str(), nullptr).failed());
    EXPECT_FALSE(MuxerRan());
    // Audio alone needs no frame rate.
    EXPECT_TRUE(MuxMp4(TARVO_RECORD_ARGS, output.c_str(), 0.0, nullptr, audio.c_str()).done());
    EXPECT_EQ(ReadLines(record), (std::vector<std::string>{"-add", audio + "#audio", "-new", MuxerOutput()}));
}

}  // namespace
