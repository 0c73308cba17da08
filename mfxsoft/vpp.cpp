#include <algorithm>

#include "mfxsoft/color.h"
#include "mfxsoft/session.h"
#include "mfxsoft/surface.h"

namespace mfxsoft {
namespace {

bool ProgressiveOrUnset(mfxU16 picStruct) { return picStruct == MFX_PICSTRUCT_UNKNOWN || picStruct == MFX_PICSTRUCT_PROGRESSIVE; }

// Size, crop and rate of one side of the stage.
mfxStatus CheckFrameInfo(const mfxFrameInfo& info) {
    if (info.Width == 0 || info.Height == 0 || info.Width % 16 != 0 || info.Height % 16 != 0) {
        return MFX_ERR_INVALID_VIDEO_PARAM;
    }
    if (info.CropW == 0 || info.CropH == 0 || info.CropX + info.CropW > info.Width ||
        info.CropY + info.CropH > info.Height) {
        return MFX_ERR_INVALID_VIDEO_PARAM;
    }
    if (info.FrameRateExtN == 0 || info.FrameRateExtD == 0) return MFX_ERR_INVALID_VIDEO_PARAM;
    if (!ProgressiveOrUnset(info.PicStruct)) return MFX_ERR_UNSUPPORTED;  // no deinterlacing here
    return MFX_ERR_NONE;
}

// The input formats: RGB3 (the Media SDK runtime only; the VPL runtime's
// frame check has no case for it) and RGB4, described as 4:4:4 or not at all.
bool InputTaken(const mfxFrameInfo& in, RuntimeKind runtime) {
    if (in.FourCC == MFX_FOURCC_RGB3) return runtime == RuntimeKind::kMsdk;
    return in.FourCC == MFX_FOURCC_RGB4 && (in.ChromaFormat == 0 || in.ChromaFormat == MFX_CHROMAFORMAT_YUV444);
}

// Bytes per input pixel, 0 for a format the stage does not read.
unsigned InputPixelBytes(mfxU32 fourCC) {
    return fourCC == MFX_FOURCC_RGB3 ? 3u : fourCC == MFX_FOURCC_RGB4 ? 4u : 0u;
}

// What this stage converts: RGB in full range (or unsaid) to YCbCr in
// limited range (or unsaid) with either matrix. RGB has no matrix; the input
// side's TransferMatrix is not looked at, as Intel's runtimes ignore it too.
bool SignalTaken(const mfxExtVPPVideoSignalInfo& signal) {
    const mfxU16 outMatrix = signal.Out.TransferMatrix;
    return (signal.In.NominalRange == MFX_NOMINALRANGE_UNKNOWN || signal.In.NominalRange == MFX_NOMINALRANGE_0_255) &&
           (signal.Out.NominalRange == MFX_NOMINALRANGE_UNKNOWN || signal.Out.NominalRange == MFX_NOMINALRANGE_16_235) &&
           (outMatrix == MFX_TRANSFERMATRIX_UNKNOWN || outMatrix == MFX_TRANSFERMATRIX_BT601 ||
            outMatrix == MFX_TRANSFERMATRIX_BT709);
}

// The output formats: NV12 (8 bits) and P010 (10 bits in the high bits of
// each 16-bit sample with Shift 1, in the low bits with Shift 0), each
// described as 4:2:0 or not at all, the depth fields 0 or the format's.
bool OutputTaken(const mfxFrameInfo& out) {
    if (out.ChromaFormat != 0 && out.ChromaFormat != MFX_CHROMAFORMAT_YUV420) return false;
    const int depth = out.FourCC == MFX_FOURCC_NV12 ? 8 : out.FourCC == MFX_FOURCC_P010 ? 10 : 0;
    if (depth == 0) return false;
    return (out.BitDepthLuma == 0 || out.BitDepthLuma == depth) &&
           (out.BitDepthChroma == 0 || out.BitDepthChroma == depth) && out.Shift <= (depth == 10 ? 1 : 0);
}

// The matrix asked for; BT.601 (the runtimes' default) when nothing is said.
ColourMatrix MatrixOf(const mfxVideoParam& par) {
    for (mfxU16 i = 0; i < par.NumExtParam; ++i) {
        const mfxExtBuffer* buffer = par.ExtParam[i];
        if (buffer->BufferId != MFX_EXTBUFF_VPP_VIDEO_SIGNAL_INFO) continue;
        const auto* signal = reinterpret_cast<const mfxExtVPPVideoSignalInfo*>(buffer);
        if (signal->Out.TransferMatrix == MFX_TRANSFERMATRIX_BT709) return ColourMatrix::kBt709;
    }
    return ColourMatrix::kBt601;
}

}  // namespace

Vpp::Vpp(_mfxSession& session) : session_(session) {}

Vpp::~Vpp() { Close(); }

mfxStatus Vpp::Check(const mfxVideoParam& par, RuntimeKind runtime) {
    if (par.Protected != 0) return MFX_ERR_UNSUPPORTED;
    const mfxU16 in = par.IOPattern & 0x0F, out = par.IOPattern & 0xF0;
    if ((in != MFX_IOPATTERN_IN_VIDEO_MEMORY && in != MFX_IOPATTERN_IN_SYSTEM_MEMORY && in != 0x04) ||
        (out != MFX_IOPATTERN_OUT_VIDEO_MEMORY && out != MFX_IOPATTERN_OUT_SYSTEM_MEMORY && out != 0x40)) {
        return MFX_ERR_INVALID_VIDEO_PARAM;
    }
    // Video and opaque memory need a device this runtime does not have.
    if (in != MFX_IOPATTERN_IN_SYSTEM_MEMORY || out != MFX_IOPATTERN_OUT_SYSTEM_MEMORY) return MFX_ERR_UNSUPPORTED;
    if (!InputTaken(par.vpp.In, runtime) || !OutputTaken(par.vpp.Out)) return MFX_ERR_INVALID_VIDEO_PARAM;
    if (mfxStatus s = CheckFrameInfo(par.vpp.In); s != MFX_ERR_NONE) return s;
    if (mfxStatus s = CheckFrameInfo(par.vpp.Out); s != MFX_ERR_NONE) return s;
    if (par.vpp.Out.CropX % 2 != 0 || par.vpp.Out.CropY % 2 != 0) return MFX_ERR_INVALID_VIDEO_PARAM;
    // Conversion only: no scaling, no frame rate conversion.
    if (par.vpp.In.CropW != par.vpp.Out.CropW || par.vpp.In.CropH != par.vpp.Out.CropH) return MFX_ERR_UNSUPPORTED;
    if (static_cast<uint64_t>(par.vpp.In.FrameRateExtN) * par.vpp.Out.FrameRateExtD !=
        static_cast<uint64_t>(par.vpp.Out.FrameRateExtN) * par.vpp.In.FrameRateExtD) {
        return MFX_ERR_UNSUPPORTED;
    }
    if (par.NumExtParam != 0 && par.ExtParam == nullptr) return MFX_ERR_NULL_PTR;
    for (mfxU16 i = 0; i < par.NumExtParam; ++i) {
        const mfxExtBuffer* buffer = par.ExtParam[i];
        if (buffer == nullptr) return MFX_ERR_NULL_PTR;
        if (buffer->BufferId == MFX_EXTBUFF_VPP_VIDEO_SIGNAL_INFO) {
            if (buffer->BufferSz != sizeof(mfxExtVPPVideoSignalInfo)) return MFX_ERR_INVALID_VIDEO_PARAM;
            if (!SignalTaken(*reinterpret_cast<const mfxExtVPPVideoSignalInfo*>(buffer))) return MFX_ERR_UNSUPPORTED;
            continue;
        }
        if (buffer->BufferId != MFX_EXTBUFF_VPP_DONOTUSE || buffer->BufferSz != sizeof(mfxExtVPPDoNotUse)) {
            return MFX_ERR_INVALID_VIDEO_PARAM;
        }
        const auto* doNotUse = reinterpret_cast<const mfxExtVPPDoNotUse*>(buffer);
        if (doNotUse->NumAlg != 0 && doNotUse->AlgList == nullptr) return MFX_ERR_NULL_PTR;
        // Every filter it may name is one this stage never applies anyway.
    }
    return MFX_ERR_NONE;
}

mfxStatus Vpp::QueryIOSurf(const mfxVideoParam& par, mfxFrameAllocRequest request[2]) {
    if (mfxStatus s = Check(par, session_.knobs.runtime); s != MFX_ERR_NONE) return s;
    // One frame is worked on at a time; a second lets the caller fill the next.
    const mfxU16 suggested = static_cast<mfxU16>(std::max<int>(2, par.AsyncDepth + 1));
    request[0] = mfxFrameAllocRequest{};
    request[0].Info = par.vpp.In;
    request[0].Type = MFX_MEMTYPE_SYSTEM_MEMORY | MFX_MEMTYPE_FROM_VPPIN | MFX_MEMTYPE_EXTERNAL_FRAME;
    request[0].NumFrameMin = 1;
    request[0].NumFrameSuggested = suggested;
    request[1] = mfxFrameAllocRequest{};
    request[1].Info = par.vpp.Out;
    request[1].Type = MFX_MEMTYPE_SYSTEM_MEMORY | MFX_MEMTYPE_FROM_VPPOUT | MFX_MEMTYPE_EXTERNAL_FRAME;
    request[1].NumFrameMin = 1;
    request[1].NumFrameSuggested = suggested;
    return MFX_ERR_NONE;
}

mfxStatus Vpp::Init(const mfxVideoParam& par) {
    platform::ScopedLock hold(lock_);
    if (initialized_) return MFX_ERR_UNDEFINED_BEHAVIOR;
    if (mfxStatus s = Check(par, session_.knobs.runtime); s != MFX_ERR_NONE) return s;
    auto queue = std::make_unique<TaskQueue>(session_.syncs);
    if (!queue->Start()) return MFX_ERR_MEMORY_ALLOC;
    queue_ = std::move(queue);
    depth_ = par.AsyncDepth != 0 ? std::max<size_t>(par.AsyncDepth, 2) : kDefaultQueueDepth;
    matrix_ = MatrixOf(par);
    outFourCC_ = par.vpp.Out.FourCC;
    outShift_ = par.vpp.Out.Shift;
    initialized_ = true;
    return MFX_ERR_NONE;
}

mfxStatus Vpp::Close() {
    std::unique_ptr<TaskQueue> queue;
    {
        platform::ScopedLock hold(lock_);
        if (!initialized_) return MFX_ERR_NOT_INITIALIZED;
        initialized_ = false;
        queue = std::move(queue_);
    }
    queue->Stop();  // finishes what was submitted, so every surface is released
    return MFX_ERR_NONE;
}

bool Vpp::Initialized() {
    platform::ScopedLock hold(lock_);
    return initialized_;
}

mfxStatus Vpp::Run(mfxFrameSurface1* in, mfxFrameSurface1* out, mfxSyncPoint* syncp) {
    platform::ScopedLock hold(lock_);
    if (!initialized_) return MFX_ERR_NOT_INITIALIZED;
    if (syncp == nullptr || out == nullptr) return MFX_ERR_NULL_PTR;
    if (in == nullptr) return MFX_ERR_MORE_DATA;  // nothing is held back to drain
    const mfxFrameInfo& i = in->Info;
    const mfxFrameInfo& o = out->Info;
    const unsigned pixelBytes = InputPixelBytes(i.FourCC);
    if (pixelBytes == 0 || o.FourCC != outFourCC_ || i.CropW == 0 || i.CropH == 0 ||
        i.CropX + i.CropW > i.Width || i.CropY + i.CropH > i.Height || o.CropW != i.CropW ||
        o.CropH != i.CropH || o.CropX % 2 != 0 || o.CropY % 2 != 0 || o.Width % 2 != 0 || o.Height % 2 != 0 ||
        o.CropX + o.CropW > o.Width || o.CropY + o.CropH > o.Height) {
        return MFX_ERR_INVALID_VIDEO_PARAM;
    }
    const mfxFrameAllocator* allocator = session_.allocator.load();
    auto reachable = [allocator](const mfxFrameSurface1* s) {
        return (allocator != nullptr && s->Data.MemId != nullptr) || s->Data.Y != nullptr;
    };
    if (!reachable(in) || !reachable(out)) return MFX_ERR_NULL_PTR;
    if (queue_->Pending() >= depth_) return MFX_WRN_DEVICE_BUSY;

    RaiseLocked(in);
    RaiseLocked(out);
    auto task = std::make_shared<Task>();
    task->kind = TaskKind::kVpp;
    const ColourMatrix matrix = matrix_;
    const bool tenBits = outFourCC_ == MFX_FOURCC_P010;
    const int shift = outShift_;
    task->work = [allocator, in, out, pixelBytes, matrix, tenBits, shift]() -> mfxStatus {
        mfxStatus status = MFX_ERR_NONE;
        {
            SurfaceAccess source(allocator, in);
            SurfaceAccess target(allocator, out);
            if (source.Status() != MFX_ERR_NONE || target.Status() != MFX_ERR_NONE) {
                status = MFX_ERR_LOCK_MEMORY;
            } else {
                const mfxFrameData& sd = in->Data;
                // B, G, R(, A) bytes; the lowest of the pointers is the pixel start.
                const uint8_t* base = sd.B;
                for (const uint8_t* plane : {sd.G, sd.R, pixelBytes == 4 ? sd.A : nullptr}) {
                    if (plane != nullptr && (base == nullptr || plane < base)) base = plane;
                }
                const mfxFrameData& dd = out->Data;
                if (base == nullptr || dd.Y == nullptr || dd.UV == nullptr || PitchOf(sd) == 0 || PitchOf(dd) == 0) {
                    status = MFX_ERR_NULL_PTR;
                } else {
                    const mfxFrameInfo& ii = in->Info;
                    const mfxFrameInfo& oi = out->Info;
                    const size_t sp = PitchOf(sd), dp = PitchOf(dd);
                    PackedBgrView src{base + ii.CropY * sp + ii.CropX * pixelBytes, sp, ii.CropW, ii.CropH};
                    const int padW = (oi.Width - oi.CropX) & ~1, padH = (oi.Height - oi.CropY) & ~1;
                    if (tenBits) {
                        // Two bytes a sample; pitches stay in bytes.
                        P010View dst{dd.Y + oi.CropY * dp + 2 * oi.CropX, dp, dd.UV + oi.CropY / 2 * dp + 2 * oi.CropX,
                                     dp, padW, padH, shift};
                        ConvertToP010(src, static_cast<int>(pixelBytes), dst, matrix);
                    } else {
                        Nv12View dst{dd.Y + oi.CropY * dp + oi.CropX, dp, dd.UV + oi.CropY / 2 * dp + oi.CropX, dp,
                                     padW, padH};
                        if (pixelBytes == 4) {
                            ConvertBgra32ToNv12(src, dst, matrix);
                        } else {
                            ConvertBgr24ToNv12(src, dst, matrix);
                        }
                    }
                    out->Data.TimeStamp = in->Data.TimeStamp;
                    out->Data.FrameOrder = in->Data.FrameOrder;
                }
            }
        }
        LowerLocked(in);
        LowerLocked(out);
        return status;
    };
    *syncp = session_.syncs.Add(task);
    queue_->Post(std::move(task));
    return MFX_ERR_NONE;
}

}  // namespace mfxsoft
