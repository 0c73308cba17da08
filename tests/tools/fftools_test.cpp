// tarvo-aac and tarvo-mux: the plug-in's command lines as they arrive, what
// ffmpeg is asked to do for them, where ffmpeg is looked for, the command
// line it is started with on Windows, and the H.264 stream read for its
// pictures' order and with its rate set.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <numeric>
#include <set>
#include <sstream>

#include "audio/audio_export.h"
#include "audio/mux.h"
#include "platform/process.h"
#include "tools/common/stream_units.h"
#include "tools/common/tool_args.h"
#include "tools/fftools/annexb_stream.h"
#include "tools/fftools/av1_stream.h"
#include "tools/fftools/ffmpeg_command.h"
#include "tools/fftools/h264_stream.h"

namespace {

using Words = std::vector<std::string>;
using tool_args::ArgumentError;

// The words a program receives for the plug-in's text: on Windows the whole
// text (no program name in it), natively the program's path first.
Words AsWindowsGivesThem(const std::string& text) { return platform::SplitCommandLine(text.c_str()); }
Words AsPosixGivesThem(const std::string& text) {
    Words words = {"/opt/tarvo/tarvo-x"};
    for (std::string& word : platform::SplitCommandLine(text.c_str())) words.push_back(word);
    return words;
}

TEST(FrameRate, TheTextOfRateOverScaleBecomesItsExactFraction) {
    const struct {
        double rate;
        tool_args::FrameRate expected;
    } cases[] = {
        {25, {25, 1}},          {30000.0 / 1001, {30000, 1001}}, {24000.0 / 1001, {24000, 1001}},
        {60000.0 / 1001, {60000, 1001}}, {120000.0 / 1001, {120000, 1001}}, {12.5, {25, 2}},
        {1000, {1000, 1}},      {0.5, {1, 2}},                   {1e-05, {1, 100000}},
        {23.5, {47, 2}},
    };
    for (const auto& c : cases) {
        std::string text = FormatFrameRate(c.rate);  // the plug-in's own text
        SCOPED_TRACE(text);
        EXPECT_EQ(tool_args::ParseFrameRate(text), c.expected);
    }
    for (const char* bad : {"", "0", "-25", "1001", "abc", "25fps", "nan", "inf", "1e400", " 25"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(tool_args::ParseFrameRate(bad), ArgumentError);
    }
}

TEST(VideoCodec, TheExtensionAloneSaysIt) {
    using tool_args::VideoCodec;
    const struct {
        const char* path;
        VideoCodec codec;
    } cases[] = {
        {"C:\\t\\ABCDEFG.h264", VideoCodec::H264}, {"/t/a.hevc", VideoCodec::Hevc},
        {"/t/a.H265", VideoCodec::Hevc},           {"a.265", VideoCodec::Hevc},
        {"C:\\t\\A.OBU", VideoCodec::Av1},         {"/t/a.264", VideoCodec::H264},
        {"/t/no extension", VideoCodec::H264},     {"C:\\v.hevc\\name", VideoCodec::H264},
        {"/t/a.obu.tmp", VideoCodec::H264},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tool_args::VideoCodecOf(c.path), c.codec) << c.path;
    }
}

TEST(Arguments, OnlyAFirstWordThatIsASwitchIsAnArgument) {
    const struct {
        Words words;
        Words expected;
    } cases[] = {
        {{}, {}},
        {{"-2pass", "-br", "1"}, {"-2pass", "-br", "1"}},
        {{"C:\\tools\\tarvo-aac.exe", "-if", "a"}, {"-if", "a"}},
        {{"", "-add", "v#video"}, {"-add", "v#video"}},  // a C runtime's empty name for a leading blank
        {{"tarvo-mux"}, {}},
    };
    for (const auto& c : cases) EXPECT_EQ(tool_args::ArgumentsOf(c.words), c.expected);
}

TEST(TarvoAac, EveryEncoderLineOfThePluginBecomesOneFfmpegEncode) {
    const struct {
        int32_t profile, kbps;
        const char* wav;
        const char* out;
        const char* bits;
        const char* asked;
    } cases[] = {
        {0, 128, "/t/ABCDEFG.wav", "/t/ABCDEFG.aac", "128000", ""},
        {1, 96, "C:\\a b\\X.wav", "C:\\a b\\X.aac", "96000", ""},
        {2, 64, "/t/-x.wav", "/t/a:b.aac", "64000", "-he"},
        {3, 48, "/t/日本語 フォルダ/Y.wav", "/t/日本語 フォルダ/Y.aac", "48000", "-hev2"},
        {1, 1000, "/t/x.wav", "/t/x.aac", "1000000", ""},
    };
    for (const auto& c : cases) {
        std::string text = AacEncoderCommandLine(c.profile, c.kbps, c.wav, c.out);
        SCOPED_TRACE(text);
        for (const Words& words : {AsWindowsGivesThem(text), AsPosixGivesThem(text)}) {
            tool_args::AacArguments aac = tool_args::ParseAacArguments(tool_args::ArgumentsOf(words));
            EXPECT_EQ(aac.profileAsked, c.asked);
            Words expected = {"-nostdin", "-hide_banner", "-nostats", "-loglevel", "error", "-y",
                              "-f", "wav", "-i", std::string("file:") + c.wav, "-map", "0:a:0",
                              "-c:a", "aac", "-profile:a", "aac_low", "-b:a", c.bits, "-f", "ipod",
                              std::string("file:") + c.out};
            EXPECT_EQ(fftools::AacFfmpegArguments(aac), expected);
        }
    }
    tool_args::AacArguments aac = tool_args::ParseAacArguments({"-ignorelength", "-if", "a.wav", "-of", "b.m4a"});
    Words arguments = fftools::AacFfmpegArguments(aac);
    EXPECT_EQ(Words(arguments.begin() + 6, arguments.begin() + 8), (Words{"-ignore_length", "1"}));
    EXPECT_EQ(arguments[arguments.size() - 4], "128000");  // neroAacEnc's own default
}

TEST(TarvoMux, EveryMuxerLineOfThePluginBecomesOneFfmpegCopy) {
    const Words head = {"-nostdin", "-hide_banner", "-nostats", "-loglevel", "error", "-y"};
    const struct {
        double rate;
        const char* video;
        const char* audio;
        const char* out;
        Words expected;
    } cases[] = {
        {30000.0 / 1001, "/t/V.h264", "/t/A.aac", "/o/out.mp4",
         {"-f", "mpegts", "-i", "pipe:0", "-i", "file:/t/A.aac", "-map", "0:v:0", "-map", "1:a:0", "-c", "copy",
          "-video_track_timescale", "30000", "-movflags", "+faststart", "-f", "mp4", "file:/o/out.mp4"}},
        {25, "C:\\my #1\\V.h264", nullptr, "C:\\out dir\\o.mp4",
         {"-f", "mpegts", "-i", "pipe:0", "-map", "0:v:0", "-c", "copy", "-video_track_timescale", "25",
          "-movflags", "+faststart", "-f", "mp4", "file:C:\\out dir\\o.mp4"}},
        {25, "/t/V.HEVC", nullptr, "/o/o.mp4",
         {"-f", "mpegts", "-i", "pipe:0", "-map", "0:v:0", "-c", "copy", "-tag:v", "hvc1", "-bsf:v",
          "filter_units=remove_types=32-34", "-video_track_timescale", "25", "-movflags", "+faststart", "-f", "mp4",
          "file:/o/o.mp4"}},
        {24000.0 / 1001, "/t/V.obu", "/t/A.aac", "/o/o.mp4",
         {"-f", "ivf", "-i", "pipe:0", "-i", "file:/t/A.aac", "-map", "0:v:0", "-map", "1:a:0", "-c", "copy",
          "-video_track_timescale", "24000", "-movflags", "+faststart", "-f", "mp4", "file:/o/o.mp4"}},
        {12.5, nullptr, "/t/音声.aac", "/o/o.mp4",
         {"-i", "file:/t/音声.aac", "-map", "0:a:0", "-c", "copy", "-movflags", "+faststart", "-f", "mp4",
          "file:/o/o.mp4"}},
    };
    for (const auto& c : cases) {
        std::string text = MuxerCommandLine(c.out, c.rate, c.video, c.audio);
        SCOPED_TRACE(text);
        for (const Words& words : {AsWindowsGivesThem(text), AsPosixGivesThem(text)}) {
            tool_args::MuxArguments mux = tool_args::ParseMuxArguments(tool_args::ArgumentsOf(words));
            EXPECT_EQ(mux.video, c.video != nullptr ? c.video : "");
            Words expected = head;
            expected.insert(expected.end(), c.expected.begin(), c.expected.end());
            EXPECT_EQ(fftools::MuxFfmpegArguments(mux), expected);
        }
    }
}

TEST(Arguments, WhatNeitherProgramAcceptsIsSaid) {
    const struct {
        bool muxer;
        Words arguments;
        const char* message;
    } cases[] = {
        {false, {"-if", "a.wav"}, "no output file (-of)"},
        {false, {"-of", "a.aac"}, "no input file (-if)"},
        {false, {"-br", "0", "-if", "a", "-of", "b"}, "bad bit rate: 0"},
        {false, {"-br", "12k", "-if", "a", "-of", "b"}, "bad bit rate: 12k"},
        {false, {"-if"}, "-if needs a value"},
        {false, {"-q", "0.5", "-if", "a", "-of", "b"}, "unknown option: -q"},
        {true, {"-add", "v#video:fps=25"}, "no output file (-new)"},
        {true, {"-new", "o.mp4"}, "nothing to add"},
        {true, {"-add", "v.h264", "-new", "o"}, "-add needs #video or #audio: v.h264"},
        {true, {"-add", "#audio", "-new", "o"}, "-add names no file: #audio"},
        {true, {"-add", "v#video:fps=0", "-new", "o"}, "bad frame rate: 0"},
        {true, {"-add", "v#video:par=1:1", "-new", "o"}, "unknown track option: :par=1:1"},
        {true, {"-add", "v#text", "-new", "o"}, "unknown track selector: #text"},
        {true, {"-add", "a#audio", "-add", "b#audio", "-new", "o"}, "only one audio track is supported"},
        {true, {"-add", "a#video", "-add", "b#video", "-new", "o"}, "only one video track is supported"},
        {true, {"-cat", "x", "-new", "o"}, "unknown option: -cat"},
    };
    for (const auto& c : cases) {
        try {
            if (c.muxer) {
                tool_args::ParseMuxArguments(c.arguments);
            } else {
                tool_args::ParseAacArguments(c.arguments);
            }
            ADD_FAILURE() << "accepted: " << c.message;
        } catch (const ArgumentError& error) {
            EXPECT_STREQ(error.what(), c.message);
        }
    }
}

TEST(FindFfmpeg, BesideTheProgramFirstThenAbsoluteFoldersOnPath) {
    const struct {
        const fftools::SearchRules* rules;
        const char* own;
        const char* path;
        std::set<std::string> present;
        const char* expected;
    } cases[] = {
        {&fftools::kWindowsRules, "C:\\tools\\", "C:\\ff\\bin", {"C:\\tools\\ffmpeg.exe", "C:\\ff\\bin\\ffmpeg.exe"},
         "C:\\tools\\ffmpeg.exe"},
        {&fftools::kWindowsRules, "C:\\tools\\", "C:\\x;\"C:\\Program Files\\ff\";D:/y/",
         {"C:\\Program Files\\ff\\ffmpeg.exe", "D:/y/ffmpeg.exe"}, "C:\\Program Files\\ff\\ffmpeg.exe"},
        {&fftools::kWindowsRules, "C:\\tools\\", ".;bin;;\\ff;\\\\server\\share", {"\\\\server\\share\\ffmpeg.exe",
         ".\\ffmpeg.exe", "bin\\ffmpeg.exe", "\\ff\\ffmpeg.exe"}, "\\\\server\\share\\ffmpeg.exe"},
        {&fftools::kWindowsRules, "", "", {"ffmpeg.exe", "\\ffmpeg.exe"}, ""},
        {&fftools::kPosixRules, "/opt/tarvo/", "/usr/bin:/bin", {"/usr/bin/ffmpeg", "/opt/tarvo/ffmpeg"},
         "/opt/tarvo/ffmpeg"},
        {&fftools::kPosixRules, "/opt/tarvo/", ":.:bin:/usr/local/bin/:/usr/bin",
         {"ffmpeg", "./ffmpeg", "bin/ffmpeg", "/usr/bin/ffmpeg"}, "/usr/bin/ffmpeg"},
        {&fftools::kPosixRules, "/opt/tarvo/", "/usr/bin", {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.own) + " | " + c.path);
        std::vector<std::string> asked;
        std::string found = fftools::FindFfmpeg(c.own, c.path, *c.rules, [&](const std::string& candidate) {
            asked.push_back(candidate);
            return c.present.count(candidate) > 0;
        });
        EXPECT_EQ(found, c.expected);
        for (const std::string& candidate : asked) {  // never a relative one
            EXPECT_TRUE(candidate[0] == '/' || candidate[1] == ':' || candidate.rfind("\\\\", 0) == 0) << candidate;
        }
    }
}

TEST(WindowsCommandLine, SplitsBackIntoTheSameWords) {
    const Words cases[] = {
        {"C:\\Program Files\\ff\\ffmpeg.exe", "-i", "file:C:\\a b\\x.wav", "file:C:\\out\\"},
        {"C:\\ff\\ffmpeg.exe", "", "a\"b", "\\\"", "a\\\\", "tab\there", "end\\ x\\"},
        {"C:\\ff\\ffmpeg.exe", "file:C:\\日本語\\音声 ファイル.aac", "-metadata", "title=\"quoted\""},
    };
    for (const Words& words : cases) {
        std::string line = fftools::WindowsCommandLine(words);
        SCOPED_TRACE(line);
        EXPECT_EQ(line.rfind("\"" + words[0] + "\" ", 0), 0u);
        EXPECT_EQ(platform::SplitCommandLine(line.c_str()), words);
    }
}

}  // namespace

namespace {

std::string RunText(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(("timeout 120 " + command).c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
        pclose(pipe);
    }
    return output;
}

struct FileClose {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileClose>;

// Streams with B-frames (pyramid: shown long after they are decoded) and
// IRAP pictures every 10 frames (HEVC: also open GOPs, whose leading pictures
// are shown before the CRA picture they follow, and an order count lsb that
// wraps), and ffmpeg's own view of them: for each picture in presentation
// order, its index in decoding order.
struct AnnexB {
    const char* name;
    tool_args::VideoCodec codec;
    const char* encoder;
    int frames;
};

void PrintTo(const AnnexB& kind, std::ostream* out) { *out << kind.name; }

class AnnexBStream : public testing::TestWithParam<AnnexB> {
protected:
    void SetUp() override {
        char name[] = "/tmp/tarvo-annexb-XXXXXX";
        int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        close(fd);
        path_ = name;
        bool hevc = GetParam().codec == tool_args::VideoCodec::Hevc;
        std::string make = std::string(TARVO_FFMPEG) + " -nostdin -v error -y -f lavfi -i testsrc=size=96x64:rate=25 " +
                           "-frames:v " + std::to_string(GetParam().frames) + " " + GetParam().encoder + " -f " +
                           (hevc ? "hevc " : "h264 ") + path_;
        ASSERT_EQ(RunText(make + " && echo made"), "made\n");
    }
    void TearDown() override { std::remove(path_.c_str()); }
    File Open() const { return File(std::fopen(path_.c_str(), "rb")); }

    std::string path_;
};

// Numbers at the start of ffprobe's lines, blank lines skipped.
std::vector<int64_t> FirstNumbers(const std::string& text) {
    std::istringstream lines(text);
    std::vector<int64_t> numbers;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line[0] >= '0' && line[0] <= '9') numbers.push_back(std::stoll(line));
    }
    return numbers;
}

TEST_P(AnnexBStream, PicturesAreShownInTheOrderTheDecoderShowsThem) {
    // Each unit's place in the file, in decoding order; then the place of
    // each picture's unit in the order the decoder shows them.
    std::string probe = std::string(TARVO_FFPROBE) + " -v error -of csv=p=0 ";
    std::vector<int64_t> units = FirstNumbers(RunText(probe + "-show_entries packet=pos " + path_));
    std::vector<int64_t> shownUnits = FirstNumbers(RunText(probe + "-show_entries frame=pkt_pos " + path_));
    ASSERT_EQ(units.size(), static_cast<size_t>(GetParam().frames));
    ASSERT_EQ(shownUnits.size(), units.size());
    std::vector<int64_t> expected(units.size(), -1);
    for (size_t shown = 0; shown < shownUnits.size(); ++shown) {
        auto decoded = std::find(units.begin(), units.end(), shownUnits[shown]);
        ASSERT_NE(decoded, units.end());
        expected[static_cast<size_t>(decoded - units.begin())] = static_cast<int64_t>(shown);
    }
    int64_t delay = -1;
    File file = Open();
    EXPECT_EQ(fftools::PresentationOrder(file.get(), GetParam().codec, delay), expected);
    EXPECT_GE(delay, 1);  // B-frames: decoding runs ahead
}

TEST_P(AnnexBStream, AccessUnitsAreTheSameWhateverTheReadSize) {
    auto units = [&](size_t readSize) {
        File file = Open();
        fftools::AccessUnitReader reader(file.get(), GetParam().codec, readSize);
        std::vector<std::vector<uint8_t>> all;
        for (std::vector<uint8_t> unit; reader.Next(unit);) all.push_back(unit);
        return all;
    };
    std::vector<std::vector<uint8_t>> whole = units(size_t{1} << 20);
    EXPECT_EQ(whole.size(), static_cast<size_t>(GetParam().frames));
    for (size_t size : {1, 2, 3, 4, 5, 188, 4095}) {
        SCOPED_TRACE(size);
        EXPECT_EQ(units(size), whole);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, AnnexBStream,
    testing::Values(AnnexB{"H264", tool_args::VideoCodec::H264,
                           "-c:v libx264 -x264-params bframes=3:b-pyramid=normal:keyint=10:scenecut=0", 33},
                    AnnexB{"HevcOpenGops", tool_args::VideoCodec::Hevc,
                           "-c:v libx265 -x265-params log-level=error:bframes=3:b-pyramid=1:keyint=10:scenecut=0:"
                           "log2-max-poc-lsb=4",
                           90},
                    AnnexB{"HevcIdrWithLeadingPictures", tool_args::VideoCodec::Hevc,
                           "-c:v libx265 -x265-params log-level=error:bframes=4:keyint=10:open-gop=0:radl=2", 33}),
    [](const testing::TestParamInfo<AnnexB>& info) { return std::string(info.param.name); });

TEST(SpsFrameRate, TheTimingSaysTheAskedRateAndNothingElseChanges) {
    // A 64x64 picture whose sequence header has VUI timing for 25 fps
    // (num_units_in_tick 1, time_scale 50), made by x264.
    std::string made = RunText(std::string(TARVO_FFMPEG) +
                               " -nostdin -v error -f lavfi -i testsrc=size=64x64:rate=25 -frames:v 1 -c:v libx264 "
                               "-pix_fmt yuv420p -profile:v baseline -f h264 - | od -An -v -tx1");
    std::vector<uint8_t> bytes;
    std::istringstream hex(made);
    for (std::string byte; hex >> byte;) bytes.push_back(static_cast<uint8_t>(std::stoul(byte, nullptr, 16)));
    ASSERT_GT(bytes.size(), 16u);
    // The first NAL unit after the start code is the sequence header.
    std::vector<uint8_t> sps(bytes.begin() + 4, bytes.end());
    for (size_t i = 2; i + 2 < sps.size(); ++i) {
        if (sps[i] == 0 && sps[i + 1] == 0 && sps[i + 2] == 1) {
            sps.resize(i);
            break;
        }
    }
    while (sps.back() == 0) sps.pop_back();  // the next start code's leading zero
    ASSERT_EQ(sps[0] & 0x1F, 7);
    std::vector<uint8_t> same = sps;
    EXPECT_FALSE(fftools::SetSpsFrameRate(same, 25, 1));  // already so
    EXPECT_EQ(same, sps);
    const struct {
        uint32_t num, den;
    } rates[] = {{30000, 1001}, {24000, 1001}, {1, 1}, {25, 2}, {65536, 1}};
    for (const auto& rate : rates) {
        SCOPED_TRACE(std::to_string(rate.num) + "/" + std::to_string(rate.den));
        std::vector<uint8_t> changed = sps;
        EXPECT_TRUE(fftools::SetSpsFrameRate(changed, rate.num, rate.den));
        // ffprobe reads the stream as the rate now says.
        char name[] = "/tmp/tarvo-sps-XXXXXX";
        int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        std::vector<uint8_t> stream = {0, 0, 0, 1};
        stream.insert(stream.end(), changed.begin(), changed.end());
        stream.insert(stream.end(), bytes.begin() + 4 + static_cast<std::ptrdiff_t>(sps.size()), bytes.end());
        ASSERT_EQ(write(fd, stream.data(), stream.size()), static_cast<ssize_t>(stream.size()));
        close(fd);
        std::string probed = RunText(std::string(TARVO_FFPROBE) + " -v error -show_entries stream=r_frame_rate,width " +
                                     "-of csv=p=0 -f h264 " + name);
        std::remove(name);
        uint32_t divisor = std::gcd(rate.num, rate.den);
        EXPECT_EQ(probed, "64," + std::to_string(rate.num / divisor) + "/" + std::to_string(rate.den / divisor) + "\n");
    }
}

TEST(HevcFrameRate, TheTimingSaysTheAskedRateAndThePicturesStayTheSame) {
    // x265 states its rate in the SPS's VUI; FFmpeg's metadata filter puts it
    // in the VPS as well, which ffmpeg reads first.
    const struct {
        const char* name;
        const char* filter;
    } streams[] = {{"SPS", ""}, {"VPS and SPS", "-bsf:v hevc_metadata=tick_rate=25/1"}};
    for (const auto& made : streams) {
        SCOPED_TRACE(made.name);
        char name[] = "/tmp/tarvo-hevc-XXXXXX";
        int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        close(fd);
        std::string source = name;
        ASSERT_EQ(RunText(std::string(TARVO_FFMPEG) + " -nostdin -v error -y -f lavfi -i testsrc=size=64x64:rate=25 " +
                          "-frames:v 12 -c:v libx265 -x265-params log-level=error:keyint=5 " + made.filter +
                          " -f hevc " + source + " && echo made"),
                  "made\n");
        std::string frames = std::string(TARVO_FFMPEG) + " -v error -i " + source + " -f framemd5 - | grep -v ^# | cut -d, -f6";
        std::string sums = RunText(frames);
        const struct {
            uint32_t num, den;
        } rates[] = {{30000, 1001}, {24000, 1001}, {1, 1}, {25, 2}, {65536, 1}};
        for (const auto& rate : rates) {
            SCOPED_TRACE(std::to_string(rate.num) + "/" + std::to_string(rate.den));
            std::vector<uint8_t> stream;
            File file(std::fopen(source.c_str(), "rb"));
            fftools::AccessUnitReader reader(file.get(), tool_args::VideoCodec::Hevc);
            reader.SetFrameRate(rate.num, rate.den);
            for (std::vector<uint8_t> unit; reader.Next(unit);) stream.insert(stream.end(), unit.begin(), unit.end());
            std::string changed = source + ".changed";
            File out(std::fopen(changed.c_str(), "wb"));
            ASSERT_EQ(std::fwrite(stream.data(), 1, stream.size(), out.get()), stream.size());
            out.reset();
            std::string probed = RunText(std::string(TARVO_FFPROBE) + " -v error -show_entries stream=r_frame_rate " +
                                         "-of csv=p=0 -f hevc " + changed);
            uint32_t divisor = std::gcd(rate.num, rate.den);
            EXPECT_EQ(probed, std::to_string(rate.num / divisor) + "/" + std::to_string(rate.den / divisor) + "\n");
            EXPECT_EQ(RunText(std::string(TARVO_FFMPEG) + " -v error -f hevc -i " + changed +
                              " -f framemd5 - | grep -v ^# | cut -d, -f6"),
                      sums);
            std::remove(changed.c_str());
        }
        std::remove(source.c_str());
    }
}

// Access units made of NAL unit headers alone: what each says of its
// picture's order count, and which the muxers refuse.
TEST(HevcUnits, WhereTheOrderCountStartsAgainAndWhatIsRefused) {
    using Unit = std::vector<uint8_t>;
    auto nal = [](int type, std::vector<uint8_t> payload = {0x80}) {
        Unit bytes = {0, 0, 0, 1, static_cast<uint8_t>(type << 1), 1};
        bytes.insert(bytes.end(), payload.begin(), payload.end());
        return bytes;
    };
    auto join = [](std::initializer_list<Unit> nals) {
        Unit unit;
        for (const Unit& piece : nals) unit.insert(unit.end(), piece.begin(), piece.end());
        return unit;
    };
    const Unit sets = join({nal(32, {0x11}), nal(33, {0x22}), nal(34, {0x33})});
    const Unit idr = join({sets, nal(19)}), cra = join({sets, nal(21)}), trail = nal(1), rasl = nal(8);
    const struct {
        const char* name;
        std::vector<Unit> units;
        std::vector<bool> afresh;  // for each unit
        const char* refusal;       // the last unit's, or null
    } cases[] = {
        {"IDR, then pictures", {idr, trail, trail, idr}, {true, false, false, true}, nullptr},
        {"a CRA first starts it; later ones do not", {cra, rasl, trail, cra, rasl}, {true, false, false, false, false},
         nullptr},
        {"a CRA after an end of sequence", {idr, join({trail, nal(36, {})}), cra}, {true, false, true}, nullptr},
        {"BLA", {idr, trail, join({sets, nal(16)})}, {true, false, true}, nullptr},
        {"the same parameter sets again", {idr, join({nal(34, {0x33}), trail})}, {true, false}, nullptr},
        {"a new PPS", {idr, join({nal(34, {0x34}), trail})}, {true}, "changes its parameter sets"},
        {"no parameter sets first", {nal(19)}, {}, "no parameter sets"},
        {"no picture", {idr, sets}, {true}, "without a picture"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tool_args::HevcUnits units;
        std::vector<bool> afresh;
        std::string refusal;
        try {
            for (const Unit& unit : c.units) afresh.push_back(units.Next(unit.data(), unit.size()).afresh);
        } catch (const tool_args::StreamError& failure) {
            refusal = failure.what();
        }
        EXPECT_EQ(afresh, c.afresh);
        if (c.refusal != nullptr) {
            EXPECT_NE(refusal.find(c.refusal), std::string::npos) << refusal;
        } else {
            EXPECT_EQ(refusal, "");
        }
    }
}

// Temporal units: a delimiter, then a sequence header and a frame (type and
// size alone).
TEST(Av1Units, OnlyWholeUnitsThatStartWithADelimiterAndShowAPicture) {
    using Bytes = std::vector<uint8_t>;
    const Bytes delimiter = {0x12, 0x00}, sequence = {0x0A, 0x01, 0x00}, frame = {0x32, 0x02, 0xAA, 0xBB};
    auto join = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const Bytes& piece : parts) all.insert(all.end(), piece.begin(), piece.end());
        return all;
    };
    const struct {
        const char* name;
        Bytes unit;
        bool first;
        const char* refusal;  // or null
    } cases[] = {
        {"first unit", join({delimiter, sequence, frame}), true, nullptr},
        {"later unit", join({delimiter, frame}), false, nullptr},
        {"a frame header alone", join({delimiter, {0x1A, 0x01, 0x00}}), false, nullptr},
        {"no sequence header first", join({delimiter, frame}), true, "no sequence header"},
        {"no delimiter", join({sequence, frame}), true, "temporal delimiter"},
        {"no picture", join({delimiter, sequence}), true, "without a picture"},
        {"cut short", join({delimiter, {0x32, 0x02, 0xAA}}), false, "cut short"},
        {"size cut short", join({delimiter, {0x32, 0x80}}), false, "cut short"},
        {"forbidden bit", join({delimiter, {0xB2, 0x00}}), false, "forbidden bit"},
        {"no size", join({delimiter, {0x30, 0xAA}}), false, "low-overhead"},
        {"a size over 32 bits", join({delimiter, {0x32, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}}), false, "too large"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string refusal;
        try {
            tool_args::TemporalUnitObus(c.unit.data(), c.unit.size(), c.first);
        } catch (const tool_args::StreamError& failure) {
            refusal = failure.what();
        }
        if (c.refusal != nullptr) {
            EXPECT_NE(refusal.find(c.refusal), std::string::npos) << refusal;
        } else {
            EXPECT_EQ(refusal, "");
        }
    }
}

TEST(Av1Stream, TemporalUnitsAreTheDemuxersPackets) {
    char name[] = "/tmp/tarvo-av1-XXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    close(fd);
    std::string path = name;
    ASSERT_EQ(RunText(std::string(TARVO_FFMPEG) + " -nostdin -v error -y -f lavfi -i testsrc=size=64x64:rate=25 " +
                      "-frames:v 20 -c:v libsvtav1 -g 8 -f obu " + path + " 2>/dev/null && echo made"),
              "made\n");
    std::vector<int64_t> sizes =
        FirstNumbers(RunText(std::string(TARVO_FFPROBE) + " -v error -show_entries packet=size -of csv=p=0 " + path));
    File file(std::fopen(path.c_str(), "rb"));
    fftools::TemporalUnitReader reader(file.get());
    std::vector<int64_t> units;
    for (std::vector<uint8_t> unit; reader.Next(unit);) units.push_back(static_cast<int64_t>(unit.size()));
    EXPECT_EQ(units.size(), 20u);
    EXPECT_EQ(units, sizes);
    std::remove(path.c_str());
}

}  // namespace
