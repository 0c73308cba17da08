// The export procedure owns the temporary paths and the AAC encoder's
// process; the stages do the work.
#include "core/export_procedure.h"

#include <cstdlib>

#include "audio/audio_export.h"
#include "audio/mux.h"
#include "core/setting_data.h"
#include "core/temp_name.h"
#include "encode/video_encoder.h"
#include "platform/file.h"
#include "platform/message.h"

namespace {

// Deletes a temporary file and releases its path; a failed delete is
// ignored, as there is nobody left to tell.
void DiscardTempFile(char*& path) {
    if (path == nullptr) return;
    platform::RemoveFile(path);
    std::free(path);
    path = nullptr;
}

}  // namespace

bool RunExport(const ExportJob& job) {
    const SettingData& settings = job.settings;

    char* videoPath = nullptr;
    if (!MakeTempName("h264", settings.tempFolder, &videoPath)) return false;

    if (!ValidateEncodeParameters(job)) {
        platform::ShowWarning("Invalid encode parameter.");
        std::free(videoPath);
        return false;
    }

    // The WAV file is complete before the encoder starts and before the
    // first video frame is asked for; the encoder then runs beside the video.
    const bool hasAudio = job.hasAudio;
    char* wavPath = nullptr;
    char* aacPath = nullptr;
    platform::ProcessHandle aacEncoder = platform::kNoProcess;
    if (hasAudio) {
        aacEncoder = StartAacEncoder(&job, &wavPath, &aacPath);
        if (aacEncoder == platform::kNoProcess) {
            std::free(videoPath);
            return false;
        }
    }

    // From here on every step runs whatever failed before it, so that the
    // encoder is waited for and every temporary file goes.
    bool result = EncodeVideoToFile(job, videoPath);

    if (hasAudio) {
        // An encoder that failed leaves no usable audio: not a success.
        if (!WaitAacEncoder(aacEncoder)) result = false;
        DiscardTempFile(wavPath);
    }

    char muxerPath[kSettingPathSize];
    ReadSettingText(settings.muxerPath, muxerPath);
    const double frameRate = job.scale != 0 ? static_cast<double>(job.rate) / job.scale : 0.0;
    if (!MuxMp4(muxerPath, job.saveFile, frameRate, videoPath, aacPath)) result = false;

    DiscardTempFile(aacPath);
    DiscardTempFile(videoPath);
    return result;
}
