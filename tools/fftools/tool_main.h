// The one flow of tarvo-aac and tarvo-mux: read the plug-in's command line,
// find ffmpeg, run it, and leave either the finished output or nothing.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "tools/fftools/os.h"

namespace fftools {

// What one run asks of ffmpeg.
struct FfmpegJob {
    std::string output;                      // the file ffmpeg writes
    std::vector<std::string> arguments;      // after ffmpeg's name
    Feed feed;                               // its standard input, or empty
};

// Builds the job from the arguments (the program's name already dropped);
// throws std::exception with a one-line cause for arguments or input it
// cannot use.
using JobBuilder = std::function<FfmpegJob(const std::vector<std::string>& arguments)>;

// Returns the exit code: 0 only when ffmpeg exited 0 and the output exists.
// On a failure it prints "NAME: <cause>" and deletes the output when this run
// created it.
int ToolMain(const char* name, int argc, char** argv, const JobBuilder& build);

}  // namespace fftools
