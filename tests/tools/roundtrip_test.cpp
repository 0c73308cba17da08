// The audio stage's code driving the stand-in programs, both pairs of them
// (on FFmpeg's libraries, and tarvo-aac / tarvo-mux running ffmpeg): a WAV
// written from a host becomes AAC, an H.264 stream and that AAC become an
// MP4, and ffprobe reads back what was meant.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "audio/audio_export.h"
#include "audio/mux.h"
#include "audio/run_process.h"
#include "platform/file.h"
#include "test_support.h"

using namespace audio_test;

namespace {

constexpr int kFrames = 45;

// Runs a shell command with a time limit; returns its standard output.
std::string Run(const std::string& command, int* status = nullptr) {
    std::string output;
    if (FILE* pipe = popen(("timeout 120 " + command).c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
        int result = pclose(pipe);
        if (status != nullptr) *status = result;
    }
    return output;
}

std::string Quote(const std::string& text) { return "'" + text + "'"; }

// An H.264 elementary stream with B-frames, so that presentation order
// differs from decoding order.
std::string MakeVideo(const ScratchDir& dir) {
    std::string path = dir.File("source video.h264");
    int status = -1;
    Run(std::string(TARVO_FFMPEG) + " -nostdin -v error -y -f lavfi -i testsrc=size=160x120:rate=30000/1001 -frames:v " +
            std::to_string(kFrames) + " -c:v libx264 -pix_fmt yuv420p -x264-params bframes=3:keyint=15 -f h264 " +
            Quote(path),
        &status);
    EXPECT_EQ(status, 0);
    return path;
}

struct StreamInfo {
    std::string codec;
    std::string frameRate;
    double duration = 0;
    int frames = 0;
};

// codec_type -> what ffprobe says about that stream.
std::map<std::string, StreamInfo> Probe(const std::string& path) {
    std::istringstream lines(Run(std::string(TARVO_FFPROBE) +
                                 " -v error -show_entries stream=codec_type,codec_name,r_frame_rate,duration,nb_frames"
                                 " -of csv=p=0 " + Quote(path)));
    std::map<std::string, StreamInfo> streams;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string codec, type, rate, duration, frames;
        std::getline(fields, codec, ',');
        std::getline(fields, type, ',');
        std::getline(fields, rate, ',');
        std::getline(fields, duration, ',');
        std::getline(fields, frames, ',');
        streams[type] = {codec, rate, std::atof(duration.c_str()), std::atoi(frames.c_str())};
    }
    return streams;
}

// Frame checksums in presentation order.
std::string FrameSums(const std::string& path) {
    std::string sums;
    std::istringstream lines(Run(std::string(TARVO_FFMPEG) + " -nostdin -v error -i " + Quote(path) +
                                 " -map 0:v -f framemd5 -"));
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line[0] != '#') sums += line.substr(line.rfind(',') + 1) + "\n";
    }
    return sums;
}

// An AAC encoder and a muxer that answer the plug-in's command lines.
struct Programs {
    const char* name;
    const char* encoder;
    const char* muxer;
};

void PrintTo(const Programs& programs, std::ostream* out) { *out << programs.name; }

class StandIns : public testing::TestWithParam<Programs> {};

TEST_P(StandIns, ExportAudioAndVideoIntoOneMp4) {
    ScratchDir dir("tarvo roundtrip");
    std::string temp = dir.File("temp files");
    ASSERT_EQ(system(("mkdir " + Quote(temp)).c_str()), 0);

    AudioHost host;
    host.channels = 2;
    host.rate = 48000;
    host.count = 72000;  // 1.5 seconds
    ExportJob job = host.Job();
    job.settings = SettingsFor(temp, GetParam().encoder);
    job.settings.aacProfile = 1;
    job.settings.aacKbps = 128;
    AacEncoding encoding;
    ASSERT_TRUE(StartAacEncoder(job, &encoding).done());
    std::string video = MakeVideo(dir);  // while the encoder runs, as in an export
    EXPECT_TRUE(WaitAacEncoder(encoding.encoder, "").done());
    encoding.wav.Remove();

    std::string output = dir.File("my movie.mp4");
    EXPECT_TRUE(MuxMp4(GetParam().muxer, output.c_str(), 30000.0 / 1001.0, video.c_str(), encoding.aac.c_str()).done());
    encoding.aac.Remove();

    auto streams = Probe(output);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams["video"].codec, "h264");
    EXPECT_EQ(streams["video"].frameRate, "30000/1001");
    EXPECT_EQ(streams["video"].frames, kFrames);
    EXPECT_NEAR(streams["video"].duration, kFrames * 1001.0 / 30000.0, 1e-3);
    EXPECT_EQ(streams["audio"].codec, "aac");
    EXPECT_NEAR(streams["audio"].duration, 1.5, 0.025);
    EXPECT_EQ(FrameSums(output), FrameSums(video));
}

TEST_P(StandIns, FrameRatesArriveAsExactRationals) {
    ScratchDir dir("tarvo rates");
    std::string video = MakeVideo(dir);
    struct Case {
        double rate;
        const char* rational;
        double frameSeconds;
    };
    for (const Case& rate : {Case{25.0, "25/1", 1 / 25.0}, Case{24000.0 / 1001.0, "24000/1001", 1001 / 24000.0},
                             Case{60000.0 / 1001.0, "60000/1001", 1001 / 60000.0},
                             Case{30000.0 / 1001.0, "30000/1001", 1001 / 30000.0}}) {
        SCOPED_TRACE(FormatFrameRate(rate.rate));
        std::string output = dir.File("rate " + FormatFrameRate(rate.rate) + ".mp4");
        ASSERT_TRUE(MuxMp4(GetParam().muxer, output.c_str(), rate.rate, video.c_str(), nullptr).done());
        auto streams = Probe(output);
        ASSERT_EQ(streams.size(), 1u);
        EXPECT_EQ(streams["video"].frameRate, rate.rational);
        EXPECT_NEAR(streams["video"].duration, kFrames * rate.frameSeconds, 1e-3);
    }
}

TEST_P(StandIns, FailuresAreReportedAndLeaveNoOutput) {
    ScratchDir dir("tarvo failures");
    std::string video = MakeVideo(dir);
    std::string output = dir.File("out.mp4");
    {
        SCOPED_TRACE("muxer given an AAC file that was never written");
        EXPECT_TRUE(MuxMp4(GetParam().muxer, output.c_str(), 25.0, video.c_str(), dir.File("none.aac").c_str()).failed());
        EXPECT_FALSE(platform::PathExists(output.c_str()));
    }
    {
        SCOPED_TRACE("muxer given a video file that is not H.264");
        std::string junk = dir.File("junk.h264");
        FILE* file = std::fopen(junk.c_str(), "w");
        ASSERT_NE(file, nullptr);
        std::fputs("not a video", file);
        std::fclose(file);
        EXPECT_TRUE(MuxMp4(GetParam().muxer, output.c_str(), 25.0, junk.c_str(), nullptr).failed());
        EXPECT_FALSE(platform::PathExists(output.c_str()));
    }
    {
        SCOPED_TRACE("encoder given a WAV file that does not exist");
        std::string line = AacEncoderCommandLine(1, 128, dir.File("none.wav").c_str(), dir.File("a.aac").c_str());
        platform::Process encoder(RunProcess(GetParam().encoder, line.c_str()));
        EXPECT_TRUE(WaitAacEncoder(encoder, "").failed());
        EXPECT_FALSE(platform::PathExists(dir.File("a.aac").c_str()));
    }
}

INSTANTIATE_TEST_SUITE_P(Both, StandIns,
                         testing::Values(Programs{"compat", TARVO_NEROAACENC_COMPAT, TARVO_MP4BOX_COMPAT},
                                         Programs{"ffmpeg", TARVO_AAC, TARVO_MUX}),
                         [](const testing::TestParamInfo<Programs>& info) { return info.param.name; });

}  // namespace
