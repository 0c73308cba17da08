// Starting external programs and waiting for them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// A started process; kNoProcess means none.
using ProcessHandle = void*;
inline ProcessHandle const kNoProcess = reinterpret_cast<ProcessHandle>(~uintptr_t{0});

// Starts the program at exactly `programPath` (no search) with one
// command-line text, without a console window and inheriting no handles.
// On POSIX the text is split into arguments by the Windows rules
// (SplitCommandLine) and passed after argv[0], which is `programPath`; the
// child's standard input and output are /dev/null, its standard error is
// ours, and no other descriptor reaches it.
// Returns kNoProcess when the program cannot be started (also for a null or
// empty path).
ProcessHandle StartProcess(const char* programPath, const char* commandLine);

// Waits without a time limit until the process has ended. Returns false when
// the wait failed; otherwise stores the exit code when `exitCode` is not null.
bool WaitProcess(ProcessHandle process, uint32_t* exitCode);

void CloseProcess(ProcessHandle process);

// Splits a command line into arguments the way the Microsoft C runtime does:
// blanks and tabs separate, double quotes group, 2n backslashes before a quote
// become n backslashes and the quote toggles grouping, 2n+1 become n and a
// literal quote, "" inside a quoted run is a literal quote, other backslashes
// are literal.
std::vector<std::string> SplitCommandLine(const char* commandLine);

}  // namespace platform
