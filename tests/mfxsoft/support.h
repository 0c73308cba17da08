// Helpers for the soft runtime's tests: a system-memory frame allocator that
// counts its calls, parameter builders and environment guards.
#pragma once
#include <mfxvideo.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace mfxsoft_test {

// Keeps NV12, P010, RGB3 and RGB4 frames in heap blocks, like the plug-in's allocator:
// the memory id is the frame's index + 1; Lock fills the plane pointers.
class TestAllocator : public mfxFrameAllocator {
public:
    TestAllocator() {
        std::memset(static_cast<mfxFrameAllocator*>(this), 0, sizeof(mfxFrameAllocator));
        pthis = this;
        Alloc = [](mfxHDL self, mfxFrameAllocRequest* request, mfxFrameAllocResponse* response) {
            return static_cast<TestAllocator*>(self)->DoAlloc(request, response);
        };
        Lock = [](mfxHDL self, mfxMemId mid, mfxFrameData* data) {
            return static_cast<TestAllocator*>(self)->DoLock(mid, data);
        };
        Unlock = [](mfxHDL self, mfxMemId mid, mfxFrameData* data) {
            auto* me = static_cast<TestAllocator*>(self);
            me->unlocks.fetch_add(1);
            if (mid == nullptr || data == nullptr) return MFX_ERR_NONE;
            data->Pitch = 0;
            data->Y = data->U = data->V = data->A = nullptr;
            return MFX_ERR_NONE;
        };
        GetHDL = [](mfxHDL, mfxMemId, mfxHDL*) { return MFX_ERR_UNSUPPORTED; };
        Free = [](mfxHDL, mfxFrameAllocResponse*) { return MFX_ERR_NONE; };
    }

    mfxStatus DoAlloc(mfxFrameAllocRequest* request, mfxFrameAllocResponse* response) {
        if (!(request->Type & MFX_MEMTYPE_SYSTEM_MEMORY)) return MFX_ERR_UNSUPPORTED;
        mids_.emplace_back(request->NumFrameSuggested);
        for (mfxU16 i = 0; i < request->NumFrameSuggested; ++i) {
            frames_.push_back(Frame{request->Info, std::vector<uint8_t>(Bytes(request->Info))});
            mids_.back()[i] = reinterpret_cast<mfxMemId>(frames_.size());
        }
        response->mids = mids_.back().data();
        response->NumFrameActual = request->NumFrameSuggested;
        return MFX_ERR_NONE;
    }

    mfxStatus DoLock(mfxMemId mid, mfxFrameData* data) {
        locks.fetch_add(1);
        // A held gate keeps the caller here (at most 10 s), so a task stays pending.
        for (int waited = 0; gate.load() && waited < 10000; ++waited) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        {
            std::lock_guard<std::mutex> hold(threadsLock);
            lockThreads.push_back(std::this_thread::get_id());
        }
        if (mid == nullptr || data == nullptr) return MFX_ERR_LOCK_MEMORY;
        if (failLocks) return MFX_ERR_LOCK_MEMORY;
        Frame& frame = frames_[reinterpret_cast<uintptr_t>(mid) - 1];
        const int w = Align32(frame.info.Width), h = Align32(frame.info.Height);
        uint8_t* p = frame.bytes.data();
        if (frame.info.FourCC == MFX_FOURCC_NV12) {
            data->Pitch = static_cast<mfxU16>(w);
            data->Y = p;
            data->UV = p + static_cast<size_t>(w) * h;
            data->V = data->UV + 1;
        } else if (frame.info.FourCC == MFX_FOURCC_P010) {
            // Two bytes a sample, chroma pairs after the luma plane.
            data->Pitch = static_cast<mfxU16>(2 * w);
            data->Y = p;
            data->UV = p + static_cast<size_t>(2 * w) * h;
            data->V = data->UV + 2;
        } else if (frame.info.FourCC == MFX_FOURCC_RGB4) {
            data->Pitch = static_cast<mfxU16>(4 * w);
            data->B = p;
            data->G = p + 1;
            data->R = p + 2;
            data->A = p + 3;
        } else {
            data->Pitch = static_cast<mfxU16>(3 * w);
            data->R = p;
            data->G = p + 1;
            data->B = p + 2;
        }
        return MFX_ERR_NONE;
    }

    // Creates `count` surfaces for `info` backed by this allocator.
    std::vector<std::unique_ptr<mfxFrameSurface1>> Surfaces(const mfxFrameInfo& info, int count) {
        mfxFrameAllocRequest request{};
        request.Info = info;
        request.Type = MFX_MEMTYPE_SYSTEM_MEMORY;
        request.NumFrameSuggested = static_cast<mfxU16>(count);
        mfxFrameAllocResponse response{};
        DoAlloc(&request, &response);
        std::vector<std::unique_ptr<mfxFrameSurface1>> surfaces;
        for (int i = 0; i < count; ++i) {
            auto surface = std::make_unique<mfxFrameSurface1>();
            std::memset(surface.get(), 0, sizeof(mfxFrameSurface1));
            surface->Info = info;
            surface->Data.MemId = response.mids[i];
            surfaces.push_back(std::move(surface));
        }
        return surfaces;
    }

    static int Align32(int v) { return (v + 31) & ~31; }
    static size_t Bytes(const mfxFrameInfo& info) {
        size_t pixels = static_cast<size_t>(Align32(info.Width)) * Align32(info.Height);
        if (info.FourCC == MFX_FOURCC_RGB4) return pixels * 4;
        return info.FourCC == MFX_FOURCC_NV12 ? pixels * 3 / 2 : pixels * 3;  // P010 and RGB3 alike
    }

    std::atomic<int> locks{0};
    std::atomic<int> unlocks{0};
    std::atomic<bool> failLocks{false};
    std::atomic<bool> gate{false};
    std::mutex threadsLock;
    std::vector<std::thread::id> lockThreads;  // under threadsLock

private:
    struct Frame {
        mfxFrameInfo info;
        std::vector<uint8_t> bytes;
    };
    std::vector<Frame> frames_;  // std::vector of blocks: indices stay valid, bytes never move
    std::vector<std::vector<mfxMemId>> mids_;
};

// Sets (or, with null, removes) an environment variable for one scope.
class EnvGuard {
public:
    EnvGuard(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        if (value != nullptr) setenv(name, value, 1); else unsetenv(name);
    }
    ~EnvGuard() {
        if (had_) setenv(name_.c_str(), old_.c_str(), 1); else unsetenv(name_.c_str());
    }

private:
    std::string name_, old_;
    bool had_ = false;
};

inline mfxFrameInfo FrameInfo(mfxU32 fourcc, int width, int height, mfxU32 rateN = 30, mfxU32 rateD = 1) {
    mfxFrameInfo info{};
    info.FourCC = fourcc;
    info.Width = static_cast<mfxU16>((width + 15) & ~15);
    info.Height = static_cast<mfxU16>((height + 15) & ~15);
    info.CropW = static_cast<mfxU16>(width);
    info.CropH = static_cast<mfxU16>(height);
    info.FrameRateExtN = rateN;
    info.FrameRateExtD = rateD;
    info.PicStruct = MFX_PICSTRUCT_PROGRESSIVE;
    const bool yuv = fourcc == MFX_FOURCC_NV12 || fourcc == MFX_FOURCC_P010;
    info.ChromaFormat = yuv ? MFX_CHROMAFORMAT_YUV420 : 0;
    if (fourcc == MFX_FOURCC_P010) {
        info.BitDepthLuma = info.BitDepthChroma = 10;
        info.Shift = 1;  // as Intel's hardware surfaces hold the samples
    }
    return info;
}

// The pre-processing parameters the plug-in uses, with its do-not-use list.
struct VppParams {
    mfxVideoParam par{};
    mfxExtVPPDoNotUse doNotUse{};
    mfxU32 algs[4] = {MFX_EXTBUFF_VPP_DENOISE, MFX_EXTBUFF_VPP_SCENE_ANALYSIS, MFX_EXTBUFF_VPP_DETAIL,
                      MFX_EXTBUFF_VPP_PROCAMP};
    mfxExtBuffer* ext[1];

    VppParams(int width, int height, mfxU32 rateN = 30, mfxU32 rateD = 1) {
        par.vpp.In = FrameInfo(MFX_FOURCC_RGB3, width, height, rateN, rateD);
        par.vpp.Out = FrameInfo(MFX_FOURCC_NV12, width, height, rateN, rateD);
        par.IOPattern = MFX_IOPATTERN_IN_SYSTEM_MEMORY | MFX_IOPATTERN_OUT_SYSTEM_MEMORY;
        doNotUse.Header.BufferId = MFX_EXTBUFF_VPP_DONOTUSE;
        doNotUse.Header.BufferSz = sizeof(doNotUse);
        doNotUse.NumAlg = 4;
        doNotUse.AlgList = algs;
        ext[0] = &doNotUse.Header;
        par.ExtParam = ext;
        par.NumExtParam = 1;
    }
    VppParams(const VppParams&) = delete;
};

// The encoder parameters the plug-in uses with its default settings.
inline mfxVideoParam EncodeParams(int width, int height, mfxU32 rateN = 30, mfxU32 rateD = 1) {
    mfxVideoParam par{};
    par.mfx.CodecId = MFX_CODEC_AVC;
    par.mfx.CodecProfile = MFX_PROFILE_AVC_MAIN;
    par.mfx.CodecLevel = MFX_LEVEL_AVC_4;
    par.mfx.TargetUsage = MFX_TARGETUSAGE_BALANCED;
    par.mfx.RateControlMethod = MFX_RATECONTROL_VBR;
    par.mfx.TargetKbps = 1400;
    par.mfx.MaxKbps = 1400;
    par.mfx.FrameInfo = FrameInfo(MFX_FOURCC_NV12, width, height, rateN, rateD);
    par.IOPattern = MFX_IOPATTERN_IN_SYSTEM_MEMORY;
    return par;
}

// Opens a session on adapter 1 with API 1.1, as the plug-in does.
inline mfxSession OpenSession() {
    mfxVersion version{};
    version.Major = 1;
    version.Minor = 1;
    mfxSession session = nullptr;
    return MFXInit(MFX_IMPL_HARDWARE, &version, &session) == MFX_ERR_NONE ? session : nullptr;
}

// Waits for a sync point, polling with a bound so a test never hangs.
inline mfxStatus SyncBounded(mfxSession session, mfxSyncPoint point) {
    return MFXVideoCORE_SyncOperation(session, point, 60000);
}

}  // namespace mfxsoft_test
