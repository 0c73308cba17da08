#include "platform/process.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <spawn.h>
#include <sys/wait.h>
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

    // The child reads nothing from us: standard input is /dev/null. Every
    // descriptor the plug-in opens is close-on-exec, so nothing else leaks in.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    int result = posix_spawn(&pid, programPath, &actions, nullptr, argv.data(), environ);
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

bool WaitProcess(ProcessHandle handle, uint32_t* exitCode) {
    if (handle == nullptr || handle == kNoProcess) return false;
    auto* process = static_cast<Process*>(handle);
    if (!process->reaped) {
        pid_t result;
        do {
            result = waitpid(process->pid, &process->status, 0);
        } while (result < 0 && errno == EINTR);
        if (result < 0) return false;
        process->reaped = true;
    }
    if (exitCode != nullptr) {
        // A process killed by a signal reports an exit code that is never 0.
        *exitCode = WIFEXITED(process->status) ? static_cast<uint32_t>(WEXITSTATUS(process->status))
                                               : 0x80000000u | static_cast<uint32_t>(WTERMSIG(process->status));
    }
    return true;
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
