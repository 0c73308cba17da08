#include <gtest/gtest.h>

#include "audio/audio_export.h"
#include "test_support.h"

using namespace audio_test;

namespace {

std::vector<int32_t> Starts(const AudioHost& host) {
    std::vector<int32_t> starts;
    for (const auto& request : host.requests) starts.push_back(request.start);
    return starts;
}

TEST(WavFile, ZeroSampleJobIsABareHeaderAndNeverAsksTheHost) {
    ScratchDir dir;
    AudioHost host;
    host.count = 0;
    ExportJob job = host.Job();
    ASSERT_TRUE(WriteWavFile(dir.File("a.wav").c_str(), &job));
    std::string bytes = ReadWholeFile(dir.File("a.wav"));
    ASSERT_EQ(bytes.size(), 44u);
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(Le32(bytes, 4), 36u);
    EXPECT_EQ(Le32(bytes, 40), 0u);
    EXPECT_TRUE(host.requests.empty());
}

TEST(WavFile, StereoHeaderDescribesSixteenBitPcm) {
    ScratchDir dir;
    AudioHost host;
    host.channels = 2;
    host.rate = 44100;
    host.count = 10;
    ExportJob job = host.Job();
    ASSERT_TRUE(WriteWavFile(dir.File("a.wav").c_str(), &job));
    std::string bytes = ReadWholeFile(dir.File("a.wav"));
    ASSERT_EQ(bytes.size(), 44u + 40u);
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(Le32(bytes, 4), 40u + 36u);
    EXPECT_EQ(bytes.substr(8, 4), "WAVE");
    EXPECT_EQ(bytes.substr(12, 4), "fmt ");
    EXPECT_EQ(Le32(bytes, 16), 16u);
    EXPECT_EQ(Le16(bytes, 20), 1u);
    EXPECT_EQ(Le16(bytes, 22), 2u);
    EXPECT_EQ(Le32(bytes, 24), 44100u);
    EXPECT_EQ(Le32(bytes, 28), 4u * 44100u);
    EXPECT_EQ(Le16(bytes, 32), 4u);
    EXPECT_EQ(Le16(bytes, 34), 16u);
    EXPECT_EQ(bytes.substr(36, 4), "data");
    EXPECT_EQ(Le32(bytes, 40), 40u);
    EXPECT_EQ(bytes.substr(44), host.ExpectedData(10));
}

TEST(WavFile, PullsThousandFrameBlocksAndFollowsWhatWasDelivered) {
    {
        SCOPED_TRACE("2500 frames, delivered in full");
        ScratchDir dir;
        AudioHost host;
        host.count = 2500;
        ExportJob job = host.Job();
        ASSERT_TRUE(WriteWavFile(dir.File("a.wav").c_str(), &job));
        EXPECT_EQ(Starts(host), (std::vector<int32_t>{0, 1000, 2000}));
        for (const auto& request : host.requests) EXPECT_EQ(request.length, 1000);
        EXPECT_EQ(ReadWholeFile(dir.File("a.wav")).substr(44), host.ExpectedData(2500));
    }
    {
        SCOPED_TRACE("short deliveries in the middle");
        ScratchDir dir;
        AudioHost host;
        host.channels = 1;
        host.count = 2500;
        host.deliveries = {1000, 300, 1000, 1000};
        ExportJob job = host.Job();
        ASSERT_TRUE(WriteWavFile(dir.File("a.wav").c_str(), &job));
        EXPECT_EQ(Starts(host), (std::vector<int32_t>{0, 1000, 1300, 2300}));
        std::string bytes = ReadWholeFile(dir.File("a.wav"));
        EXPECT_EQ(Le32(bytes, 40), 5000u);
        EXPECT_EQ(bytes.substr(44), host.ExpectedData(2500));
    }
    {
        SCOPED_TRACE("a host that hands over more than the count has left");
        ScratchDir dir;
        AudioHost host;
        host.count = 1500;
        host.deliveries = {1000};
        ExportJob job = host.Job();
        ASSERT_TRUE(WriteWavFile(dir.File("a.wav").c_str(), &job));
        std::string bytes = ReadWholeFile(dir.File("a.wav"));
        EXPECT_EQ(bytes.size(), 44u + 1500u * 4u);
        EXPECT_EQ(bytes.substr(44), host.ExpectedData(1500));
    }
}

TEST(WavFile, FailsInsteadOfWritingAShortFile) {
    {
        SCOPED_TRACE("the host stops delivering");
        ScratchDir dir;
        AudioHost host;
        host.count = 5000;
        host.deliveries = {1000, 0};
        ExportJob job = host.Job();
        EXPECT_FALSE(WriteWavFile(dir.File("a.wav").c_str(), &job));
        EXPECT_EQ(host.requests.size(), 2u);
    }
    {
        SCOPED_TRACE("the host reports a negative amount");
        ScratchDir dir;
        AudioHost host;
        host.count = 5000;
        host.deliveries = {-1};
        ExportJob job = host.Job();
        EXPECT_FALSE(WriteWavFile(dir.File("a.wav").c_str(), &job));
        EXPECT_EQ(host.requests.size(), 1u);
    }
    {
        SCOPED_TRACE("the disk is full");
        AudioHost host;
        host.count = 2500;
        ExportJob job = host.Job();
        EXPECT_FALSE(WriteWavFile("/dev/full", &job));
    }
}

TEST(WavFile, RefusesJobsTheHeaderCannotDescribeWithoutCreatingTheFile) {
    ScratchDir dir;
    AudioHost host;
    host.count = 100;
    ExportJob job = host.Job();
    job.audioSampleBytes = 3;  // not 16-bit samples
    EXPECT_FALSE(WriteWavFile(dir.File("a.wav").c_str(), &job));
    job = host.Job();
    job.audioSampleCount = 0x7FFFFFFF;  // 8 GiB of stereo data
    EXPECT_FALSE(WriteWavFile(dir.File("a.wav").c_str(), &job));
    job = host.Job();
    job.audioSampleCount = -1;
    EXPECT_FALSE(WriteWavFile(dir.File("a.wav").c_str(), &job));
    job = host.Job();
    job.getAudio = nullptr;
    EXPECT_FALSE(WriteWavFile(dir.File("a.wav").c_str(), &job));
    EXPECT_TRUE(ListDir(dir.path()).empty());
    EXPECT_TRUE(host.requests.empty());
    job = host.Job();
    EXPECT_FALSE(WriteWavFile(dir.File("missing/a.wav").c_str(), &job));
}

}  // namespace
