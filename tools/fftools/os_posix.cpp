#include "tools/fftools/os.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace fftools {
namespace {

// The child a cancel is passed on to; set while the cancel signals are blocked.
volatile sig_atomic_t childPid = 0;
volatile sig_atomic_t cancelSignal = 0;
constexpr int kCancelSignals[] = {SIGTERM, SIGINT, SIGHUP};

void OnCancel(int signal) {
    cancelSignal = signal;
    if (childPid > 0) kill(static_cast<pid_t>(childPid), signal);
}


}  // namespace

const SearchRules kSystemRules = kPosixRules;

std::vector<std::string> CommandLineWords(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

std::string OwnFolder() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return {};
    std::string self(path, static_cast<size_t>(length));
    return self.substr(0, self.rfind('/') + 1);
}

std::string PathVariable() {
    const char* path = std::getenv("PATH");
    return path != nullptr ? path : "";
}

bool IsProgramFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

bool PathExists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

std::FILE* OpenForReading(const std::string& path) { return std::fopen(path.c_str(), "rbe"); }

void SayLine(const std::string& line) {
    std::string text = line + "\n";
    ssize_t ignored = write(2, text.data(), text.size());
    (void)ignored;
}

ChildEnd RunChild(const std::string& program, const std::vector<std::string>& arguments, const Feed& feed) {
    ChildEnd end;
    // Writing to a child that has ended is an error to see, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    int errPipe[2], inPipe[2] = {-1, -1};
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        end.why = std::strerror(errno);
        return end;
    }
    if (feed && pipe2(inPipe, O_CLOEXEC) != 0) {
        end.why = std::strerror(errno);
        close(errPipe[0]);
        close(errPipe[1]);
        return end;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (feed) {
        posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
    } else {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    // A cancel that comes while the child starts is held until it can be passed on.
    sigset_t cancels, previous;
    sigemptyset(&cancels);
    struct sigaction action = {};
    action.sa_handler = OnCancel;
    sigemptyset(&action.sa_mask);
    for (int signal : kCancelSignals) {
        sigaddset(&cancels, signal);
        sigaction(signal, &action, nullptr);
    }
    pthread_sigmask(SIG_BLOCK, &cancels, &previous);
    pid_t pid = 0;
    int result = cancelSignal != 0 ? ECANCELED
                                   : posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(errPipe[1]);
    if (feed) close(inPipe[0]);
    if (result != 0) {
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        close(errPipe[0]);
        if (feed) close(inPipe[1]);
        if (cancelSignal != 0) {
            end.kind = ChildEnd::Kind::Cancelled;
            end.code = static_cast<uint32_t>(cancelSignal);
        } else {
            end.why = std::strerror(result);
        }
        return end;
    }
    childPid = pid;
    // The reader starts with the cancel signals blocked: they reach this thread.
    std::string errors;
    std::thread reader([&errors, fd = errPipe[0]]() {
        char buffer[4096];
        for (;;) {
            ssize_t got = read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            errors.append(buffer, static_cast<size_t>(got));
            KeepTail(errors);
        }
    });
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);

    std::string feedFailure;
    if (feed) {
        InputWriter writer = [fd = inPipe[1]](const uint8_t* data, size_t size) {
            while (size > 0) {
                ssize_t done = write(fd, data, size);
                if (done < 0 && errno == EINTR) continue;
                if (done <= 0) return false;
                data += done;
                size -= static_cast<size_t>(done);
            }
            return true;
        };
        feedFailure = feed(writer);
        if (!feedFailure.empty()) kill(pid, SIGKILL);
        close(inPipe[1]);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    childPid = 0;
    reader.join();
    close(errPipe[0]);

    end.lastLine = LastLine(errors);
    if (cancelSignal != 0) {
        end.kind = ChildEnd::Kind::Cancelled;
        end.code = static_cast<uint32_t>(cancelSignal);
    } else if (!feedFailure.empty()) {
        end.kind = ChildEnd::Kind::FeedFailed;
        end.why = feedFailure;
    } else if (WIFEXITED(status)) {
        end.kind = ChildEnd::Kind::Exited;
        end.code = static_cast<uint32_t>(WEXITSTATUS(status));
    } else {
        end.kind = ChildEnd::Kind::Signalled;
        end.code = static_cast<uint32_t>(WTERMSIG(status));
    }
    return end;
}

void EndCancelled(const ChildEnd& end) {
    int signal = static_cast<int>(end.code);
    std::signal(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    _exit(128 + signal);
}

}  // namespace fftools
