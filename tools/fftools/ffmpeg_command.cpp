#include "tools/fftools/ffmpeg_command.h"

namespace fftools {
namespace {

// Every path goes to ffmpeg as a file: URL, so that neither a leading '-'
// nor a colon ("a:b.m4a") is taken for an option or a protocol.
std::string FileUrl(const std::string& path) { return "file:" + path; }

// Quiet unless something goes wrong, never reading the console, replacing an
// output as the programs it stands in for do.
std::vector<std::string> CommonArguments() {
    return {"-nostdin", "-hide_banner", "-nostats", "-loglevel", "error", "-y"};
}

bool IsAbsolute(const std::string& folder, const SearchRules& rules) {
    if (!rules.windows) return !folder.empty() && folder[0] == '/';
    bool drive = folder.size() >= 3 && ((folder[0] | 0x20) >= 'a' && (folder[0] | 0x20) <= 'z') && folder[1] == ':' &&
                 (folder[2] == '\\' || folder[2] == '/');
    bool unc = folder.size() >= 2 && (folder[0] == '\\' || folder[0] == '/') && folder[1] == folder[0];
    return drive || unc;
}

std::string InFolder(std::string folder, const SearchRules& rules) {
    char last = folder.back();
    if (last != rules.folderSeparator && !(rules.windows && last == '/')) folder += rules.folderSeparator;
    return folder + rules.programName;
}

}  // namespace

const SearchRules kWindowsRules{"ffmpeg.exe", ';', '\\', true};
const SearchRules kPosixRules{"ffmpeg", ':', '/', false};

std::vector<std::string> AacFfmpegArguments(const tool_args::AacArguments& aac) {
    std::vector<std::string> arguments = CommonArguments();
    if (aac.ignoreLength) arguments.insert(arguments.end(), {"-ignore_length", "1"});
    arguments.insert(arguments.end(), {"-f", "wav", "-i", FileUrl(aac.input), "-map", "0:a:0", "-c:a", "aac",
                                       "-profile:a", "aac_low", "-b:a", std::to_string(aac.bitRate), "-f", "ipod",
                                       FileUrl(aac.output)});
    return arguments;
}

std::vector<std::string> MuxFfmpegArguments(const tool_args::MuxArguments& mux) {
    std::vector<std::string> arguments = CommonArguments();
    int input = 0;
    std::vector<std::string> maps;
    if (!mux.video.empty()) {
        const char* container = mux.videoCodec == tool_args::VideoCodec::Av1 ? "ivf" : "mpegts";
        arguments.insert(arguments.end(), {"-f", container, "-i", "pipe:0"});
        maps.insert(maps.end(), {"-map", std::to_string(input++) + ":v:0"});
    }
    if (!mux.audio.empty()) {
        arguments.insert(arguments.end(), {"-i", FileUrl(mux.audio)});
        maps.insert(maps.end(), {"-map", std::to_string(input++) + ":a:0"});
    }
    arguments.insert(arguments.end(), maps.begin(), maps.end());
    arguments.insert(arguments.end(), {"-c", "copy"});
    // hvc1: the parameter sets live in the track's configuration alone (the
    // stream's copies repeat them, which HevcUnits makes sure of).
    if (!mux.video.empty() && mux.videoCodec == tool_args::VideoCodec::Hevc) {
        arguments.insert(arguments.end(), {"-tag:v", "hvc1", "-bsf:v", "filter_units=remove_types=32-34"});
    }
    // One frame is a whole number of ticks: 30000/1001 is 1001 ticks of 1/30000 s.
    if (!mux.video.empty()) arguments.insert(arguments.end(), {"-video_track_timescale", std::to_string(mux.frameRate.num)});
    arguments.insert(arguments.end(), {"-movflags", "+faststart", "-f", "mp4", FileUrl(mux.output)});
    return arguments;
}

std::string FindFfmpeg(const std::string& ownFolder, const std::string& pathVariable, const SearchRules& rules,
                       const std::function<bool(const std::string&)>& isProgram) {
    std::vector<std::string> folders;
    if (!ownFolder.empty()) folders.push_back(ownFolder);
    size_t start = 0;
    while (start <= pathVariable.size()) {
        size_t end = pathVariable.find(rules.listSeparator, start);
        if (end == std::string::npos) end = pathVariable.size();
        std::string entry = pathVariable.substr(start, end - start);
        // Windows lets an entry be quoted: "C:\Program Files\ffmpeg\bin".
        if (rules.windows) {
            std::string unquoted;
            for (char c : entry) {
                if (c != '"') unquoted += c;
            }
            entry = unquoted;
        }
        folders.push_back(entry);
        start = end + 1;
    }
    for (const std::string& folder : folders) {
        if (!IsAbsolute(folder, rules)) continue;
        std::string candidate = InFolder(folder, rules);
        if (isProgram(candidate)) return candidate;
    }
    return {};
}

std::string LastLine(const std::string& text) {
    size_t end = text.find_last_not_of("\r\n \t");
    if (end == std::string::npos) return {};
    size_t start = text.find_last_of('\n', end);
    start = start == std::string::npos ? 0 : start + 1;
    return text.substr(start, end + 1 - start);
}

void KeepTail(std::string& text) {
    if (text.size() > 65536) text.erase(0, text.size() - 16384);
}

std::string WindowsCommandLine(const std::vector<std::string>& words) {
    std::string line;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (i > 0) line += ' ';
        if (i == 0) {
            line += '"' + word + '"';  // a path holds no quote; backslashes stay as they are
            continue;
        }
        if (!word.empty() && word.find_first_of(" \t\"") == std::string::npos) {
            line += word;
            continue;
        }
        // Inside quotes, backslashes count only before a quote: double those,
        // and the run before the closing quote.
        line += '"';
        size_t backslashes = 0;
        for (char c : word) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            if (c == '"') {
                line.append(backslashes * 2 + 1, '\\');
            } else {
                line.append(backslashes, '\\');
            }
            backslashes = 0;
            line += c;
        }
        line.append(backslashes * 2, '\\');
        line += '"';
    }
    return line;
}

}  // namespace fftools
