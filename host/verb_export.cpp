// tarvo-host export: the editor's part of one export.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "host/export_job.h"
#include "host/host_settings.h"
#include "host/input_options.h"
#include "host/plugin_library.h"
#include "host/verbs.h"

#ifndef TARVO_PLUGIN_PATH
#define TARVO_PLUGIN_PATH "Tarvo_output.so"
#endif

namespace host {
namespace {

const char kUsage[] =
    "usage: tarvo-host export [options] [INPUT] -o OUT.mp4\n"
    "  -o, --output FILE   the MP4 file to write\n"
    "  --plugin PATH       the plug-in library (" TARVO_PLUGIN_PATH ")\n"
    "  --settings FILE     the settings block to use (default: the dialog's\n"
    "                      defaults with this build's stand-in programs)\n"
    "  --abort-after N     the abort callback answers yes once N frames went out (a cancel:\n"
    "                      exit status 4, nothing written)\n"
    "  --stats             print what the plug-in asked for on standard output\n"
    "  --verbose           print the plug-in's export log on standard error\n"
    "  --quiet             no progress line\n";

std::string Folder(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// True when a file can be made in `folder` (made and removed again): the
// one honest test, as permissions alone say nothing for root or on /proc.
bool CanCreateIn(const std::string& folder) {
    std::string name = folder;
    if (name.empty() || name.back() != '/') name += '/';
    name += ".tarvo-host-XXXXXX";
    int fd = mkstemp(name.data());
    if (fd < 0) return false;
    close(fd);
    unlink(name.c_str());
    return true;
}

// The output entry reports only "failed" (its message above says why); say
// which of the usual causes of the host's own making apply, and nothing when
// none does.
void ExplainFailure(const SettingData& settings, const InputFormat& format, const std::string& saveFile,
                    const ExportStats& stats) {
    auto say = [](const std::string& text) { std::fprintf(stderr, "tarvo-host:   %s\n", text.c_str()); };
    char text[kSettingPathSize];
    if (stats.inputFailed) say("the input could not deliver everything the plug-in asked for (see above)");
    // A program is a regular file we may run: a folder or a text file is not.
    auto isProgram = [](const char* path) {
        struct stat info;
        return stat(path, &info) == 0 && S_ISREG(info.st_mode) && access(path, X_OK) == 0;
    };
    ReadSettingText(settings.tempFolder, text);
    if (text[0] != '\0' && !CanCreateIn(text)) {
        say(std::string("the temporary folder '") + text + "' is missing or not writable");
    }
    if (format.hasAudio) {
        ReadSettingText(settings.aacEncoderPath, text);
        if (!isProgram(text)) {
            say(std::string("the AAC encoder '") + text + "' is missing or not an executable file");
        }
    }
    ReadSettingText(settings.muxerPath, text);
    if (!isProgram(text)) {
        say(std::string("the muxer '") + text + "' is missing or not an executable file");
    }
    std::string folder = Folder(saveFile);
    if (!CanCreateIn(folder)) {
        say("the output folder '" + folder + "' is missing or not writable");
    }
}

// The plug-in's export log, one line at a time.
void PrintLogLine(const char* line) { std::fprintf(stderr, "tarvo: %s\n", line); }

void PrintStats(const ExportStats& s) {
    std::printf(
        "result=%d\nframes=%d\nframes_out_of_order=%d\nbad_requests=%d\naudio_calls=%d\naudio_samples=%lld\n"
        "audio_length_asked=%d\nabort_polls=%d\nprogress_calls=%d\npreview_calls=%d\nforeign_thread_calls=%d\n"
        "seconds=%.3f\n",
        s.result, s.framesDelivered, s.framesOutOfOrder, s.badRequests, s.audioCalls,
        static_cast<long long>(s.audioSamples), s.audioLengthAsked, s.abortPolls, s.progressCalls, s.previewCalls,
        s.foreignThreadCalls, s.seconds);
    std::fflush(stdout);
}

}  // namespace

int RunExport(const Arguments& arguments) {
    const size_t argc = arguments.size();
    InputChoice choice;
    ExportOptions options;
    std::string pluginPath = TARVO_PLUGIN_PATH, settingsPath;
    bool stats = false, quiet = false, verbose = false;
    for (size_t i = 0; i < argc; ++i) {
        std::string error;
        const std::string& arg = arguments[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "tarvo-host export: %s needs a value\n", arg.c_str());
                return false;
            }
            *out = arguments[++i];
            return true;
        };
        if (TakeInputOption(arguments, &i, &choice, &error)) {
            if (!error.empty()) {
                std::fprintf(stderr, "tarvo-host export: %s\n", error.c_str());
                return kExitUsage;
            }
        } else if (arg == "-o" || arg == "--output") {
            if (!value(&options.saveFile)) return kExitUsage;
        } else if (arg == "--plugin") {
            if (!value(&pluginPath)) return kExitUsage;
        } else if (arg == "--settings") {
            if (!value(&settingsPath)) return kExitUsage;
        } else if (arg == "--abort-after") {
            std::string n;
            if (!value(&n)) return kExitUsage;
            char* end = nullptr;
            long frames = std::strtol(n.c_str(), &end, 10);
            // Digits only: strtol would also take blanks and a sign.
            if (n.empty() || n.find_first_not_of("0123456789") != std::string::npos || *end != '\0' || frames < 0 || frames > INT32_MAX) {
                std::fprintf(stderr, "tarvo-host export: --abort-after: bad value '%s'\n", n.c_str());
                return kExitUsage;
            }
            options.abortAfter = static_cast<int>(frames);
        } else if (arg == "--stats") {
            stats = true;
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (arg == "--verbose") {
            verbose = true;
        } else if (arg == "-h" || arg == "--help") {
            std::printf("%s%s", kUsage, kInputOptionsHelp);
            return 0;
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            std::fprintf(stderr, "tarvo-host export: unknown option '%s'\n%s", arg.c_str(), kUsage);
            return kExitUsage;
        } else if (choice.path.empty()) {
            choice.path = arg;
        } else {
            std::fprintf(stderr, "tarvo-host export: more than one input\n");
            return kExitUsage;
        }
    }
    if (options.saveFile.empty()) {
        std::fprintf(stderr, "tarvo-host export: no output file (-o OUT.mp4)\n%s", kUsage);
        return kExitUsage;
    }
    // The plug-in keeps the path in a 260-byte field, as the editor does.
    if (options.saveFile.size() > 259) {
        std::fprintf(stderr, "tarvo-host export: the output path is longer than 259 characters\n");
        return kExitUsage;
    }

    // The file's bytes go to the plug-in as they are, as the editor hands
    // back what it stored: an 820-byte block is the plug-in's to upgrade, a
    // block of another version the plug-in's to refuse.
    std::string block;
    std::string error;
    if (settingsPath.empty()) {
        const SettingData defaults = HostDefaultSettings();
        block.assign(reinterpret_cast<const char*>(&defaults), sizeof defaults);
    } else if (!ReadSettingsBytes(settingsPath, &block, &error)) {
        std::fprintf(stderr, "tarvo-host export: %s\n", error.c_str());
        return kExitUsage;
    }
    std::unique_ptr<Input> input = OpenInput(choice, &error);
    if (input == nullptr) {
        std::fprintf(stderr, "tarvo-host export: %s\n", error.c_str());
        return kExitUsage;
    }
    std::unique_ptr<PluginLibrary> plugin = PluginLibrary::Load(pluginPath, &error);
    if (plugin == nullptr) {
        std::fprintf(stderr, "tarvo-host export: %s\n", error.c_str());
        return kExitUsage;
    }
    const OutputPluginTable& table = plugin->table();
    if (table.output == nullptr || table.configSet == nullptr) {
        std::fprintf(stderr, "tarvo-host export: %s has no output or settings-set entry\n", pluginPath.c_str());
        return kExitUsage;
    }
    // The editor restores the stored block before the export; a refusal is
    // shown by the plug-in itself.
    const auto size = static_cast<int32_t>(block.size());
    if (table.configSet(block.data(), size) != size) {
        std::fprintf(stderr, "tarvo-host export: the plug-in refused the settings block\n");
        return kExitUsage;
    }
    // The record the plug-in now holds, for explaining a failure.
    SettingData settings = HostDefaultSettings();
    ReadSettingBlock(block.data(), block.size(), &settings);

    using SetExportLog = void (*)(void (*)(const char*));
    if (verbose) {
        auto setLog = reinterpret_cast<SetExportLog>(plugin->Symbol("TarvoSetExportLog"));
        if (setLog == nullptr) {
            std::fprintf(stderr, "tarvo-host export: %s keeps no export log\n", pluginPath.c_str());
        } else {
            setLog(PrintLogLine);
        }
    }

    options.progress = !quiet && !verbose && isatty(STDERR_FILENO);
    const InputFormat& format = input->Format();
    ExportStats result = DriveExport(table.output, *input, options);
    if (stats) PrintStats(result);

    // A cancel is no failure to the plug-in (nonzero, no message), and a
    // cancelled export writes no MP4: what the abort callback answered says
    // which it was, never a file that may have been there before.
    const bool cancelled = result.result != 0 && result.abortAnswered;
    int status = cancelled ? kExitCancelled : result.result != 0 ? 0 : 1;
    if (result.foreignThreadCalls != 0 || result.badRequests != 0) {
        std::fprintf(stderr, "tarvo-host: the plug-in broke the host contract: %d callbacks off the host's thread, "
                             "%d requests outside the job\n",
                     result.foreignThreadCalls, result.badRequests);
        status = 3;
    }
    if (cancelled) {
        std::fprintf(stderr, "tarvo-host: the export was cancelled after %d of %d frames; nothing was written\n",
                     result.framesDelivered, format.frameCount);
    } else if (result.result == 0) {
        std::fprintf(stderr, "tarvo-host: the export failed (the plug-in returned 0); %s\n",
                     access(options.saveFile.c_str(), F_OK) == 0 ? "a file exists at the output path"
                                                                 : "no output file was written");
        ExplainFailure(settings, format, options.saveFile, result);
    } else {
        double fps = result.seconds > 0 ? result.framesDelivered / result.seconds : 0;
        std::fprintf(stderr, "tarvo-host: wrote %s: %d of %d frames in %.2f s (%.1f fps)\n", options.saveFile.c_str(),
                     result.framesDelivered, format.frameCount, result.seconds, fps);
    }
    return status;
}

}  // namespace host
