// The two callbacks through which the encode pipeline reaches the host and
// the output file, and the context the video encode driver gives them.
#pragma once
#include <cstdint>

#include <mfxvideo.h>

#include "core/export_job.h"

struct BitstreamWriter;

// Fills one locked VPP-input surface (`data`: Y and Pitch valid) with the next
// frame; sets *endOfStream (false on entry) when it delivers no frame.
// Called on the thread that runs the encode loop.
using FrameSourceFn = void (*)(void* context, mfxFrameData* data, bool* endOfStream);

// Takes one finished bitstream; true when its bytes were queued for writing.
// Called on the encoding worker thread.
using BitstreamSinkFn = bool (*)(void* context, mfxBitstream* bitstream);

// What the driver's callbacks share. Lives on the driver's stack for the
// whole encode; the two callbacks touch disjoint fields.
struct EncodeJobContext {
    const ExportJob* job;         // not owned; frame source only
    BitstreamWriter* writer;       // not owned; set before the encode, sink only
    int32_t frameIndex;            // next host frame; frame source only, starts at 0
    // The host gave no usable frame for `frameIndex`: the stream ended there
    // and the video is incomplete. Frame source only; read by the driver
    // after the encode loop has returned.
    bool frameMissing;
    // A non-empty bitstream could not be queued, so its bytes are lost. Sink
    // only (worker thread); read by the driver after the worker has ended.
    bool bytesLost;
    // The host's isAbort said yes. Job's thread only (frame source and
    // HostCancelled).
    bool aborted = false;
    // The VPP-input surfaces' format, as the pipeline's set-up settled it:
    // MFX_FOURCC_RGB3 (rows copied as they are) or MFX_FOURCC_RGB4 (each
    // pixel widened to B, G, R, 255). Set by the driver before the encode.
    mfxU32 inputFourCC = MFX_FOURCC_RGB3;
};

// The frame source: copies host frame `frameIndex` upside down (the host's
// frames are bottom-up) into the surface, in the context's `inputFourCC`
// (pixels start at the lowest of the surface's R, G, B, A pointers), stamps
// it, and advances. Reports
// the end of the stream after the last frame, on a user abort (which is not
// an error), when the host gives no usable frame (`frameMissing`), and once
// the writer has failed (the video is lost; the driver learns it from
// FinishWriter).
void ReadHostFrame(void* context, mfxFrameData* data, bool* endOfStream);

// The cancel question of the driver's pipeline: true once the host's isAbort
// has said yes (remembered in `aborted`). Job's thread only.
bool HostCancelled(void* context);

// The sink: queues the bitstream's `DataLength` bytes at `Data + DataOffset`
// with the context's writer. Leaves the bitstream unchanged. Refuses once the
// writer has failed, so unwritable bytes do not pile up in memory.
bool QueueBitstream(void* context, mfxBitstream* bitstream);
