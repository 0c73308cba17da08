// Files, paths and the temporary folder.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// An open file; null means no file.
struct FileObject;
using FileHandle = FileObject*;

// Opens `path` for writing: creates it when missing, never truncates it, and
// positions at its start (sequential access). Never follows a symbolic link
// (POSIX). Returns null on failure.
FileHandle OpenFileForWrite(const char* path);

// One synchronous write. Returns false on failure (see LastError()); a short
// write returns true with *written below size.
bool WriteToFile(FileHandle file, const void* data, uint32_t size, uint32_t* written);

// Flushes the file's buffers to the disk. False on failure.
bool FlushFile(FileHandle file);

// Closes the handle. False on failure (a delayed write error surfaces here).
bool CloseFile(FileHandle file);

enum class CreateResult { kCreated, kExists, kFailed };

// Creates an empty file at `path` only if nothing of that name exists
// (O_CREAT | O_EXCL | O_NOFOLLOW, mode 0600; CREATE_NEW on Windows). kExists
// when the name is taken, by anything (a dangling link included); kFailed for
// any other failure (see LastError()).
CreateResult CreateNewFile(const char* path);

// CreateNewFile, keeping the new file open for writing (null unless
// *result is kCreated).
FileHandle CreateNewFileForWrite(const char* path, CreateResult* result);

// True when `path` names a regular file the system can start as a program
// (executable for us on POSIX; any file on Windows).
bool IsProgramFile(const char* path);

// True when `path` names a regular file.
bool IsRegularFile(const char* path);

// True when `path` names a folder.
bool IsFolder(const char* path);

// Fills `buffer` from the system's random source. False when it cannot.
bool OsRandom(void* buffer, uint32_t size);

// Deletes a file. False when it could not be deleted.
bool RemoveFile(const char* path);

// True when a file or directory of exactly this name exists (FindFirstFileA).
// A failed look-up counts as "does not exist".
bool PathExists(const char* path);

// The system's temporary folder, always ending in the separator, into a
// 260-byte buffer. Returns its length, or 0 on failure (also when it would not
// fit in 259 characters).
uint32_t GetTempFolder(char (&buffer)[260]);

// Reads the start of the file at `path`, at most `limit` bytes, into *bytes.
// False when the file cannot be opened or read (a folder cannot).
bool ReadFileStart(const char* path, size_t limit, std::string* bytes);

// Replaces the file at `path` with `size` bytes in one step, so that a crash
// leaves either the old file or the new one whole: the bytes go to a new
// file "<path>.<6 random capital letters>.new", created exclusively (never
// through a name or link someone put there), which is flushed and closed and
// then takes the place of `path` (MoveFileOver). False when any step failed;
// `path` is then as it was and the new file is gone.
bool ReplaceFileContents(const char* path, const void* data, uint32_t size);

// Moves the file `from` to `to` in one step, replacing what is at `to` (a
// symbolic link there is replaced, never written through): rename; MoveFileEx
// with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH. Both names must be
// on the same file system. False when it failed; both are then as they were.
bool MoveFileOver(const char* from, const char* to);

// Creates the folder `path` (its parent must exist). True when it exists
// afterwards, also when it existed before.
bool MakeFolder(const char* path);

// The separator appended to a folder: '\\' on Windows, '/' elsewhere.
char PathSeparator();

// The folder of the module (DLL or shared object) this code is linked into,
// ending in the separator, as this build's file calls take paths (UTF-8 or
// the ANSI code page); empty when the system does not say.
std::string ModuleFolder();

// The calling thread's last system error code (GetLastError or errno).
uint32_t LastError();

}  // namespace platform
