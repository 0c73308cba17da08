// A stand-in child program for the process tests: writes what it received and
// what it runs in to the file named by TARVO_ECHO_OUT, then exits with 7.
//   command=<its command line, whole>
//   console-window=<1 when it has a console window>
// It also sets the event whose handle value TARVO_ECHO_HANDLE holds: that
// reaches the parent's event only when the handle was inherited.
// With TARVO_ECHO_SPAWN set it instead starts a copy of itself that sleeps,
// writes "child=<its process id>" and sleeps too: a program that hangs and
// has started another.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main() {
    const char* out = std::getenv("TARVO_ECHO_OUT");
    if (out == nullptr) return 1;
    if (std::getenv("TARVO_ECHO_SLEEP") != nullptr) {
        Sleep(60000);
        return 0;
    }
    if (std::getenv("TARVO_ECHO_SPAWN") != nullptr) {
        char self[MAX_PATH];
        GetModuleFileNameA(nullptr, self, sizeof self);
        SetEnvironmentVariableA("TARVO_ECHO_SPAWN", nullptr);
        SetEnvironmentVariableA("TARVO_ECHO_SLEEP", "1");
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        char line[] = "sleeper";
        if (!CreateProcessA(self, line, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
            return 1;
        }
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        FILE* file = std::fopen(out, "wb");
        if (file == nullptr) return 1;
        std::fprintf(file, "child=%lu\n", static_cast<unsigned long>(info.dwProcessId));
        std::fclose(file);
        Sleep(60000);
        return 0;
    }
    const char* handleText = std::getenv("TARVO_ECHO_HANDLE");
    HANDLE handle = handleText != nullptr ? reinterpret_cast<HANDLE>(std::strtoul(handleText, nullptr, 16)) : nullptr;
    if (handle != nullptr) SetEvent(handle);
    FILE* file = std::fopen(out, "wb");
    if (file == nullptr) return 1;
    std::fprintf(file, "command=%s\nconsole-window=%d\n", GetCommandLineA(), GetConsoleWindow() != nullptr ? 1 : 0);
    return std::fclose(file) == 0 ? 7 : 1;
}
