// tarvo-host settings: the settings block, read and edited by field name.
#include <cerrno>
#include <cstdio>
#include <string>
#include <sys/stat.h>

#include "host/host_settings.h"
#include "host/verbs.h"

namespace host {
namespace {

const char kUsage[] =
    "usage: tarvo-host settings show FILE\n"
    "       tarvo-host settings set FILE key=value ...   (creates FILE from the defaults when missing)\n"
    "keys: version hardwareImpl codecProfile codecLevel targetUsage rateControl targetKbps maxKbps\n"
    "      aacProfile aacKbps aacEncoderPath muxerPath tempFolder\n"
    "      codec bitDepth gopLength bFrames idrInterval qpI qpP qpB quality lookAhead\n"
    "      avbrAccuracy avbrConvergence\n";

}  // namespace

int RunSettings(const Arguments& arguments) {
    const size_t argc = arguments.size();
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    const std::string& what = arguments[0];
    const std::string& path = arguments[1];
    std::string error;
    SettingData data;
    if (what == "show" && argc == 2) {
        if (!LoadSettingsFile(path, &data, &error)) {
            std::fprintf(stderr, "tarvo-host settings: %s\n", error.c_str());
            return kExitUsage;
        }
        std::fputs(FormatSettings(data).c_str(), stdout);
        return 0;
    }
    if (what != "set") {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 && errno == ENOENT) {
        data = HostDefaultSettings();
    } else if (!LoadSettingsFile(path, &data, &error)) {
        std::fprintf(stderr, "tarvo-host settings: %s\n", error.c_str());
        return kExitUsage;
    }
    // All edits or none: the file changes only when every one is valid.
    for (size_t i = 2; i < argc; ++i) {
        if (!ApplySetting(&data, arguments[i], &error)) {
            std::fprintf(stderr, "tarvo-host settings: %s\n", error.c_str());
            return kExitUsage;
        }
    }
    if (!CheckSettings(data, &error)) {
        std::fprintf(stderr, "tarvo-host settings: %s\n", error.c_str());
        return kExitUsage;
    }
    if (!SaveSettingsFile(path, data, &error)) {
        std::fprintf(stderr, "tarvo-host settings: %s\n", error.c_str());
        return kExitFailure;
    }
    return 0;
}

}  // namespace host
