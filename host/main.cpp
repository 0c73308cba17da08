// tarvo-host: drives an output plug-in library the way the video editor does.
#include <cstdio>
#include <cstring>

#include "host/verbs.h"
#include "mfxsoft/sanitizer_defaults.h"

namespace {

struct Verb {
    const char* name;
    const char* usage;
    int (*run)(const host::Arguments& arguments);
};

constexpr Verb kVerbs[] = {
    {"info", "info PLUGIN        show the plug-in's name, file filters, entries and settings size",
     host::RunInfo},
    {"export", "export [OPTIONS] [INPUT] -o OUT.mp4   export through the plug-in (see export --help)",
     host::RunExport},
    {"settings", "settings show FILE | set FILE key=value ...   read or edit a settings block",
     host::RunSettings},
    {"frames", "frames [OPTIONS] [INPUT] -o FILE|-   the pictures of an input as raw BGR24",
     host::RunFrames},
    {"config", "config PLUGIN [--settings FILE]\n"
               "                     open the settings dialog; FILE holds the settings block",
     host::RunConfig},
};

void PrintUsage(std::FILE* out) {
    std::fputs("usage: tarvo-host VERB [ARGUMENTS]\n\nverbs:\n", out);
    for (const Verb& verb : kVerbs) std::fprintf(out, "  %s\n", verb.usage);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return host::kExitUsage;
    }
    if (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        PrintUsage(stdout);
        return 0;
    }
    for (const Verb& verb : kVerbs) {
        if (std::strcmp(argv[1], verb.name) == 0) return verb.run(host::Arguments(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "tarvo-host: unknown verb '%s'\n", argv[1]);
    PrintUsage(stderr);
    return host::kExitUsage;
}
