// rand_s draws from the system's random source (RtlGenRandom).
#define _CRT_RAND_S
#include "platform/file.h"

#include <stdlib.h>
#include <windows.h>

#include "platform/utf16_win32.h"

namespace platform {
namespace {

// The Win32 calls that take a path, one place for each. TARVO_UTF8_PATHS
// (the .auo2): paths are UTF-8 and reach Windows through the wide calls.
// Otherwise (the .auo) they are in the ANSI code page and go to the A calls
// unchanged.
#ifdef TARVO_UTF8_PATHS
HANDLE Create(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    return CreateFileW(Utf8ToWide(path).c_str(), access, share, nullptr, disposition, flags, nullptr);
}
BOOL Delete(const char* path) { return DeleteFileW(Utf8ToWide(path).c_str()); }
bool Found(const char* path) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Utf8ToWide(path).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}
DWORD AttributesOf(const char* path) { return GetFileAttributesW(Utf8ToWide(path).c_str()); }
BOOL MoveOver(const char* from, const char* to) {
    return MoveFileExW(Utf8ToWide(from).c_str(), Utf8ToWide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}
BOOL CreateFolder(const char* path) { return CreateDirectoryW(Utf8ToWide(path).c_str(), nullptr); }
uint32_t TempFolder(char (&buffer)[260]) {
    wchar_t wide[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, wide);
    if (length == 0 || length > MAX_PATH) return 0;
    // Non-ASCII characters take more than one byte each: the UTF-8 text
    // must still fit the record's 259.
    const std::string text = WideToUtf8(wide);
    if (text.empty() || text.size() >= sizeof buffer) return 0;
    text.copy(buffer, text.size());
    buffer[text.size()] = '\0';
    return static_cast<uint32_t>(text.size());
}
#else
HANDLE Create(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    return CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
}
BOOL Delete(const char* path) { return DeleteFileA(path); }
bool Found(const char* path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}
DWORD AttributesOf(const char* path) { return GetFileAttributesA(path); }
BOOL MoveOver(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}
BOOL CreateFolder(const char* path) { return CreateDirectoryA(path, nullptr); }
uint32_t TempFolder(char (&buffer)[260]) {
    DWORD length = GetTempPathA(sizeof buffer, buffer);
    return length < sizeof buffer ? length : 0;
}
#endif

}  // namespace

FileHandle OpenFileForWrite(const char* path) {
    if (path == nullptr) return nullptr;
    HANDLE file = Create(path, GENERIC_WRITE, 0, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);
    return file == INVALID_HANDLE_VALUE ? nullptr : static_cast<FileHandle>(file);
}

bool WriteToFile(FileHandle file, const void* data, uint32_t size, uint32_t* written) {
    DWORD done = 0;
    BOOL ok = WriteFile(static_cast<HANDLE>(file), data, size, &done, nullptr);
    if (written != nullptr) *written = done;
    return ok != FALSE;
}

bool FlushFile(FileHandle file) { return FlushFileBuffers(static_cast<HANDLE>(file)) != FALSE; }

bool CloseFile(FileHandle file) { return file != nullptr && CloseHandle(static_cast<HANDLE>(file)) != FALSE; }

FileHandle CreateNewFileForWrite(const char* path, CreateResult* result) {
    *result = CreateResult::kFailed;
    if (path == nullptr) return nullptr;
    HANDLE file = Create(path, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) *result = CreateResult::kExists;
        SetLastError(error);
        return nullptr;
    }
    *result = CreateResult::kCreated;
    return static_cast<FileHandle>(file);
}

bool IsRegularFile(const char* path) {
    if (path == nullptr) return false;
    DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsProgramFile(const char* path) { return IsRegularFile(path); }

bool IsFolder(const char* path) {
    if (path == nullptr) return false;
    DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool OsRandom(void* buffer, uint32_t size) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    for (uint32_t i = 0; i < size; ++i) {
        unsigned int value;
        if (rand_s(&value) != 0) return false;
        bytes[i] = static_cast<unsigned char>(value);
    }
    return true;
}

bool RemoveFile(const char* path) { return path != nullptr && Delete(path) != FALSE; }

bool PathExists(const char* path) { return path != nullptr && Found(path); }

uint32_t GetTempFolder(char (&buffer)[260]) { return TempFolder(buffer); }

bool ReadFileStart(const char* path, size_t limit, std::string* bytes) {
    if (path == nullptr || bytes == nullptr) return false;
    HANDLE file = Create(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) return false;
    bytes->assign(limit, '\0');
    size_t got = 0;
    bool ok = true;
    while (got < limit) {
        DWORD chunk = limit - got > 0x10000000 ? 0x10000000 : static_cast<DWORD>(limit - got);
        DWORD read = 0;
        if (!ReadFile(file, bytes->data() + got, chunk, &read, nullptr)) ok = false;
        if (!ok || read == 0) break;
        got += read;
    }
    CloseHandle(file);
    bytes->resize(got);
    return ok;
}

bool MoveFileOver(const char* from, const char* to) {
    return from != nullptr && to != nullptr && MoveOver(from, to) != FALSE;
}

bool MakeFolder(const char* path) {
    if (path == nullptr) return false;
    if (CreateFolder(path)) return true;
    const DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

char PathSeparator() { return '\\'; }

std::string ModuleFolder() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&ModuleFolder), &self)) {
        return {};
    }
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) return {};
    path.resize(length);
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return {};
    path.resize(slash + 1);
#ifdef TARVO_UTF8_PATHS
    return WideToUtf8(path.c_str());
#else
    // A folder the code page cannot spell names no file the A calls find.
    BOOL lossy = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, nullptr, 0, nullptr, &lossy);
    if (size <= 1 || lossy) return {};
    std::string text(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, text.data(), size, nullptr, nullptr);
    text.resize(static_cast<size_t>(size) - 1);
    return text;
#endif
}

uint32_t LastError() { return GetLastError(); }

}  // namespace platform
