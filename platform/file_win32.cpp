#include "platform/file.h"

#include <windows.h>

namespace platform {

FileHandle OpenFileForWrite(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

bool WriteToFile(FileHandle file, const void* data, uint32_t size, uint32_t* written) {
    DWORD done = 0;
    BOOL ok = WriteFile(static_cast<HANDLE>(file), data, size, &done, nullptr);
    if (written != nullptr) *written = done;
    return ok != FALSE;
}

bool FlushFile(FileHandle file) { return FlushFileBuffers(static_cast<HANDLE>(file)) != FALSE; }

bool CloseFile(FileHandle file) { return file != nullptr && CloseHandle(static_cast<HANDLE>(file)) != FALSE; }

bool RemoveFile(const char* path) { return path != nullptr && DeleteFileA(path) != FALSE; }

bool PathExists(const char* path) {
    if (path == nullptr) return false;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

uint32_t GetTempFolder(char (&buffer)[260]) {
    DWORD length = GetTempPathA(sizeof buffer, buffer);
    return length < sizeof buffer ? length : 0;
}

char PathSeparator() { return '\\'; }

uint32_t LastError() { return GetLastError(); }

}  // namespace platform
