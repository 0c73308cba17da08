// The verbs of tarvo-host. Each takes the arguments after its name and
// returns the process exit code: 0 success, 1 failure, 2 wrong usage.
#pragma once
#include <string>
#include <vector>

namespace host {

using Arguments = std::vector<std::string>;

inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
// export: the export was cancelled (Ctrl-C, SIGTERM, SIGHUP, --abort-after).
inline constexpr int kExitCancelled = 4;

// info PLUGIN: what the editor sees of a plug-in library.
int RunInfo(const Arguments& arguments);
// export [options] [INPUT] -o OUT.mp4: one export through the output entry.
int RunExport(const Arguments& arguments);
// settings show FILE | settings set FILE key=value ...: the settings block.
int RunSettings(const Arguments& arguments);
// frames [options] [INPUT] -o FILE: the pictures an export would get, as raw
// top-down BGR24, for comparisons and benchmarks.
int RunFrames(const Arguments& arguments);
// config PLUGIN [--settings FILE]: restores FILE, opens the settings dialog,
// saves the settings block to FILE when it changed.
int RunConfig(const Arguments& arguments);

}  // namespace host
