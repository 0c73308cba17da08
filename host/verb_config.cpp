// tarvo-host config PLUGIN [--settings FILE]
#include <cstdio>
#include <string>
#include <vector>

#include "host/plugin_library.h"
#include "host/verbs.h"

namespace host {
namespace {

// Reads a whole file; false when it does not exist.
bool ReadBlock(const std::string& path, std::vector<char>* block, bool* missing) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        *missing = true;
        return false;
    }
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) block->insert(block->end(), buffer, buffer + got);
    bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

bool WriteBlock(const std::string& path, const std::vector<char>& block) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool ok = std::fwrite(block.data(), 1, block.size(), file) == block.size();
    return std::fclose(file) == 0 && ok;
}

std::vector<char> GetBlock(const OutputPluginTable& table) {
    int32_t size = table.configGet(nullptr, 0);
    std::vector<char> block(size > 0 ? static_cast<size_t>(size) : 0);
    if (!block.empty()) table.configGet(block.data(), size);
    return block;
}

}  // namespace

int RunConfig(const Arguments& arguments) {
    std::string settingsPath;
    bool usage = arguments.size() != 1 && !(arguments.size() == 3 && arguments[1] == "--settings");
    if (usage) {
        std::fputs("usage: tarvo-host config PLUGIN [--settings FILE]\n", stderr);
        return kExitUsage;
    }
    if (arguments.size() == 3) settingsPath = arguments[2];
    std::string error;
    std::unique_ptr<PluginLibrary> library = PluginLibrary::Load(arguments[0], &error);
    if (library == nullptr) {
        std::fprintf(stderr, "tarvo-host: %s\n", error.c_str());
        return kExitFailure;
    }
    const OutputPluginTable& table = library->table();
    if (table.config == nullptr || table.configGet == nullptr || table.configSet == nullptr) {
        std::fputs("tarvo-host: the plug-in has no settings dialog\n", stderr);
        return kExitFailure;
    }
    // Restore the saved block as the editor does at start; a block the
    // plug-in refuses is left as it is rather than overwritten.
    if (!settingsPath.empty()) {
        std::vector<char> saved;
        bool missing = false;
        if (ReadBlock(settingsPath, &saved, &missing)) {
            if (table.configSet(saved.data(), static_cast<int32_t>(saved.size())) == 0) {
                std::fprintf(stderr, "tarvo-host: the plug-in refused the settings in '%s'\n", settingsPath.c_str());
                return kExitFailure;
            }
        } else if (!missing) {
            std::fprintf(stderr, "tarvo-host: cannot read '%s'\n", settingsPath.c_str());
            return kExitFailure;
        }
    }
    std::vector<char> before = GetBlock(table);
    table.config(nullptr, nullptr);
    std::vector<char> after = GetBlock(table);
    if (settingsPath.empty()) return 0;
    if (after == before) {
        std::printf("Settings unchanged: '%s' not written\n", settingsPath.c_str());
        return 0;
    }
    if (!WriteBlock(settingsPath, after)) {
        std::fprintf(stderr, "tarvo-host: cannot write '%s'\n", settingsPath.c_str());
        return kExitFailure;
    }
    std::printf("Settings saved to '%s' (%zu bytes)\n", settingsPath.c_str(), after.size());
    return 0;
}

}  // namespace host
