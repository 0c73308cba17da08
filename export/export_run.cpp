// The export run owns the temporary files and the AAC encoder's process
// (RAII: whatever it still holds goes when it returns); the stages do the work.
//
// Failure and cancel, as the user sees them:
// - a failure names its cause in one outcome; the muxer does not run after a
//   failure of the video or of the AAC encoder, and no new file is left at
//   the output path;
// - a cancel (the host's isAbort, asked by every stage at least every 100 ms)
//   is no failure: the editor shows nothing. It leaves nothing either: a cancelled
//   export has no MP4 (the audio is compressed whole before the muxer runs,
//   and the muxer's command line cannot shorten it to the frames so far).
// Either way every temporary file goes and no program is left running.
#include "export/export_run.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <string>

#include "audio/audio_export.h"
#include "audio/command_text.h"
#include "audio/mux.h"
#include "core/setting_data.h"
#include "core/temp_name.h"
#include "encode/codec.h"
#include "encode/video_encoder.h"
#include "platform/cancel.h"
#include "platform/file.h"
#include "platform/sync.h"

namespace {

bool AskHost(void* context) {
    const auto* job = static_cast<const ExportJob*>(context);
    return job->isAbort != nullptr && job->isAbort(job->host);
}

// The sampling rates AAC defines.
bool IsAacSampleRate(int32_t rate) {
    for (int32_t aac : {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000, 64000, 88200, 96000}) {
        if (rate == aac) return true;
    }
    return false;
}

std::string ProgramProblem(const char* what, const char* path) {
    if (path[0] == '\0') return std::string("No ") + what + " is set in the settings.";
    if (!platform::PathExists(path)) return std::string(what) + " not found: " + path;
    return std::string(what) + " is not a program: " + path;
}

// Everything that can be checked before the first frame, so that a job that
// cannot succeed fails at once, not after the whole video is encoded.
// Returns the line to show, or "" when the job may start.
std::string CheckJob(const ExportJob& info, const SettingData& settings) {
    if (info.saveFile == nullptr || info.saveFile[0] == '\0') return "No output file was given.";
    if (!audio_detail::IsQuotablePath(info.saveFile)) {
        return "Output path cannot be put on the MP4 muxer's command line (a double quote, or a backslash at "
               "its end): " +
               std::string(info.saveFile);
    }
    if (info.rate <= 0 || info.scale <= 0) {
        return "Invalid frame rate: rate " + std::to_string(info.rate) + ", scale " + std::to_string(info.scale);
    }
    if (info.frameCount <= 0) return "Nothing to export: the job has no frames.";
    if (platform::IsFolder(info.saveFile)) return "Output path is a folder: " + std::string(info.saveFile);
    // The muxer writes beside the output and moves its file over it: a folder
    // that takes no new file fails now, not after the whole encode.
    if (!TempFile::ClaimBeside(info.saveFile, "mp4")) {
        return "Cannot create a file in the output folder of " + std::string(info.saveFile);
    }
    char text[kSettingPathSize];
    ReadSettingText(settings.tempFolder, text);
    if (text[0] == '\0') platform::GetTempFolder(text);
    // The folder is followed by a file name on the command lines, so only a
    // double quote in it would break them.
    if (std::strchr(text, '"') != nullptr) {
        return "Temporary folder cannot be put on a command line (it holds a double quote): " + std::string(text);
    }
    ReadSettingText(settings.muxerPath, text);
    if (!platform::IsProgramFile(text)) return ProgramProblem("MP4 muxer", text);
    if (info.hasAudio) {
        ReadSettingText(settings.aacEncoderPath, text);
        if (!platform::IsProgramFile(text)) return ProgramProblem("AAC encoder", text);
        if (settings.aacKbps < 0 || settings.aacKbps > 4294967) {
            return "Invalid AAC bit rate: " + std::to_string(settings.aacKbps) + " kbps";
        }
        if (!IsAacSampleRate(info.audioRate)) {
            return "Audio rate " + std::to_string(info.audioRate) +
                   " Hz cannot be encoded as AAC (8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000, "
                   "64000, 88200 or 96000 Hz)";
        }
        if (!IsWavDescribable(info)) {
            return "Audio format cannot be written as 16-bit PCM WAV: " + std::to_string(info.audioRate) + " Hz, " +
                   std::to_string(info.audioChannels) + " channels, " + std::to_string(info.audioSampleBytes) +
                   " bytes per sample frame, " + std::to_string(info.audioSampleCount) + " sample frames";
        }
    }
    return "";
}

// The stages' view of the host: its callbacks, with two additions. While the
// AAC encoder runs beside the video, an encoder that has died counts as a
// cancel, so the user hears of it within a frame rather than after the whole
// video. And the host sees progress at least every 250 ms, also in stages
// that deliver no frames (the WAV file, the waits for the programs), since
// every stage asks whether to cancel more often than that.
class HostWatch {
public:
    explicit HostWatch(const ExportJob& host) : host_(host), lastProgress_(platform::TickCountMs()) {}
    HostWatch(const HostWatch&) = delete;
    HostWatch& operator=(const HostWatch&) = delete;

    // Counts the exit of `encoder` with a nonzero code as a cancel.
    void WatchEncoder(platform::ProcessHandle encoder) { encoder_ = encoder; }
    bool encoderDied() const { return died_; }
    uint32_t encoderExitCode() const { return exitCode_; }

    // `host` with its callbacks going through this watch.
    ExportJob Job() {
        ExportJob watched = host_;
        watched.host = this;
        watched.getVideo = GetVideo;
        watched.getAudio = GetAudio;
        watched.isAbort = IsAbort;
        watched.showProgress = ShowProgress;
        watched.log = host_.log != nullptr ? Log : nullptr;
        return watched;
    }
    platform::CancelCheck Cancel() { return {IsAbort, this}; }

private:
    static constexpr uint32_t kProgressIntervalMs = 250;
    static HostWatch& Of(void* watch) { return *static_cast<HostWatch*>(watch); }

    static const void* GetVideo(void* watch, int32_t frame) {
        const ExportJob& job = Of(watch).host_;
        return job.getVideo != nullptr ? job.getVideo(job.host, frame) : nullptr;
    }
    static const void* GetAudio(void* watch, int32_t start, int32_t length, int32_t* read) {
        const ExportJob& job = Of(watch).host_;
        return job.getAudio != nullptr ? job.getAudio(job.host, start, length, read) : nullptr;
    }
    static void ShowProgress(void* context, int32_t now, int32_t total) {
        HostWatch& watch = Of(context);
        watch.framesDone_ = now;
        watch.lastProgress_ = platform::TickCountMs();
        const ExportJob& job = watch.host_;
        if (job.showProgress != nullptr) job.showProgress(job.host, now, total);
    }
    static void Log(void* watch, LogLevel level, const char* line) {
        const ExportJob& job = Of(watch).host_;
        job.log(job.host, level, line);
    }
    static bool IsAbort(void* context) {
        HostWatch& watch = Of(context);
        uint32_t code = 0;
        if (watch.encoder_ != platform::kNoProcess && !watch.died_ &&
            platform::WaitProcessFor(watch.encoder_, 0, &code) == platform::WaitResult::kEnded && code != 0) {
            watch.died_ = true;
            watch.exitCode_ = code;
        }
        if (platform::TickCountMs() - watch.lastProgress_ >= kProgressIntervalMs) {
            ShowProgress(context, watch.framesDone_, watch.host_.frameCount);
        }
        return watch.died_ || AskHost(const_cast<ExportJob*>(&watch.host_));
    }

    const ExportJob& host_;
    platform::ProcessHandle encoder_ = platform::kNoProcess;
    bool died_ = false;
    uint32_t exitCode_ = 0;
    int32_t framesDone_ = 0;
    uint32_t lastProgress_;  // tick count of the last progress shown
};

// The job as the log's first line.
std::string JobLine(const ExportJob& job) {
    std::string line = "job: " + std::to_string(job.width) + "x" + std::to_string(job.height) + " at " +
                       std::to_string(job.rate) + "/" + std::to_string(job.scale) + " fps, " +
                       std::to_string(job.frameCount) + " frames";
    if (job.hasAudio) {
        line += ", audio " + std::to_string(job.audioRate) + " Hz, " + std::to_string(job.audioChannels) + " channels";
    }
    return line + ", to " + (job.saveFile != nullptr ? job.saveFile : "");
}

// Times the stages of one export for its log.
class StageClock {
public:
    explicit StageClock(const ExportJob& job) : job_(job), start_(Now()) {}
    // Logs how long the stage took since the last call (or the start).
    void Lap(const char* stage) {
        const auto now = Now();
        const double seconds = std::chrono::duration<double>(now - start_).count();
        start_ = now;
        char text[96];
        std::snprintf(text, sizeof text, "%s: %.2f s", stage, seconds);
        LogLine(job_, text);
    }

private:
    static std::chrono::steady_clock::time_point Now() { return std::chrono::steady_clock::now(); }
    const ExportJob& job_;
    std::chrono::steady_clock::time_point start_;
};

Outcome RunStages(const ExportJob& host) {
    HostWatch watch(host);
    const ExportJob job = watch.Job();
    const SettingData& settings = job.settings;
    const platform::CancelCheck cancel = watch.Cancel();
    StageClock clock(job);
    LogLine(job, JobLine(job));

    const std::string problem = CheckJob(job, settings);
    if (!problem.empty()) return Outcome::Failure(Stage::kCheck, problem);

    std::optional<TempFile> video = TempFile::Claim(SettingsCodec(settings).extension, settings.tempFolder);
    if (!video) return Outcome::Failure(Stage::kCheck, TempFileFailureText(settings.tempFolder));
    Outcome trial = ValidateEncodeParameters(job);
    if (!trial.done()) return trial;
    clock.Lap("trial set-up");

    // The WAV file is complete before the encoder starts and before the
    // first video frame is asked for; the encoder then runs beside the video.
    char aacEncoderPath[kSettingPathSize];
    ReadSettingText(settings.aacEncoderPath, aacEncoderPath);
    AacEncoding audio;
    if (job.hasAudio) {
        Outcome started = StartAacEncoder(job, &audio);
        if (!started.done()) return started;
        clock.Lap("WAV file");
    }

    if (job.hasAudio) watch.WatchEncoder(audio.encoder.get());
    Outcome encoded = EncodeVideoToFile(job, video->c_str());
    watch.WatchEncoder(platform::kNoProcess);
    if (!encoded.done()) {
        if (watch.encoderDied()) {
            Outcome failure = Outcome::Failure(
                Stage::kAacEncoder,
                "AAC encoder failed (exit code " + ExitCodeText(watch.encoderExitCode()) + "): " + aacEncoderPath);
            failure.path = aacEncoderPath;
            return failure;
        }
        // The AAC encoder is of no use any more: `audio` ends it.
        return encoded;
    }
    clock.Lap("video encode");

    if (job.hasAudio) {
        Outcome waited = WaitAacEncoder(audio.encoder, aacEncoderPath, cancel);
        if (!waited.done()) return waited;
        audio.wav.Remove();
        // An encoder that says it succeeded is taken at its word only when
        // its file holds AAC; otherwise the muxer would be blamed for it.
        std::string start;
        auto failure = [&](const char* text) {
            Outcome outcome = Outcome::Failure(Stage::kAacEncoder, text + std::string(aacEncoderPath));
            outcome.path = aacEncoderPath;
            return outcome;
        };
        if (!platform::ReadFileStart(audio.aac.c_str(), 1, &start) || start.empty()) {
            return failure("AAC encoder wrote no file: ");
        }
        if (!LooksLikeAac(audio.aac.c_str())) return failure("AAC encoder wrote no AAC file: ");
        clock.Lap("AAC encoder (after the video)");
    }

    char muxerPath[kSettingPathSize];
    ReadSettingText(settings.muxerPath, muxerPath);
    const double frameRate = static_cast<double>(job.rate) / job.scale;
    Outcome muxed =
        MuxMp4(muxerPath, job.saveFile, frameRate, video->c_str(), job.hasAudio ? audio.aac.c_str() : nullptr, cancel);
    if (muxed.done()) clock.Lap("MP4 muxer");
    return muxed;
}

// The outcome as one log line.
std::string OutcomeLine(const Outcome& outcome) {
    switch (outcome.kind) {
        case Outcome::Kind::kDone: return "outcome: done";
        case Outcome::Kind::kCancelled: return std::string("outcome: cancelled during ") + StageName(outcome.stage);
        case Outcome::Kind::kFailed: break;
    }
    std::string line = std::string("outcome: failed in ") + StageName(outcome.stage) + ": " + outcome.message;
    if (!outcome.cause.empty()) line += " (" + outcome.cause + ")";
    return line;
}

Outcome RunGuarded(const ExportJob& job) {
    // The host knows nothing of C++ exceptions: none may leave an export.
    // Unwinding has ended the programs and deleted the files by now.
    try {
        return RunStages(job);
    } catch (const std::exception& error) {
        // No allocation before the text is made: the exception may be a bad_alloc.
        char text[256];
        std::snprintf(text, sizeof text, "Export failed: %s", error.what());
        try {
            return Outcome::Failure(Stage::kNone, text);
        } catch (...) {
        }
    } catch (...) {
    }
    Outcome outcome;  // no allocation: the message's literal fits the small-string buffer
    outcome.kind = Outcome::Kind::kFailed;
    outcome.message = "Export failed.";
    return outcome;
}

}  // namespace

Outcome RunExport(const ExportJob& job) {
    Outcome outcome = RunGuarded(job);
    try {
        LogLine(job, OutcomeLine(outcome), outcome.failed() ? LogLevel::kError : LogLevel::kInfo);
    } catch (...) {
        // Out of memory for the log line: the outcome still stands.
    }
    return outcome;
}
