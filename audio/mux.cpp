#include "audio/mux.h"

#include <cmath>
#include <cstdlib>

#include "audio/command_text.h"
#include "audio/run_process.h"
#include "core/temp_name.h"
#include "platform/file.h"

std::string FormatFrameRate(double frameRate) {
    std::ostringstream text = audio_detail::ClassicStream();
    text << frameRate;
    return std::move(text).str();
}

std::string MuxerCommandLine(const char* outputPath, double frameRate, const char* videoPath,
                             const char* aacPath) {
    std::ostringstream text = audio_detail::ClassicStream();
    // The selectors follow the closing quote without a blank so that the
    // command-line splitting keeps them in one argument with their path.
    if (videoPath != nullptr) text << " -add \"" << videoPath << "\"" << "#video" << ":fps=" << frameRate;
    if (aacPath != nullptr) text << " -add \"" << aacPath << "\"" << "#audio";
    text << " -new \"" << outputPath << "\"";
    return std::move(text).str();
}

bool LooksLikeMp4(const char* path) {
    // An MP4 file opens with its file type box: a 32-bit size, then "ftyp".
    std::string start;
    if (!platform::ReadFileStart(path, 8, &start) || start.size() < 8) return false;
    return start.compare(4, 4, "ftyp") == 0;
}

bool LooksLikeAac(const char* path) {
    if (LooksLikeMp4(path)) return true;
    std::string start;
    if (!platform::ReadFileStart(path, 2, &start) || start.size() < 2) return false;
    const auto first = static_cast<unsigned char>(start[0]), second = static_cast<unsigned char>(start[1]);
    // Sync word 0xFFF, then the MPEG version bit (either), layer 00.
    return first == 0xFF && (second & 0xF6) == 0xF0;
}

bool MuxMp4(const char* muxerPath, const char* outputPath, double frameRate, const char* videoPath,
            const char* aacPath, const platform::CancelCheck& cancel, platform::StageFailure* failure) {
    platform::StageFailure ignored;
    platform::StageFailure& why = failure != nullptr ? *failure : ignored;
    if (muxerPath == nullptr || outputPath == nullptr || (videoPath == nullptr && aacPath == nullptr)) {
        why.Fail("The MP4 muxer was given no output path or no stream.");
        return false;
    }
    if (videoPath != nullptr && !(std::isfinite(frameRate) && frameRate > 0)) {
        why.Fail("Invalid frame rate for the MP4 muxer: " + FormatFrameRate(frameRate));
        return false;
    }
    for (const char* path : {outputPath, videoPath, aacPath}) {
        if (path != nullptr && !audio_detail::IsQuotablePath(path)) {
            why.Fail("Path cannot be put on the MP4 muxer's command line: " + std::string(path));
            return false;
        }
    }
    // The muxer writes a claimed sibling; only a finished MP4 takes the
    // output's place, so a failure or a cancel leaves what was there.
    char* claimed = nullptr;
    if (!MakeSiblingName(outputPath, "mp4", &claimed)) {
        why.Fail("Cannot create a temporary file beside " + std::string(outputPath));
        return false;
    }
    const std::string sibling = claimed;
    std::free(claimed);
    struct SiblingGuard {
        const std::string& path;
        bool keep = false;
        ~SiblingGuard() {
            if (!keep) platform::RemoveFile(path.c_str());
        }
    } guard{sibling};
    if (!audio_detail::IsQuotablePath(sibling.c_str())) {
        why.Fail("Path cannot be put on the MP4 muxer's command line: " + sibling);
        return false;
    }
    const std::string commandLine = MuxerCommandLine(sibling.c_str(), frameRate, videoPath, aacPath);
    platform::ProcessHandle muxer = RunProcess(muxerPath, commandLine.c_str());
    if (muxer == platform::kNoProcess) {
        why.Fail("Cannot start the MP4 muxer " + std::string(muxerPath));
        return false;
    }
    uint32_t exitCode = 1;
    const ProgramEnd end = WaitForProgram(muxer, cancel, &exitCode);
    platform::CloseProcess(muxer);
    if (end == ProgramEnd::kCancelled) {
        why.cancelled = true;
        return false;
    }
    if (end == ProgramEnd::kWaitFailed) {
        why.Fail("Cannot wait for the MP4 muxer " + std::string(muxerPath));
        return false;
    }
    if (exitCode != 0) {
        why.Fail("MP4 muxer failed (exit code " + ExitCodeText(exitCode) + "): " + muxerPath);
        return false;
    }
    // A muxer that says it succeeded but wrote nothing, or not an MP4, has
    // not produced the export.
    std::string start;
    if (!platform::ReadFileStart(sibling.c_str(), 1, &start) || start.empty()) {
        why.Fail("MP4 muxer wrote no file at " + std::string(outputPath) + ": " + muxerPath);
        return false;
    }
    if (!LooksLikeMp4(sibling.c_str())) {
        why.Fail("MP4 muxer wrote no MP4 file at " + std::string(outputPath) + ": " + muxerPath);
        return false;
    }
    if (!platform::MoveFileOver(sibling.c_str(), outputPath)) {
        why.Fail("Cannot move the MP4 file to " + std::string(outputPath));
        return false;
    }
    guard.keep = true;
    return true;
}
