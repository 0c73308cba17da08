// The audio stage's code driving the stand-in programs, both pairs of them
// (on FFmpeg's libraries, and tarvo-aac / tarvo-mux running ffmpeg): a WAV
// written from a host becomes AAC, an H.264, HEVC or AV1 stream and that AAC
// become an MP4, and ffprobe and FFmpeg's libraries read back what was meant.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/intreadwrite.h>
}

#include <algorithm>
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
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, n);
        int result = pclose(pipe);
        if (status != nullptr) *status = result;
    }
    return output;
}

std::string Quote(const std::string& text) { return "'" + text + "'"; }

// A video stream as the plug-in's encoders leave it, told apart by its
// extension alone.
struct VideoKind {
    const char* name;
    const char* extension;
    const char* encoder;  // ffmpeg's arguments
    int frames;
    AVCodecID codec;
    uint32_t tag;
    bool reorders;  // B-frames: shown in another order than decoded
};

const VideoKind kKinds[] = {
    {"H.264", "h264", "-c:v libx264 -pix_fmt yuv420p -x264-params bframes=3:keyint=15", kFrames, AV_CODEC_ID_H264,
     MKTAG('a', 'v', 'c', '1'), true},
    // Open GOPs: CRA pictures, whose leading pictures are shown before them,
    // do not start the order count again, so its 6-bit lsb wraps.
    {"HEVC", "hevc", "-c:v libx265 -x265-params log-level=error:bframes=3:b-pyramid=1:keyint=15:log2-max-poc-lsb=4", 100, AV_CODEC_ID_HEVC,
     MKTAG('h', 'v', 'c', '1'), true},
    {"HEVC closed GOPs", "hevc", "-c:v libx265 -x265-params log-level=error:bframes=4:keyint=10:open-gop=0", kFrames,
     AV_CODEC_ID_HEVC, MKTAG('h', 'v', 'c', '1'), true},
    {"AV1", "obu", "-c:v libsvtav1 -g 15", kFrames, AV_CODEC_ID_AV1, MKTAG('a', 'v', '0', '1'), false},
};

std::string MakeVideo(const ScratchDir& dir, const VideoKind& kind) {
    std::string path = dir.File(std::string("source video ") + kind.name + "." + kind.extension);
    int status = -1;
    Run(std::string(TARVO_FFMPEG) +
            " -nostdin -v error -y -f lavfi -i testsrc=size=160x120:rate=30000/1001 -frames:v " +
            std::to_string(kind.frames) + " " + kind.encoder + " -f " + kind.extension + " " + Quote(path) +
            " 2>/dev/null",
        &status);
    EXPECT_EQ(status, 0) << kind.name;
    return path;
}

// What FFmpeg's libraries read back from a muxed MP4's video track.
struct ReadBack {
    AVCodecID codec = AV_CODEC_ID_NONE;
    uint32_t tag = 0;
    AVRational timeBase{0, 1};
    AVRational frameRate{0, 1};
    int64_t packets = 0;
    bool offsets = false;  // some packet is shown at another time than decoded
    bool inBandParameterSets = false;
    std::vector<int64_t> shown;  // decoded pictures' times, in the order the decoder shows them
};

ReadBack ReadMp4(const std::string& path) {
    av_log_set_level(AV_LOG_ERROR);
    ReadBack back;
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) return back;
    avformat_find_stream_info(input, nullptr);
    int index = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    AVCodecContext* decoder = nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    if (index >= 0) {
        AVStream* stream = input->streams[index];
        back.codec = stream->codecpar->codec_id;
        back.tag = stream->codecpar->codec_tag;
        back.timeBase = stream->time_base;
        back.frameRate = stream->avg_frame_rate;
        decoder = avcodec_alloc_context3(avcodec_find_decoder(back.codec));
        avcodec_parameters_to_context(decoder, stream->codecpar);
        decoder->thread_count = 1;
        avcodec_open2(decoder, decoder->codec, nullptr);
    }
    auto receive = [&] {
        while (avcodec_receive_frame(decoder, frame) == 0)
            back.shown.push_back(frame->pts);
    };
    while (decoder != nullptr && av_read_frame(input, packet) == 0) {
        if (packet->stream_index == index) {
            ++back.packets;
            back.offsets = back.offsets || packet->pts != packet->dts;
            // Length-prefixed NAL units: a VPS, SPS or PPS among them?
            for (int at = 0; back.codec == AV_CODEC_ID_HEVC && at + 5 <= packet->size;) {
                uint32_t size = AV_RB32(packet->data + at);
                int type = (packet->data[at + 4] >> 1) & 0x3F;
                back.inBandParameterSets = back.inBandParameterSets || (type >= 32 && type <= 34);
                at += 4 + static_cast<int>(size);
            }
            avcodec_send_packet(decoder, packet);
            receive();
        }
        av_packet_unref(packet);
    }
    if (decoder != nullptr) {
        avcodec_send_packet(decoder, nullptr);
        receive();
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&input);
    return back;
}

// Every picture shown at k frames at `rate` (in the track's time base,
// exactly), k = 0, 1, 2... in the order the decoder shows them.
void ExpectShownFrameByFrame(const ReadBack& back, AVRational rate, int frames) {
    ASSERT_EQ(static_cast<int>(back.shown.size()), frames);
    for (int k = 0; k < frames; ++k) {
        // pts × tb = k / rate  <=>  pts × tb.num × rate.num = k × tb.den × rate.den
        EXPECT_EQ(back.shown[k] * back.timeBase.num * rate.num, int64_t{k} * back.timeBase.den * rate.den)
            << "picture " << k << " shown at " << back.shown[k];
    }
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
                                 " -of csv=p=0 " +
                                 Quote(path)));
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
    std::istringstream lines(
        Run(std::string(TARVO_FFMPEG) + " -nostdin -v error -i " + Quote(path) + " -map 0:v -f framemd5 -"));
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
    std::string video = MakeVideo(dir, kKinds[0]);  // while the encoder runs, as in an export
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
    std::string video = MakeVideo(dir, kKinds[0]);
    struct Case {
        double rate;
        const char* rational;
        double frameSeconds;
    };
    for (const Case& rate :
         {Case{25.0, "25/1", 1 / 25.0}, Case{24000.0 / 1001.0, "24000/1001", 1001 / 24000.0},
          Case{60000.0 / 1001.0, "60000/1001", 1001 / 60000.0}, Case{30000.0 / 1001.0, "30000/1001", 1001 / 30000.0}}) {
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
    std::string video = MakeVideo(dir, kKinds[0]);
    std::string output = dir.File("out.mp4");
    {
        SCOPED_TRACE("muxer given an AAC file that was never written");
        EXPECT_TRUE(
            MuxMp4(GetParam().muxer, output.c_str(), 25.0, video.c_str(), dir.File("none.aac").c_str()).failed());
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

TEST_P(StandIns, EveryCodecBecomesItsOwnTrackWithExactTimes) {
    ScratchDir dir("tarvo codecs");
    for (const VideoKind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        std::string video = MakeVideo(dir, kind);
        // The streams say 30000/1001 themselves; 25 is the plug-in's word against theirs.
        for (AVRational rate : {AVRational{30000, 1001}, AVRational{25, 1}}) {
            SCOPED_TRACE(std::to_string(rate.num) + "/" + std::to_string(rate.den));
            std::string output = dir.File("out.mp4");
            ASSERT_TRUE(MuxMp4(GetParam().muxer, output.c_str(), av_q2d(rate), video.c_str(), nullptr).done());
            ReadBack back = ReadMp4(output);
            EXPECT_EQ(back.codec, kind.codec);
            EXPECT_EQ(back.tag, kind.tag);
            EXPECT_EQ(av_cmp_q(back.frameRate, rate), 0);
            EXPECT_EQ(back.packets, kind.frames);
            EXPECT_EQ(back.offsets, kind.reorders);
            EXPECT_FALSE(back.inBandParameterSets);  // hvc1 keeps them in its configuration alone
            ExpectShownFrameByFrame(back, rate, kind.frames);
            // The last frame lasts one frame too.
            EXPECT_NEAR(Probe(output)["video"].duration, kind.frames / av_q2d(rate), 1e-3);
            if (rate.num == 25) {
                EXPECT_EQ(FrameSums(output), FrameSums(video));
            }
            std::remove(output.c_str());
        }
    }
}

TEST_P(StandIns, BrokenStreamsFailInOneLineAndLeaveNoOutput) {
    ScratchDir dir("tarvo broken");
    std::string hevc = ReadWholeFile(MakeVideo(dir, kKinds[1]));
    std::string other = ReadWholeFile(MakeVideo(dir, kKinds[2]));
    std::string av1 = ReadWholeFile(MakeVideo(dir, kKinds[3]));
    const struct {
        const char* file;
        std::string bytes;
    } cases[] = {
        {"garbage.hevc", "not a video"},
        {"garbage.obu", "not a video"},
        {"empty.hevc", ""},
        {"headers cut.hevc", hevc.substr(0, 40)},
        {"last unit cut.obu", av1.substr(0, av1.size() - 1)},
        {"cut in the middle.obu", av1.substr(0, av1.size() / 2 + 7)},
        {"new parameter sets.hevc", hevc + other},  // hvc1 holds one set
    };
    std::string program = GetParam().muxer;
    std::string name = program.substr(program.rfind('/') + 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        std::string video = dir.File(c.file);
        FILE* file = std::fopen(video.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(c.bytes.data(), 1, c.bytes.size(), file);
        std::fclose(file);
        std::string output = dir.File("out.mp4");
        std::string said = ::Run(Quote(program) + " -add " + Quote(video + "#video:fps=25") + " -new " + Quote(output) +
                                 " 2>&1 >/dev/null; echo \"exit $?\"");
        // One line naming the program, then the exit code.
        EXPECT_EQ(said.rfind(name + ": ", 0), 0u) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 2) << said;
        EXPECT_NE(said.find("\nexit 1\n"), std::string::npos) << said;
        EXPECT_FALSE(platform::PathExists(output.c_str()));
    }
}

INSTANTIATE_TEST_SUITE_P(Both, StandIns,
                         testing::Values(Programs{"compat", TARVO_NEROAACENC_COMPAT, TARVO_MP4BOX_COMPAT},
                                         Programs{"ffmpeg", TARVO_AAC, TARVO_MUX}),
                         [](const testing::TestParamInfo<Programs>& info) { return info.param.name; });

}  // namespace
