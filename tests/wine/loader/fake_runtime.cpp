// A stand-in libmfxhw32.dll for the loader checks: exports the runtime's
// functions undecorated and cdecl, answers MFXInit for API version 1.x only,
// and answers every forwarded call with a status that tells whether it got
// its own session. FakeRuntimeLastImpl reports what MFXInit was given.
#include <mfxvideo.h>

namespace {
struct FakeSession {
  unsigned magic = 0x4b414646;  // "FFAK"
};
FakeSession g_session;
mfxIMPL g_lastImpl = 0;
int g_openSessions = 0;

mfxStatus Check(mfxSession session) {
  return reinterpret_cast<FakeSession*>(session) == &g_session ? MFX_WRN_VALUE_NOT_CHANGED
                                                               : MFX_ERR_INVALID_HANDLE;
}
}  // namespace

#define FAKE_EXPORT extern "C" __declspec(dllexport)

FAKE_EXPORT mfxIMPL FakeRuntimeLastImpl() { return g_lastImpl; }
FAKE_EXPORT int FakeRuntimeOpenSessions() { return g_openSessions; }

FAKE_EXPORT mfxStatus MFX_CDECL MFXInit(mfxIMPL impl, mfxVersion* ver, mfxSession* session) {
  g_lastImpl = impl;
  if (ver != nullptr && ver->Major != 1) return MFX_ERR_UNSUPPORTED;
  ++g_openSessions;
  *session = reinterpret_cast<mfxSession>(&g_session);
  return MFX_ERR_NONE;
}
FAKE_EXPORT mfxStatus MFX_CDECL MFXClose(mfxSession session) {
  if (Check(session) < 0) return MFX_ERR_INVALID_HANDLE;
  --g_openSessions;
  return MFX_ERR_NONE;
}
FAKE_EXPORT mfxStatus MFX_CDECL MFXVideoCORE_SetFrameAllocator(mfxSession s, mfxFrameAllocator*) { return Check(s); }
FAKE_EXPORT mfxStatus MFX_CDECL MFXVideoCORE_SyncOperation(mfxSession s, mfxSyncPoint, mfxU32) { return Check(s); }
FAKE_EXPORT mfxStatus MFX_CDECL MFXVideoVPP_QueryIOSurf(mfxSession s, mfxVideoParam*, mfxFrameAllocRequest*) {
  return Check(s);
}
FAKE_EXPORT mfxStatus MFX_CDECL MFXVideoVPP_Init(mfxSession s, mfxVideoParam*) { return Check(s); }
FAKE_EXPORT mfxStatus MFX_CDECL MFXVideoVPP_RunFrameVPPAsync(mfxSession s, mfxFrameSurface1*, mfxFrameSurface1*,
                                                             mfxExtVppAuxData*, mfxSyncPoint*) {
  return Check(s);
}
FAKE_EXPORT mfxStatus MFX_CDECL MFXVideoVPP_Close(mfxSession s) { return Check(s); }
FAKE_EXPORT mfxStatus MFX_CDECL MFXVideoENCODE_QueryIOSurf(mfxSession s, mfxVideoParam*, mfxFrameAllocRequest*) {
  return Check(s);
}
FAKE_EXPORT mfxStatus MFX_CDECL MFXVideoENCODE_Init(mfxSession s, mfxVideoParam*) { return Check(s); }
FAKE_EXPORT mfxStatus MFX_CDECL MFXVideoENCODE_GetVideoParam(mfxSession s, mfxVideoParam*) { return Check(s); }
FAKE_EXPORT mfxStatus MFX_CDECL MFXVideoENCODE_EncodeFrameAsync(mfxSession s, mfxEncodeCtrl*, mfxFrameSurface1*,
                                                                mfxBitstream*, mfxSyncPoint*) {
  return Check(s);
}
FAKE_EXPORT mfxStatus MFX_CDECL MFXVideoENCODE_Close(mfxSession s) { return Check(s); }
