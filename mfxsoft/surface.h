// How the runtime reaches a surface's pixels and marks it in use.
#pragma once
#include <mfxvideo.h>

#include <atomic>

namespace mfxsoft {

// Raises or lowers Data.Locked. The application reads the counter from its
// own threads while runtime threads change it, so every change is atomic.
inline void RaiseLocked(mfxFrameSurface1* surface) {
    std::atomic_ref<mfxU16>(surface->Data.Locked).fetch_add(1, std::memory_order_acq_rel);
}
inline void LowerLocked(mfxFrameSurface1* surface) {
    std::atomic_ref<mfxU16>(surface->Data.Locked).fetch_sub(1, std::memory_order_acq_rel);
}

inline mfxU32 PitchOf(const mfxFrameData& data) {
    return (static_cast<mfxU32>(data.PitchHigh) << 16) | data.PitchLow;
}

// Maps a surface for the lifetime of the object: through the application's
// frame allocator (Lock now, Unlock at the end) when one is set and the
// surface names a memory id, else through the Data pointers as they stand.
class SurfaceAccess {
public:
    SurfaceAccess(const mfxFrameAllocator* allocator, mfxFrameSurface1* surface)
        : allocator_(allocator), surface_(surface) {
        if (allocator_ != nullptr && allocator_->Lock != nullptr && surface_->Data.MemId != nullptr) {
            status_ = allocator_->Lock(allocator_->pthis, surface_->Data.MemId, &surface_->Data);
            locked_ = status_ == MFX_ERR_NONE;
        }
    }
    ~SurfaceAccess() {
        if (locked_ && allocator_->Unlock != nullptr) {
            allocator_->Unlock(allocator_->pthis, surface_->Data.MemId, &surface_->Data);
        }
    }
    SurfaceAccess(const SurfaceAccess&) = delete;
    SurfaceAccess& operator=(const SurfaceAccess&) = delete;

    // MFX_ERR_NONE, or why the pixels cannot be reached.
    mfxStatus Status() const { return status_; }

private:
    const mfxFrameAllocator* allocator_;
    mfxFrameSurface1* surface_;
    mfxStatus status_ = MFX_ERR_NONE;
    bool locked_ = false;
};

}  // namespace mfxsoft
