// What became of an export, or of one stage of it: done, cancelled by the
// user, or failed, with what the user is told and the facts behind it. Every
// stage returns one; the front ends present it their host's way.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

// Where an export stands or stopped.
enum class Stage : uint8_t {
    kNone,
    kCheck,        // checks before the first frame
    kVideoSetup,   // runtime, session, VPP and encoder set-up
    kVideoEncode,  // the encode loop and the writer
    kAudio,        // the WAV file
    kAacEncoder,   // the external AAC encoder
    kMuxer,        // the external MP4 muxer
};

// "check", "video set-up", ... for logs.
const char* StageName(Stage stage);

struct Outcome {
    enum class Kind : uint8_t { kDone, kCancelled, kFailed };

    Kind kind = Kind::kDone;
    Stage stage = Stage::kNone;
    // A failure's first line, as the user has always seen it, and a second
    // line with the cause where there is more to say (else empty).
    std::string message;
    std::string cause;
    // The facts behind a failure, where they apply: the SDK call and what it
    // answered, the system's error code, the program or file concerned.
    std::string sdkCall;
    std::optional<int32_t> sdkStatus;
    uint32_t osError = 0;
    std::string path;

    static Outcome Done() { return {}; }
    static Outcome Cancelled(Stage stage);
    static Outcome Failure(Stage stage, std::string message, std::string cause = {});

    bool done() const { return kind == Kind::kDone; }
    bool cancelled() const { return kind == Kind::kCancelled; }
    bool failed() const { return kind == Kind::kFailed; }

    // The text a front end shows for a failure: the first line, then the
    // cause line when there is one.
    std::string Text() const;
};
