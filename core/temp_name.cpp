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

std::string MakeRandomStem() {
    // 32 random bits per letter keep the bias of "% 26" below 1e-8.
    uint32_t values[kStemLength];
    if (!platform::OsRandom(values, sizeof values)) {
        if (seedingPending) {
            std::srand(platform::TickCountMs());
            seedingPending = false;
        }
        for (uint32_t& value : values) value = static_cast<uint32_t>(std::rand());
    }
    std::string stem(kStemLength, 'A');
    for (int i = 0; i < kStemLength; ++i) stem[i] = static_cast<char>('A' + values[i] % 26);
    return stem;
}

namespace {

// Claims the first free name that `nameFor` makes of a stem from `makeStem`:
// creates the empty file exclusively, drawing again while the name is taken.
template <typename NameFor>
std::optional<std::string> ClaimName(StemSource makeStem, const NameFor& nameFor) {
    for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
        std::string candidate = nameFor(makeStem());
        const platform::CreateResult created = platform::CreateNewFile(candidate.c_str());
        if (created == platform::CreateResult::kCreated) return candidate;
        if (created == platform::CreateResult::kFailed) return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> MakeTempName(const char* extension, const char* folder) {
    return MakeTempNameFrom(MakeRandomStem, extension, folder);
}

std::optional<std::string> MakeTempNameFrom(StemSource makeStem, const char* extension, const char* folder) {
    std::string base;
    size_t folderLength = folder != nullptr ? strnlen(folder, kSettingPathSize - 1) : 0;
    if (folderLength == 0) {
        char system[kSettingPathSize];
        if (platform::GetTempFolder(system) == 0) return std::nullopt;
        base = system;
    } else {
        base.assign(folder, folderLength);
    }
    if (base.back() != '\\' && base.back() != '/') base += platform::PathSeparator();
    return ClaimName(makeStem, [&](const std::string& stem) { return base + stem + "." + extension; });
}

std::optional<std::string> MakeSiblingName(const char* path, const char* extension) {
    if (path == nullptr || path[0] == '\0' || extension == nullptr) return std::nullopt;
    return ClaimName(MakeRandomStem, [&](const std::string& stem) {
        return std::string(path) + "." + stem.substr(0, kSiblingStemLength) + "." + extension;
    });
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

std::optional<TempFile> TempFile::Claim(const char* extension, const char* folder) {
    std::optional<std::string> path = MakeTempName(extension, folder);
    if (!path) return std::nullopt;
    return TempFile(std::move(*path));
}

std::optional<TempFile> TempFile::ClaimBeside(const char* path, const char* extension) {
    std::optional<std::string> sibling = MakeSiblingName(path, extension);
    if (!sibling) return std::nullopt;
    return TempFile(std::move(*sibling));
}

void TempFile::Remove() {
    if (path_.empty()) return;
    platform::RemoveFile(path_.c_str());
    path_.clear();
}
