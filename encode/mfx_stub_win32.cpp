// Stand-in for the Windows runtime loader until it exists: no runtime is
// found, so MFXInit refuses and every export is refused cleanly with
// "Invalid encode parameter.". The other entries never see a session.
#include <mfxvideo.h>

extern "C" {

mfxStatus MFX_CDECL MFXInit(mfxIMPL, mfxVersion*, mfxSession* session) {
    if (session != nullptr) *session = nullptr;
    return MFX_ERR_UNSUPPORTED;
}

mfxStatus MFX_CDECL MFXClose(mfxSession) { return MFX_ERR_INVALID_HANDLE; }

mfxStatus MFX_CDECL MFXVideoCORE_SetFrameAllocator(mfxSession, mfxFrameAllocator*) {
    return MFX_ERR_INVALID_HANDLE;
}

mfxStatus MFX_CDECL MFXVideoCORE_SyncOperation(mfxSession, mfxSyncPoint, mfxU32) { return MFX_ERR_INVALID_HANDLE; }

mfxStatus MFX_CDECL MFXVideoVPP_QueryIOSurf(mfxSession, mfxVideoParam*, mfxFrameAllocRequest*) {
    return MFX_ERR_INVALID_HANDLE;
}

mfxStatus MFX_CDECL MFXVideoVPP_Init(mfxSession, mfxVideoParam*) { return MFX_ERR_INVALID_HANDLE; }

mfxStatus MFX_CDECL MFXVideoVPP_RunFrameVPPAsync(mfxSession, mfxFrameSurface1*, mfxFrameSurface1*,
                                                 mfxExtVppAuxData*, mfxSyncPoint*) {
    return MFX_ERR_NOT_INITIALIZED;
}

mfxStatus MFX_CDECL MFXVideoVPP_Close(mfxSession) { return MFX_ERR_NOT_INITIALIZED; }

mfxStatus MFX_CDECL MFXVideoENCODE_QueryIOSurf(mfxSession, mfxVideoParam*, mfxFrameAllocRequest*) {
    return MFX_ERR_INVALID_HANDLE;
}

mfxStatus MFX_CDECL MFXVideoENCODE_Init(mfxSession, mfxVideoParam*) { return MFX_ERR_INVALID_HANDLE; }

mfxStatus MFX_CDECL MFXVideoENCODE_GetVideoParam(mfxSession, mfxVideoParam*) { return MFX_ERR_NOT_INITIALIZED; }

mfxStatus MFX_CDECL MFXVideoENCODE_EncodeFrameAsync(mfxSession, mfxEncodeCtrl*, mfxFrameSurface1*, mfxBitstream*,
                                                    mfxSyncPoint*) {
    return MFX_ERR_NOT_INITIALIZED;
}

mfxStatus MFX_CDECL MFXVideoENCODE_Close(mfxSession) { return MFX_ERR_NOT_INITIALIZED; }

}  // extern "C"
