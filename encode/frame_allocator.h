// The frame allocator handed to the Media SDK session: every frame lives in
// ordinary process memory and stays with the allocator until it is freed or
// the allocator is destroyed.
#pragma once
#include <map>

#include <mfxvideo.h>

// Bridges the SDK's callback record to virtual operations. The record is a
// base sub-object; its `pthis` is this object and each function pointer calls
// the virtual operation of the same name, returning its status unchanged.
// The virtual operations hide the record's function-pointer members of the
// same names: call through the record (`record->Alloc(record->pthis, ...)`)
// to go the way the SDK goes.
class IAllocatorFrame : public mfxFrameAllocator {
public:
    IAllocatorFrame();
    virtual ~IAllocatorFrame() = default;
    IAllocatorFrame(const IAllocatorFrame&) = delete;
    IAllocatorFrame& operator=(const IAllocatorFrame&) = delete;

    virtual mfxStatus Alloc(mfxFrameAllocRequest* request, mfxFrameAllocResponse* response) = 0;
    virtual mfxStatus Lock(mfxMemId mid, mfxFrameData* ptr) = 0;
    virtual mfxStatus Unlock(mfxMemId mid, mfxFrameData* ptr) = 0;
    virtual mfxStatus GetHDL(mfxMemId mid, mfxHDL* handle) = 0;
    virtual mfxStatus Free(mfxFrameAllocResponse* response) = 0;

private:
    static mfxStatus MFX_CDECL AllocThunk(mfxHDL pthis, mfxFrameAllocRequest* request,
                                          mfxFrameAllocResponse* response);
    static mfxStatus MFX_CDECL LockThunk(mfxHDL pthis, mfxMemId mid, mfxFrameData* ptr);
    static mfxStatus MFX_CDECL UnlockThunk(mfxHDL pthis, mfxMemId mid, mfxFrameData* ptr);
    static mfxStatus MFX_CDECL GetHDLThunk(mfxHDL pthis, mfxMemId mid, mfxHDL* handle);
    static mfxStatus MFX_CDECL FreeThunk(mfxHDL pthis, mfxFrameAllocResponse* response);
};

// System-memory frames. A frame is one block: a 128-byte header whose first
// bytes are the request's mfxFrameInfo, then the pixels of the frame with its
// width and height aligned up to 32. The memory id of a frame is the address
// of its block.
//
// Lock, Unlock and GetHDL are stateless and may be called from any thread.
// Alloc, Free and the destructor change `allocations` and must not overlap
// one another (the pipeline calls them on the job's thread only).
class CAllocatorFrameSystemMemory : public IAllocatorFrame {
public:
    CAllocatorFrameSystemMemory() = default;
    ~CAllocatorFrameSystemMemory() override;

    mfxStatus Alloc(mfxFrameAllocRequest* request, mfxFrameAllocResponse* response) override;
    mfxStatus Lock(mfxMemId mid, mfxFrameData* ptr) override;
    mfxStatus Unlock(mfxMemId mid, mfxFrameData* ptr) override;
    mfxStatus GetHDL(mfxMemId mid, mfxHDL* handle) override;
    mfxStatus Free(mfxFrameAllocResponse* response) override;

private:
    // Every allocation not yet freed, keyed by the address of its memory-id
    // array, with a copy of the response that Alloc filled in.
    std::map<mfxMemId*, mfxFrameAllocResponse> allocations;
};

// Length of the header in front of a frame's pixels.
inline constexpr unsigned kFrameHeaderSize = 128;
