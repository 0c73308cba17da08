#include "audio/mux.h"

#include <cmath>

#include "audio/command_text.h"
#include "audio/run_process.h"
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
    std::string commandLine = MuxerCommandLine(outputPath, frameRate, videoPath, aacPath);
    // Only what the muxer itself created may be deleted after a failure.
    const bool outputExisted = platform::PathExists(outputPath);
    platform::ProcessHandle muxer = RunProcess(muxerPath, commandLine.c_str());
    if (muxer == platform::kNoProcess) {
        why.Fail("Cannot start the MP4 muxer " + std::string(muxerPath));
        return false;
    }
    uint32_t exitCode = 1;
    const ProgramEnd end = WaitForProgram(muxer, cancel, &exitCode);
    platform::CloseProcess(muxer);
    // A muxer that says it failed, or says nothing and wrote nothing, has not
    // produced the export.
    if (end == ProgramEnd::kExited && exitCode == 0 && platform::PathExists(outputPath)) return true;
    if (end == ProgramEnd::kCancelled) {
        why.cancelled = true;
    } else if (end == ProgramEnd::kWaitFailed) {
        why.Fail("Cannot wait for the MP4 muxer " + std::string(muxerPath));
    } else if (exitCode != 0) {
        why.Fail("MP4 muxer failed (exit code " + ExitCodeText(exitCode) + "): " + muxerPath);
    } else {
        why.Fail("MP4 muxer wrote no file at " + std::string(outputPath));
    }
    if (!outputExisted && platform::IsRegularFile(outputPath)) platform::RemoveFile(outputPath);
    return false;
}
