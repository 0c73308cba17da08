// The two entry points of the video encoding for the output procedure. Both
// run on the host's thread and leave no thread behind.
#pragma once
#include <cstdint>
#include <string>

#include <mfxvideo.h>

#include "core/export_job.h"
#include "core/outcome.h"

// A trial set-up of the whole pipeline with the job's frame format and
// settings, torn down at once. Done only when the set-up ended with exactly
// MFX_ERR_NONE (a warning counts as failure). A failure says "Invalid encode
// parameter." and, as its cause, the SDK call and what it answered, with the
// setting to blame where one can be named (a level too low for the frame
// size and rate). A profile, level, target usage or rate control no list
// holds is refused before the runtime is asked. Creates no file and starts
// no thread; the host's callbacks are never called.
Outcome ValidateEncodeParameters(const ExportJob& job);

// What became of one EncodeVideoToFile call, for callers that want to know
// why it failed. Every field is filled in whatever the result.
struct VideoEncodeReport {
    bool fileOpened;      // the file at `path` could be opened
    bool pipelineOpened;  // the set-up succeeded (false: the file is empty)
    mfxStatus loopStatus;   // RunEncodeLoop's result (MFX_ERR_NONE when it did not run)
    bool workerNotStarted;  // the encode loop could not start its worker
    int32_t framesRead;   // frames taken from the host
    bool aborted;         // the user cancelled; not a failure, but the file is of no use
    bool frameMissing;    // the host gave no usable frame: the video ends early
    bool bytesLost;       // the writer refused encoded bytes
    uint32_t writeError;  // system error code of a failed write, flush or close; 29: short write
    const char* stallCall;  // the SDK call that made no progress for 30 s (null: none)
    int32_t stallStatus;    // what it kept answering
};


// Encodes every frame of the job into a raw H.264 elementary stream at
// `path` (opened without truncation, never through a link). Done only when
// the whole video is in the file: the set-up succeeded, the encode loop ran to
// its end, the host gave every frame, and every byte was written, flushed and
// the file closed. A cancel (the host's isAbort, asked for every frame and
// every 50 ms while the runtime is waited for) stops the encode at once, with
// no drain: cancelled, with `aborted` set. A failure names the stage and the
// runtime's status, or the path and system error of a failed write. Anything
// but done means the file, if any, must not be used as the video. The file
// is closed and all threads have ended when it returns.
Outcome EncodeVideoToFile(const ExportJob& job, const char* path, VideoEncodeReport* report = nullptr);
