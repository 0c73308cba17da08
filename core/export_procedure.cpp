// The export procedure owns the temporary files and the AAC encoder's
// process; the stages do the work.
//
// Failure and cancel, as the user sees them:
// - a failure returns false and shows exactly one line naming the cause; the
//   muxer does not run after a failure of the video or of the AAC encoder,
//   and no new file is left at the output path;
// - a cancel (the host's isAbort, asked by every stage at least every 100 ms)
//   returns true and shows nothing. It leaves nothing either: a cancelled
//   export has no MP4 (the audio is compressed whole before the muxer runs,
//   and the muxer's command line cannot shorten it to the frames so far).
// Either way every temporary file goes and no program is left running.
#include "core/export_procedure.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "audio/audio_export.h"
#include "audio/command_text.h"
#include "audio/mux.h"
#include "encode/video_encoder.h"
#include "core/setting_data.h"
#include "core/temp_name.h"
#include "platform/cancel.h"
#include "platform/file.h"
#include "platform/message.h"

namespace {

// What one export holds; everything it still holds goes when it does, also
// when an exception unwinds the export.
class ExportResources {
public:
    ExportResources() = default;
    ExportResources(const ExportResources&) = delete;
    ExportResources& operator=(const ExportResources&) = delete;
    ~ExportResources() {
        if (aacEncoder != platform::kNoProcess) {
            platform::EndProcess(aacEncoder);
            platform::CloseProcess(aacEncoder);
        }
        Discard(aacPath);
        Discard(wavPath);
        Discard(videoPath);
    }

    // Deletes a temporary file and releases its path; a failed delete is
    // ignored, as there is nobody left to tell.
    static void Discard(char*& path) {
        if (path == nullptr) return;
        platform::RemoveFile(path);
        std::free(path);
        path = nullptr;
    }

    char* videoPath = nullptr;
    char* wavPath = nullptr;
    char* aacPath = nullptr;
    platform::ProcessHandle aacEncoder = platform::kNoProcess;
};

bool AskHost(void* context) {
    const auto* job = static_cast<const ExportJob*>(context);
    return job->isAbort != nullptr && job->isAbort(job->host);
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
               "its end): " + std::string(info.saveFile);
    }
    if (info.rate <= 0 || info.scale <= 0) {
        return "Invalid frame rate: rate " + std::to_string(info.rate) + ", scale " + std::to_string(info.scale);
    }
    char text[kSettingPathSize];
    ReadSettingText(settings.tempFolder, text);
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
        if (!IsWavDescribable(info)) {
            return "Audio format cannot be written as 16-bit PCM WAV: " + std::to_string(info.audioRate) + " Hz, " +
                   std::to_string(info.audioChannels) + " channels, " + std::to_string(info.audioSampleBytes) +
                   " bytes per sample frame, " + std::to_string(info.audioSampleCount) + " sample frames";
        }
    }
    return "";
}

// The video's view of the job while the AAC encoder runs beside it: the
// host's callbacks, with an encoder that has died counted as a cancel, so
// the user hears of it within a frame rather than after the whole video.
struct AudioWatch {
    const ExportJob* host;
    platform::ProcessHandle encoder;
    bool died = false;
    uint32_t exitCode = 0;

    static const AudioWatch& Of(void* watch) { return *static_cast<const AudioWatch*>(watch); }
    static const void* GetVideo(void* watch, int32_t frame) {
        const ExportJob& job = *Of(watch).host;
        return job.getVideo != nullptr ? job.getVideo(job.host, frame) : nullptr;
    }
    static const void* GetAudio(void* watch, int32_t start, int32_t length, int32_t* read) {
        const ExportJob& job = *Of(watch).host;
        return job.getAudio != nullptr ? job.getAudio(job.host, start, length, read) : nullptr;
    }
    static void ShowProgress(void* watch, int32_t now, int32_t total) {
        const ExportJob& job = *Of(watch).host;
        if (job.showProgress != nullptr) job.showProgress(job.host, now, total);
    }
    static bool IsAbort(void* context) {
        auto& watch = *static_cast<AudioWatch*>(context);
        uint32_t code = 0;
        if (!watch.died && platform::WaitProcessFor(watch.encoder, 0, &code) == platform::WaitResult::kEnded &&
            code != 0) {
            watch.died = true;
            watch.exitCode = code;
        }
        return watch.died || AskHost(const_cast<ExportJob*>(watch.host));
    }

    // `job` with its callbacks going through this watch.
    ExportJob Watching(const ExportJob& job) {
        ExportJob watched = job;
        watched.host = this;
        watched.getVideo = GetVideo;
        watched.getAudio = GetAudio;
        watched.isAbort = IsAbort;
        watched.showProgress = ShowProgress;
        return watched;
    }
};

// A failed job: its one message, and false.
bool Failed(const std::string& message) {
    platform::ShowWarning(message.c_str());
    return false;
}

// A cancelled job: no message, and true (the editor shows no error).
constexpr bool kCancelled = true;

bool RunStages(const ExportJob& exportJob) {
    const ExportJob* info = &exportJob;
    const SettingData& settings = exportJob.settings;
    const platform::CancelCheck cancel{AskHost, const_cast<ExportJob*>(info)};
    ExportResources job;

    const std::string problem = CheckJob(*info, settings);
    if (!problem.empty()) return Failed(problem);

    if (!MakeTempName("h264", settings.tempFolder, &job.videoPath)) {
        return Failed(TempFileFailureText(settings.tempFolder));
    }
    if (!ValidateEncodeParameters(*info)) return Failed("Invalid encode parameter.");

    // The WAV file is complete before the encoder starts and before the
    // first video frame is asked for; the encoder then runs beside the video.
    const bool hasAudio = info->hasAudio;
    char aacEncoderPath[kSettingPathSize];
    ReadSettingText(settings.aacEncoderPath, aacEncoderPath);
    if (hasAudio) {
        platform::StageFailure audio;
        job.aacEncoder = StartAacEncoder(info, &job.wavPath, &job.aacPath, &audio);
        if (job.aacEncoder == platform::kNoProcess) return audio.cancelled ? kCancelled : Failed(audio.message);
    }

    VideoEncodeReport video{};
    AudioWatch watch{info, job.aacEncoder};
    const ExportJob videoJob = hasAudio ? watch.Watching(*info) : *info;
    if (!EncodeVideoToFile(videoJob, job.videoPath, &video)) {
        if (watch.died) {
            return Failed("AAC encoder failed (exit code " + ExitCodeText(watch.exitCode) + "): " + aacEncoderPath);
        }
        // The AAC encoder is of no use any more: ExportResources ends it.
        return video.aborted ? kCancelled : Failed(VideoFailureText(video, job.videoPath));
    }

    if (hasAudio) {
        platform::StageFailure audio;
        // WaitAacEncoder closes the handle whatever happens in it.
        const platform::ProcessHandle encoder = job.aacEncoder;
        job.aacEncoder = platform::kNoProcess;
        const bool encoded = WaitAacEncoder(encoder, aacEncoderPath, cancel, &audio);
        if (!encoded) return audio.cancelled ? kCancelled : Failed(audio.message);
        ExportResources::Discard(job.wavPath);
        // An encoder that says it succeeded is taken at its word only when
        // its file holds AAC; otherwise the muxer would be blamed for it.
        std::string start;
        if (!platform::ReadFileStart(job.aacPath, 1, &start) || start.empty()) {
            return Failed(std::string("AAC encoder wrote no file: ") + aacEncoderPath);
        }
        if (!LooksLikeAac(job.aacPath)) return Failed(std::string("AAC encoder wrote no AAC file: ") + aacEncoderPath);
    }

    char muxerPath[kSettingPathSize];
    ReadSettingText(settings.muxerPath, muxerPath);
    const double frameRate = static_cast<double>(info->rate) / info->scale;
    platform::StageFailure mux;
    if (!MuxMp4(muxerPath, info->saveFile, frameRate, job.videoPath, job.aacPath, cancel, &mux)) {
        return mux.cancelled ? kCancelled : Failed(mux.message);
    }
    return true;
}

}  // namespace

bool RunExport(const ExportJob& job) {
    // The host knows nothing of C++ exceptions: none may leave an export.
    // Unwinding has ended the programs and deleted the files by now.
    try {
        return RunStages(job);
    } catch (const std::exception& error) {
        // No allocation here: the exception may be a bad_alloc.
        char text[256];
        std::snprintf(text, sizeof text, "Export failed: %s", error.what());
        platform::ShowWarning(text);
    } catch (...) {
        platform::ShowWarning("Export failed.");
    }
    return false;
}
