// The portable core of the Windows build's runtime loader: tries runtime
// libraries in order, binds the functions the plug-in calls, and wraps the
// runtime's session so that every later call reaches that runtime with its
// own session. The Win32 side supplies the library operations and the list of
// candidates; the native tests supply fakes.
#pragma once
#include <mfxvideo.h>

#include <string>
#include <vector>

namespace tarvo::mfxload {

// Every runtime function the loader forwards: REQUIRED ones must be exported
// by a runtime for it to be used; OPTIONAL ones answer MFX_ERR_UNSUPPORTED
// when the runtime lacks them.
#define TARVO_MFX_RUNTIME_FUNCTIONS(REQUIRED, OPTIONAL) \
  REQUIRED(MFXInit)                                     \
  OPTIONAL(MFXInitEx)                                   \
  REQUIRED(MFXClose)                                    \
  OPTIONAL(MFXQueryIMPL)                                \
  OPTIONAL(MFXQueryVersion)                             \
  REQUIRED(MFXVideoCORE_SetFrameAllocator)              \
  REQUIRED(MFXVideoCORE_SyncOperation)                  \
  OPTIONAL(MFXVideoVPP_Query)                           \
  REQUIRED(MFXVideoVPP_QueryIOSurf)                     \
  REQUIRED(MFXVideoVPP_Init)                            \
  OPTIONAL(MFXVideoVPP_GetVideoParam)                   \
  REQUIRED(MFXVideoVPP_RunFrameVPPAsync)                \
  REQUIRED(MFXVideoVPP_Close)                           \
  OPTIONAL(MFXVideoENCODE_Query)                        \
  REQUIRED(MFXVideoENCODE_QueryIOSurf)                  \
  REQUIRED(MFXVideoENCODE_Init)                         \
  OPTIONAL(MFXVideoENCODE_Reset)                        \
  REQUIRED(MFXVideoENCODE_GetVideoParam)                \
  REQUIRED(MFXVideoENCODE_EncodeFrameAsync)             \
  REQUIRED(MFXVideoENCODE_Close)

// The bound functions of one runtime, typed as the SDK declares them (cdecl).
struct RuntimeFunctions {
#define TARVO_MFX_MEMBER(name) decltype(&::name) name = nullptr;
  TARVO_MFX_RUNTIME_FUNCTIONS(TARVO_MFX_MEMBER, TARVO_MFX_MEMBER)
#undef TARVO_MFX_MEMBER
};

// How runtime libraries are opened: LoadLibraryExA, GetProcAddress and
// FreeLibrary on Windows, fakes in tests. Used on the caller's thread only.
class IRuntimeLibraries {
 public:
  virtual ~IRuntimeLibraries() = default;
  // The library at exactly this full path, or null when it cannot be loaded.
  virtual void* Load(const std::string& path) = 0;
  // An exported function, or null.
  virtual void* Find(void* library, const char* name) = 0;
  virtual void Free(void* library) = 0;
};

// One open session as the plug-in sees it. Created by OpenSession, deleted
// by CloseSession; read-only in between, so the encode worker and the host
// thread may forward calls through it at the same time.
struct LoadedSession {
  RuntimeFunctions functions;
  mfxSession runtimeSession = nullptr;  // the runtime's own session
  void* library = nullptr;              // freed after the runtime closed the session
  IRuntimeLibraries* libraries = nullptr;
  std::string path;                     // the candidate the library was loaded from
};

// Where one candidate of a search ended.
enum class CandidateOutcome {
  kNotLoadable,      // absent, or the system would not load it
  kMissingFunction,  // loaded, but lacks a required function (`missing`)
  kUnsupported,      // its MFXInit answered MFX_ERR_UNSUPPORTED: on to the next
  kFailed,           // its MFXInit answered another error (`status`): the search ends
  kOpened,           // it opened the session (`status` is MFX_ERR_NONE or a warning)
};

struct CandidateAttempt {
  std::string path;
  CandidateOutcome outcome = CandidateOutcome::kNotLoadable;
  mfxStatus status = MFX_ERR_NONE;
  const char* missing = nullptr;  // the first required function it lacks
};

// What a user reads when a search opened nothing: one line naming every
// candidate tried, and for each how it ended unless none of them loaded
// ("No Intel media runtime found; tried: A, B"). Empty when the search
// opened a session or tried no candidate.
std::string SearchFailureText(const std::vector<CandidateAttempt>& attempts);

// Opens a session for `impl` on the first candidate that serves it. Only the
// hardware values (MFX_IMPL_HARDWARE to MFX_IMPL_HARDWARE4, with any VIA bits)
// are served; anything else is MFX_ERR_UNSUPPORTED before a library is
// touched. A candidate that cannot be loaded, lacks a required function or
// answers MFX_ERR_UNSUPPORTED (an API version it cannot serve, an adapter it
// does not drive) is freed and the next one is tried; any other error is
// returned as it is, after freeing that library. The runtime's MFXInitEx gets
// the implementation and version when it exports one, else its MFXInit does;
// the implementation is ImplForRuntime's for the candidate's kind (a VPL
// runtime gets Direct3D 11 unless `impl` names an interface). Whatever API
// version the runtime then reports (the VPL runtime's 1.255) is accepted.
// A success or a warning stores the wrapped session into *session; with no
// candidate left the result is MFX_ERR_UNSUPPORTED. `attempts`, when given,
// is replaced by the candidates tried, in order, each with where it ended.
mfxStatus OpenSession(const std::vector<std::string>& candidates, IRuntimeLibraries& libraries,
                      mfxIMPL impl, mfxVersion* version, mfxSession* session,
                      std::vector<CandidateAttempt>* attempts = nullptr);

// Closes the runtime's session. When the runtime confirms, its library is
// freed and the handle is gone; when it refuses, the session stays open and
// the library loaded (its threads may still be running), and the error is
// returned.
mfxStatus CloseSession(mfxSession session);

// The wrapper behind a handle from OpenSession (null for null).
inline LoadedSession* Unwrap(mfxSession session) { return reinterpret_cast<LoadedSession*>(session); }

// Forwards one call to the session's runtime with the runtime's own session.
template <typename Member, typename... Args>
mfxStatus Forward(mfxSession session, Member RuntimeFunctions::*function, Args... args) {
  LoadedSession* loaded = Unwrap(session);
  if (loaded == nullptr) return MFX_ERR_INVALID_HANDLE;
  Member target = loaded->functions.*function;
  if (target == nullptr) return MFX_ERR_UNSUPPORTED;
  return target(loaded->runtimeSession, args...);
}

}  // namespace tarvo::mfxload
