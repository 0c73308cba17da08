#include "core/outcome.h"

#include "core/export_job.h"

#include <utility>

const char* StageName(Stage stage) {
    switch (stage) {
        case Stage::kNone: break;
        case Stage::kCheck: return "check";
        case Stage::kVideoSetup: return "video set-up";
        case Stage::kVideoEncode: return "video encode";
        case Stage::kAudio: return "audio";
        case Stage::kAacEncoder: return "AAC encoder";
        case Stage::kMuxer: return "MP4 muxer";
    }
    return "export";
}

Outcome Outcome::Cancelled(Stage stage) {
    Outcome outcome;
    outcome.kind = Kind::kCancelled;
    outcome.stage = stage;
    return outcome;
}

Outcome Outcome::Failure(Stage stage, std::string message, std::string cause) {
    Outcome outcome;
    outcome.kind = Kind::kFailed;
    outcome.stage = stage;
    outcome.message = std::move(message);
    outcome.cause = std::move(cause);
    return outcome;
}

std::string Outcome::Text() const { return cause.empty() ? message : message + "\n" + cause; }

void LogLine(const ExportJob& job, const std::string& line, LogLevel level) {
    if (job.log != nullptr) job.log(job.host, level, line.c_str());
}
