// What tarvo-aac and tarvo-mux ask of ffmpeg, and where they look for it.
// Pure text work: the same code serves Windows and POSIX and is tested natively.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "tools/common/tool_args.h"

namespace fftools {

// ffmpeg's arguments (after its name) that encode the WAV file to AAC LC in
// an M4A file at the asked bit rate.
std::vector<std::string> AacFfmpegArguments(const tool_args::AacArguments& aac);

// ffmpeg's arguments that copy the video (on ffmpeg's standard input, with
// each frame's times: H.264 and HEVC in an MPEG-TS, AV1 in an IVF file) and
// the audio file into a new MP4 with the video track first and the index at
// the front. HEVC becomes an hvc1 track.
std::vector<std::string> MuxFfmpegArguments(const tool_args::MuxArguments& mux);

// How a system names programs and lists its search folders.
struct SearchRules {
    const char* programName;  // "ffmpeg.exe" or "ffmpeg"
    char listSeparator;       // between PATH entries
    char folderSeparator;     // appended to a folder
    bool windows;             // drive letters, UNC names, quoted entries
};
extern const SearchRules kWindowsRules;
extern const SearchRules kPosixRules;

// The ffmpeg to run: in `ownFolder` (the running program's folder) first,
// then in each absolute folder of `pathVariable`, in order. Relative entries
// (".", "", "bin") are skipped: ffmpeg is never taken from the current
// folder. Returns the full path, or empty when `isProgram` accepts none.
std::string FindFfmpeg(const std::string& ownFolder, const std::string& pathVariable, const SearchRules& rules,
                       const std::function<bool(const std::string&)>& isProgram);

// The last line of a child's standard error that is not blank, without its
// line end: what a failure line quotes of ffmpeg.
std::string LastLine(const std::string& text);

// Keeps the end of a child's growing standard error, the part LastLine needs.
void KeepTail(std::string& text);

// A Windows command line that the C runtime (and CommandLineToArgvW) splits
// back into exactly `words`; the first word, the program's path, is quoted
// as the program-name rules want (no escapes).
std::string WindowsCommandLine(const std::vector<std::string>& words);

}  // namespace fftools
