// Pieces shared by the two command lines.
#pragma once
#include <cstdint>
#include <sstream>
#include <string>

namespace audio_detail {

// A string stream that writes numbers the same way under every global locale.
std::ostringstream ClassicStream();

// True when `path` comes back whole as one argument after being put between
// double quotes on a Windows command line: it holds no double quote and does
// not end in a backslash (which would escape the closing quote).
bool IsQuotablePath(const char* path);

}  // namespace audio_detail

// An exit code as a message shows it: decimal, or hexadecimal with the top
// bit set (a crash status on Windows, a signal on POSIX).
std::string ExitCodeText(uint32_t exitCode);
