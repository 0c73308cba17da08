#include "tools/common/tool_args.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>

namespace tool_args {
namespace {

bool PrintsAs(const std::string& text, double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", value);
    return text == buffer;
}

// "DIGITS[.DIGITS][e[+-]DIGITS]" as an exact fraction reduced to fit in int.
bool ParseDecimal(const std::string& text, FrameRate& rate) {
    size_t i = 0;
    int64_t digits = 0;
    int scale = 0;  // power of ten to apply
    bool any = false, point = false;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            if (digits > (INT64_MAX - 9) / 10) return false;
            digits = digits * 10 + (c - '0');
            if (point) --scale;
            any = true;
        } else {
            break;
        }
    }
    if (!any) return false;
    if (i < text.size()) {
        if (text[i] != 'e' && text[i] != 'E') return false;
        char* end = nullptr;
        long exponent = std::strtol(text.c_str() + i + 1, &end, 10);
        if (*end != '\0' || end == text.c_str() + i + 1 || exponent < -18 || exponent > 18) return false;
        scale += static_cast<int>(exponent);
    }
    int64_t num = digits, den = 1;
    for (; scale > 0; --scale) {
        if (num > INT64_MAX / 10) return false;
        num *= 10;
    }
    for (; scale < 0; ++scale) {
        if (den > INT64_MAX / 10) return false;
        den *= 10;
    }
    int64_t divisor = std::gcd(num, den);
    if (divisor == 0) return false;
    num /= divisor;
    den /= divisor;
    if (num > INT32_MAX || den > INT32_MAX) return false;
    rate = {static_cast<int>(num), static_cast<int>(den)};
    return true;
}

}  // namespace

VideoCodec VideoCodecOf(const std::string& path) {
    size_t dot = path.rfind('.');
    size_t folder = path.find_last_of("/\\");
    if (dot == std::string::npos || (folder != std::string::npos && dot < folder)) return VideoCodec::H264;
    std::string extension;
    for (char c : path.substr(dot + 1)) {
        extension += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    if (extension == "hevc" || extension == "h265" || extension == "265") return VideoCodec::Hevc;
    if (extension == "obu") return VideoCodec::Av1;
    return VideoCodec::H264;
}

const char* VideoCodecName(VideoCodec codec) {
    switch (codec) {
        case VideoCodec::Hevc: return "HEVC";
        case VideoCodec::Av1: return "AV1";
        case VideoCodec::H264: break;
    }
    return "H.264";
}

FrameRate ParseFrameRate(const std::string& text) {
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end == text.c_str() || *end != '\0' || !std::isfinite(value) || value <= 0 || value > 1000) {
        throw ArgumentError("bad frame rate: " + text);
    }
    long long whole = std::llround(value);
    if (whole > 0 && PrintsAs(text, static_cast<double>(whole))) return {static_cast<int>(whole), 1};
    long long ntsc = std::llround(value * 1.001);
    if (ntsc > 0 && PrintsAs(text, ntsc * 1000.0 / 1001.0)) return {static_cast<int>(ntsc * 1000), 1001};
    FrameRate rate;
    if (!ParseDecimal(text, rate) || rate.num == 0) throw ArgumentError("bad frame rate: " + text);
    return rate;
}

std::vector<std::string> ArgumentsOf(const std::vector<std::string>& words) {
    if (words.empty()) return {};
    bool firstIsArgument = !words[0].empty() && words[0][0] == '-';
    return std::vector<std::string>(words.begin() + (firstIsArgument ? 0 : 1), words.end());
}

AacArguments ParseAacArguments(const std::vector<std::string>& arguments) {
    AacArguments parsed;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= arguments.size()) throw ArgumentError(argument + " needs a value");
            return arguments[++i];
        };
        if (argument == "-2pass" || argument == "-lc") {
            // One pass serves: the encoder's own rate control meets the bit rate.
        } else if (argument == "-ignorelength") {
            parsed.ignoreLength = true;
        } else if (argument == "-he" || argument == "-hev2") {
            parsed.profileAsked = argument;
        } else if (argument == "-br") {
            const std::string& text = value();
            char* end = nullptr;
            errno = 0;
            long long bits = std::strtoll(text.c_str(), &end, 10);
            if (errno != 0 || end == text.c_str() || *end != '\0' || bits <= 0 || bits > 1000000) {
                throw ArgumentError("bad bit rate: " + text);
            }
            parsed.bitRate = bits;
        } else if (argument == "-if") {
            parsed.input = value();
        } else if (argument == "-of") {
            parsed.output = value();
        } else {
            throw ArgumentError("unknown option: " + argument);
        }
    }
    if (parsed.input.empty()) throw ArgumentError("no input file (-if)");
    if (parsed.output.empty()) throw ArgumentError("no output file (-of)");
    return parsed;
}

MuxArguments ParseMuxArguments(const std::vector<std::string>& arguments) {
    MuxArguments parsed;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (i + 1 >= arguments.size()) throw ArgumentError(argument + " needs a value");
        const std::string& value = arguments[++i];
        if (argument == "-new") {
            parsed.output = value;
        } else if (argument == "-add") {
            size_t hash = value.rfind('#');
            if (hash == std::string::npos) throw ArgumentError("-add needs #video or #audio: " + value);
            std::string file = value.substr(0, hash);
            std::string selector = value.substr(hash + 1);
            if (file.empty()) throw ArgumentError("-add names no file: " + value);
            if (selector == "audio") {
                if (!parsed.audio.empty()) throw ArgumentError("only one audio track is supported");
                parsed.audio = file;
            } else if (selector.rfind("video", 0) == 0) {
                if (!parsed.video.empty()) throw ArgumentError("only one video track is supported");
                parsed.video = file;
                parsed.videoCodec = VideoCodecOf(file);
                std::string rest = selector.substr(5);
                if (rest.rfind(":fps=", 0) == 0) {
                    parsed.frameRate = ParseFrameRate(rest.substr(5));
                } else if (!rest.empty()) {
                    throw ArgumentError("unknown track option: " + rest);
                }
            } else {
                throw ArgumentError("unknown track selector: #" + selector);
            }
        } else {
            throw ArgumentError("unknown option: " + argument);
        }
    }
    if (parsed.output.empty()) throw ArgumentError("no output file (-new)");
    if (parsed.video.empty() && parsed.audio.empty()) throw ArgumentError("nothing to add");
    return parsed;
}

}  // namespace tool_args
