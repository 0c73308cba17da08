#include "platform/file.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// The descriptor is stored as fd + 1 so that a null handle never names fd 0.
FileHandle ToHandle(int fd) { return reinterpret_cast<FileHandle>(static_cast<intptr_t>(fd) + 1); }
int ToFd(FileHandle file) { return static_cast<int>(reinterpret_cast<intptr_t>(file) - 1); }

}  // namespace

FileHandle OpenFileForWrite(const char* path) {
    if (path == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    int fd;
    do {
        fd = ::open(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return nullptr;
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    return ToHandle(fd);
}

bool WriteToFile(FileHandle file, const void* data, uint32_t size, uint32_t* written) {
    if (written != nullptr) *written = 0;
    if (file == nullptr) {
        errno = EBADF;
        return false;
    }
    ssize_t n;
    do {
        n = ::write(ToFd(file), data, size);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return false;
    if (written != nullptr) *written = static_cast<uint32_t>(n);
    return true;
}

bool FlushFile(FileHandle file) {
    if (file == nullptr) {
        errno = EBADF;
        return false;
    }
    // fsync is refused on some special files (pipes, /dev/full); there is
    // nothing to flush there.
    return ::fsync(ToFd(file)) == 0 || errno == EINVAL || errno == EROFS;
}

bool CloseFile(FileHandle file) {
    if (file == nullptr) return false;
    return ::close(ToFd(file)) == 0;
}

FileHandle CreateNewFileForWrite(const char* path, CreateResult* result) {
    *result = CreateResult::kFailed;
    if (path == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    int fd;
    do {
        fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno == EEXIST) *result = CreateResult::kExists;
        return nullptr;
    }
    *result = CreateResult::kCreated;
    return ToHandle(fd);
}

bool IsProgramFile(const char* path) {
    struct stat info;
    return path != nullptr && ::stat(path, &info) == 0 && S_ISREG(info.st_mode) && ::access(path, X_OK) == 0;
}

bool IsRegularFile(const char* path) {
    struct stat info;
    return path != nullptr && ::stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

bool IsFolder(const char* path) {
    struct stat info;
    return path != nullptr && ::stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

bool OsRandom(void* buffer, uint32_t size) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    while (size > 0) {
        ssize_t n = ::getrandom(bytes, size, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += n;
        size -= static_cast<uint32_t>(n);
    }
    return true;
}

bool RemoveFile(const char* path) { return path != nullptr && ::unlink(path) == 0; }

bool PathExists(const char* path) {
    struct stat info;
    return path != nullptr && ::lstat(path, &info) == 0;
}

uint32_t GetTempFolder(char (&buffer)[260]) {
    const char* dir = std::getenv("TMPDIR");
    if (dir == nullptr || dir[0] == '\0') dir = "/tmp";
    size_t length = std::strlen(dir);
    bool needsSeparator = dir[length - 1] != '/';
    if (length + (needsSeparator ? 1 : 0) > 259) return 0;
    std::memcpy(buffer, dir, length);
    if (needsSeparator) buffer[length++] = '/';
    buffer[length] = '\0';
    return static_cast<uint32_t>(length);
}

bool ReadFileStart(const char* path, size_t limit, std::string* bytes) {
    if (path == nullptr || bytes == nullptr) return false;
    int fd;
    do {
        fd = ::open(path, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    bytes->assign(limit, '\0');
    size_t got = 0;
    bool ok = true;
    while (got < limit) {
        ssize_t n = ::read(fd, bytes->data() + got, limit - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    bytes->resize(got);
    return ok;
}

bool MoveFileOver(const char* from, const char* to) {
    return from != nullptr && to != nullptr && ::rename(from, to) == 0;
}

bool MakeFolder(const char* path) {
    if (path == nullptr) return false;
    struct stat info;
    return ::mkdir(path, 0777) == 0 || (errno == EEXIST && ::stat(path, &info) == 0 && S_ISDIR(info.st_mode));
}

char PathSeparator() { return '/'; }

std::string ModuleFolder() {
    Dl_info info;
    if (::dladdr(reinterpret_cast<void*>(&ModuleFolder), &info) == 0 || info.dli_fname == nullptr) return {};
    const std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

uint32_t LastError() { return static_cast<uint32_t>(errno); }

}  // namespace platform
