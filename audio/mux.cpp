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
            const char* aacPath) {
    if (muxerPath == nullptr || outputPath == nullptr) return false;
    if (videoPath == nullptr && aacPath == nullptr) return false;
    if (videoPath != nullptr && !(std::isfinite(frameRate) && frameRate > 0)) return false;
    for (const char* path : {outputPath, videoPath, aacPath}) {
        if (path != nullptr && !audio_detail::IsQuotablePath(path)) return false;
    }
    std::string commandLine = MuxerCommandLine(outputPath, frameRate, videoPath, aacPath);
    platform::ProcessHandle muxer = RunProcess(muxerPath, commandLine.c_str());
    if (muxer == platform::kNoProcess) return false;
    uint32_t exitCode = 1;
    bool waited = platform::WaitProcess(muxer, &exitCode);
    platform::CloseProcess(muxer);
    // A muxer that says it failed, or says nothing and wrote nothing, has not
    // produced the export.
    return waited && exitCode == 0 && platform::PathExists(outputPath);
}
