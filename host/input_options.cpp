#include "host/input_options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace host {
namespace {

bool ParseInt(const char* text, long low, long high, int* out) {
    errno = 0;
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || value < low || value > high) return false;
    *out = static_cast<int>(value);
    return true;
}

}  // namespace

const char kInputOptionsHelp[] =
    "  INPUT               a media file FFmpeg can read; without one, the demo project\n"
    "  --no-audio          a job without audio\n"
    "  --size WxH          demo picture size (640x360)\n"
    "  --rate R[/S]        demo frame rate, e.g. 25 or 30000/1001 (30)\n"
    "  --frames N          demo length in frames (150)\n"
    "  --audio-rate HZ     demo audio sampling rate (48000)\n"
    "  --channels N        demo audio channels, 1 or 2 (2)\n";

bool TakeInputOption(const Arguments& arguments, size_t* i, InputChoice* choice, std::string* error) {
    const char* option = arguments[*i].c_str();
    if (std::strcmp(option, "--no-audio") == 0) {
        choice->audio = false;
        return true;
    }
    static const char* const kValued[] = {"--size", "--rate", "--frames", "--audio-rate", "--channels"};
    bool known = false;
    for (const char* name : kValued) known = known || std::strcmp(option, name) == 0;
    if (!known) return false;
    if (*i + 1 >= arguments.size()) {
        *error = std::string(option) + " needs a value";
        return true;
    }
    const char* value = arguments[++*i].c_str();
    DemoOptions& demo = choice->demo;
    bool ok = true;
    if (std::strcmp(option, "--size") == 0) {
        // The plug-in keeps sizes as 16-bit numbers; the SDK wants even less.
        std::string text = value;
        size_t x = text.find('x');
        ok = x != std::string::npos && ParseInt(text.substr(0, x).c_str(), 1, 8192, &demo.width) &&
             ParseInt(text.substr(x + 1).c_str(), 1, 8192, &demo.height);
    } else if (std::strcmp(option, "--rate") == 0) {
        std::string text = value;
        size_t slash = text.find('/');
        demo.scale = 1;
        ok = ParseInt(text.substr(0, slash).c_str(), 1, 1000000, &demo.rate) &&
             (slash == std::string::npos || ParseInt(text.substr(slash + 1).c_str(), 1, 1000000, &demo.scale));
    } else if (std::strcmp(option, "--frames") == 0) {
        ok = ParseInt(value, 0, 10000000, &demo.frameCount);
    } else if (std::strcmp(option, "--audio-rate") == 0) {
        ok = ParseInt(value, 8000, 192000, &demo.audioRate);
    } else {
        ok = ParseInt(value, 1, 2, &demo.audioChannels);
    }
    if (!ok) *error = std::string(option) + ": bad value '" + value + "'";
    return true;
}

std::unique_ptr<Input> OpenInput(const InputChoice& choice, std::string* error) {
    if (choice.path.empty()) {
        DemoOptions demo = choice.demo;
        demo.audio = choice.audio;
        // The audio length is a 32-bit count of sample frames.
        if (demo.audio && static_cast<double>(demo.frameCount) * demo.scale * demo.audioRate / demo.rate > INT32_MAX) {
            *error = "the demo project is too long for its audio";
            return nullptr;
        }
        return OpenDemoInput(demo);
    }
    return OpenMediaInput(choice.path, choice.audio, error);
}

}  // namespace host
