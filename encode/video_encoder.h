// The two entry points of the video encoding for the output procedure. Both
// run on the host's thread and leave no thread behind.
#pragma once
#include <cstdint>
#include <string>

#include "core/export_job.h"

// A trial set-up of the whole pipeline with the job's frame format and
// settings, torn down at once. True only when the set-up ended with exactly
// MFX_ERR_NONE (a warning counts as failure). Creates no file and starts no
// thread; the host's callbacks are never called.
bool ValidateEncodeParameters(const ExportJob& job);

// What became of one EncodeVideoToFile call, for callers that want to know
// why it failed. Every field is filled in whatever the result.
struct VideoEncodeReport {
    bool fileOpened;      // the file at `path` could be opened
    bool pipelineOpened;  // the set-up succeeded (false: the file is empty)
    int32_t loopStatus;   // RunEncodeLoop's result: 0, -1 or an SDK status
    int32_t framesRead;   // frames taken from the host
    bool aborted;         // the user cancelled; not a failure, but the file is of no use
    bool frameMissing;    // the host gave no usable frame: the video ends early
    bool bytesLost;       // the writer refused encoded bytes
    uint32_t writeError;  // system error code of a failed write, flush or close; 29: short write
    const char* stallCall;  // the SDK call that made no progress for 30 s (null: none)
    int32_t stallStatus;    // what it kept answering
};

// The one line to show for a failed EncodeVideoToFile: the stage and the
// runtime's status name, or the path and system error of a failed write.
std::string VideoFailureText(const VideoEncodeReport& report, const char* path);

// Encodes every frame of the job into a raw H.264 elementary stream at
// `path` (opened without truncation, never through a link). True only when
// the whole video is in the file: the set-up succeeded, the encode loop ran to
// its end, the host gave every frame, and every byte was written, flushed and
// the file closed. A cancel (the host's isAbort, asked for every frame and
// every 50 ms while the runtime is waited for) stops the encode at once, with
// no drain: false, with `aborted` set. False means the file, if any, must not
// be used as the video. The file is closed and all threads have ended when it
// returns.
bool EncodeVideoToFile(const ExportJob& job, const char* path, VideoEncodeReport* report = nullptr);
