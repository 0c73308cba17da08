#include "tests/encode/mfx_recorder.h"

#include "platform/file.h"
#include "platform/sync.h"

namespace tarvo_test {
namespace {

std::mutex& Guard() {
    static std::mutex guard;
    return guard;
}
MfxCalls& Calls() {
    static MfxCalls calls;
    return calls;
}

}  // namespace

MfxCalls RecordedCalls() {
    std::lock_guard<std::mutex> hold(Guard());
    return Calls();
}

void ResetRecordedCalls() {
    std::lock_guard<std::mutex> hold(Guard());
    Calls() = MfxCalls{};
}

}  // namespace tarvo_test

using tarvo_test::Calls;
using tarvo_test::Guard;

extern "C" {

mfxStatus __real_MFXInit(mfxIMPL impl, mfxVersion* version, mfxSession* session);
mfxStatus __real_MFXClose(mfxSession session);
mfxStatus __real_MFXVideoVPP_Close(mfxSession session);
mfxStatus __real_MFXVideoENCODE_Close(mfxSession session);
mfxStatus __real_MFXVideoVPP_RunFrameVPPAsync(mfxSession session, mfxFrameSurface1* in, mfxFrameSurface1* out,
                                              mfxExtVppAuxData* aux, mfxSyncPoint* syncp);
mfxStatus __real_MFXVideoENCODE_EncodeFrameAsync(mfxSession session, mfxEncodeCtrl* ctrl, mfxFrameSurface1* surface,
                                                 mfxBitstream* bs, mfxSyncPoint* syncp);
// platform::StartThread and platform::OpenFileForWrite.
void* __real__ZN8platform11StartThreadEPFjPvES0_(platform::ThreadFunction function, void* argument);
void* __real__ZN8platform16OpenFileForWriteEPKc(const char* path);

mfxStatus __wrap_MFXInit(mfxIMPL impl, mfxVersion* version, mfxSession* session) {
    {
        std::lock_guard<std::mutex> hold(Guard());
        ++Calls().init;
    }
    return __real_MFXInit(impl, version, session);
}

mfxStatus __wrap_MFXClose(mfxSession session) {
    {
        std::lock_guard<std::mutex> hold(Guard());
        ++Calls().close;
    }
    return __real_MFXClose(session);
}

mfxStatus __wrap_MFXVideoVPP_Close(mfxSession session) {
    {
        std::lock_guard<std::mutex> hold(Guard());
        ++Calls().vppClose;
    }
    return __real_MFXVideoVPP_Close(session);
}

mfxStatus __wrap_MFXVideoENCODE_Close(mfxSession session) {
    {
        std::lock_guard<std::mutex> hold(Guard());
        ++Calls().encodeClose;
    }
    return __real_MFXVideoENCODE_Close(session);
}

mfxStatus __wrap_MFXVideoVPP_RunFrameVPPAsync(mfxSession session, mfxFrameSurface1* in, mfxFrameSurface1* out,
                                              mfxExtVppAuxData* aux, mfxSyncPoint* syncp) {
    const mfxStatus status = __real_MFXVideoVPP_RunFrameVPPAsync(session, in, out, aux, syncp);
    std::lock_guard<std::mutex> hold(Guard());
    Calls().vpp.push_back({in, out, status});
    return status;
}

mfxStatus __wrap_MFXVideoENCODE_EncodeFrameAsync(mfxSession session, mfxEncodeCtrl* ctrl, mfxFrameSurface1* surface,
                                                 mfxBitstream* bs, mfxSyncPoint* syncp) {
    const mfxU64 stamp = surface != nullptr ? surface->Data.TimeStamp : 0;
    const mfxStatus status = __real_MFXVideoENCODE_EncodeFrameAsync(session, ctrl, surface, bs, syncp);
    std::lock_guard<std::mutex> hold(Guard());
    Calls().encode.push_back({surface, stamp, status});
    return status;
}

void* __wrap__ZN8platform11StartThreadEPFjPvES0_(platform::ThreadFunction function, void* argument) {
    {
        std::lock_guard<std::mutex> hold(Guard());
        ++Calls().threadsStarted;
    }
    return __real__ZN8platform11StartThreadEPFjPvES0_(function, argument);
}

void* __wrap__ZN8platform16OpenFileForWriteEPKc(const char* path) {
    {
        std::lock_guard<std::mutex> hold(Guard());
        ++Calls().filesOpened;
    }
    return __real__ZN8platform16OpenFileForWriteEPKc(path);
}

}  // extern "C"
