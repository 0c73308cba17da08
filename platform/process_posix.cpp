#include "platform/process.h"

#include <cerrno>
#include <fcntl.h>
#include <csignal>
#include <new>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace platform {
namespace {

struct Process {
    pid_t pid;
    bool reaped;
    int status;
};

}  // namespace

ProcessHandle StartProcess(const char* programPath, const char* commandLine) {
    if (programPath == nullptr || programPath[0] == '\0') {
        errno = ENOENT;
        return kNoProcess;
    }
    std::vector<std::string> arguments = SplitCommandLine(commandLine);
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(programPath));
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    // Like a process started without handle inheritance and without a console:
    // standard input and output are /dev/null and no other descriptor of ours
    // reaches the child. Standard error stays, so the programs' complaints are
    // seen. Signal dispositions and the mask start from the defaults.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigfillset(&signals);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    // A process group of its own, so that ending the program also ends what
    // it started, and a Ctrl-C at the terminal reaches only us: we decide.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    pid_t pid = 0;
    int result = posix_spawn(&pid, programPath, &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        errno = result;
        return kNoProcess;
    }
    auto* process = new (std::nothrow) Process{pid, false, 0};
    if (process == nullptr) {
        int status;
        waitpid(pid, &status, 0);
        return kNoProcess;
    }
    return process;
}

namespace {

// Reaps the process if it has ended (or, with `block`, once it has). False
// when waitpid fails.
bool Reap(Process* process, bool block) {
    if (process->reaped) return true;
    pid_t result;
    do {
        result = waitpid(process->pid, &process->status, block ? 0 : WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result < 0) return false;
    if (result == process->pid) process->reaped = true;
    return true;
}

void StoreExitCode(const Process* process, uint32_t* exitCode) {
    if (exitCode == nullptr) return;
    // A process killed by a signal reports an exit code that is never 0.
    *exitCode = WIFEXITED(process->status) ? static_cast<uint32_t>(WEXITSTATUS(process->status))
                                           : 0x80000000u | static_cast<uint32_t>(WTERMSIG(process->status));
}

void SleepBriefly() {
    timespec pause{0, 5 * 1000000L};
    nanosleep(&pause, nullptr);
}

uint64_t NowMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

}  // namespace

bool WaitProcess(ProcessHandle handle, uint32_t* exitCode) {
    if (handle == nullptr || handle == kNoProcess) return false;
    auto* process = static_cast<Process*>(handle);
    if (!Reap(process, true)) return false;
    StoreExitCode(process, exitCode);
    return true;
}

WaitResult WaitProcessFor(ProcessHandle handle, uint32_t timeoutMs, uint32_t* exitCode) {
    if (handle == nullptr || handle == kNoProcess) return WaitResult::kFailed;
    auto* process = static_cast<Process*>(handle);
    // No portable wait on a child with a time-out: poll in short steps.
    const uint64_t deadline = NowMs() + timeoutMs;
    for (;;) {
        if (!Reap(process, false)) return WaitResult::kFailed;
        if (process->reaped) {
            StoreExitCode(process, exitCode);
            return WaitResult::kEnded;
        }
        if (NowMs() >= deadline) return WaitResult::kRunning;
        SleepBriefly();
    }
}

void EndProcess(ProcessHandle handle) {
    if (handle == nullptr || handle == kNoProcess) return;
    auto* process = static_cast<Process*>(handle);
    if (process->reaped) return;
    // Ask the whole group first, so a program can remove what it was
    // writing; whatever is left after a moment is killed.
    kill(-process->pid, SIGTERM);
    const uint64_t deadline = NowMs() + 300;
    while (Reap(process, false) && !process->reaped && NowMs() < deadline) SleepBriefly();
    kill(-process->pid, SIGKILL);
    Reap(process, true);
}

void CloseProcess(ProcessHandle handle) {
    if (handle == nullptr || handle == kNoProcess) return;
    auto* process = static_cast<Process*>(handle);
    if (!process->reaped) {
        // Closing neither ends nor waits for the process; reap it if it is done.
        int status;
        waitpid(process->pid, &status, WNOHANG);
    }
    delete process;
}

}  // namespace platform
