// One export as the engine sees it: the job's format, its paths and settings,
// and the host's callbacks. Each front end translates its editor's records
// into this; nothing below the front ends knows which editor it serves.
#pragma once
#include <cstdint>
#include <string>

#include "core/setting_data.h"

// How much a line of the export's log matters, in the order an editor's log
// sorts them: what the export did (info), what the runtime changed (warn),
// why it failed (error), the details behind them (verbose).
enum class LogLevel : uint8_t { kInfo, kWarn, kError, kVerbose };

struct ExportJob {
    int32_t width = 0;  // frame size in pixels
    int32_t height = 0;
    int32_t rate = 0;  // frames per second = rate / scale
    int32_t scale = 0;
    int32_t frameCount = 0;
    bool hasAudio = false;
    int32_t audioRate = 0;  // samples per second
    int32_t audioChannels = 0;
    int32_t audioSampleCount = 0;  // sample frames in the job
    int32_t audioSampleBytes = 0;  // bytes per sample frame, all channels (2 per channel)
    // The output path, in the front end's path encoding (see SettingData).
    // Owned by the front end for the whole export.
    const char* saveFile = nullptr;
    // The export's own copy: nothing the host does meanwhile changes it.
    SettingData settings{};

    // The host's side, all called on the thread that runs the export (the
    // host's). `host` goes to every callback. Any callback may be null:
    // no frames, no audio, never aborted, no progress shown.
    void* host = nullptr;
    // Frame `frame` as a bottom-up 24-bit BGR image, rows padded to 4 bytes;
    // valid until the next callback.
    const void* (*getVideo)(void* host, int32_t frame) = nullptr;
    // Up to `length` interleaved 16-bit sample frames from `start`; *read
    // receives how many were delivered.
    const void* (*getAudio)(void* host, int32_t start, int32_t length, int32_t* read) = nullptr;
    bool (*isAbort)(void* host) = nullptr;
    // `now` frames of `total` are done; also the moment to refresh a preview.
    // Called at least every 250 ms while the export runs.
    void (*showProgress)(void* host, int32_t now, int32_t total) = nullptr;
    // One line of the export's log (UTF-8 or the front end's encoding, like
    // the paths): the runtime, the parameters asked for and settled on, the
    // colour, stage times and the outcome. `level` sorts it for a log that
    // keeps levels apart; a plain log may ignore it.
    void (*log)(void* host, LogLevel level, const char* line) = nullptr;
};

// Writes `line` to the job's log, when it has one.
void LogLine(const ExportJob& job, const std::string& line, LogLevel level = LogLevel::kVerbose);

// The job-format fields every editor's output record shares by name (width,
// height, rate, scale, frameCount, audioRate, audioChannels,
// audioSampleCount), copied into `job`. Each front end fills the rest.
template <typename HostRecord>
void CopyJobFormat(const HostRecord& record, ExportJob& job) {
    job.width = record.width;
    job.height = record.height;
    job.rate = record.rate;
    job.scale = record.scale;
    job.frameCount = record.frameCount;
    job.audioRate = record.audioRate;
    job.audioChannels = record.audioChannels;
    job.audioSampleCount = record.audioSampleCount;
}
