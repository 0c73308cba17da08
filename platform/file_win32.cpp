// rand_s draws from the system's random source (RtlGenRandom).
#define _CRT_RAND_S
#include "platform/file.h"

#include <stdlib.h>
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

CreateResult CreateNewFile(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? CreateResult::kExists
                                                                           : CreateResult::kFailed;
    }
    CloseHandle(file);
    return CreateResult::kCreated;
}

bool IsRegularFile(const char* path) {
    if (path == nullptr) return false;
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsProgramFile(const char* path) { return IsRegularFile(path); }

bool OsRandom(void* buffer, uint32_t size) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    for (uint32_t i = 0; i < size; ++i) {
        unsigned int value;
        if (rand_s(&value) != 0) return false;
        bytes[i] = static_cast<unsigned char>(value);
    }
    return true;
}

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
