// Starting external programs and waiting for them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// A started process; kNoProcess means none.
struct ProcessObject;
using ProcessHandle = ProcessObject*;
inline ProcessHandle const kNoProcess = reinterpret_cast<ProcessHandle>(~uintptr_t{0});

// Starts the program at exactly `programPath` (no search) with one
// command-line text, without a console window and inheriting no handles.
// The program and whatever it starts can be ended together (EndProcess): on
// POSIX it leads a process group of its own, on Windows it runs in a job
// object that ends every process in it when its last handle is closed.
// When the program ends, whatever it started and left running is ended too
// (before a wait reports the end). On Linux the program is also killed
// should this process die without ending it.
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

enum class WaitResult { kEnded, kRunning, kFailed };

// Waits at most `timeoutMs` for the process to end. kEnded stores the exit
// code (when `exitCode` is not null); kRunning means the time ran out.
WaitResult WaitProcessFor(ProcessHandle process, uint32_t timeoutMs, uint32_t* exitCode);

// Ends the process and everything it started, and returns once the process
// itself has ended (within about a second). Nothing happens to a process that
// has already been waited for.
void EndProcess(ProcessHandle process);

// Releases the handle. On Windows this also ends whatever the program left
// running in its job.
void CloseProcess(ProcessHandle process);

// Owns a started program: when it goes, the program and whatever it started
// are ended (if still running) and the handle is closed.
class Process {
public:
    Process() = default;
    explicit Process(ProcessHandle handle) : handle_(handle) {}
    Process(Process&& other) noexcept : handle_(other.Release()) {}
    Process& operator=(Process&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = other.Release();
        }
        return *this;
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process() { Reset(); }

    ProcessHandle get() const { return handle_; }
    bool started() const { return handle_ != kNoProcess; }
    // Gives the handle up to the caller, who closes it.
    ProcessHandle Release() {
        const ProcessHandle handle = handle_;
        handle_ = kNoProcess;
        return handle;
    }
    // Ends the program if it still runs and closes the handle.
    void Reset();

private:
    ProcessHandle handle_ = kNoProcess;
};

// Splits a command line into arguments the way the Microsoft C runtime does:
// blanks and tabs separate, double quotes group, 2n backslashes before a quote
// become n backslashes and the quote toggles grouping, 2n+1 become n and a
// literal quote, "" inside a quoted run is a literal quote, other backslashes
// are literal.
std::vector<std::string> SplitCommandLine(const char* commandLine);

}  // namespace platform
