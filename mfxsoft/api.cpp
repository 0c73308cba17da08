// The SDK's C entry points, in the SDK's calling convention.
#include <mfxvideo.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "mfxsoft/session.h"

using mfxsoft::FaultPoint;

_mfxSession::_mfxSession(mfxIMPL implementation, mfxVersion apiVersion, mfxsoft::Knobs settings)
    : impl(implementation), version(apiVersion), knobs(std::move(settings)), vpp(*this), encoder(*this) {}

namespace {

// The API version this runtime implements: 1.35 as the Media SDK runtime;
// the VPL GPU runtime reports 1.255 to callers of the 1.x API.
constexpr mfxU16 kMajor = 1;
constexpr mfxU16 kMinor = 35;
constexpr mfxU16 kVplMinor = 255;

constexpr mfxIMPL kViaMask = 0x0F00;

// The VPL GPU runtime has no Direct3D 9 device. On Windows a value without
// a VIA_* bit means Direct3D 9; natively there is no Direct3D at all, so a
// bare value stands for the one device there is.
bool VplRefusesDevice(mfxIMPL impl) {
    const mfxIMPL via = impl & kViaMask;
#ifdef _WIN32
    if (via == 0) return true;
#endif
    return via == MFX_IMPL_VIA_D3D9;
}

// MFXInit has no session to count in: its calls are counted per process and
// start again from 1 whenever MFXSOFT_FAULTS changes.
struct InitCounter {
    platform::CriticalSection lock;
    std::string faults;  // under lock
    unsigned calls = 0;  // under lock

    unsigned Next(const std::string& text) {
        platform::ScopedLock hold(lock);
        if (text != faults) {
            faults = text;
            calls = 0;
        }
        return ++calls;
    }
};

InitCounter& Inits() {
    static InitCounter counter;
    return counter;
}

// Applies a configured fault to a set-up call: an error replaces the call, a
// warning comes back in place of the call's own success.
template <typename Work>
mfxStatus WithSetupFault(mfxSession session, FaultPoint point, Work work) {
    mfxStatus fault = session->faults.Next(session->knobs.faults, point);
    if (fault < MFX_ERR_NONE) return fault;
    mfxStatus status = work();
    if (fault > MFX_ERR_NONE && status == MFX_ERR_NONE) return fault;
    return status;
}

bool IsSignalBuffer(const mfxExtBuffer* buffer) {
    return buffer != nullptr &&
           (buffer->BufferId == MFX_EXTBUFF_VIDEO_SIGNAL_INFO || buffer->BufferId == MFX_EXTBUFF_VPP_VIDEO_SIGNAL_INFO);
}

// A set-up call whose parameters carry a video signal buffer counts one call
// of `point` (vpp_signal or enc_signal): an error refuses the call (as a runtime that
// knows no such buffer does), a warning makes the stage ignore the buffers and
// work with its defaults (BT.601, nothing in the SPS), answering the warning.
template <typename Work>
mfxStatus WithSignalFault(mfxSession session, FaultPoint point, const mfxVideoParam& par, Work work) {
    std::vector<mfxExtBuffer*> kept;
    bool carries = false;
    for (mfxU16 i = 0; par.ExtParam != nullptr && i < par.NumExtParam; ++i) {
        if (IsSignalBuffer(par.ExtParam[i])) {
            carries = true;
        } else {
            kept.push_back(par.ExtParam[i]);
        }
    }
    if (!carries) return work(par);
    const mfxStatus fault = session->faults.Next(session->knobs.faults, point);
    if (fault < MFX_ERR_NONE) return fault;
    if (fault == MFX_ERR_NONE) return work(par);
    mfxVideoParam without = par;
    without.ExtParam = kept.empty() ? nullptr : kept.data();
    without.NumExtParam = static_cast<mfxU16>(kept.size());
    const mfxStatus status = work(without);
    return status == MFX_ERR_NONE ? fault : status;
}

}  // namespace

#include "mfxsoft/sanitizer_defaults.h"

extern "C" {

mfxStatus MFX_CDECL MFXInit(mfxIMPL impl, mfxVersion* ver, mfxSession* session) {
    if (session == nullptr) return MFX_ERR_NULL_PTR;
    *session = nullptr;
    mfxsoft::Knobs knobs = mfxsoft::ReadKnobs();
    if (!knobs.valid) return MFX_ERR_UNSUPPORTED;
    const char* faultText = std::getenv("MFXSOFT_FAULTS");
    unsigned call = Inits().Next(faultText != nullptr ? faultText : "");
    if (mfxStatus fault = mfxsoft::FaultFor(knobs.faults, FaultPoint::kInit, call); fault != MFX_ERR_NONE) {
        return fault;  // even a warning: no session exists for the caller to close
    }

    // Transport bits (VIA_*) choose no device here, there is one kind; only
    // the VPL runtime's refusal of Direct3D 9 is mimicked.
    const mfxIMPL base = MFX_IMPL_BASETYPE(impl);
    if ((impl & ~static_cast<mfxIMPL>(kViaMask | 0x00FF)) != 0) return MFX_ERR_UNSUPPORTED;
    const bool vpl = knobs.runtime == mfxsoft::RuntimeKind::kVpl;
    if (vpl && VplRefusesDevice(impl)) return MFX_ERR_UNSUPPORTED;
    int adapter = 0;
    switch (base) {
        case MFX_IMPL_AUTO:
        case MFX_IMPL_AUTO_ANY:
        case MFX_IMPL_HARDWARE_ANY:
        case MFX_IMPL_HARDWARE: adapter = 1; break;
        case MFX_IMPL_HARDWARE2: adapter = 2; break;
        case MFX_IMPL_HARDWARE3: adapter = 3; break;
        case MFX_IMPL_HARDWARE4: adapter = 4; break;
        default: return MFX_ERR_UNSUPPORTED;  // no software library behind this runtime
    }
    if (adapter > knobs.adapters) return MFX_ERR_UNSUPPORTED;

    mfxVersion version{};
    version.Major = kMajor;
    version.Minor = vpl ? kVplMinor : kMinor;
    if (ver != nullptr) {
        if (ver->Major != kMajor || ver->Minor > version.Minor) return MFX_ERR_UNSUPPORTED;
    }
    static constexpr mfxIMPL kAdapterImpl[] = {MFX_IMPL_HARDWARE, MFX_IMPL_HARDWARE2, MFX_IMPL_HARDWARE3,
                                               MFX_IMPL_HARDWARE4};
    // Like a hardware runtime, MFXQueryIMPL tells the device interface too.
    auto* created =
        new (std::nothrow) _mfxSession(kAdapterImpl[adapter - 1] | (impl & kViaMask), version, std::move(knobs));
    if (created == nullptr) return MFX_ERR_MEMORY_ALLOC;
    *session = created;
    return MFX_ERR_NONE;
}

mfxStatus MFX_CDECL MFXInitEx(mfxInitParam par, mfxSession* session) {
    return MFXInit(par.Implementation, &par.Version, session);
}

mfxStatus MFX_CDECL MFXClose(mfxSession session) {
    if (session == nullptr) return MFX_ERR_INVALID_HANDLE;
    delete session;  // closes both stages; their runtime threads finish first
    return MFX_ERR_NONE;
}

mfxStatus MFX_CDECL MFXQueryIMPL(mfxSession session, mfxIMPL* impl) {
    if (session == nullptr) return MFX_ERR_INVALID_HANDLE;
    if (impl == nullptr) return MFX_ERR_NULL_PTR;
    *impl = session->impl;
    return MFX_ERR_NONE;
}

mfxStatus MFX_CDECL MFXQueryVersion(mfxSession session, mfxVersion* version) {
    if (session == nullptr) return MFX_ERR_INVALID_HANDLE;
    if (version == nullptr) return MFX_ERR_NULL_PTR;
    *version = session->version;
    return MFX_ERR_NONE;
}

mfxStatus MFX_CDECL MFXVideoCORE_SetFrameAllocator(mfxSession session, mfxFrameAllocator* allocator) {
    if (session == nullptr) return MFX_ERR_INVALID_HANDLE;
    return WithSetupFault(session, FaultPoint::kSetAllocator, [&]() -> mfxStatus {
        // Runtime threads read the allocator: it is fixed once a stage runs.
        if (session->vpp.Initialized() || session->encoder.Initialized()) return MFX_ERR_UNDEFINED_BEHAVIOR;
        if (allocator == nullptr) {
            session->allocator.store(nullptr);
            return MFX_ERR_NONE;
        }
        if (allocator->Lock == nullptr || allocator->Unlock == nullptr) return MFX_ERR_NULL_PTR;
        session->allocatorCopy = *allocator;
        session->allocator.store(&session->allocatorCopy);
        return MFX_ERR_NONE;
    });
}

mfxStatus MFX_CDECL MFXVideoCORE_SyncOperation(mfxSession session, mfxSyncPoint syncp, mfxU32 wait) {
    if (session == nullptr) return MFX_ERR_INVALID_HANDLE;
    if (syncp == nullptr) return MFX_ERR_NULL_PTR;
    std::shared_ptr<mfxsoft::Task> task = session->syncs.Find(syncp);
    if (!task) return MFX_ERR_NOT_FOUND;  // never issued, or already synchronised
    const FaultPoint point = task->kind == mfxsoft::TaskKind::kVpp ? FaultPoint::kVppSync : FaultPoint::kEncSync;
    // A fault answers instead of waiting; the sync point stays valid.
    if (mfxStatus fault = session->faults.Next(session->knobs.faults, point); fault != MFX_ERR_NONE) return fault;
    mfxStatus status = session->syncs.Wait(syncp, wait);
    return status == MFX_ERR_NULL_PTR ? MFX_ERR_NOT_FOUND : status;
}

mfxStatus MFX_CDECL MFXVideoVPP_QueryIOSurf(mfxSession session, mfxVideoParam* par, mfxFrameAllocRequest* request) {
    if (session == nullptr) return MFX_ERR_INVALID_HANDLE;
    if (par == nullptr || request == nullptr) return MFX_ERR_NULL_PTR;
    return WithSetupFault(session, FaultPoint::kVppQuery, [&] {
        return WithSignalFault(session, FaultPoint::kVppSignal, *par,
                               [&](const mfxVideoParam& p) { return session->vpp.QueryIOSurf(p, request); });
    });
}

mfxStatus MFX_CDECL MFXVideoVPP_Init(mfxSession session, mfxVideoParam* par) {
    if (session == nullptr) return MFX_ERR_INVALID_HANDLE;
    if (par == nullptr) return MFX_ERR_NULL_PTR;
    return WithSetupFault(session, FaultPoint::kVppInit, [&] {
        return WithSignalFault(session, FaultPoint::kVppSignal, *par,
                               [&](const mfxVideoParam& p) { return session->vpp.Init(p); });
    });
}

mfxStatus MFX_CDECL MFXVideoVPP_Close(mfxSession session) {
    if (session == nullptr) return MFX_ERR_INVALID_HANDLE;
    return session->vpp.Close();
}

mfxStatus MFX_CDECL MFXVideoVPP_RunFrameVPPAsync(mfxSession session, mfxFrameSurface1* in, mfxFrameSurface1* out,
                                                 mfxExtVppAuxData* aux, mfxSyncPoint* syncp) {
    (void)aux;
    if (session == nullptr) return MFX_ERR_INVALID_HANDLE;
    // A fault, busy included, does no work: a retry finds everything as before.
    if (mfxStatus fault = session->faults.Next(session->knobs.faults, FaultPoint::kVppRun); fault != MFX_ERR_NONE) {
        return fault;
    }
    return session->vpp.Run(in, out, syncp);
}

mfxStatus MFX_CDECL MFXVideoENCODE_Query(mfxSession session, mfxVideoParam* in, mfxVideoParam* out) {
    if (session == nullptr) return MFX_ERR_INVALID_HANDLE;
    // enc_query stands for both of the encoder's query calls.
    return WithSetupFault(session, FaultPoint::kEncQuery, [&] { return session->encoder.Query(in, out); });
}

mfxStatus MFX_CDECL MFXVideoENCODE_QueryIOSurf(mfxSession session, mfxVideoParam* par, mfxFrameAllocRequest* request) {
    if (session == nullptr) return MFX_ERR_INVALID_HANDLE;
    if (par == nullptr || request == nullptr) return MFX_ERR_NULL_PTR;
    return WithSetupFault(session, FaultPoint::kEncQuery, [&] {
        return WithSignalFault(session, FaultPoint::kEncSignal, *par,
                               [&](const mfxVideoParam& p) { return session->encoder.QueryIOSurf(p, request); });
    });
}

mfxStatus MFX_CDECL MFXVideoENCODE_Init(mfxSession session, mfxVideoParam* par) {
    if (session == nullptr) return MFX_ERR_INVALID_HANDLE;
    if (par == nullptr) return MFX_ERR_NULL_PTR;
    return WithSetupFault(session, FaultPoint::kEncInit, [&] {
        return WithSignalFault(session, FaultPoint::kEncSignal, *par,
                               [&](const mfxVideoParam& p) { return session->encoder.Init(p); });
    });
}

mfxStatus MFX_CDECL MFXVideoENCODE_Close(mfxSession session) {
    if (session == nullptr) return MFX_ERR_INVALID_HANDLE;
    return session->encoder.Close();
}

mfxStatus MFX_CDECL MFXVideoENCODE_GetVideoParam(mfxSession session, mfxVideoParam* par) {
    if (session == nullptr) return MFX_ERR_INVALID_HANDLE;
    return WithSetupFault(session, FaultPoint::kEncGetParam, [&] { return session->encoder.GetVideoParam(par); });
}

mfxStatus MFX_CDECL MFXVideoENCODE_EncodeFrameAsync(mfxSession session, mfxEncodeCtrl* ctrl, mfxFrameSurface1* surface,
                                                    mfxBitstream* bs, mfxSyncPoint* syncp) {
    if (session == nullptr) return MFX_ERR_INVALID_HANDLE;
    if (mfxStatus fault = session->faults.Next(session->knobs.faults, FaultPoint::kEncRun); fault != MFX_ERR_NONE) {
        return fault;
    }
    return session->encoder.EncodeFrameAsync(ctrl, surface, bs, syncp);
}

}  // extern "C"
