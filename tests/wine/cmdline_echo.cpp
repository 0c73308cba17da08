// A stand-in child program for the process tests: writes what it received and
// what it runs in to the file named by TARVO_ECHO_OUT, then exits with 7.
//   command=<its command line, whole>
//   console-window=<1 when it has a console window>
// It also sets the event whose handle value TARVO_ECHO_HANDLE holds: that
// reaches the parent's event only when the handle was inherited.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main() {
    const char* out = std::getenv("TARVO_ECHO_OUT");
    if (out == nullptr) return 1;
    const char* handleText = std::getenv("TARVO_ECHO_HANDLE");
    HANDLE handle = handleText != nullptr ? reinterpret_cast<HANDLE>(std::strtoul(handleText, nullptr, 16)) : nullptr;
    if (handle != nullptr) SetEvent(handle);
    FILE* file = std::fopen(out, "wb");
    if (file == nullptr) return 1;
    std::fprintf(file, "command=%s\nconsole-window=%d\n", GetCommandLineA(), GetConsoleWindow() != nullptr ? 1 : 0);
    return std::fclose(file) == 0 ? 7 : 1;
}
