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

platform::ProcessHandle StartAacEncoder(const ExportJob* job, char** wavPath, char** aacPath,
                                        platform::StageFailure* failure) {
    platform::StageFailure ignored;
    platform::StageFailure& why = failure != nullptr ? *failure : ignored;
    if (job == nullptr || wavPath == nullptr || aacPath == nullptr) {
        why.Fail("The audio stage was given no job.");
        return platform::kNoProcess;
    }
    const SettingData* setting = &job->settings;
    char* wav = nullptr;
    if (!MakeTempName("wav", setting->tempFolder, &wav)) {
        why.Fail(TempFileFailureText(setting->tempFolder));
        return platform::kNoProcess;
    }
    char* aac = nullptr;
    if (!MakeTempName("aac", setting->tempFolder, &aac)) {
        platform::RemoveFile(wav);
        std::free(wav);
        why.Fail(TempFileFailureText(setting->tempFolder));
        return platform::kNoProcess;
    }
    // Both names are claimed files from here on: every way out removes them.
    auto fail = [&](std::string text) {
        platform::RemoveFile(wav);
        platform::RemoveFile(aac);
        if (!text.empty()) why.Fail(std::move(text));
        std::free(wav);
        std::free(aac);
        return platform::kNoProcess;
    };

    // A folder holding a double quote would split the command line into
    // arguments nobody chose.
    if (!audio_detail::IsQuotablePath(wav) || !audio_detail::IsQuotablePath(aac)) {
        return fail("Temporary folder cannot be put on the AAC encoder's command line: " + std::string(wav));
    }
    std::string commandLine = AacEncoderCommandLine(setting->aacProfile, setting->aacKbps, wav, aac);

    // Whatever a failed write left of the file goes with it.
    bool cancelled = false;
    if (!WriteWavFile(wav, job, &cancelled)) {
        if (cancelled) {
            why.cancelled = true;
            return fail("");
        }
        return fail("Cannot write the temporary audio file " + std::string(wav));
    }

    char program[kSettingPathSize];
    ReadSettingText(setting->aacEncoderPath, program);
    platform::ProcessHandle encoder = RunProcess(program, commandLine.c_str());
    if (encoder == platform::kNoProcess) return fail("Cannot start the AAC encoder " + std::string(program));

    *wavPath = wav;
    *aacPath = aac;
    return encoder;
}

bool WaitAacEncoder(platform::ProcessHandle encoder, const char* programPath, const platform::CancelCheck& cancel,
                    platform::StageFailure* failure) {
    platform::StageFailure ignored;
    platform::StageFailure& why = failure != nullptr ? *failure : ignored;
    const std::string program = programPath != nullptr ? programPath : "";
    if (encoder == nullptr || encoder == platform::kNoProcess) {
        why.Fail("The AAC encoder was not running: " + program);
        return false;
    }
    uint32_t exitCode = 1;
    const ProgramEnd end = WaitForProgram(encoder, cancel, &exitCode);
    platform::CloseProcess(encoder);
    switch (end) {
        case ProgramEnd::kExited:
            if (exitCode == 0) return true;
            why.Fail("AAC encoder failed (exit code " + ExitCodeText(exitCode) + "): " + program);
            return false;
        case ProgramEnd::kCancelled: why.cancelled = true; return false;
        case ProgramEnd::kWaitFailed: break;
    }
    why.Fail("Cannot wait for the AAC encoder " + program);
    return false;
}
