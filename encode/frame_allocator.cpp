#include "encode/frame_allocator.h"

#include <cstdint>
#include <cstring>
#include <new>

static_assert(sizeof(mfxFrameInfo) == 68, "the frame header copies 68 bytes of mfxFrameInfo");
static_assert((sizeof(mfxFrameInfo) + 63) / 64 * 64 == kFrameHeaderSize);

namespace {

uint32_t AlignUp32(uint32_t value) { return (value + 31u) & ~31u; }

// Bits per pixel of the formats we can lay out; 0 for any other.
uint32_t BitsPerPixel(mfxU32 fourCC) {
    switch (fourCC) {
        case MFX_FOURCC_NV12:
        case MFX_FOURCC_YV12: return 12;
        case MFX_FOURCC_YUY2: return 16;
        case MFX_FOURCC_P010: return 24;
        case MFX_FOURCC_RGB3: return 24;
        case MFX_FOURCC_RGB4: return 32;
        case MFX_FOURCC_P8: return 8;
        default: return 0;
    }
}

void ReleaseFrames(mfxMemId* mids, mfxU16 count) {
    for (mfxU16 i = 0; i < count; ++i) delete[] static_cast<mfxU8*>(mids[i]);
    delete[] mids;
}

}  // namespace

IAllocatorFrame::IAllocatorFrame() {
    std::memset(reserved, 0, sizeof(reserved));
    pthis = this;
    mfxFrameAllocator::Alloc = AllocThunk;
    mfxFrameAllocator::Lock = LockThunk;
    mfxFrameAllocator::Unlock = UnlockThunk;
    mfxFrameAllocator::GetHDL = GetHDLThunk;
    mfxFrameAllocator::Free = FreeThunk;
}

mfxStatus MFX_CDECL IAllocatorFrame::AllocThunk(mfxHDL pthis, mfxFrameAllocRequest* request,
                                                mfxFrameAllocResponse* response) {
    return static_cast<IAllocatorFrame*>(pthis)->Alloc(request, response);
}

mfxStatus MFX_CDECL IAllocatorFrame::LockThunk(mfxHDL pthis, mfxMemId mid, mfxFrameData* ptr) {
    return static_cast<IAllocatorFrame*>(pthis)->Lock(mid, ptr);
}

mfxStatus MFX_CDECL IAllocatorFrame::UnlockThunk(mfxHDL pthis, mfxMemId mid, mfxFrameData* ptr) {
    return static_cast<IAllocatorFrame*>(pthis)->Unlock(mid, ptr);
}

mfxStatus MFX_CDECL IAllocatorFrame::GetHDLThunk(mfxHDL pthis, mfxMemId mid, mfxHDL* handle) {
    return static_cast<IAllocatorFrame*>(pthis)->GetHDL(mid, handle);
}

mfxStatus MFX_CDECL IAllocatorFrame::FreeThunk(mfxHDL pthis, mfxFrameAllocResponse* response) {
    return static_cast<IAllocatorFrame*>(pthis)->Free(response);
}

CAllocatorFrameSystemMemory::~CAllocatorFrameSystemMemory() {
    for (auto& [mids, response] : allocations) ReleaseFrames(mids, response.NumFrameActual);
    allocations.clear();
}

mfxStatus CAllocatorFrameSystemMemory::Alloc(mfxFrameAllocRequest* request, mfxFrameAllocResponse* response) {
    if (request == nullptr || response == nullptr) return MFX_ERR_MEMORY_ALLOC;
    if (request->NumFrameSuggested == 0) return MFX_ERR_MEMORY_ALLOC;
    if ((request->Type & MFX_MEMTYPE_SYSTEM_MEMORY) == 0) return MFX_ERR_UNSUPPORTED;
    const uint32_t bits = BitsPerPixel(request->Info.FourCC);
    if (bits == 0) return MFX_ERR_UNSUPPORTED;

    // The pixel size must fit the 32-bit arithmetic that Lock's offsets use;
    // a larger frame would leave the plane pointers beyond the block.
    const uint64_t pixelBits = uint64_t{AlignUp32(request->Info.Width)} * AlignUp32(request->Info.Height) * bits;
    if (pixelBits >= (uint64_t{1} << 32) || pixelBits / 8 > SIZE_MAX - kFrameHeaderSize) return MFX_ERR_MEMORY_ALLOC;
    const size_t blockSize = kFrameHeaderSize + static_cast<size_t>(pixelBits / 8);

    const mfxU16 count = request->NumFrameSuggested;
    auto* mids = new (std::nothrow) mfxMemId[count];
    if (mids == nullptr) return MFX_ERR_MEMORY_ALLOC;
    for (mfxU16 i = 0; i < count; ++i) mids[i] = nullptr;
    for (mfxU16 i = 0; i < count; ++i) {
        mids[i] = new (std::nothrow) mfxU8[blockSize];
        if (mids[i] == nullptr) {
            ReleaseFrames(mids, i);
            return MFX_ERR_MEMORY_ALLOC;
        }
        std::memcpy(mids[i], &request->Info, sizeof(mfxFrameInfo));
    }

    response->mids = mids;
    response->NumFrameActual = count;
    try {
        allocations.emplace(mids, *response);
    } catch (const std::bad_alloc&) {
        // Unremembered frames would leak: give them back and report it.
        ReleaseFrames(mids, count);
        response->mids = nullptr;
        response->NumFrameActual = 0;
        return MFX_ERR_MEMORY_ALLOC;
    }
    return MFX_ERR_NONE;
}

mfxStatus CAllocatorFrameSystemMemory::Lock(mfxMemId mid, mfxFrameData* ptr) {
    if (mid == nullptr || ptr == nullptr) return MFX_ERR_LOCK_MEMORY;
    mfxFrameInfo info;
    std::memcpy(&info, mid, sizeof(info));
    const uint32_t w32 = AlignUp32(info.Width);
    const uint32_t h32 = AlignUp32(info.Height);
    mfxU8* pixels = static_cast<mfxU8*>(mid) + kFrameHeaderSize;

    switch (info.FourCC) {
        case MFX_FOURCC_NV12:
            ptr->Pitch = static_cast<mfxU16>(w32);
            ptr->Y = pixels;
            ptr->UV = pixels + w32 * h32;
            ptr->V = pixels + w32 * h32 + 1;
            return MFX_ERR_NONE;
        case MFX_FOURCC_P010:
            // NV12's layout with a 16-bit little-endian word per sample.
            ptr->Pitch = static_cast<mfxU16>(2 * w32);
            ptr->Y = pixels;
            ptr->UV = pixels + 2 * w32 * h32;
            ptr->V = ptr->UV + 2;
            return MFX_ERR_NONE;
        case MFX_FOURCC_YV12:
            ptr->Pitch = static_cast<mfxU16>(w32);
            ptr->Y = pixels;
            ptr->V = pixels + w32 * h32;
            ptr->U = ptr->V + (w32 / 2) * (h32 / 2);
            return MFX_ERR_NONE;
        case MFX_FOURCC_YUY2:
            ptr->Pitch = static_cast<mfxU16>(2 * w32);
            ptr->Y = pixels;
            ptr->U = pixels + 1;
            ptr->V = pixels + 3;
            return MFX_ERR_NONE;
        case MFX_FOURCC_RGB3:
            ptr->Pitch = static_cast<mfxU16>(3 * w32);
            ptr->R = pixels;
            ptr->G = pixels + 1;
            ptr->B = pixels + 2;
            return MFX_ERR_NONE;
        case MFX_FOURCC_RGB4:
            // Bytes B, G, R, A in memory, each pointer at its own byte: a
            // runtime may start from B or from the lowest pointer alike.
            ptr->Pitch = static_cast<mfxU16>(4 * w32);
            ptr->B = pixels;
            ptr->G = pixels + 1;
            ptr->R = pixels + 2;
            ptr->A = pixels + 3;
            return MFX_ERR_NONE;
        case MFX_FOURCC_P8:
            ptr->Pitch = 1;
            ptr->Y = pixels;
            ptr->U = nullptr;
            ptr->V = nullptr;
            return MFX_ERR_NONE;
        default:
            return MFX_ERR_LOCK_MEMORY;
    }
}

mfxStatus CAllocatorFrameSystemMemory::Unlock(mfxMemId mid, mfxFrameData* ptr) {
    if (mid != nullptr && ptr != nullptr) {
        ptr->Pitch = 0;
        ptr->Y = nullptr;
        ptr->U = nullptr;
        ptr->V = nullptr;
        ptr->A = nullptr;
    }
    return MFX_ERR_NONE;
}

mfxStatus CAllocatorFrameSystemMemory::GetHDL(mfxMemId, mfxHDL*) { return MFX_ERR_UNSUPPORTED; }

mfxStatus CAllocatorFrameSystemMemory::Free(mfxFrameAllocResponse* response) {
    if (response == nullptr || response->mids == nullptr) return MFX_ERR_NONE;
    // Only memory we handed out is released, and with the count we handed
    // out: a stale copy of a response (its frames already freed) or a foreign
    // array must not free anything.
    auto found = allocations.find(response->mids);
    if (found != allocations.end()) {
        ReleaseFrames(found->first, found->second.NumFrameActual);
        allocations.erase(found);
    }
    response->mids = nullptr;
    return MFX_ERR_NONE;
}
