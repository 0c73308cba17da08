#include <gtest/gtest.h>

#include <cmath>
#include <limits>

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
};

TEST_F(MuxMp4Test, RunsTheMuxerAndWaitsForTheFile) {
    ASSERT_TRUE(MuxMp4(TARVO_RECORD_ARGS, output.c_str(), 30000.0 / 1001.0, video.c_str(), audio.c_str()));
    EXPECT_EQ(ReadLines(record), (std::vector<std::string>{"-add", video + "#video:fps=29.97", "-add",
                                                           audio + "#audio", "-new", output}));
    EXPECT_EQ(ReadWholeFile(output), "output");

    ASSERT_TRUE(MuxMp4(TARVO_RECORD_ARGS, output.c_str(), 25.0, video.c_str(), nullptr));
    EXPECT_EQ(ReadLines(record), (std::vector<std::string>{"-add", video + "#video:fps=25", "-new", output}));
}

TEST_F(MuxMp4Test, AMuxerThatFailsOrWritesNothingIsNotASuccess) {
    {
        ScopedEnv exitCode("TARVO_EXIT", "1");
        EXPECT_FALSE(MuxMp4(TARVO_RECORD_ARGS, output.c_str(), 25.0, video.c_str(), audio.c_str()));
        EXPECT_TRUE(MuxerRan());
    }
    std::remove(output.c_str());
    ScopedEnv noOutput("TARVO_NO_OUTPUT", "1");
    EXPECT_FALSE(MuxMp4(TARVO_RECORD_ARGS, output.c_str(), 25.0, video.c_str(), audio.c_str()));
}

TEST_F(MuxMp4Test, RefusesWhatItCannotRunWithoutStartingAnything) {
    EXPECT_FALSE(MuxMp4("", output.c_str(), 25.0, video.c_str(), nullptr));
    EXPECT_FALSE(MuxMp4(scratch.File("no such muxer").c_str(), output.c_str(), 25.0, video.c_str(), nullptr));
    EXPECT_FALSE(MuxMp4(nullptr, output.c_str(), 25.0, video.c_str(), nullptr));
    EXPECT_FALSE(MuxMp4(TARVO_RECORD_ARGS, nullptr, 25.0, video.c_str(), nullptr));
    EXPECT_FALSE(MuxMp4(TARVO_RECORD_ARGS, output.c_str(), 25.0, nullptr, nullptr));
    std::string quoted = scratch.File("a\" -new \"/tmp/elsewhere.mp4");
    EXPECT_FALSE(MuxMp4(TARVO_RECORD_ARGS, quoted.c_str(), 25.0, video.c_str(), nullptr));
    EXPECT_FALSE(MuxMp4(TARVO_RECORD_ARGS, output.c_str(), 25.0, video.c_str(), "C:\\dir\\"));
    EXPECT_FALSE(MuxMp4(TARVO_RECORD_ARGS, output.c_str(), std::numeric_limits<double>::infinity(), video.c_str(),
                        nullptr));
    EXPECT_FALSE(MuxMp4(TARVO_RECORD_ARGS, output.c_str(), std::nan(""), video.c_str(), nullptr));
    EXPECT_FALSE(MuxerRan());
    // Audio alone needs no frame rate.
    EXPECT_TRUE(MuxMp4(TARVO_RECORD_ARGS, output.c_str(), 0.0, nullptr, audio.c_str()));
    EXPECT_EQ(ReadLines(record), (std::vector<std::string>{"-add", audio + "#audio", "-new", output}));
}

}  // namespace
