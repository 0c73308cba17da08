// The output entry: one export from start to end. It owns the temporary
// paths and the AAC encoder's process; the stages do the work.
#include <cstdlib>

#include "audio/audio_export.h"
#include "audio/mux.h"
#include "encode/video_encoder.h"
#include "platform/file.h"
#include "platform/message.h"
#include "plugin/plugin_entries.h"
#include "plugin/setting_data.h"
#include "plugin/temp_name.h"

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

int32_t TARVO_CDECL OutputEntry(OutputInfo* info) {
    if (info == nullptr) return 0;
    // The job works on its own copy: nothing the host does during the export
    // changes the settings under the stages' feet.
    const SettingData settings = CurrentSettings();

    char* videoPath = nullptr;
    if (!MakeTempName("h264", settings.tempFolder, &videoPath)) return 0;

    if (!ValidateEncodeParameters(*info, settings)) {
        platform::ShowWarning("Invalid encode parameter.");
        std::free(videoPath);
        return 0;
    }

    // The WAV file is complete before the encoder starts and before the
    // first video frame is asked for; the encoder then runs beside the video.
    const bool hasAudio = (info->flag & kOutputInfoFlagAudio) != 0;
    char* wavPath = nullptr;
    char* aacPath = nullptr;
    platform::ProcessHandle aacEncoder = platform::kNoProcess;
    if (hasAudio) {
        aacEncoder = StartAacEncoder(info, &settings, &wavPath, &aacPath);
        if (aacEncoder == platform::kNoProcess) {
            std::free(videoPath);
            return 0;
        }
    }

    // From here on every step runs whatever failed before it, so that the
    // encoder is waited for and every temporary file goes.
    bool result = EncodeVideoToFile(*info, settings, videoPath);

    if (hasAudio) {
        // An encoder that failed leaves no usable audio: not a success.
        if (!WaitAacEncoder(aacEncoder)) result = false;
        DiscardTempFile(wavPath);
    }

    char muxerPath[kSettingPathSize];
    ReadSettingText(settings.muxerPath, muxerPath);
    const double frameRate = info->scale != 0 ? static_cast<double>(info->rate) / info->scale : 0.0;
    if (!MuxMp4(muxerPath, info->saveFile, frameRate, videoPath, aacPath)) result = false;

    DiscardTempFile(aacPath);
    DiscardTempFile(videoPath);
    return result ? 1 : 0;
}
