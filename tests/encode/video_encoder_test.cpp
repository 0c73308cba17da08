#include "encode/video_encoder.h"

#include <cerrno>
#include <fstream>

#include <gtest/gtest.h>

#include "encode/encode_pipeline.h"
#include "tests/encode/fake_host.h"
#include "tests/encode/h264_decode.h"
#include "tests/encode/soft_runtime.h"
#include "tests/encode/test_support.h"

namespace {

using tarvo_test::DecodeH264File;
using tarvo_test::FakeHost;
using tarvo_test::ReadAll;
using tarvo_test::RecordedCalls;
using tarvo_test::RunBounded;
using tarvo_test::TempPath;
using tarvo_test::TestSettings;

class VideoEncoderTest : public tarvo_test::SoftRuntimeTest {
protected:
    bool Encode(FakeHost& host, const char* path, VideoEncodeReport* report = nullptr) {
        const ExportJob job = host.Job();
        bool result = false;
        RunBounded([&] { result = EncodeVideoToFile(job, path, report).done(); });
        return result;
    }
};

TEST_F(VideoEncoderTest, ValidationIsATrialThatLeavesNothing) {
    FakeHost host;
    const ExportJob job = host.Job();
    // What the runtime itself starts for one set-up, to compare with.
    {
        EncodePipeline pipeline;
        const PipelineCallbacks callbacks{nullptr, ReadHostFrame, QueueBitstream};
        ASSERT_TRUE(OpenEncodePipeline(TestSettings(), job, pipeline, callbacks));
    }
    const int runtimeThreads = RecordedCalls().threadsStarted;

    tarvo_test::ResetRecordedCalls();
    EXPECT_TRUE(ValidateEncodeParameters(job).done());
    auto calls = RecordedCalls();
    EXPECT_EQ(calls.filesOpened, 0);
    EXPECT_EQ(calls.threadsStarted, runtimeThreads);  // neither writer nor worker
    EXPECT_EQ(calls.close, 1);
    EXPECT_EQ(host.framesRead, 0);

    // A warning from the encoder's initialisation is a refusal, cleanly.
    Faults("enc_init=4");
    tarvo_test::ResetRecordedCalls();
    EXPECT_TRUE(ValidateEncodeParameters(job).failed());
    calls = RecordedCalls();
    EXPECT_EQ(calls.filesOpened, 0);
    EXPECT_EQ(calls.encodeClose, 1);
    EXPECT_EQ(calls.vppClose, 1);
    EXPECT_EQ(calls.close, 1);

    Faults("init=-3");
    EXPECT_TRUE(ValidateEncodeParameters(job).failed());
}

TEST_F(VideoEncoderTest, ZeroFramesGiveAnEmptyFile) {
    TempPath path;
    FakeHost host;
    host.frameCount = 0;
    EXPECT_TRUE(Encode(host, path.c_str()));
    std::ifstream file(path.str(), std::ios::binary);
    EXPECT_TRUE(file.good());
    EXPECT_TRUE(ReadAll(path.str()).empty());
}

TEST_F(VideoEncoderTest, DecodedStreamHasEveryFrameUprightAndInOrder) {
    Encoder("x264");
    TempPath path;
    FakeHost host;
    host.frameCount = 24;
    VideoEncodeReport report{};
    ASSERT_TRUE(Encode(host, path.c_str(), &report));
    EXPECT_EQ(report.framesRead, 24);
    EXPECT_FALSE(report.aborted);

    const auto frames = DecodeH264File(path.str());
    ASSERT_EQ(frames.size(), 24u);
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].width, 64);
        EXPECT_EQ(frames[i].height, 64);
        // Grey g in RGB is luma 16 + g * 219 / 255 in limited range.
        EXPECT_NEAR(frames[i].mean, 16 + tarvo_test::GreyOf(static_cast<int32_t>(i)) * 219.0 / 255, 3.0) << i;
    }

    // A picture dark at the top stays dark at the top.
    TempPath upright;
    FakeHost gradient;
    gradient.width = 320;
    gradient.height = 180;
    gradient.frameCount = 2;
    gradient.picture = tarvo_test::Picture::kVerticalGradient;
    ASSERT_TRUE(Encode(gradient, upright.c_str()));
    const auto pictures = DecodeH264File(upright.str());
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(pictures[0].height, 180);
    EXPECT_LT(pictures[0].rowMeans.front() + 100, pictures[0].rowMeans.back());
}

TEST_F(VideoEncoderTest, Rgb4InputGivesTheStreamOfRgb3Input) {
    // A runtime that refuses RGB3 gets the same picture as RGB4: the same
    // NV12 reaches the encoder, so the coded bytes are the same. Colour noise
    // at an odd size catches a swapped channel, a shifted pixel or a row
    // upside down.
    Encoder("x264");
    std::vector<uint8_t> streams[2];
    const char* runtimes[2] = {"msdk", "vpl"};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(runtimes[i]);
        Runtime(runtimes[i]);
        TempPath path;
        FakeHost host;
        host.width = 67;
        host.height = 35;
        host.frameCount = 5;
        host.picture = tarvo_test::Picture::kColourNoise;
        ASSERT_TRUE(Encode(host, path.c_str()));
        streams[i] = ReadAll(path.str());
        EXPECT_EQ(DecodeH264File(path.str()).size(), 5u);
    }
    EXPECT_FALSE(streams[0].empty());
    EXPECT_TRUE(streams[0] == streams[1]);
}

TEST_F(VideoEncoderTest, ACancelStopsTheEncodeWithoutADrain) {
    Encoder("x264");
    TempPath path;
    FakeHost host;
    host.frameCount = 50;
    host.abortAfter = 9;
    VideoEncodeReport report{};
    EXPECT_FALSE(Encode(host, path.c_str(), &report));
    EXPECT_TRUE(report.aborted);
    EXPECT_EQ(report.framesRead, 9);
    EXPECT_EQ(report.loopStatus, MFX_ERR_ABORTED);
    EXPECT_EQ(report.stallCall, nullptr);
}

TEST_F(VideoEncoderTest, IncompleteVideoIsAFailure) {
    // The host gives no frame 4: the stream ends there, and that is not success.
    Encoder("x264");
    TempPath path;
    FakeHost host;
    host.frameCount = 10;
    host.missingFrame = 4;
    VideoEncodeReport report{};
    EXPECT_FALSE(Encode(host, path.c_str(), &report));
    EXPECT_TRUE(report.frameMissing);
    EXPECT_FALSE(report.aborted);
    EXPECT_EQ(report.loopStatus, 0);
    EXPECT_EQ(DecodeH264File(path.str()).size(), 4u);

    // The disk is full: the writer fails, so does the encode, and it stops
    // reading the host's frames instead of encoding a video that is lost.
    FakeHost full;
    full.frameCount = 20000;
    EXPECT_FALSE(Encode(full, "/dev/full", &report));
    EXPECT_EQ(report.writeError, static_cast<uint32_t>(ENOSPC));
    EXPECT_EQ(report.loopStatus, 0);
    EXPECT_LT(report.framesRead, 20000);
    EXPECT_FALSE(report.aborted);
}

TEST_F(VideoEncoderTest, FailuresOfTheEncodeAreReported) {
    FakeHost host;
    host.frameCount = 40;
    VideoEncodeReport report{};

    Faults("enc_run=-17@6");
    TempPath encoderFailed;
    EXPECT_FALSE(Encode(host, encoderFailed.c_str(), &report));
    EXPECT_EQ(report.loopStatus, MFX_ERR_DEVICE_FAILED);

    Faults("vpp_run=-17@3");
    TempPath vppFailed;
    EXPECT_FALSE(Encode(host, vppFailed.c_str(), &report));
    EXPECT_EQ(report.loopStatus, MFX_ERR_DEVICE_FAILED);
    EXPECT_FALSE(ReadAll(vppFailed.str()).empty());  // the frames before the failure

    // A refused set-up leaves an empty file, the writer stopped and the file closed.
    Faults("enc_init=-15");
    TempPath refused;
    EXPECT_FALSE(Encode(host, refused.c_str(), &report));
    EXPECT_TRUE(report.fileOpened);
    EXPECT_FALSE(report.pipelineOpened);
    EXPECT_TRUE(ReadAll(refused.str()).empty());

    // No file, no encode.
    ::unsetenv("MFXSOFT_FAULTS");
    tarvo_test::ResetRecordedCalls();
    EXPECT_FALSE(Encode(host, "/nonexistent-folder/video.h264", &report));
    EXPECT_FALSE(report.fileOpened);
    EXPECT_EQ(RecordedCalls().init, 0);
}

TEST_F(VideoEncoderTest, ExistingFileIsOverwrittenFromItsStartWithoutTruncation) {
    TempPath path;
    {
        std::ofstream old(path.str(), std::ios::binary);
        old << std::string(200000, 'Z');
    }
    FakeHost host;
    host.frameCount = 3;
    ASSERT_TRUE(Encode(host, path.c_str()));
    const auto bytes = ReadAll(path.str());
    ASSERT_EQ(bytes.size(), 200000u);
    EXPECT_NE(bytes[0], 'Z');
    EXPECT_EQ(bytes.back(), 'Z');
}

}  // namespace
