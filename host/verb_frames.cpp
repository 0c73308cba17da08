// tarvo-host frames: writes the pictures an export would hand the plug-in,
// top-down BGR24 without row padding (FFmpeg's rawvideo bgr24), so the same
// frames can be fed to other encoders or compared with a decoded export.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/input_options.h"
#include "host/verbs.h"

namespace host {

int RunFrames(const Arguments& arguments) {
    const size_t argc = arguments.size();
    InputChoice choice;
    std::string output;
    for (size_t i = 0; i < argc; ++i) {
        std::string error;
        const std::string& arg = arguments[i];
        if (TakeInputOption(arguments, &i, &choice, &error)) {
            if (!error.empty()) {
                std::fprintf(stderr, "tarvo-host frames: %s\n", error.c_str());
                return kExitUsage;
            }
        } else if ((arg == "-o" || arg == "--output") && i + 1 < argc) {
            output = arguments[++i];
        } else if (arg == "-h" || arg == "--help") {
            std::printf("usage: tarvo-host frames [options] [INPUT] -o FILE|-\n%s", kInputOptionsHelp);
            return 0;
        } else if (arg[0] == '-') {
            std::fprintf(stderr, "tarvo-host frames: unknown option '%s'\n", arg.c_str());
            return kExitUsage;
        } else {
            choice.path = arg;
        }
    }
    if (output.empty()) {
        std::fprintf(stderr, "tarvo-host frames: no output (-o FILE, or - for standard output)\n");
        return kExitUsage;
    }
    choice.audio = false;
    std::string error;
    std::unique_ptr<Input> input = OpenInput(choice, &error);
    if (input == nullptr) {
        std::fprintf(stderr, "tarvo-host frames: %s\n", error.c_str());
        return kExitUsage;
    }
    const InputFormat& format = input->Format();
    std::FILE* out = output == "-" ? stdout : std::fopen(output.c_str(), "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "tarvo-host frames: %s: %s\n", output.c_str(), std::strerror(errno));
        return kExitFailure;
    }
    std::vector<uint8_t> dib(DibSize(format.width, format.height));
    const size_t stride = DibStride(format.width), row = 3 * static_cast<size_t>(format.width);
    bool ok = true;
    for (int index = 0; ok && index < format.frameCount; ++index) {
        if (!input->ReadFrame(index, dib.data(), &error)) {
            std::fprintf(stderr, "tarvo-host frames: frame %d: %s\n", index, error.c_str());
            ok = false;
            break;
        }
        for (int y = format.height - 1; ok && y >= 0; --y) {
            ok = std::fwrite(dib.data() + static_cast<size_t>(y) * stride, 1, row, out) == row;
        }
    }
    if (out != stdout ? std::fclose(out) != 0 : std::fflush(out) != 0) ok = false;
    if (!ok) std::fprintf(stderr, "tarvo-host frames: could not write %s\n", output.c_str());
    return ok ? 0 : 1;
}

}  // namespace host
