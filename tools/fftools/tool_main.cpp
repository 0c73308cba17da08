#include "tools/fftools/tool_main.h"

#include <exception>

#include "tools/common/tool_args.h"

namespace fftools {

int ToolMain(const char* name, int argc, char** argv, const JobBuilder& build) {
    std::string prefix = std::string(name) + ": ";
    FfmpegJob job;
    try {
        job = build(tool_args::ArgumentsOf(CommandLineWords(argc, argv)));
    } catch (const std::exception& failure) {
        SayLine(prefix + failure.what());
        return 1;
    }
    std::string ffmpeg = FindFfmpeg(OwnFolder(), PathVariable(), kSystemRules, IsProgramFile);
    if (ffmpeg.empty()) {
        SayLine(prefix + "ffmpeg not found: put " + kSystemRules.programName + " beside " + name + " or in a folder on PATH");
        return 1;
    }
    // Only a file this run brings into being is ever deleted.
    bool existed = PathExists(job.output);
    ChildEnd end = RunChild(ffmpeg, job.arguments, job.feed);
    std::string cause;
    switch (end.kind) {
        case ChildEnd::Kind::NotStarted: cause = "cannot start " + ffmpeg + ": " + end.why; break;
        case ChildEnd::Kind::Cancelled: break;
        case ChildEnd::Kind::FeedFailed: cause = end.why; break;
        case ChildEnd::Kind::Signalled: cause = "ffmpeg was ended by signal " + std::to_string(end.code); break;
        case ChildEnd::Kind::Exited:
            if (end.code != 0) {
                cause = "ffmpeg exited with code " + std::to_string(end.code);
                if (!end.lastLine.empty()) cause += ": " + end.lastLine;
            } else if (!PathExists(job.output)) {
                cause = "ffmpeg wrote no output file";
            }
            break;
    }
    if (end.kind == ChildEnd::Kind::Cancelled || !cause.empty()) {
        if (!existed) RemoveFile(job.output);
        if (end.kind == ChildEnd::Kind::Cancelled) EndCancelled(end);
        SayLine(prefix + cause);
        return 1;
    }
    return 0;
}

}  // namespace fftools
