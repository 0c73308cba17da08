// What the plug-in's command lines for the AAC encoder and the muxer mean,
// shared by every stand-in program that answers them. No FFmpeg in here.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tool_args {

// Bad arguments; the text says which.
struct ArgumentError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A frame rate as an exact fraction.
struct FrameRate {
    int num = 25;
    int den = 1;
    bool operator==(const FrameRate&) const = default;
};

// The plug-in writes rate ÷ scale with `%g` (six significant digits), so
// 30000/1001 arrives as "29.97". Returns the fraction whose text that is: an
// integer, else n×1000/1001 (the NTSC family), else the decimal as written
// (12.5 -> 25/2). Throws for anything not a rate above 0 and up to 1000.
FrameRate ParseFrameRate(const std::string& text);

// The words after the program's name. The plug-in's command lines do not
// repeat the program, so the first word of the command line is already the
// first switch (or, where a C runtime splits it, an empty name for the
// muxer's leading blank): a first word that starts with '-' is kept.
std::vector<std::string> ArgumentsOf(const std::vector<std::string>& words);

//   [-2pass] [-br BITS] [-lc | -he | -hev2] [-ignorelength] -if IN.wav -of OUT
struct AacArguments {
    int64_t bitRate = 128000;
    std::string profileAsked;  // "-he" or "-hev2" when asked (LC is written), else empty
    bool ignoreLength = false;
    std::string input;
    std::string output;
};
AacArguments ParseAacArguments(const std::vector<std::string>& arguments);

// The video stream's coding, told by its file's extension alone (the
// plug-in names its temporary file so): ".hevc", ".h265" or ".265" is HEVC
// Annex B, ".obu" is an AV1 low-overhead OBU stream, anything else is H.264
// Annex B, as it was before the plug-in wrote other codings. Case is ignored.
enum class VideoCodec { H264, Hevc, Av1 };
VideoCodec VideoCodecOf(const std::string& path);
const char* VideoCodecName(VideoCodec codec);  // "H.264", "HEVC", "AV1"

//   -add "VIDEO#video[:fps=RATE]" [-add "AUDIO#audio"] -new OUT
// The file is everything before the last '#'. One track of each kind at most.
struct MuxArguments {
    std::string video;
    VideoCodec videoCodec = VideoCodec::H264;
    FrameRate frameRate;  // 25/1 unless given
    std::string audio;
    std::string output;
};
MuxArguments ParseMuxArguments(const std::vector<std::string>& arguments);

}  // namespace tool_args
