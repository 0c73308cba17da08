#include <cstdlib>

#include "audio/audio_export.h"
#include "audio/command_text.h"
#include "audio/run_process.h"
#include "core/temp_name.h"
#include "platform/file.h"

std::string AacEncoderCommandLine(int32_t aacProfile, int32_t aacKbps, const char* wavPath,
                                  const char* aacPath) {
    std::ostringstream text = audio_detail::ClassicStream();
    // The bit rate is computed in 32 bits and written unsigned, as the settings
    // record has always been read.
    text << "-2pass -br " << static_cast<uint32_t>(aacKbps) * 1000u;
    switch (aacProfile) {
        case 1: text << " -lc"; break;
        case 2: text << " -he"; break;
        case 3: text << " -hev2"; break;
        default: break;
    }
    text << " -if \"" << wavPath << "\"" << " -of \"" << aacPath << "\"";
    return std::move(text).str();
}

platform::ProcessHandle StartAacEncoder(const ExportJob* job, char** wavPath, char** aacPath) {
    if (job == nullptr || wavPath == nullptr || aacPath == nullptr) return platform::kNoProcess;
    const SettingData* setting = &job->settings;
    char* wav = nullptr;
    if (!MakeTempName("wav", setting->tempFolder, &wav)) return platform::kNoProcess;
    char* aac = nullptr;
    if (!MakeTempName("aac", setting->tempFolder, &aac)) {
        std::free(wav);
        return platform::kNoProcess;
    }
    auto fail = [&](bool deleteWav) {
        if (deleteWav) platform::RemoveFile(wav);
        std::free(wav);
        std::free(aac);
        return platform::kNoProcess;
    };

    // A folder holding a double quote would split the command line into
    // arguments nobody chose.
    if (!audio_detail::IsQuotablePath(wav) || !audio_detail::IsQuotablePath(aac)) return fail(false);
    std::string commandLine = AacEncoderCommandLine(setting->aacProfile, setting->aacKbps, wav, aac);

    // Whatever a failed write left of the file goes with it.
    if (!WriteWavFile(wav, job)) return fail(true);

    char program[kSettingPathSize];
    ReadSettingText(setting->aacEncoderPath, program);
    platform::ProcessHandle encoder = RunProcess(program, commandLine.c_str());
    if (encoder == platform::kNoProcess) return fail(true);

    *wavPath = wav;
    *aacPath = aac;
    return encoder;
}

bool WaitAacEncoder(platform::ProcessHandle encoder) {
    if (encoder == nullptr || encoder == platform::kNoProcess) return false;
    uint32_t exitCode = 1;
    bool waited = platform::WaitProcess(encoder, &exitCode);
    platform::CloseProcess(encoder);
    return waited && exitCode == 0;
}
