// The per-frame work on an initialised pipeline, on two threads: the calling
// thread (the host's) fills RGB3 or RGB4 surfaces from the frame source and runs VPP
// on them; the worker encodes the NV12 results in order and hands each
// bitstream to the sink. `queueLock` is held only for container operations.
#pragma once
#include <cstdint>
#include <optional>

#include "encode/encode_pipeline.h"

// How long one wait in the runtime (a sync of the worker's, the host's wait
// for VPP) or for a surface from the worker lasts before the loop looks at
// a cancel and at the stall clock again. A signal or the runtime's answer
// ends it sooner.
inline constexpr uint32_t kSyncSliceMs = 100;

// Runs the whole loop and returns after the worker has ended: MFX_ERR_NONE
// when the stream was encoded to its end; nullopt when the worker could not
// be started (or the record has no events to wait on); MFX_ERR_ABORTED when the job
// was cancelled (the `cancel` check said so; nothing more is encoded,
// no drain) or a stage made no progress for `stallLimitMs` (`stallCall` /
// `stallStatus` say which); otherwise the failing SDK status, VPP's first if
// VPP failed, else the encoder's. A busy device or a sync still in execution
// is retried, never taken as done. Call once, after OpenEncodePipeline
// succeeded.
std::optional<mfxStatus> RunEncodeLoop(EncodePipeline* pipeline);

// Job's thread: true once the user has cancelled. Asks the pipeline's
// `cancel` check at most every 50 ms and remembers a yes in
// `cancelRequested`, where the worker sees it.
bool JobCancelled(EncodePipeline* pipeline);

// The worker's routine: encodes queued surfaces until the end marker, drains
// the encoder, and returns 0, or the status with which the encoder failed.
// It records its end in `workerEnded` / `workerStatus`.
uint32_t EncodeWorker(void* pipeline);

// Fills the front free RGB surface from the frame source and queues it (or
// an end marker). -1 when no surface is free or an end marker has been
// queued, so that a refill always stops; 0 after one surface.
int32_t FillInputSurface(EncodePipeline* pipeline);

// Takes the first NV12 surface that the SDK does not hold out of `encInFree`,
// waiting for the worker's `surfaceEvent` in between. MFX_ERR_NONE;
// MFX_ERR_NULL_PTR for no `out`; once the worker has ended, no surface will
// come back: then its failure status (MFX_ERR_ABORTED if it ended cleanly)
// instead of waiting; MFX_ERR_ABORTED on a cancel.
mfxStatus TakeFreeEncodeSurface(EncodePipeline* pipeline, mfxFrameSurface1** out);

// Puts an NV12 surface at the back of `encInFree`.
void ReturnEncodeSurface(EncodePipeline* pipeline, mfxFrameSurface1* surface);

// Takes the front of `encodeQueue` (possibly the null end marker) into `out`;
// false when the queue is empty.
bool TakeQueuedSurface(EncodePipeline* pipeline, mfxFrameSurface1** out);

// Gives `bitstream` a 32-byte aligned buffer of the size the encoder asks for
// (BufferSizeInKB x 1000, times BRCParamMultiplier), keeping the bytes not
// yet consumed. When the encoder asks for no more room than the buffer
// already has, the buffer is doubled instead, up to kMaxBitstreamBuffer;
// beyond that MFX_ERR_NOT_ENOUGH_BUFFER, so a buffer that cannot grow ends
// the encode instead of looping. The GetVideoParam status on its failure.
mfxStatus PrepareBitstreamBuffer(EncodePipeline* pipeline);

// Ceiling of the buffer growth that PrepareBitstreamBuffer does on its own.
inline constexpr mfxU32 kMaxBitstreamBuffer = 256u << 20;
