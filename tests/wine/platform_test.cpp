// The Win32 backend of the OS layer, run for real: files, events and the wait
// on two events, threads and locks, and started programs.
#include <windows.h>

#include <cstdio>
#include <string>

#include "check.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/sync.h"

namespace {

std::string ReadFileText(const std::string& path) {
    std::string text;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return "<missing>";
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    std::fclose(file);
    return text;
}

std::string TempFolder() {
    char folder[260];
    uint32_t length = platform::GetTempFolder(folder);
    CHECK(length > 0 && folder[length - 1] == '\\');
    return length > 0 ? std::string(folder, length) : std::string(".\\");
}

void CheckFiles() {
    check::Group("files");
    CHECK_EQ(platform::PathSeparator(), '\\');
    std::string path = TempFolder() + "tarvo-wine-file.bin";
    platform::RemoveFile(path.c_str());
    CHECK(!platform::PathExists(path.c_str()));

    platform::FileHandle file = platform::OpenFileForWrite(path.c_str());
    CHECK(file != nullptr);
    uint32_t written = 0;
    CHECK(platform::WriteToFile(file, "hello world", 11, &written));
    CHECK_EQ(written, 11u);
    CHECK(platform::FlushFile(file));
    CHECK(platform::CloseFile(file));
    CHECK(platform::PathExists(path.c_str()));

    // Opening again neither truncates nor appends: it writes from the start.
    file = platform::OpenFileForWrite(path.c_str());
    CHECK(file != nullptr);
    CHECK(platform::WriteToFile(file, "J", 1, &written));
    CHECK(platform::CloseFile(file));
    CHECK_EQ(ReadFileText(path), "Jello world");

    CHECK(platform::RemoveFile(path.c_str()));
    CHECK(!platform::PathExists(path.c_str()));
    CHECK(!platform::RemoveFile(path.c_str()));
    CHECK(platform::OpenFileForWrite((TempFolder() + "tarvo-no-such-folder\\x.bin").c_str()) == nullptr);
    CHECK_EQ(platform::LastError(), static_cast<uint32_t>(ERROR_PATH_NOT_FOUND));
    CHECK(!platform::CloseFile(nullptr));
}

struct Signaller {
    platform::EventHandle event;
    DWORD delayMs;
};

uint32_t SignalLater(void* argument) {
    auto* signaller = static_cast<Signaller*>(argument);
    platform::SleepMs(signaller->delayMs);
    platform::SignalEvent(signaller->event);
    return 0;
}

struct Counter {
    platform::CriticalSection lock;
    long value = 0;
};

uint32_t CountUp(void* argument) {
    auto* counter = static_cast<Counter*>(argument);
    for (int i = 0; i < 100000; ++i) {
        platform::ScopedLock hold(counter->lock);
        long seen = counter->value;
        if (i % 1000 == 0) platform::SleepMs(0);  // invite the other thread in
        counter->value = seen + 1;
    }
    return 0;
}

bool Joined(platform::ThreadHandle thread) {
    bool ended = WaitForSingleObject(static_cast<HANDLE>(thread), 10000) == WAIT_OBJECT_0;
    if (ended) platform::CloseThreadHandle(thread);
    return ended;
}

void CheckEvents() {
    check::Group("events and the wait on two events");
    platform::EventHandle first = platform::CreateManualEvent();
    platform::EventHandle second = platform::CreateManualEvent();
    CHECK(first != nullptr && second != nullptr);
    CHECK_EQ(platform::WaitForEither(first, second, 0), -1);
    platform::SignalEvent(second);
    CHECK_EQ(platform::WaitForEither(first, second, 0), 1);
    platform::SignalEvent(first);
    CHECK_EQ(platform::WaitForEither(first, second, 0), 0);  // both set: the first wins
    CHECK_EQ(platform::WaitForEither(first, second, 0), 0);  // manual reset: still set
    platform::ClearEvent(first);
    CHECK_EQ(platform::WaitForEither(first, second, 0), 1);
    platform::ClearEvent(second);
    DWORD start = GetTickCount();
    CHECK_EQ(platform::WaitForEither(first, second, 50), -1);
    CHECK(GetTickCount() - start >= 40);

    Signaller signaller{second, 50};
    platform::ThreadHandle thread = platform::StartThread(SignalLater, &signaller);
    CHECK(thread != nullptr);
    CHECK_EQ(platform::WaitForEither(first, second, 20000), 1);
    CHECK(thread != nullptr && Joined(thread));
    platform::CloseEventHandle(first);
    platform::CloseEventHandle(second);

    check::Group("threads and the critical section");
    Counter counter;
    platform::ThreadHandle a = platform::StartThread(CountUp, &counter);
    platform::ThreadHandle b = platform::StartThread(CountUp, &counter);
    CHECK(a != nullptr && b != nullptr);
    CHECK(a != nullptr && Joined(a));
    CHECK(b != nullptr && Joined(b));
    CHECK_EQ(counter.value, 200000L);
}

std::string Folder(const std::string& path) { return path.substr(0, path.find_last_of('\\') + 1); }

// Runs the echo program and returns what it wrote, or "" when it did not end.
std::string RunEcho(platform::ProcessHandle process, const std::string& out, uint32_t* exitCode) {
    if (!CHECK(process != platform::kNoProcess)) return "";
    bool ended = platform::WaitProcessFor(process, 60000, nullptr) == platform::WaitResult::kEnded;
    CHECK(ended);
    if (ended) CHECK(platform::WaitProcess(process, exitCode));
    platform::CloseProcess(process);
    return ended ? ReadFileText(out) : "";
}

void CheckProcesses() {
    check::Group("started programs");
    // Without a console of our own, a console program started without
    // CREATE_NO_WINDOW would open a console window of its own.
    FreeConsole();
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string folder = TempFolder() + "tarvo wine test\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string program = folder + "cmdline echo.exe";  // a path with a blank in it
    CHECK(CopyFileA((Folder(self) + "tarvo_cmdline_echo.exe").c_str(), program.c_str(), FALSE));
    std::string out = folder + "echo.txt";
    SetEnvironmentVariableA("TARVO_ECHO_OUT", out.c_str());

    // An inheritable handle must not reach the child all the same.
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE marker = CreateEventA(&inheritable, TRUE, FALSE, nullptr);
    char markerText[16];
    std::snprintf(markerText, sizeof markerText, "%lx", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(marker)));
    SetEnvironmentVariableA("TARVO_ECHO_HANDLE", markerText);

    std::string command = "\"" + program + "\" -r 96000 \"two words\" \"C:\\a b\\in.264\"#video:fps=30000/1001 "
                          "tail\\\\ \"q\\\"uote\"";
    DeleteFileA(out.c_str());
    uint32_t exitCode = 0;
    std::string seen = RunEcho(platform::StartProcess(program.c_str(), command.c_str()), out, &exitCode);
    CHECK_EQ(exitCode, 7u);
    CHECK_EQ(seen, "command=" + command + "\nconsole-window=0\n");
    CHECK_EQ(WaitForSingleObject(marker, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    // The same program started with a console of its own and inheriting
    // handles shows that the echo can tell.
    DeleteFileA(out.c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::string text = command;
    bool started = CreateProcessA(program.c_str(), &text[0], nullptr, nullptr, TRUE, CREATE_NEW_CONSOLE, nullptr,
                                  nullptr, &startup, &info) != FALSE;
    if (started) CloseHandle(info.hThread);
    CHECK(started);
    const bool ended = started && WaitForSingleObject(info.hProcess, 60000) == WAIT_OBJECT_0;
    if (started) CloseHandle(info.hProcess);
    seen = ended ? ReadFileText(out) : "";
    CHECK_EQ(seen, "command=" + command + "\nconsole-window=1\n");
    CHECK_EQ(WaitForSingleObject(marker, 0), static_cast<DWORD>(WAIT_OBJECT_0));

    CHECK(platform::StartProcess((folder + "no such program.exe").c_str(), "\"x\"") == platform::kNoProcess);
    // The program is never taken from the command line.
    for (const char* noPath : {"", static_cast<const char*>(nullptr)}) {
        platform::ProcessHandle stray = platform::StartProcess(noPath, command.c_str());
        CHECK(stray == platform::kNoProcess);
        if (stray != platform::kNoProcess) RunEcho(stray, out, &exitCode);
    }
    CloseHandle(marker);
    SetEnvironmentVariableA("TARVO_ECHO_HANDLE", nullptr);

    // Ending a program ends what it started: the echo starts a copy of itself
    // that sleeps, then sleeps too; both go with the job.
    check::Group("ending a program and its child");
    DeleteFileA(out.c_str());
    SetEnvironmentVariableA("TARVO_ECHO_SPAWN", "1");
    platform::ProcessHandle parent = platform::StartProcess(program.c_str(), "\"x\"");
    SetEnvironmentVariableA("TARVO_ECHO_SPAWN", nullptr);
    CHECK(parent != platform::kNoProcess);
    unsigned long childId = 0;
    for (int i = 0; i < 600 && childId == 0; ++i) {
        CHECK(platform::WaitProcessFor(parent, 50, nullptr) == platform::WaitResult::kRunning);
        std::sscanf(ReadFileText(out).c_str(), "child=%lu", &childId);
    }
    CHECK(childId != 0);
    HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, childId);
    CHECK(child != nullptr);
    platform::EndProcess(parent);
    CHECK(platform::WaitProcessFor(parent, 0, nullptr) == platform::WaitResult::kEnded);
    if (child != nullptr) {
        CHECK_EQ(WaitForSingleObject(child, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
        CloseHandle(child);
    }
    platform::CloseProcess(parent);

    DeleteFileA(out.c_str());
    DeleteFileA(program.c_str());
    RemoveDirectoryA(folder.c_str());
}

}  // namespace

int main() {
    CheckFiles();
    CheckEvents();
    CheckProcesses();
    return check::Summary("platform");
}
