#include "platform/process.h"

#include <new>
#include <windows.h>

#include "platform/utf16_win32.h"

namespace platform {

// A started program and the job object that holds it and whatever it starts.
struct ProcessObject {
    HANDLE process;
    HANDLE job;  // null when the program could not be put into a job
};

namespace {

// A job whose processes all end when its last handle is closed.
HANDLE CreateKillOnCloseJob() {
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    if (job == nullptr) return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        return nullptr;
    }
    return job;
}

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

// Ends whatever the program left running in its job and gives it a moment
// to go: a background writer must not touch the output after the program
// said it was done.
void EndJob(HANDLE job) {
    if (job == nullptr || !TerminateJobObject(job, 1)) return;
    for (int i = 0; i < 50; ++i) {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
        if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting, sizeof accounting,
                                       nullptr) ||
            accounting.ActiveProcesses == 0) {
            return;
        }
        Sleep(5);
    }
}

}  // namespace

ProcessHandle StartProcess(const char* programPath, const char* commandLine) {
    // Without an application name CreateProcess would search for the first
    // word of the command line; the program is only ever taken literally.
    if (programPath == nullptr || programPath[0] == '\0') {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return kNoProcess;
    }
    auto* started = new (std::nothrow) ProcessObject{nullptr, nullptr};
    if (started == nullptr) return kNoProcess;
    PROCESS_INFORMATION info = {};
    // Suspended until it is in its job, so that nothing it starts escapes.
    if (!Create(programPath, commandLine, CREATE_NO_WINDOW | CREATE_SUSPENDED, &info)) {
        DWORD error = GetLastError();
        delete started;
        SetLastError(error);
        return kNoProcess;
    }
    started->process = info.hProcess;
    started->job = CreateKillOnCloseJob();
    if (started->job != nullptr && !AssignProcessToJobObject(started->job, info.hProcess)) {
        // A host job that allows no nesting (before Windows 8): the program
        // still runs, and ending it ends only the program itself.
        CloseHandle(started->job);
        started->job = nullptr;
    }
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    return started;
}

bool WaitProcess(ProcessHandle handle, uint32_t* exitCode) {
    return WaitProcessFor(handle, INFINITE, exitCode) == WaitResult::kEnded;
}

WaitResult WaitProcessFor(ProcessHandle handle, uint32_t timeoutMs, uint32_t* exitCode) {
    if (handle == nullptr || handle == kNoProcess) return WaitResult::kFailed;
    auto* started = handle;
    DWORD waited = WaitForSingleObject(started->process, timeoutMs);
    if (waited == WAIT_TIMEOUT) return WaitResult::kRunning;
    if (waited != WAIT_OBJECT_0) return WaitResult::kFailed;
    DWORD code = 0;
    if (!GetExitCodeProcess(started->process, &code)) return WaitResult::kFailed;
    if (exitCode != nullptr) *exitCode = code;
    EndJob(started->job);
    return WaitResult::kEnded;
}

void EndProcess(ProcessHandle handle) {
    if (handle == nullptr || handle == kNoProcess) return;
    auto* started = handle;
    if (started->job != nullptr) {
        TerminateJobObject(started->job, 1);
    } else {
        TerminateProcess(started->process, 1);
    }
    WaitForSingleObject(started->process, 1000);
}

void CloseProcess(ProcessHandle handle) {
    if (handle == nullptr || handle == kNoProcess) return;
    auto* started = handle;
    CloseHandle(started->process);
    if (started->job != nullptr) CloseHandle(started->job);
    delete started;
}

}  // namespace platform
