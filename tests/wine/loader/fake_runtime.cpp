// A stand-in runtime for the loader checks, built as libmfxhw32.dll and as
// libmfx32-gen.dll: exports the runtime's functions undecorated and cdecl,
// answers MFXInit and MFXInitEx for API version 1.x only, and answers every
// forwarded call with a status that tells whether it got its own session.
// FakeRuntimeLastImpl reports the implementation value it was given. Named
// like the VPL GPU runtime, it behaves like it: no Direct3D 9 (nor a value
// without an interface, which means Direct3D 9 on Windows), version 1.255.
#include <windows.h>

#include <mfxvideo.h>

#include <cstring>

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

namespace {
bool IsVplRuntime() {
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&IsVplRuntime), &self);
  char path[MAX_PATH] = {};
  GetModuleFileNameA(self, path, MAX_PATH);
  return std::strstr(path, "-gen.dll") != nullptr;
}
}  // namespace

FAKE_EXPORT mfxStatus MFX_CDECL MFXInit(mfxIMPL impl, mfxVersion* ver, mfxSession* session) {
  g_lastImpl = impl;
  if (ver != nullptr && ver->Major != 1) return MFX_ERR_UNSUPPORTED;
  const mfxIMPL via = impl & 0x0F00;
  if (IsVplRuntime() && (via == 0 || via == MFX_IMPL_VIA_D3D9)) return MFX_ERR_UNSUPPORTED;
  ++g_openSessions;
  *session = reinterpret_cast<mfxSession>(&g_session);
  return MFX_ERR_NONE;
}
FAKE_EXPORT mfxStatus MFX_CDECL MFXInitEx(mfxInitParam par, mfxSession* session) {
  return MFXInit(par.Implementation, &par.Version, session);
}
FAKE_EXPORT mfxStatus MFX_CDECL MFXQueryVersion(mfxSession session, mfxVersion* version) {
  if (Check(session) < 0) return MFX_ERR_INVALID_HANDLE;
  version->Major = 1;
  version->Minor = IsVplRuntime() ? 255 : 35;
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
