#include <cstdlib>

#include "audio/audio_export.h"
#include "audio/command_text.h"
#include "audio/run_process.h"
#include "core/temp_name.h"
#include "platform/file.h"

std::string AacEncoderCommandLine(int32_t aacProfile, int32_t aacKbps, const char* wavPath, const char* aacPath) {
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
    text << " -if \"" << wavPath << "\""
         << " -of \"" << aacPath << "\"";
    return std::move(text).str();
}

Outcome StartAacEncoder(const ExportJob& job, AacEncoding* encoding) {
    const SettingData& setting = job.settings;
    auto fail = [](std::string text, std::string path = {}) {
        Outcome outcome = Outcome::Failure(Stage::kAudio, std::move(text));
        outcome.path = std::move(path);
        return outcome;
    };
    std::optional<TempFile> wav = TempFile::Claim("wav", setting.tempFolder);
    if (!wav) return fail(TempFileFailureText(setting.tempFolder));
    std::optional<TempFile> aac = TempFile::Claim("aac", setting.tempFolder);
    if (!aac) return fail(TempFileFailureText(setting.tempFolder));

    // A folder holding a double quote would split the command line into
    // arguments nobody chose.
    if (!audio_detail::IsQuotablePath(wav->c_str()) || !audio_detail::IsQuotablePath(aac->c_str())) {
        return fail("Temporary folder cannot be put on the AAC encoder's command line: " + wav->path(), wav->path());
    }
    const std::string commandLine =
        AacEncoderCommandLine(setting.aacProfile, setting.aacKbps, wav->c_str(), aac->c_str());

    // Whatever a failed write left of the file goes with it.
    bool cancelled = false;
    if (!WriteWavFile(wav->c_str(), &job, &cancelled)) {
        if (cancelled) return Outcome::Cancelled(Stage::kAudio);
        Outcome outcome = fail("Cannot write the temporary audio file " + wav->path(), wav->path());
        outcome.osError = platform::LastError();
        return outcome;
    }

    char program[kSettingPathSize];
    ReadSettingText(setting.aacEncoderPath, program);
    platform::Process encoder(RunProcess(program, commandLine.c_str()));
    if (!encoder.started()) {
        Outcome outcome = fail("Cannot start the AAC encoder " + std::string(program), program);
        outcome.stage = Stage::kAacEncoder;
        return outcome;
    }
    encoding->wav = std::move(*wav);
    encoding->aac = std::move(*aac);
    encoding->encoder = std::move(encoder);
    return Outcome::Done();
}

Outcome WaitAacEncoder(platform::Process& encoder, const char* programPath, const platform::CancelCheck& cancel) {
    const std::string program = programPath != nullptr ? programPath : "";
    auto fail = [&](std::string text) {
        Outcome outcome = Outcome::Failure(Stage::kAacEncoder, std::move(text));
        outcome.path = program;
        return outcome;
    };
    if (!encoder.started()) return fail("The AAC encoder was not running: " + program);
    uint32_t exitCode = 1;
    const ProgramEnd end = WaitForProgram(encoder.get(), cancel, &exitCode);
    encoder.Reset();
    switch (end) {
        case ProgramEnd::kExited:
            if (exitCode == 0) return Outcome::Done();
            return fail("AAC encoder failed (exit code " + ExitCodeText(exitCode) + "): " + program);
        case ProgramEnd::kCancelled: return Outcome::Cancelled(Stage::kAacEncoder);
        case ProgramEnd::kWaitFailed: break;
    }
    return fail("Cannot wait for the AAC encoder " + program);
}
