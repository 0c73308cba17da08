#include "tools/fftools/os.h"

#include <windows.h>

#include "platform/process.h"

namespace fftools {
namespace {

std::wstring Wide(const std::string& text) {
    if (text.empty()) return {};
    int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string Utf8(const wchar_t* text, int length = -1) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, narrow.data(), size, nullptr, nullptr);
    if (length < 0) narrow.pop_back();  // the terminator
    return narrow;
}

// The job that holds the child: closed with this process, it ends the child.
HANDLE volatile childJob = nullptr;
LONG volatile cancelled = 0;

BOOL WINAPI OnConsoleBreak(DWORD) {
    InterlockedExchange(&cancelled, 1);
    if (HANDLE job = childJob) TerminateJobObject(job, 1);
    return TRUE;
}

struct Reader {
    HANDLE pipe;
    std::string text;
};

DWORD WINAPI ReadErrors(void* context) {
    auto* reader = static_cast<Reader*>(context);
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(reader->pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        reader->text.append(buffer, got);
        KeepTail(reader->text);
    }
    return 0;
}


std::string SystemError(DWORD code) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = text != nullptr ? LastLine(Utf8(text)) : "";
    LocalFree(text);
    return message.empty() ? "error " + std::to_string(code) : message;
}

}  // namespace

const SearchRules kSystemRules = kWindowsRules;

std::vector<std::string> CommandLineWords(int, char**) {
    // UTF-8 keeps every blank, tab, quote and backslash a byte of its own,
    // so the byte splitter splits it exactly as the wide text would be.
    return platform::SplitCommandLine(Utf8(GetCommandLineW()).c_str());
}

std::string OwnFolder() {
    std::wstring path(32768, L'\0');
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) return {};
    std::string self = Utf8(path.c_str(), static_cast<int>(length));
    size_t slash = self.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : self.substr(0, slash + 1);
}

std::string PathVariable() {
    DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (size == 0) return {};
    std::wstring value(size, L'\0');
    DWORD length = GetEnvironmentVariableW(L"PATH", value.data(), size);
    return Utf8(value.c_str(), static_cast<int>(length));
}

bool IsProgramFile(const std::string& path) {
    DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool PathExists(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool RemoveFile(const std::string& path) { return DeleteFileW(Wide(path).c_str()) != 0; }

std::FILE* OpenForReading(const std::string& path) { return _wfopen(Wide(path).c_str(), L"rb"); }

void SayLine(const std::string& line) {
    std::string text = line + "\r\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

ChildEnd RunChild(const std::string& program, const std::vector<std::string>& arguments, const Feed& feed) {
    ChildEnd end;
    SetConsoleCtrlHandler(OnConsoleBreak, TRUE);
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE errRead = nullptr, errWrite = nullptr, inRead = nullptr, inWrite = nullptr;
    if (!CreatePipe(&errRead, &errWrite, &inherit, 0)) {
        end.why = SystemError(GetLastError());
        return end;
    }
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    if (feed) {
        CreatePipe(&inRead, &inWrite, &inherit, 1 << 16);
        SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    } else {
        inRead = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    }
    HANDLE nulOut = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);

    // Killed with its job: when this process ends, however it ends (the
    // plug-in cancelling ends it), the last handle to the job goes and ffmpeg
    // with it.
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job != nullptr) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }

    std::vector<std::string> words = {program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::wstring commandLine = Wide(WindowsCommandLine(words));
    std::wstring programW = Wide(program);
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = inRead;
    startup.StartupInfo.hStdOutput = nulOut;
    startup.StartupInfo.hStdError = errWrite;
    // Exactly these three handles reach ffmpeg, none of ours that happen to
    // be inheritable (our own standard handles may be).
    HANDLE inherited[] = {inRead, nulOut, errWrite};
    SIZE_T listSize = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
    std::vector<char> list(listSize);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list.data());
    DWORD flags = CREATE_NO_WINDOW | CREATE_SUSPENDED;
    if (InitializeProcThreadAttributeList(attributes, 1, 0, &listSize)) {
        if (UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited, sizeof inherited,
                                      nullptr, nullptr)) {
            startup.lpAttributeList = attributes;
            flags |= EXTENDED_STARTUPINFO_PRESENT;
        }
    }
    PROCESS_INFORMATION info = {};
    BOOL started = CreateProcessW(programW.c_str(), commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                                  &startup.StartupInfo, &info);
    DWORD startError = GetLastError();
    if (startup.lpAttributeList != nullptr) DeleteProcThreadAttributeList(attributes);
    CloseHandle(errWrite);
    if (inRead != nullptr && inRead != INVALID_HANDLE_VALUE) CloseHandle(inRead);
    if (nulOut != INVALID_HANDLE_VALUE) CloseHandle(nulOut);
    if (!started) {
        CloseHandle(errRead);
        if (inWrite != nullptr) CloseHandle(inWrite);
        if (job != nullptr) CloseHandle(job);
        end.why = SystemError(startError);
        return end;
    }
    // Inside a job of the plug-in's already, the child belongs to that one too.
    if (job != nullptr) AssignProcessToJobObject(job, info.hProcess);
    childJob = job;
    if (cancelled) TerminateProcess(info.hProcess, 1);
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);

    Reader reader{errRead, {}};
    HANDLE readerThread = CreateThread(nullptr, 0, ReadErrors, &reader, 0, nullptr);

    std::string feedFailure;
    if (feed) {
        InputWriter writer = [inWrite](const uint8_t* data, size_t size) {
            while (size > 0) {
                DWORD done = 0;
                DWORD chunk = size > (1u << 20) ? (1u << 20) : static_cast<DWORD>(size);
                if (!WriteFile(inWrite, data, chunk, &done, nullptr) || done == 0) return false;
                data += done;
                size -= done;
            }
            return true;
        };
        feedFailure = feed(writer);
        if (!feedFailure.empty()) TerminateProcess(info.hProcess, 1);
        CloseHandle(inWrite);
    }
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    if (readerThread != nullptr) {
        WaitForSingleObject(readerThread, INFINITE);
        CloseHandle(readerThread);
    } else {
        ReadErrors(&reader);
    }
    CloseHandle(errRead);
    childJob = nullptr;
    if (job != nullptr) CloseHandle(job);

    end.lastLine = LastLine(reader.text);
    if (cancelled) {
        end.kind = ChildEnd::Kind::Cancelled;
    } else if (!feedFailure.empty()) {
        end.kind = ChildEnd::Kind::FeedFailed;
        end.why = feedFailure;
    } else {
        end.kind = ChildEnd::Kind::Exited;
        end.code = code;
    }
    return end;
}

void EndCancelled(const ChildEnd&) { ExitProcess(STATUS_CONTROL_C_EXIT); }

}  // namespace fftools
