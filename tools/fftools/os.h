// What tarvo-aac and tarvo-mux need of the system, one file per OS. Every
// text is UTF-8; the Windows side converts at its edge, so Unicode paths work
// whatever the system's code page.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tools/fftools/ffmpeg_command.h"

namespace fftools {

extern const SearchRules kSystemRules;

// This program's command line as words, its name first when it has one.
// Windows: the wide command line split by the C runtime's rules.
std::vector<std::string> CommandLineWords(int argc, char** argv);
// The running program's folder, ending in a separator; empty when unknown.
std::string OwnFolder();
std::string PathVariable();
bool IsProgramFile(const std::string& path);
bool PathExists(const std::string& path);
bool RemoveFile(const std::string& path);
std::FILE* OpenForReading(const std::string& path);
// One line to standard error.
void SayLine(const std::string& line);

// How a child ended.
struct ChildEnd {
    enum class Kind { NotStarted, Exited, Signalled, Cancelled, FeedFailed } kind = Kind::NotStarted;
    uint32_t code = 0;       // exit code, or the signal
    std::string lastLine;    // its standard error's last non-empty line
    std::string why;         // NotStarted, FeedFailed: the cause
};

// Writes bytes to the child's standard input; false when it no longer reads.
using InputWriter = std::function<bool(const uint8_t* data, size_t size)>;
// Fills the child's standard input; returns a cause when it failed (the child
// is then ended), empty on success.
using Feed = std::function<std::string(const InputWriter& write)>;

// Runs `program` (a full path) with `arguments`, no window, standard output
// discarded, standard error collected; standard input is `feed` when given,
// else empty. Blocks until the child has ended. A cancel (POSIX: SIGTERM,
// SIGINT or SIGHUP; Windows: a console break) is passed on to the child and
// reported as Cancelled; on Windows the child also ends with this process,
// however this process ends.
ChildEnd RunChild(const std::string& program, const std::vector<std::string>& arguments, const Feed& feed);

// Ends this process the way the cancel asked (POSIX: by the same signal).
[[noreturn]] void EndCancelled(const ChildEnd& end);

}  // namespace fftools
