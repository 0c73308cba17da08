#include "platform/process.h"

#include <cerrno>
#include <fcntl.h>
#include <csignal>
#include <new>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

extern char** environ;

namespace platform {

struct ProcessObject {
    pid_t pid;
    bool reaped;
    int status;
};

namespace {

// The child's side of StartProcess, between fork and exec: only calls that
// are safe in the child of a threaded process. On failure the errno goes up
// the pipe and the child exits.
[[noreturn]] void ExecChild(const char* programPath, char* const* argv, pid_t parent, int errorPipe) {
    // A process group of its own, so that ending the program also ends what
    // it started, and a Ctrl-C at the terminal reaches only us: we decide.
    setpgid(0, 0);
#ifdef __linux__
    // Should we die without ending it (SIGKILL), it goes too.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
#else
    (void)parent;
#endif
    // Like a process started without handle inheritance and without a
    // console: standard input and output are /dev/null and no other
    // descriptor of ours reaches the child. Standard error stays, so the
    // programs' complaints are seen.
    int input = open("/dev/null", O_RDONLY);
    int output = open("/dev/null", O_WRONLY);
    if (input < 0 || output < 0 || dup2(input, 0) < 0 || dup2(output, 1) < 0) {
        int error = errno;
        (void)!write(errorPipe, &error, sizeof error);
        _exit(127);
    }
    for (int fd = 3; fd < errorPipe; ++fd) close(fd);
    close_range(static_cast<unsigned>(errorPipe) + 1, ~0u, 0);
    // Signal dispositions and the mask start from the defaults.
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) sigaction(signal, &byDefault, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execve(programPath, argv, environ);
    int error = errno;
    (void)!write(errorPipe, &error, sizeof error);
    _exit(127);
}

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
    auto* process = new (std::nothrow) ProcessObject{0, false, 0};
    if (process == nullptr) {
        errno = ENOMEM;
        return kNoProcess;
    }

    // The pipe closes on exec: a read that finds it closed means the program
    // runs; an errno in it means it could not be started.
    int errorPipe[2];
    if (pipe2(errorPipe, O_CLOEXEC) != 0) {
        delete process;
        return kNoProcess;
    }
    // Above the standard descriptors, which the child sets (ours may be closed).
    if (errorPipe[1] < 3) {
        const int moved = fcntl(errorPipe[1], F_DUPFD_CLOEXEC, 3);
        close(errorPipe[1]);
        errorPipe[1] = moved;
        if (moved < 0) {
            close(errorPipe[0]);
            delete process;
            return kNoProcess;
        }
    }
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) ExecChild(programPath, argv.data(), parent, errorPipe[1]);
    const int forkError = errno;
    close(errorPipe[1]);
    if (pid < 0) {
        close(errorPipe[0]);
        delete process;
        errno = forkError;
        return kNoProcess;
    }
    // Also from here, so that no signal to the group can come before the
    // child has moved into it.
    setpgid(pid, pid);
    int childError = 0;
    ssize_t got;
    do {
        got = read(errorPipe[0], &childError, sizeof childError);
    } while (got < 0 && errno == EINTR);
    close(errorPipe[0]);
    process->pid = pid;
    if (got > 0) {
        int status;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        delete process;
        errno = childError;
        return kNoProcess;
    }
    return process;
}

namespace {

void SleepBriefly() {
    timespec pause{0, 5 * 1000000L};
    nanosleep(&pause, nullptr);
}

uint64_t NowMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

// Kills what is left of the program's process group and gives it a moment to
// go. While the ended program is not yet reaped its number cannot be reused,
// so the group is still the one it led.
void KillGroup(pid_t group) {
    if (kill(-group, SIGKILL) != 0) return;
    const uint64_t deadline = NowMs() + 200;
    while (kill(-group, 0) == 0 && NowMs() < deadline) SleepBriefly();
}

// Reaps the process if it has ended (or, with `block`, once it has). What it
// started and left running ends with it: a background writer must not touch
// the output after the program said it was done. False when the wait fails.
bool Reap(ProcessObject* process, bool block) {
    if (process->reaped) return true;
    siginfo_t info{};
    int result;
    do {
        info.si_pid = 0;
        result = waitid(P_PID, static_cast<id_t>(process->pid), &info, WEXITED | WNOWAIT | (block ? 0 : WNOHANG));
    } while (result < 0 && errno == EINTR);
    if (result < 0) return false;
    if (info.si_pid != process->pid) return true;
    KillGroup(process->pid);
    pid_t reaped;
    do {
        reaped = waitpid(process->pid, &process->status, 0);
    } while (reaped < 0 && errno == EINTR);
    if (reaped != process->pid) return false;
    process->reaped = true;
    return true;
}

void StoreExitCode(const ProcessObject* process, uint32_t* exitCode) {
    if (exitCode == nullptr) return;
    // A process killed by a signal reports an exit code that is never 0.
    *exitCode = WIFEXITED(process->status) ? static_cast<uint32_t>(WEXITSTATUS(process->status))
                                           : 0x80000000u | static_cast<uint32_t>(WTERMSIG(process->status));
}

}  // namespace

bool WaitProcess(ProcessHandle handle, uint32_t* exitCode) {
    if (handle == nullptr || handle == kNoProcess) return false;
    ProcessObject* process = handle;
    if (!Reap(process, true)) return false;
    StoreExitCode(process, exitCode);
    return true;
}

WaitResult WaitProcessFor(ProcessHandle handle, uint32_t timeoutMs, uint32_t* exitCode) {
    if (handle == nullptr || handle == kNoProcess) return WaitResult::kFailed;
    ProcessObject* process = handle;
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
    ProcessObject* process = handle;
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
    ProcessObject* process = handle;
    if (!process->reaped) {
        // Closing neither ends nor waits for the process; reap it if it is done.
        int status;
        waitpid(process->pid, &status, WNOHANG);
    }
    delete process;
}

}  // namespace platform
