// What the file services build from the per-OS calls.
#include "platform/file.h"

namespace platform {

CreateResult CreateNewFile(const char* path) {
    CreateResult result;
    FileHandle file = CreateNewFileForWrite(path, &result);
    if (file != nullptr && !CloseFile(file)) result = CreateResult::kFailed;
    return result;
}

bool ReplaceFileContents(const char* path, const void* data, uint32_t size) {
    if (path == nullptr) return false;
    std::string fresh;
    FileHandle file = nullptr;
    for (int attempt = 0; attempt < 100 && file == nullptr; ++attempt) {
        unsigned char random[6];
        if (!OsRandom(random, sizeof random)) return false;
        fresh = std::string(path) + ".";
        for (unsigned char value : random) fresh += static_cast<char>('A' + value % 26);
        fresh += ".new";
        CreateResult created;
        file = CreateNewFileForWrite(fresh.c_str(), &created);
        if (created == CreateResult::kFailed) return false;
    }
    if (file == nullptr) return false;
    const auto* bytes = static_cast<const char*>(data);
    uint32_t done = 0;
    bool ok = true;
    while (ok && done < size) {
        uint32_t written = 0;
        ok = WriteToFile(file, bytes + done, size - done, &written) && written > 0;
        done += written;
    }
    ok = FlushFile(file) && ok;
    ok = CloseFile(file) && ok;
    ok = ok && MoveFileOver(fresh.c_str(), path);
    if (!ok) RemoveFile(fresh.c_str());
    return ok;
}

}  // namespace platform
