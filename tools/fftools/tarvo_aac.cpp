// tarvo-aac: answers the AAC encoder's command line (neroAacEnc's) by running
// ffmpeg, which writes AAC LC in an M4A file.
//   tarvo-aac [-2pass] [-br BITS] [-lc | -he | -hev2] [-ignorelength] -if IN.wav -of OUT
#include "tools/common/tool_args.h"
#include "tools/fftools/tool_main.h"

int main(int argc, char** argv) {
    return fftools::ToolMain("tarvo-aac", argc, argv, [](const std::vector<std::string>& arguments) {
        tool_args::AacArguments aac = tool_args::ParseAacArguments(arguments);
        if (!aac.profileAsked.empty()) {
            fftools::SayLine("tarvo-aac: " + aac.profileAsked + " asked, writing AAC LC (FFmpeg's encoder makes LC only)");
        }
        return fftools::FfmpegJob{aac.output, fftools::AacFfmpegArguments(aac), nullptr};
    });
}
