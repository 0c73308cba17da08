#include "encode/mfx_dispatch.h"

#include <memory>

#include "encode/runtime_search.h"

namespace tarvo::mfxload {
namespace {

// Binds every function; false when a required one is missing.
bool BindFunctions(IRuntimeLibraries& libraries, void* library, RuntimeFunctions& functions) {
  bool complete = true;
  // A data pointer from the lookup becomes a function pointer, as
  // GetProcAddress's callers always do.
#define TARVO_MFX_BIND(name) \
  functions.name = reinterpret_cast<decltype(functions.name)>(libraries.Find(library, #name));
#define TARVO_MFX_REQUIRED(name) \
  TARVO_MFX_BIND(name)           \
  if (functions.name == nullptr) complete = false;
  TARVO_MFX_RUNTIME_FUNCTIONS(TARVO_MFX_REQUIRED, TARVO_MFX_BIND)
#undef TARVO_MFX_REQUIRED
#undef TARVO_MFX_BIND
  return complete;
}

mfxStatus InitRuntime(const RuntimeFunctions& functions, mfxIMPL impl, mfxVersion* version,
                      mfxSession* runtimeSession) {
  if (functions.MFXInitEx != nullptr && version != nullptr) {
    mfxInitParam param{};
    param.Implementation = impl;
    param.Version = *version;
    return functions.MFXInitEx(param, runtimeSession);
  }
  return functions.MFXInit(impl, version, runtimeSession);
}

}  // namespace

mfxStatus OpenSession(const std::vector<std::string>& candidates, IRuntimeLibraries& libraries,
                      mfxIMPL impl, mfxVersion* version, mfxSession* session) {
  if (session == nullptr) return MFX_ERR_NULL_PTR;
  if (!AdapterIndexFromImpl(impl)) return MFX_ERR_UNSUPPORTED;

  for (const std::string& path : candidates) {
    void* library = libraries.Load(path);
    if (library == nullptr) continue;
    auto loaded = std::make_unique<LoadedSession>();
    loaded->library = library;
    loaded->libraries = &libraries;
    if (!BindFunctions(libraries, library, loaded->functions)) {
      libraries.Free(library);
      continue;
    }
    mfxSession runtimeSession = nullptr;
    const mfxIMPL runtimeImpl = ImplForRuntime(impl, KindOfRuntime(path));
    mfxStatus status = InitRuntime(loaded->functions, runtimeImpl, version, &runtimeSession);
    if (status < MFX_ERR_NONE) {
      libraries.Free(library);
      if (status == MFX_ERR_UNSUPPORTED) continue;
      return status;
    }
    loaded->runtimeSession = runtimeSession;
    *session = reinterpret_cast<mfxSession>(loaded.release());
    return status;
  }
  return MFX_ERR_UNSUPPORTED;
}

mfxStatus CloseSession(mfxSession session) {
  LoadedSession* loaded = Unwrap(session);
  if (loaded == nullptr) return MFX_ERR_INVALID_HANDLE;
  mfxStatus status = loaded->functions.MFXClose(loaded->runtimeSession);
  if (status != MFX_ERR_NONE) return status;
  loaded->libraries->Free(loaded->library);
  delete loaded;
  return MFX_ERR_NONE;
}

}  // namespace tarvo::mfxload
