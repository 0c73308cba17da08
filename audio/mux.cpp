#include "audio/mux.h"

#include <cmath>
#include <cstdlib>
#include <optional>

#include "audio/command_text.h"
#include "audio/run_process.h"
#include "core/temp_name.h"
#include "platform/file.h"

std::string FormatFrameRate(double frameRate) {
    std::ostringstream text = audio_detail::ClassicStream();
    text << frameRate;
    return std::move(text).str();
}

std::string MuxerCommandLine(const char* outputPath, double frameRate, const char* videoPath, const char* aacPath) {
    std::ostringstream text = audio_detail::ClassicStream();
    // The selectors follow the closing quote without a blank so that the
    // command-line splitting keeps them in one argument with their path.
    if (videoPath != nullptr)
        text << " -add \"" << videoPath << "\""
             << "#video"
             << ":fps=" << frameRate;
    if (aacPath != nullptr)
        text << " -add \"" << aacPath << "\""
             << "#audio";
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

Outcome MuxMp4(const char* muxerPath, const char* outputPath, double frameRate, const char* videoPath,
               const char* aacPath, const platform::CancelCheck& cancel) {
    const std::string program = muxerPath != nullptr ? muxerPath : "";
    auto fail = [&](std::string text, std::string path) {
        Outcome outcome = Outcome::Failure(Stage::kMuxer, std::move(text));
        outcome.path = std::move(path);
        return outcome;
    };
    if (muxerPath == nullptr || outputPath == nullptr || (videoPath == nullptr && aacPath == nullptr)) {
        return fail("The MP4 muxer was given no output path or no stream.", program);
    }
    if (videoPath != nullptr && !(std::isfinite(frameRate) && frameRate > 0)) {
        return fail("Invalid frame rate for the MP4 muxer: " + FormatFrameRate(frameRate), program);
    }
    for (const char* path : {outputPath, videoPath, aacPath}) {
        if (path != nullptr && !audio_detail::IsQuotablePath(path)) {
            return fail("Path cannot be put on the MP4 muxer's command line: " + std::string(path), path);
        }
    }
    // The muxer writes a claimed sibling; only a finished MP4 takes the
    // output's place, so a failure or a cancel leaves what was there.
    std::optional<TempFile> sibling = TempFile::ClaimBeside(outputPath, "mp4");
    if (!sibling) {
        Outcome outcome = fail("Cannot create a temporary file beside " + std::string(outputPath), outputPath);
        outcome.osError = platform::LastError();
        return outcome;
    }
    if (!audio_detail::IsQuotablePath(sibling->c_str())) {
        return fail("Path cannot be put on the MP4 muxer's command line: " + sibling->path(), sibling->path());
    }
    const std::string commandLine = MuxerCommandLine(sibling->c_str(), frameRate, videoPath, aacPath);
    platform::Process muxer(RunProcess(muxerPath, commandLine.c_str()));
    if (!muxer.started()) return fail("Cannot start the MP4 muxer " + program, program);
    uint32_t exitCode = 1;
    const ProgramEnd end = WaitForProgram(muxer.get(), cancel, &exitCode);
    muxer.Reset();
    if (end == ProgramEnd::kCancelled) return Outcome::Cancelled(Stage::kMuxer);
    if (end == ProgramEnd::kWaitFailed) return fail("Cannot wait for the MP4 muxer " + program, program);
    if (exitCode != 0) return fail("MP4 muxer failed (exit code " + ExitCodeText(exitCode) + "): " + program, program);
    // A muxer that says it succeeded but wrote nothing, or not an MP4, has
    // not produced the export.
    std::string start;
    if (!platform::ReadFileStart(sibling->c_str(), 1, &start) || start.empty()) {
        return fail("MP4 muxer wrote no file at " + std::string(outputPath) + ": " + program, program);
    }
    if (!LooksLikeMp4(sibling->c_str())) {
        return fail("MP4 muxer wrote no MP4 file at " + std::string(outputPath) + ": " + program, program);
    }
    if (!platform::MoveFileOver(sibling->c_str(), outputPath)) {
        Outcome outcome = fail("Cannot move the MP4 file to " + std::string(outputPath), outputPath);
        outcome.osError = platform::LastError();
        return outcome;
    }
    sibling->Keep();
    return Outcome::Done();
}
