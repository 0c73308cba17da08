#include "encode/mfx_dispatch.h"

#include <memory>

#include "encode/mfx_status.h"
#include "encode/runtime_search.h"

namespace tarvo::mfxload {
namespace {

// Binds every function; returns the first required one that is missing, or
// null when all are there.
const char* BindFunctions(IRuntimeLibraries& libraries, void* library, RuntimeFunctions& functions) {
  const char* missing = nullptr;
  // A data pointer from the lookup becomes a function pointer, as
  // GetProcAddress's callers always do.
#define TARVO_MFX_BIND(name) \
  functions.name = reinterpret_cast<decltype(functions.name)>(libraries.Find(library, #name));
#define TARVO_MFX_REQUIRED(name) \
  TARVO_MFX_BIND(name)           \
  if (functions.name == nullptr && missing == nullptr) missing = #name;
  TARVO_MFX_RUNTIME_FUNCTIONS(TARVO_MFX_REQUIRED, TARVO_MFX_BIND)
#undef TARVO_MFX_REQUIRED
#undef TARVO_MFX_BIND
  return missing;
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
                      mfxIMPL impl, mfxVersion* version, mfxSession* session,
                      std::vector<CandidateAttempt>* attempts) {
  if (attempts != nullptr) attempts->clear();
  if (session == nullptr) return MFX_ERR_NULL_PTR;
  if (!AdapterIndexFromImpl(impl)) return MFX_ERR_UNSUPPORTED;

  auto record = [attempts](const std::string& path, CandidateOutcome outcome, mfxStatus status,
                           const char* missing) {
    if (attempts != nullptr) attempts->push_back({path, outcome, status, missing});
  };
  for (const std::string& path : candidates) {
    void* library = libraries.Load(path);
    if (library == nullptr) {
      record(path, CandidateOutcome::kNotLoadable, MFX_ERR_NONE, nullptr);
      continue;
    }
    auto loaded = std::make_unique<LoadedSession>();
    loaded->library = library;
    loaded->libraries = &libraries;
    loaded->path = path;
    if (const char* missing = BindFunctions(libraries, library, loaded->functions)) {
      libraries.Free(library);
      record(path, CandidateOutcome::kMissingFunction, MFX_ERR_NONE, missing);
      continue;
    }
    mfxSession runtimeSession = nullptr;
    const mfxIMPL runtimeImpl = ImplForRuntime(impl, KindOfRuntime(path));
    mfxStatus status = InitRuntime(loaded->functions, runtimeImpl, version, &runtimeSession);
    if (status < MFX_ERR_NONE) {
      libraries.Free(library);
      if (status == MFX_ERR_UNSUPPORTED) {
        record(path, CandidateOutcome::kUnsupported, status, nullptr);
        continue;
      }
      record(path, CandidateOutcome::kFailed, status, nullptr);
      return status;
    }
    record(path, CandidateOutcome::kOpened, status, nullptr);
    loaded->runtimeSession = runtimeSession;
    *session = reinterpret_cast<mfxSession>(loaded.release());
    return status;
  }
  return MFX_ERR_UNSUPPORTED;
}

std::string SearchFailureText(const std::vector<CandidateAttempt>& attempts) {
  bool anyLoaded = false;
  for (const CandidateAttempt& attempt : attempts) {
    if (attempt.outcome == CandidateOutcome::kOpened) return {};
    anyLoaded = anyLoaded || attempt.outcome != CandidateOutcome::kNotLoadable;
  }
  if (attempts.empty()) return {};
  // When nothing loaded, the driver is missing and the places are what
  // matters; otherwise what each library answered tells a refused adapter
  // from a broken install.
  std::string text = anyLoaded ? "No Intel media runtime opened a session; tried: "
                               : "No Intel media runtime found; tried: ";
  for (size_t i = 0; i < attempts.size(); ++i) {
    const CandidateAttempt& attempt = attempts[i];
    if (i != 0) text += ", ";
    text += attempt.path;
    if (!anyLoaded) continue;
    switch (attempt.outcome) {
      case CandidateOutcome::kNotLoadable: text += " (not loadable)"; break;
      case CandidateOutcome::kMissingFunction:
        text += std::string(" (lacks ") + (attempt.missing != nullptr ? attempt.missing : "a function") + ")";
        break;
      case CandidateOutcome::kUnsupported:
      case CandidateOutcome::kFailed: text += " (answered " + MfxStatusText(attempt.status) + ")"; break;
      case CandidateOutcome::kOpened: break;
    }
  }
  return text;
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
