// One export driven the way the editor drives it: an OutputInfo whose
// callbacks serve an Input, handed to the plug-in's output entry on the
// calling thread.
#pragma once
#include <cstdint>
#include <string>

#include "host/input.h"
#include "plugin/output_plugin.h"

namespace host {

struct ExportOptions {
    std::string saveFile;
    int abortAfter = -1;    // isAbort answers yes once this many frames went out; -1: never
    bool progress = false;  // draw the progress line
};

// What the plug-in asked of the host, for people and tests.
struct ExportStats {
    int32_t result = 0;          // what the output entry returned
    int framesDelivered = 0;     // getVideo calls answered with a frame
    int framesOutOfOrder = 0;    // getVideo calls not for the frame after the last one
    int badRequests = 0;         // calls with arguments outside the job
    int audioCalls = 0;
    int64_t audioSamples = 0;    // sample frames delivered
    int audioLengthAsked = 0;    // the largest length asked for
    int abortPolls = 0;
    int progressCalls = 0;
    int previewCalls = 0;
    int foreignThreadCalls = 0;  // callbacks on a thread other than the caller's
    bool inputFailed = false;    // the input could not produce something asked for
    bool userAbort = false;      // Ctrl-C was pressed (or SIGTERM, SIGHUP came)
    bool abortAnswered = false;  // isAbort answered yes at least once
    double seconds = 0;
};

// Runs the job; returns once the output entry has returned. Not reentrant:
// the callbacks find the job through a global, as a C callback must.
ExportStats DriveExport(OutputFunc output, Input& input, const ExportOptions& options);

}  // namespace host
