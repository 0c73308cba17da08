#include "core/temp_name.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/file.h"
#include "platform/sync.h"
#include "core/setting_data.h"

namespace {

// Set when the library is loaded, cleared by the first stem.
bool seedingPending = true;

constexpr int kStemLength = 7;
// A sibling's stem: the first letters of a stem.
constexpr int kSiblingStemLength = 6;

// Only a folder that claims every name (say, a broken network mount) gets
// anywhere near this; giving up beats spinning forever on the host's thread.
constexpr int kMaxAttempts = 1000;

}  // namespace

char* MakeRandomStem() {
    char* stem = static_cast<char*>(std::malloc(kStemLength + 1));
    if (stem == nullptr) return nullptr;
    // 32 random bits per letter keep the bias of "% 26" below 1e-8.
    uint32_t values[kStemLength];
    if (!platform::OsRandom(values, sizeof values)) {
        if (seedingPending) {
            std::srand(platform::TickCountMs());
            seedingPending = false;
        }
        for (uint32_t& value : values) value = static_cast<uint32_t>(std::rand());
    }
    for (int i = 0; i < kStemLength; ++i) stem[i] = static_cast<char>('A' + values[i] % 26);
    stem[kStemLength] = '\0';
    return stem;
}

bool MakeTempName(const char* extension, const char* folder, char** path) {
    return MakeTempNameFrom(MakeRandomStem, extension, folder, path);
}

bool MakeTempNameFrom(char* (*makeStem)(), const char* extension, const char* folder, char** path) {
    std::string base;
    size_t folderLength = folder != nullptr ? strnlen(folder, kSettingPathSize - 1) : 0;
    if (folderLength == 0) {
        char system[kSettingPathSize];
        if (platform::GetTempFolder(system) == 0) return false;
        base = system;
    } else {
        base.assign(folder, folderLength);
    }
    if (base.back() != '\\' && base.back() != '/') base += platform::PathSeparator();

    std::string candidate;
    for (int attempt = 0;; ++attempt) {
        if (attempt == kMaxAttempts) return false;
        char* stem = makeStem();
        if (stem == nullptr) return false;
        candidate = base + stem + "." + extension;
        std::free(stem);
        const platform::CreateResult created = platform::CreateNewFile(candidate.c_str());
        if (created == platform::CreateResult::kCreated) break;
        if (created == platform::CreateResult::kFailed) return false;
    }

    char* copy = static_cast<char*>(std::malloc(candidate.size() + 1));
    if (copy == nullptr) {
        platform::RemoveFile(candidate.c_str());
        return false;
    }
    std::memcpy(copy, candidate.c_str(), candidate.size() + 1);
    *path = copy;
    return true;
}

bool MakeSiblingName(const char* path, const char* extension, char** sibling) {
    if (path == nullptr || path[0] == '\0' || extension == nullptr) return false;
    std::string candidate;
    for (int attempt = 0;; ++attempt) {
        if (attempt == kMaxAttempts) return false;
        char* stem = MakeRandomStem();
        if (stem == nullptr) return false;
        candidate = std::string(path) + "." + std::string(stem, kSiblingStemLength) + "." + extension;
        std::free(stem);
        const platform::CreateResult created = platform::CreateNewFile(candidate.c_str());
        if (created == platform::CreateResult::kCreated) break;
        if (created == platform::CreateResult::kFailed) return false;
    }
    char* copy = static_cast<char*>(std::malloc(candidate.size() + 1));
    if (copy == nullptr) {
        platform::RemoveFile(candidate.c_str());
        return false;
    }
    std::memcpy(copy, candidate.c_str(), candidate.size() + 1);
    *sibling = copy;
    return true;
}

std::string TempFileFailureText(const char* folder) {
    size_t length = folder != nullptr ? strnlen(folder, kSettingPathSize - 1) : 0;
    if (length == 0) return "Cannot create a temporary file in the system's temporary folder.";
    return "Cannot create a temporary file in " + std::string(folder, length);
}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
    if (this != &other) {
        Remove();
        path_ = std::move(other.path_);
        other.path_.clear();
    }
    return *this;
}

namespace {

std::optional<TempFile> Adopt(bool claimed, char* path, TempFile (*make)(std::string)) {
    if (!claimed) return std::nullopt;
    std::string owned = path;
    std::free(path);
    return make(std::move(owned));
}

}  // namespace

std::optional<TempFile> TempFile::Claim(const char* extension, const char* folder) {
    char* path = nullptr;
    const bool claimed = MakeTempName(extension, folder, &path);
    return Adopt(claimed, path, [](std::string owned) { return TempFile(std::move(owned)); });
}

std::optional<TempFile> TempFile::ClaimBeside(const char* path, const char* extension) {
    char* sibling = nullptr;
    const bool claimed = MakeSiblingName(path, extension, &sibling);
    return Adopt(claimed, sibling, [](std::string owned) { return TempFile(std::move(owned)); });
}

void TempFile::Remove() {
    if (path_.empty()) return;
    platform::RemoveFile(path_.c_str());
    path_.clear();
}
