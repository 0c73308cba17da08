#include "platform/process.h"

#include <windows.h>

#include "platform/utf16_win32.h"

namespace platform {

namespace {

// TARVO_UTF8_PATHS (the .auo2): the program's path and the command line are
// UTF-8 and go to CreateProcessW; otherwise both go to CreateProcessA as they
// are. Either way the program is named and the text is a copy, since
// CreateProcess may write into it.
#ifdef TARVO_UTF8_PATHS
BOOL Create(const char* programPath, const char* commandLine, DWORD flags, PROCESS_INFORMATION* info) {
    std::wstring text = Utf8ToWide(commandLine);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    return CreateProcessW(Utf8ToWide(programPath).c_str(), text.data(), nullptr, nullptr, FALSE, flags, nullptr,
                          nullptr, &startup, info);
}
#else
BOOL Create(const char* programPath, const char* commandLine, DWORD flags, PROCESS_INFORMATION* info) {
    std::vector<char> text;
    if (commandLine != nullptr) text.assign(commandLine, commandLine + lstrlenA(commandLine));
    text.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    return CreateProcessA(programPath, text.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup,
                          info);
}
#endif

}  // namespace

ProcessHandle StartProcess(const char* programPath, const char* commandLine) {
    // Without an application name CreateProcess would search for the first
    // word of the command line; the program is only ever taken literally.
    if (programPath == nullptr || programPath[0] == '\0') {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return kNoProcess;
    }
    PROCESS_INFORMATION info = {};
    if (!Create(programPath, commandLine, CREATE_NO_WINDOW, &info)) return kNoProcess;
    CloseHandle(info.hThread);
    return info.hProcess;
}

bool WaitProcess(ProcessHandle process, uint32_t* exitCode) {
    if (process == nullptr || process == kNoProcess) return false;
    if (WaitForSingleObject(static_cast<HANDLE>(process), INFINITE) != WAIT_OBJECT_0) return false;
    DWORD code = 0;
    if (!GetExitCodeProcess(static_cast<HANDLE>(process), &code)) return false;
    if (exitCode != nullptr) *exitCode = code;
    return true;
}

void CloseProcess(ProcessHandle process) {
    if (process != nullptr && process != kNoProcess) CloseHandle(static_cast<HANDLE>(process));
}

}  // namespace platform
