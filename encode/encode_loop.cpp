#include "encode/encode_loop.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

namespace {

constexpr mfxU32 kMinGrownBitstream = 1u << 20;

// How often the job's thread asks its owner whether the user cancelled.
constexpr uint32_t kCancelPollIntervalMs = 50;

// Measures how long one stage has waited without progress.
class StallClock {
public:
    explicit StallClock(const EncodePipeline* pipeline)
        : limit_(pipeline->stallLimitMs), start_(platform::TickCountMs()) {}
    bool Expired() const { return platform::TickCountMs() - start_ >= limit_; }

private:
    uint32_t limit_;
    uint32_t start_;
};

// Records which SDK call stalled, and with what answer, for the driver's
// message; the first stall wins.
mfxStatus Stalled(EncodePipeline* pipeline, const char* call, mfxStatus answer) {
    const char* none = nullptr;
    if (pipeline->stallCall.compare_exchange_strong(none, call)) pipeline->stallStatus.store(answer);
    return MFX_ERR_ABORTED;
}

// The worker's view of a cancel: the job's thread has seen one.
bool CancelSeen(const EncodePipeline* pipeline) { return pipeline->cancelRequested.load(); }

// The wait for a submitted VPP task also refills input surfaces, one per
// poll, so the host's frames are read while VPP runs; with nothing left to
// fill it waits in the runtime, which answers as soon as the task is done
// (in slices, so that a cancel and a stall are noticed). A sync still in
// execution is asked again, never taken as done.
mfxStatus WaitForVpp(EncodePipeline* pipeline, mfxSyncPoint sync) {
    bool fillMore = true;
    const StallClock clock(pipeline);
    for (;;) {
        const mfxStatus status = MFXVideoCORE_SyncOperation(pipeline->session, sync, fillMore ? 0 : kSyncSliceMs);
        if (status == MFX_ERR_NONE) return MFX_ERR_NONE;
        if (status != MFX_WRN_IN_EXECUTION) return status;
        if (JobCancelled(pipeline)) return MFX_ERR_ABORTED;
        if (clock.Expired()) return Stalled(pipeline, "MFXVideoCORE_SyncOperation", status);
        if (fillMore && FillInputSurface(pipeline) == -1) fillMore = false;
    }
}

mfxStatus RunVpp(EncodePipeline* pipeline, mfxFrameSurface1* in, mfxFrameSurface1* out, mfxSyncPoint* sync) {
    const StallClock clock(pipeline);
    for (;;) {
        const mfxStatus status = MFXVideoVPP_RunFrameVPPAsync(pipeline->session, in, out, nullptr, sync);
        if (status != MFX_WRN_DEVICE_BUSY) return status;
        if (JobCancelled(pipeline)) return MFX_ERR_ABORTED;
        if (clock.Expired()) return Stalled(pipeline, "MFXVideoVPP_RunFrameVPPAsync", status);
        platform::SleepMs(1);
    }
}

// Waits for a submitted task in bounded slices, so that a cancel and a
// stall are noticed; a sync still in execution is synced again, never taken
// as done. Worker thread.
mfxStatus SyncWorker(EncodePipeline* pipeline, mfxSyncPoint sync) {
    const StallClock clock(pipeline);
    for (;;) {
        const mfxStatus status = MFXVideoCORE_SyncOperation(pipeline->session, sync, kSyncSliceMs);
        if (status != MFX_WRN_IN_EXECUTION) return status;
        if (CancelSeen(pipeline)) return MFX_ERR_ABORTED;
        if (clock.Expired()) return Stalled(pipeline, "MFXVideoCORE_SyncOperation", status);
    }
}

// Submits one frame (null: the drain) to the encoder, retrying while the
// device is busy, until cancel or stall. Worker thread.
mfxStatus SubmitToEncoder(EncodePipeline* pipeline, mfxFrameSurface1* surface, mfxSyncPoint* sync) {
    const StallClock clock(pipeline);
    for (;;) {
        const mfxStatus status =
            MFXVideoENCODE_EncodeFrameAsync(pipeline->session, nullptr, surface, &pipeline->bitstream, sync);
        if (status != MFX_WRN_DEVICE_BUSY) return status;
        if (CancelSeen(pipeline)) return MFX_ERR_ABORTED;
        if (clock.Expired()) return Stalled(pipeline, "MFXVideoENCODE_EncodeFrameAsync", status);
        platform::SleepMs(1);
    }
}

void QueueForEncoder(EncodePipeline* pipeline, mfxFrameSurface1* surface) {
    {
        platform::ScopedLock guard(pipeline->queueLock);
        pipeline->encodeQueue.push_back(surface);
    }
    platform::SignalEvent(pipeline->queueEvent);
}

// Worker: the next queued surface or end marker, waiting for the job's
// thread to queue one. That thread always queues the end marker, a failure
// or a cancel included, so the wait ends. The event is cleared before the
// queue is looked at, so a surface queued after the look sets it again.
mfxFrameSurface1* NextQueuedSurface(EncodePipeline* pipeline) {
    mfxFrameSurface1* surface = nullptr;
    for (;;) {
        platform::ClearEvent(pipeline->queueEvent);
        if (TakeQueuedSurface(pipeline, &surface)) return surface;
        platform::WaitForEvent(pipeline->queueEvent, platform::kWaitForever);
    }
}

// Ends the loop: the worker gets the end marker, and the loop's result is
// VPP's failure if there was one, else the worker's.
mfxStatus FinishLoop(EncodePipeline* pipeline, platform::ThreadHandle worker, mfxStatus vppStatus) {
    QueueForEncoder(pipeline, nullptr);
    platform::WaitThread(worker);
    platform::CloseThreadHandle(worker);
    if (vppStatus != MFX_ERR_NONE) return vppStatus;
    if (pipeline->cancelRequested.load()) return MFX_ERR_ABORTED;
    return static_cast<mfxStatus>(pipeline->workerStatus.load());
}

// Waits for one submitted encode, gives its input surface (null in the
// drain) back, hands the bitstream to the sink and empties it.
mfxStatus DeliverEncoded(EncodePipeline* pipeline, mfxSyncPoint* sync, mfxFrameSurface1* surface) {
    const mfxStatus synced = SyncWorker(pipeline, *sync);
    if (surface != nullptr) ReturnEncodeSurface(pipeline, surface);
    // The SDK has let go of what this frame held (the drain's too).
    platform::SignalEvent(pipeline->surfaceEvent);
    // A frame whose encode failed would silently be missing from the file.
    if (synced < MFX_ERR_NONE) return synced;
    pipeline->bitstreamSink(pipeline->callbackContext, &pipeline->bitstream);
    *sync = nullptr;
    pipeline->bitstream.DataOffset = 0;
    pipeline->bitstream.DataLength = 0;
    return MFX_ERR_NONE;
}

// Encodes queued surfaces until the end marker, then drains the encoder.
mfxStatus EncodeQueuedSurfaces(EncodePipeline* pipeline) {
    PrepareBitstreamBuffer(pipeline);  // a failure shows as NOT_ENOUGH_BUFFER below
    mfxSyncPoint sync = nullptr;
    for (;;) {
        mfxFrameSurface1* surface = NextQueuedSurface(pipeline);
        if (surface == nullptr) break;
        if (CancelSeen(pipeline)) {
            ReturnEncodeSurface(pipeline, surface);
            continue;  // nothing more is encoded; on to the end marker
        }

        for (;;) {
            mfxStatus status = SubmitToEncoder(pipeline, surface, &sync);
            if (status == MFX_ERR_NOT_ENOUGH_BUFFER) {
                status = PrepareBitstreamBuffer(pipeline);
                if (status == MFX_ERR_NONE) continue;  // the same surface, into the larger buffer
            } else if (status == MFX_ERR_MORE_DATA) {
                ReturnEncodeSurface(pipeline, surface);
                break;
            } else if (status == MFX_ERR_NONE) {
                status = DeliverEncoded(pipeline, &sync, surface);
                if (status != MFX_ERR_NONE) return status;
                break;
            }
            // The surface goes back so that ClosePipeline finds it.
            ReturnEncodeSurface(pipeline, surface);
            return status;
        }
    }

    // A cancelled job keeps nothing of its video: no drain.
    if (CancelSeen(pipeline)) return MFX_ERR_ABORTED;
    for (;;) {
        mfxStatus status = SubmitToEncoder(pipeline, nullptr, &sync);
        if (status == MFX_ERR_MORE_DATA) return MFX_ERR_NONE;
        if (status == MFX_ERR_NOT_ENOUGH_BUFFER) {
            status = PrepareBitstreamBuffer(pipeline);
            if (status != MFX_ERR_NONE) return status;
            continue;
        }
        if (status != MFX_ERR_NONE) return status;
        status = DeliverEncoded(pipeline, &sync, nullptr);
        if (status != MFX_ERR_NONE) return status;
    }
}

}  // namespace

int32_t FillInputSurface(EncodePipeline* pipeline) {
    if (pipeline->endQueued || pipeline->vppInFree.empty()) return -1;
    mfxFrameSurface1* surface = pipeline->vppInFree.front();
    pipeline->vppInFree.pop_front();

    bool endOfStream = false;
    mfxFrameAllocator* allocator = pipeline->allocator;
    allocator->Lock(allocator->pthis, surface->Data.MemId, &surface->Data);
    pipeline->frameSource(pipeline->callbackContext, &surface->Data, &endOfStream);
    allocator->Unlock(allocator->pthis, surface->Data.MemId, &surface->Data);

    if (endOfStream) {
        pipeline->vppInReady.push_back(nullptr);
        pipeline->vppInFree.push_back(surface);
        // The source would report the end again on every call: stop asking.
        pipeline->endQueued = true;
        return -1;
    }
    pipeline->vppInReady.push_back(surface);
    return 0;
}

bool JobCancelled(EncodePipeline* pipeline) {
    if (pipeline->cancelRequested.load()) return true;
    if (pipeline->cancel.cancelled == nullptr) return false;
    const uint32_t now = platform::TickCountMs();
    if (now - pipeline->lastCancelPoll < kCancelPollIntervalMs) return false;
    pipeline->lastCancelPoll = now;
    if (!pipeline->cancel()) return false;
    pipeline->cancelRequested.store(true);
    return true;
}

mfxStatus TakeFreeEncodeSurface(EncodePipeline* pipeline, mfxFrameSurface1** out) {
    if (out == nullptr) return MFX_ERR_NULL_PTR;
    for (;;) {
        // Cleared before the look, so whatever the worker does after the look wakes us.
        platform::ClearEvent(pipeline->surfaceEvent);
        {
            platform::ScopedLock guard(pipeline->queueLock);
            for (auto it = pipeline->encInFree.begin(); it != pipeline->encInFree.end(); ++it) {
                if (std::atomic_ref<mfxU16>((*it)->Data.Locked).load(std::memory_order_acquire) == 0) {
                    *out = *it;
                    pipeline->encInFree.erase(it);
                    return MFX_ERR_NONE;
                }
            }
        }
        // Only the worker gives surfaces back (and the SDK unlocks them as
        // the encoder lets go): once it has ended, none will come.
        if (pipeline->workerEnded.load()) {
            const mfxStatus status = static_cast<mfxStatus>(pipeline->workerStatus.load());
            return status != MFX_ERR_NONE ? status : MFX_ERR_ABORTED;
        }
        // The worker stops on a cancel too, and gives back what it holds.
        if (JobCancelled(pipeline)) return MFX_ERR_ABORTED;
        // The worker signals a surface given back, a finished sync and its
        // end. The SDK lets go of a surface (Data.Locked) when the task that
        // used it is done, before its sync ends, so a finished sync is the
        // signal for that too; a runtime that lets go a little later is
        // looked at again at the next sync or after the slice.
        if (pipeline->surfaceEvent == nullptr) {
            platform::SleepMs(1);
        } else {
            platform::WaitForEvent(pipeline->surfaceEvent, kSyncSliceMs);
        }
    }
}

void ReturnEncodeSurface(EncodePipeline* pipeline, mfxFrameSurface1* surface) {
    {
        platform::ScopedLock guard(pipeline->queueLock);
        pipeline->encInFree.push_back(surface);
    }
    platform::SignalEvent(pipeline->surfaceEvent);
}

bool TakeQueuedSurface(EncodePipeline* pipeline, mfxFrameSurface1** out) {
    platform::ScopedLock guard(pipeline->queueLock);
    if (pipeline->encodeQueue.empty()) return false;
    *out = pipeline->encodeQueue.front();
    pipeline->encodeQueue.pop_front();
    return true;
}

mfxStatus PrepareBitstreamBuffer(EncodePipeline* pipeline) {
    mfxVideoParam params{};
    const mfxStatus status = MFXVideoENCODE_GetVideoParam(pipeline->session, &params);
    if (status < MFX_ERR_NONE) return status;

    mfxBitstream& bitstream = pipeline->bitstream;
    const uint64_t multiplier = std::max<mfxU16>(params.mfx.BRCParamMultiplier, 1);
    uint64_t size = uint64_t{params.mfx.BufferSizeInKB} * multiplier * 1000;
    if (bitstream.Data != nullptr && size <= bitstream.MaxLength) {
        // Asked for no more than we have: a new buffer of the same size would
        // fail the same way for ever.
        if (bitstream.MaxLength >= kMaxBitstreamBuffer) return MFX_ERR_NOT_ENOUGH_BUFFER;
        size = std::min<uint64_t>(std::max<uint64_t>(uint64_t{bitstream.MaxLength} * 2, kMinGrownBitstream),
                                  kMaxBitstreamBuffer);
    }
    if (size > 0xFFFFFFFFu) return MFX_ERR_NOT_ENOUGH_BUFFER;
    if (size < bitstream.DataLength) size = bitstream.DataLength;

    auto* buffer = static_cast<mfxU8*>(::operator new[](size, std::align_val_t{32}, std::nothrow));
    if (buffer == nullptr) return MFX_ERR_MEMORY_ALLOC;
    if (bitstream.Data != nullptr) {
        std::memcpy(buffer, bitstream.Data + bitstream.DataOffset, bitstream.DataLength);
        ReleaseBitstreamBuffer(bitstream.Data);
    }
    bitstream.Data = buffer;
    bitstream.DataOffset = 0;
    bitstream.MaxLength = static_cast<mfxU32>(size);
    return MFX_ERR_NONE;
}

uint32_t EncodeWorker(void* argument) {
    auto* pipeline = static_cast<EncodePipeline*>(argument);
    platform::LabelThreadForSleepCounts("encoding worker");
    const mfxStatus status = EncodeQueuedSurfaces(pipeline);
    pipeline->workerStatus.store(status);
    pipeline->workerEnded.store(true);
    platform::SignalEvent(pipeline->surfaceEvent);  // no surface will come any more
    return static_cast<uint32_t>(status);
}

std::optional<mfxStatus> RunEncodeLoop(EncodePipeline* pipeline) {
    pipeline->workerEnded.store(false);
    pipeline->workerStatus.store(MFX_ERR_NONE);
    if (pipeline->queueEvent == nullptr || pipeline->surfaceEvent == nullptr) return std::nullopt;
    pipeline->cancelRequested.store(false);
    platform::ThreadHandle worker = platform::StartThread(EncodeWorker, pipeline);
    if (worker == nullptr) return std::nullopt;

    for (;;) {
        // A failed encoder takes nothing more: stop feeding it.
        if (pipeline->workerEnded.load()) return FinishLoop(pipeline, worker, MFX_ERR_NONE);

        if (pipeline->vppInReady.empty()) {
            while (FillInputSurface(pipeline) != -1) {
            }
            continue;
        }
        mfxFrameSurface1* in = pipeline->vppInReady.front();
        pipeline->vppInReady.pop_front();
        if (in == nullptr) break;

        mfxFrameSurface1* out = nullptr;
        mfxStatus status = TakeFreeEncodeSurface(pipeline, &out);
        if (status != MFX_ERR_NONE) {
            pipeline->vppInFree.push_back(in);
            return FinishLoop(pipeline, worker, pipeline->cancelRequested.load() ? MFX_ERR_ABORTED : MFX_ERR_NONE);
        }
        mfxSyncPoint sync = nullptr;
        status = RunVpp(pipeline, in, out, &sync);
        if (status == MFX_ERR_NONE) status = WaitForVpp(pipeline, sync);
        if (status != MFX_ERR_NONE) {
            ReturnEncodeSurface(pipeline, out);
            pipeline->vppInFree.push_back(in);
            return FinishLoop(pipeline, worker, status);
        }
        pipeline->vppInFree.push_back(in);
        QueueForEncoder(pipeline, out);
    }

    // The frames ended because the user cancelled: the worker drops the rest.
    // Asked now, not after the poll interval, so no drain starts.
    pipeline->lastCancelPoll = platform::TickCountMs() - kCancelPollIntervalMs;
    if (JobCancelled(pipeline)) return FinishLoop(pipeline, worker, MFX_ERR_ABORTED);

    // End of stream: VPP holds nothing back, but is asked all the same. The
    // surface it was given goes back to the pool, where ClosePipeline finds it.
    mfxFrameSurface1* last = nullptr;
    if (TakeFreeEncodeSurface(pipeline, &last) == MFX_ERR_NONE) {
        mfxSyncPoint sync = nullptr;
        MFXVideoVPP_RunFrameVPPAsync(pipeline->session, nullptr, last, nullptr, &sync);
        const StallClock clock(pipeline);
        while (sync != nullptr &&
               MFXVideoCORE_SyncOperation(pipeline->session, sync, kSyncSliceMs) == MFX_WRN_IN_EXECUTION &&
               !JobCancelled(pipeline) && !clock.Expired()) {
        }
        ReturnEncodeSurface(pipeline, last);
    }
    return FinishLoop(pipeline, worker, pipeline->cancelRequested.load() ? MFX_ERR_ABORTED : MFX_ERR_NONE);
}
