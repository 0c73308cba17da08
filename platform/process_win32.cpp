#include "platform/process.h"

#include <windows.h>

namespace platform {

ProcessHandle StartProcess(const char* programPath, const char* commandLine) {
    // Without an application name CreateProcessA would search for the first
    // word of the command line; the program is only ever taken literally.
    if (programPath == nullptr || programPath[0] == '\0') {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return kNoProcess;
    }
    // CreateProcessA may write into the command line, so it gets a copy.
    std::vector<char> text;
    if (commandLine != nullptr) text.assign(commandLine, commandLine + lstrlenA(commandLine));
    text.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(programPath, text.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &info)) {
        return kNoProcess;
    }
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
