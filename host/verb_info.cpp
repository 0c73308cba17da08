// tarvo-host info PLUGIN
#include <cstdio>
#include <string>

#include "host/plugin_library.h"
#include "host/text.h"
#include "host/verbs.h"

namespace host {
namespace {

std::string Text(const char* text) { return text != nullptr ? ShiftJisToUtf8(text) : "(none)"; }

const char* Present(const void* entry) { return entry != nullptr ? "yes" : "none"; }

}  // namespace

int RunInfo(const Arguments& arguments) {
    if (arguments.size() != 1) {
        std::fputs("usage: tarvo-host info PLUGIN\n", stderr);
        return kExitUsage;
    }
    std::string error;
    std::unique_ptr<PluginLibrary> library = PluginLibrary::Load(arguments[0], &error);
    if (library == nullptr) {
        std::fprintf(stderr, "tarvo-host: %s\n", error.c_str());
        return kExitFailure;
    }
    const OutputPluginTable& table = library->table();
    std::printf("Plug-in:      %s\n", library->path().c_str());
    std::printf("Name:         %s\n", Text(table.name).c_str());
    std::printf("Information:  %s\n", Text(table.information).c_str());
    std::printf("Flag:         %d\n", table.flag);
    std::printf("File filters:\n");
    for (const auto& [description, pattern] : ReadFilterList(table.fileFilter)) {
        std::printf("  %-20s %s\n", Text(description.c_str()).c_str(), Text(pattern.c_str()).c_str());
    }
    std::printf("Entries:\n");
    std::printf("  init          %s\n", Present(reinterpret_cast<const void*>(table.init)));
    std::printf("  exit          %s\n", Present(reinterpret_cast<const void*>(table.exit)));
    std::printf("  output        %s\n", Present(reinterpret_cast<const void*>(table.output)));
    std::printf("  config        %s\n", Present(reinterpret_cast<const void*>(table.config)));
    std::printf("  settings-get  %s\n", Present(reinterpret_cast<const void*>(table.configGet)));
    std::printf("  settings-set  %s\n", Present(reinterpret_cast<const void*>(table.configSet)));
    // The editor asks with no buffer: the entry only reports its size then.
    if (table.configGet != nullptr) {
        std::printf("Settings size: %d bytes\n", table.configGet(nullptr, 0));
    } else {
        std::printf("Settings size: (no settings-get entry)\n");
    }
    return 0;
}

}  // namespace host
