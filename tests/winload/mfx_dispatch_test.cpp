#include "encode/mfx_dispatch.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace tarvo::mfxload {
namespace {

// A stand-in runtime library: which functions it exports, what its MFXInit
// answers, and every call that reached it, with the session it was given.
struct FakeRuntime {
  bool loadable = true;
  bool exportsInitEx = false;
  std::vector<std::string> missing;  // functions it does not export
  mfxStatus initResult = MFX_ERR_NONE;
  std::map<std::string, mfxStatus> results;  // per forwarded function
  // Observed:
  std::vector<std::string> calls;
  mfxIMPL initImpl = 0;
  bool initVersionGiven = false;
  mfxVersion initVersion{};
};

constexpr int kRuntimes = 4;
FakeRuntime g_runtimes[kRuntimes];

FakeRuntime* RuntimeOf(mfxSession session) { return reinterpret_cast<FakeRuntime*>(session); }

template <int N>
mfxStatus FakeInit(mfxIMPL impl, mfxVersion* version, mfxSession* session) {
  FakeRuntime& runtime = g_runtimes[N];
  runtime.calls.push_back("MFXInit");
  runtime.initImpl = impl;
  runtime.initVersionGiven = version != nullptr;
  if (version != nullptr) runtime.initVersion = *version;
  if (runtime.initResult >= MFX_ERR_NONE) *session = reinterpret_cast<mfxSession>(&runtime);
  return runtime.initResult;
}

template <int N>
mfxStatus FakeInitEx(mfxInitParam param, mfxSession* session) {
  FakeRuntime& runtime = g_runtimes[N];
  runtime.calls.push_back("MFXInitEx");
  runtime.initImpl = param.Implementation;
  runtime.initVersionGiven = true;
  runtime.initVersion = param.Version;
  if (runtime.initResult >= MFX_ERR_NONE) *session = reinterpret_cast<mfxSession>(&runtime);
  return runtime.initResult;
}

// Every forwarded function records its name on the runtime whose session it
// received and answers that runtime's configured result.
template <const char* Name, typename Function>
struct Recorder;
template <const char* Name, typename... Args>
struct Recorder<Name, mfxStatus (*)(mfxSession, Args...)> {
  static mfxStatus Call(mfxSession session, Args...) {
    FakeRuntime* runtime = RuntimeOf(session);
    runtime->calls.push_back(Name);
    auto result = runtime->results.find(Name);
    return result == runtime->results.end() ? MFX_ERR_NONE : result->second;
  }
};

#define NAME_CONSTANT(name) constexpr char kName_##name[] = #name;
TARVO_MFX_RUNTIME_FUNCTIONS(NAME_CONSTANT, NAME_CONSTANT)
#undef NAME_CONSTANT

template <int N>
void* Export(const std::string& name) {
  if (name == "MFXInit") return reinterpret_cast<void*>(&FakeInit<N>);
  if (name == "MFXInitEx") return g_runtimes[N].exportsInitEx ? reinterpret_cast<void*>(&FakeInitEx<N>) : nullptr;
#define EXPORT_RECORDER(fn) \
  if (name == #fn) return reinterpret_cast<void*>(&Recorder<kName_##fn, decltype(&::fn)>::Call);
  // MFXInit and MFXInitEx are handled above; every other one records.
  EXPORT_RECORDER(MFXClose)
  EXPORT_RECORDER(MFXQueryIMPL)
  EXPORT_RECORDER(MFXQueryVersion)
  EXPORT_RECORDER(MFXVideoCORE_SetFrameAllocator)
  EXPORT_RECORDER(MFXVideoCORE_SyncOperation)
  EXPORT_RECORDER(MFXVideoVPP_Query)
  EXPORT_RECORDER(MFXVideoVPP_QueryIOSurf)
  EXPORT_RECORDER(MFXVideoVPP_Init)
  EXPORT_RECORDER(MFXVideoVPP_GetVideoParam)
  EXPORT_RECORDER(MFXVideoVPP_RunFrameVPPAsync)
  EXPORT_RECORDER(MFXVideoVPP_Close)
  EXPORT_RECORDER(MFXVideoENCODE_Query)
  EXPORT_RECORDER(MFXVideoENCODE_QueryIOSurf)
  EXPORT_RECORDER(MFXVideoENCODE_Init)
  EXPORT_RECORDER(MFXVideoENCODE_Reset)
  EXPORT_RECORDER(MFXVideoENCODE_GetVideoParam)
  EXPORT_RECORDER(MFXVideoENCODE_EncodeFrameAsync)
  EXPORT_RECORDER(MFXVideoENCODE_Close)
#undef EXPORT_RECORDER
  return nullptr;
}

// Candidate "rt<N>" is fake runtime N, and so is "rt<N>-gen.dll", which the
// loader takes for a VPL runtime; any other path does not load.
class FakeLibraries : public IRuntimeLibraries {
 public:
  void* Load(const std::string& path) override {
    loads.push_back(path);
    for (int i = 0; i < kRuntimes; ++i) {
      const std::string name = "rt" + std::to_string(i);
      if ((path == name || path == name + "-gen.dll") && g_runtimes[i].loadable) {
        ++open[i];
        return &g_runtimes[i];
      }
    }
    return nullptr;
  }
  void* Find(void* library, const char* name) override {
    int index = static_cast<int>(static_cast<FakeRuntime*>(library) - g_runtimes);
    for (const std::string& missing : g_runtimes[index].missing) {
      if (missing == name) return nullptr;
    }
    switch (index) {
      case 0: return Export<0>(name);
      case 1: return Export<1>(name);
      case 2: return Export<2>(name);
      default: return Export<3>(name);
    }
  }
  void Free(void* library) override {
    int index = static_cast<int>(static_cast<FakeRuntime*>(library) - g_runtimes);
    EXPECT_GT(open[index], 0) << "freed more often than loaded: rt" << index;
    --open[index];
  }

  std::vector<std::string> loads;
  int open[kRuntimes] = {};
};

class MfxDispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    for (FakeRuntime& runtime : g_runtimes) runtime = FakeRuntime{};
  }
  void TearDown() override {
    for (int i = 0; i < kRuntimes; ++i) EXPECT_EQ(libraries.open[i], 0) << "rt" << i << " left loaded";
  }
  FakeLibraries libraries;
  mfxVersion version{{1, 1}};
  mfxSession session = nullptr;
};

TEST_F(MfxDispatch, OnlyHardwareValuesAreServed) {
  for (mfxIMPL impl : std::initializer_list<mfxIMPL>{MFX_IMPL_SOFTWARE, MFX_IMPL_AUTO, MFX_IMPL_AUTO_ANY, MFX_IMPL_HARDWARE_ANY}) {
    EXPECT_EQ(OpenSession({"rt0"}, libraries, impl, &version, &session), MFX_ERR_UNSUPPORTED) << impl;
  }
  EXPECT_TRUE(libraries.loads.empty());
  EXPECT_EQ(session, nullptr);
  EXPECT_EQ(OpenSession({"rt0"}, libraries, MFX_IMPL_HARDWARE, &version, nullptr), MFX_ERR_NULL_PTR);
  EXPECT_EQ(OpenSession({}, libraries, MFX_IMPL_HARDWARE, &version, &session), MFX_ERR_UNSUPPORTED);
}

TEST_F(MfxDispatch, UnusableCandidatesAreSkippedInOrder) {
  g_runtimes[0].missing = {"MFXVideoENCODE_EncodeFrameAsync"};  // incomplete
  g_runtimes[1].initResult = MFX_ERR_UNSUPPORTED;               // refuses the version
  g_runtimes[3].initResult = MFX_ERR_UNSUPPORTED;
  mfxIMPL impl = MFX_IMPL_HARDWARE2 | MFX_IMPL_VIA_D3D11;
  EXPECT_EQ(OpenSession({"missing.dll", "rt0", "rt1", "rt2", "rt3"}, libraries, impl, &version, &session),
            MFX_ERR_NONE);
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(libraries.loads, (std::vector<std::string>{"missing.dll", "rt0", "rt1", "rt2"}));
  EXPECT_TRUE(g_runtimes[0].calls.empty());
  EXPECT_EQ(g_runtimes[1].calls, std::vector<std::string>{"MFXInit"});
  // The runtime gets the exact value and version.
  EXPECT_EQ(g_runtimes[2].initImpl, impl);
  EXPECT_EQ(g_runtimes[2].initVersion.Major, 1);
  EXPECT_EQ(g_runtimes[2].initVersion.Minor, 1);
  EXPECT_EQ(libraries.open[2], 1);
  EXPECT_EQ(CloseSession(session), MFX_ERR_NONE);
}

TEST_F(MfxDispatch, NothingServesTheValue) {
  g_runtimes[0].initResult = MFX_ERR_UNSUPPORTED;
  g_runtimes[1].missing = {"MFXClose"};
  EXPECT_EQ(OpenSession({"rt0", "rt1", "nowhere"}, libraries, MFX_IMPL_HARDWARE4, &version, &session),
            MFX_ERR_UNSUPPORTED);
  EXPECT_EQ(session, nullptr);
  EXPECT_EQ(libraries.loads.size(), 3u);
}

TEST_F(MfxDispatch, AnotherErrorEndsTheSearch) {
  g_runtimes[0].initResult = MFX_ERR_MEMORY_ALLOC;
  EXPECT_EQ(OpenSession({"rt0", "rt1"}, libraries, MFX_IMPL_HARDWARE, &version, &session),
            MFX_ERR_MEMORY_ALLOC);
  EXPECT_EQ(session, nullptr);
  EXPECT_EQ(libraries.loads, std::vector<std::string>{"rt0"});
}

TEST_F(MfxDispatch, InitExIsUsedWhereExportedAndAWarningKeepsTheSession) {
  g_runtimes[0].exportsInitEx = true;
  g_runtimes[0].initResult = MFX_WRN_PARTIAL_ACCELERATION;
  EXPECT_EQ(OpenSession({"rt0"}, libraries, MFX_IMPL_HARDWARE3, &version, &session),
            MFX_WRN_PARTIAL_ACCELERATION);
  EXPECT_EQ(g_runtimes[0].calls, std::vector<std::string>{"MFXInitEx"});
  EXPECT_EQ(g_runtimes[0].initImpl, mfxIMPL{MFX_IMPL_HARDWARE3});
  EXPECT_EQ(g_runtimes[0].initVersion.Version, version.Version);
  ASSERT_EQ(CloseSession(session), MFX_ERR_NONE);

  // Without a version to hand over, the plain MFXInit decides on its own.
  g_runtimes[0].calls.clear();
  session = nullptr;
  EXPECT_EQ(OpenSession({"rt0"}, libraries, MFX_IMPL_HARDWARE, nullptr, &session),
            MFX_WRN_PARTIAL_ACCELERATION);
  EXPECT_EQ(g_runtimes[0].calls, std::vector<std::string>{"MFXInit"});
  EXPECT_FALSE(g_runtimes[0].initVersionGiven);
  ASSERT_EQ(CloseSession(session), MFX_ERR_NONE);
}

TEST_F(MfxDispatch, AVplRuntimeGetsDirect3D11UnlessAnInterfaceIsNamed) {
  struct Case {
    mfxIMPL impl;
    mfxIMPL vplGets;  // the Media SDK runtime after it always gets `impl`
  };
  const Case cases[] = {
      {MFX_IMPL_HARDWARE, MFX_IMPL_HARDWARE | MFX_IMPL_VIA_D3D11},
      {MFX_IMPL_HARDWARE4, MFX_IMPL_HARDWARE4 | MFX_IMPL_VIA_D3D11},
      {MFX_IMPL_HARDWARE2 | MFX_IMPL_VIA_D3D11, MFX_IMPL_HARDWARE2 | MFX_IMPL_VIA_D3D11},
      {MFX_IMPL_HARDWARE | MFX_IMPL_VIA_D3D9, MFX_IMPL_HARDWARE | MFX_IMPL_VIA_D3D9},
  };
  g_runtimes[0].exportsInitEx = true;
  g_runtimes[0].initResult = MFX_ERR_UNSUPPORTED;  // an adapter it does not drive: on to the next
  g_runtimes[1].exportsInitEx = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.impl);
    session = nullptr;
    ASSERT_EQ(OpenSession({"rt0-gen.dll", "rt1"}, libraries, c.impl, &version, &session), MFX_ERR_NONE);
    EXPECT_EQ(g_runtimes[0].calls.back(), "MFXInitEx");
    EXPECT_EQ(g_runtimes[0].initImpl, c.vplGets);
    EXPECT_EQ(g_runtimes[0].initVersion.Version, version.Version);
    EXPECT_EQ(g_runtimes[1].initImpl, c.impl);
    ASSERT_EQ(CloseSession(session), MFX_ERR_NONE);
  }
}

TEST_F(MfxDispatch, CallsReachTheLoadedRuntimeWithItsOwnSession) {
  g_runtimes[0].initResult = MFX_ERR_UNSUPPORTED;
  g_runtimes[1].missing = {"MFXVideoENCODE_Reset", "MFXQueryIMPL"};
  g_runtimes[1].results["MFXVideoCORE_SyncOperation"] = MFX_WRN_IN_EXECUTION;
  ASSERT_EQ(OpenSession({"rt0", "rt1"}, libraries, MFX_IMPL_HARDWARE, &version, &session), MFX_ERR_NONE);

  mfxVideoParam param{};
  mfxFrameAllocRequest requests[2]{};
  mfxFrameSurface1 in{}, out{};
  mfxBitstream bitstream{};
  mfxSyncPoint sync = nullptr;
  mfxFrameAllocator allocator{};
  EXPECT_EQ(Forward(session, &RuntimeFunctions::MFXVideoCORE_SetFrameAllocator, &allocator), MFX_ERR_NONE);
  EXPECT_EQ(Forward(session, &RuntimeFunctions::MFXVideoVPP_QueryIOSurf, &param, requests), MFX_ERR_NONE);
  EXPECT_EQ(Forward(session, &RuntimeFunctions::MFXVideoVPP_RunFrameVPPAsync, &in, &out,
                    static_cast<mfxExtVppAuxData*>(nullptr), &sync),
            MFX_ERR_NONE);
  EXPECT_EQ(Forward(session, &RuntimeFunctions::MFXVideoENCODE_EncodeFrameAsync,
                    static_cast<mfxEncodeCtrl*>(nullptr), &out, &bitstream, &sync),
            MFX_ERR_NONE);
  EXPECT_EQ(Forward(session, &RuntimeFunctions::MFXVideoCORE_SyncOperation, sync, mfxU32{0}),
            MFX_WRN_IN_EXECUTION);
  // What the runtime lacks is unsupported, not a crash.
  EXPECT_EQ(Forward(session, &RuntimeFunctions::MFXVideoENCODE_Reset, &param), MFX_ERR_UNSUPPORTED);
  mfxIMPL impl = 0;
  EXPECT_EQ(Forward(session, &RuntimeFunctions::MFXQueryIMPL, &impl), MFX_ERR_UNSUPPORTED);
  EXPECT_EQ(Forward(nullptr, &RuntimeFunctions::MFXVideoENCODE_Init, &param), MFX_ERR_INVALID_HANDLE);

  EXPECT_EQ(g_runtimes[1].calls,
            (std::vector<std::string>{"MFXInit", "MFXVideoCORE_SetFrameAllocator", "MFXVideoVPP_QueryIOSurf",
                                      "MFXVideoVPP_RunFrameVPPAsync", "MFXVideoENCODE_EncodeFrameAsync",
                                      "MFXVideoCORE_SyncOperation"}));
  EXPECT_EQ(g_runtimes[0].calls, std::vector<std::string>{"MFXInit"});
  EXPECT_EQ(CloseSession(session), MFX_ERR_NONE);
  EXPECT_EQ(g_runtimes[1].calls.back(), "MFXClose");
}

// What each candidate came to, and the line a user reads when none opened.
TEST_F(MfxDispatch, TheSearchIsReportedCandidateByCandidate) {
  using O = CandidateOutcome;
  struct Case {
    const char* name;
    void (*setUp)();
    mfxStatus result;
    std::vector<std::pair<std::string, O>> attempts;
    const char* text;
    bool endsEarly;  // a later candidate must not be tried
  };
  const Case cases[] = {
      {"nothing installed", [] {}, MFX_ERR_UNSUPPORTED,
       {{"C:\\a\\libmfx32-gen.dll", O::kNotLoadable}, {"C:\\b\\libmfxhw32.dll", O::kNotLoadable}},
       "No Intel media runtime found; tried: C:\\a\\libmfx32-gen.dll, C:\\b\\libmfxhw32.dll", false},
      {"every runtime refuses",
       [] {
         g_runtimes[0].initResult = MFX_ERR_UNSUPPORTED;
         g_runtimes[1].missing = {"MFXVideoENCODE_Init", "MFXClose"};
       },
       MFX_ERR_UNSUPPORTED,
       {{"rt0-gen.dll", O::kUnsupported}, {"C:\\b\\libmfxhw32.dll", O::kNotLoadable}, {"rt1", O::kMissingFunction}},
       "No Intel media runtime opened a session; tried: rt0-gen.dll (answered MFX_ERR_UNSUPPORTED), "
       "C:\\b\\libmfxhw32.dll (not loadable), rt1 (lacks MFXClose)", false},
      {"another error ends the search", [] { g_runtimes[0].initResult = MFX_ERR_DEVICE_FAILED; },
       MFX_ERR_DEVICE_FAILED, {{"rt0-gen.dll", O::kFailed}},
       "No Intel media runtime opened a session; tried: rt0-gen.dll (answered MFX_ERR_DEVICE_FAILED)", true},
      {"the second opens", [] { g_runtimes[0].initResult = MFX_ERR_UNSUPPORTED; }, MFX_ERR_NONE,
       {{"rt0-gen.dll", O::kUnsupported}, {"C:\\b\\libmfxhw32.dll", O::kNotLoadable}, {"rt1", O::kOpened}}, "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    c.setUp();
    std::vector<std::string> candidates;
    for (const auto& attempt : c.attempts) candidates.push_back(attempt.first);
    if (c.endsEarly) candidates.push_back("rt2");
    std::vector<CandidateAttempt> attempts = {{"stale", O::kOpened}};
    session = nullptr;
    EXPECT_EQ(OpenSession(candidates, libraries, MFX_IMPL_HARDWARE, &version, &session, &attempts), c.result);
    ASSERT_EQ(attempts.size(), c.attempts.size());
    for (size_t i = 0; i < attempts.size(); ++i) {
      EXPECT_EQ(attempts[i].path, c.attempts[i].first);
      EXPECT_EQ(attempts[i].outcome, c.attempts[i].second) << i;
    }
    EXPECT_EQ(SearchFailureText(attempts), c.text);
    if (session != nullptr) {
      // The session knows the file it came from.
      EXPECT_EQ(Unwrap(session)->path, c.attempts.back().first);
      ASSERT_EQ(CloseSession(session), MFX_ERR_NONE);
    }
  }
}

TEST_F(MfxDispatch, TheLibraryStaysUntilTheRuntimeHasClosedItsSession) {
  ASSERT_EQ(OpenSession({"rt0"}, libraries, MFX_IMPL_HARDWARE, &version, &session), MFX_ERR_NONE);
  g_runtimes[0].results["MFXClose"] = MFX_ERR_UNDEFINED_BEHAVIOR;
  EXPECT_EQ(CloseSession(session), MFX_ERR_UNDEFINED_BEHAVIOR);
  EXPECT_EQ(libraries.open[0], 1);
  // The session is still usable, and a later close that succeeds frees it.
  mfxVideoParam param{};
  EXPECT_EQ(Forward(session, &RuntimeFunctions::MFXVideoENCODE_GetVideoParam, &param), MFX_ERR_NONE);
  g_runtimes[0].results.erase("MFXClose");
  EXPECT_EQ(CloseSession(session), MFX_ERR_NONE);
  EXPECT_EQ(libraries.open[0], 0);
  EXPECT_EQ(CloseSession(nullptr), MFX_ERR_INVALID_HANDLE);
}

}  // namespace
}  // namespace tarvo::mfxload
