// Checks the Windows build's runtime loader against stand-in runtime DLLs
// beside this program, one named like the VPL GPU runtime (libmfx32-gen.dll)
// and one like the Media SDK runtime (libmfxhw32.dll): the VPL one is tried
// first and gets Direct3D 11 added to a value without an interface, the
// Media SDK one gets the exact value, calls reach the runtime with its own
// session, a library is freed after MFXClose or a refusal, and nothing is
// ever loaded from the current folder.
//
// "loader_check.exe" runs every check; "loader_check.exe --alone" is the
// copy of itself it starts from a folder without a runtime, with the current
// folder set to the one that has them.
#include <windows.h>

#include <mfxvideo.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int g_passed = 0;
int g_failed = 0;

void Expect(bool ok, const char* what, long detail = 0) {
  if (ok) {
    ++g_passed;
  } else {
    ++g_failed;
    std::printf("FAILED: %s (%ld)\n", what, detail);
  }
}

std::string ProgramFolder() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of('\\'));
}

constexpr char kVpl[] = "libmfx32-gen.dll";
constexpr char kMsdk[] = "libmfxhw32.dll";

bool Loaded(const char* runtime) { return GetModuleHandleA(runtime) != nullptr; }
bool RuntimeLoaded() { return Loaded(kVpl) || Loaded(kMsdk); }

template <typename Function>
Function RuntimeExport(const char* runtime, const char* name) {
  HMODULE module = GetModuleHandleA(runtime);
  return module == nullptr ? nullptr : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

mfxIMPL LastImpl(const char* runtime) {
  auto lastImpl = RuntimeExport<mfxIMPL (*)()>(runtime, "FakeRuntimeLastImpl");
  return lastImpl != nullptr ? lastImpl() : static_cast<mfxIMPL>(-1);
}

void ChecksWithRuntimeBeside() {
  mfxVersion version{};
  version.Major = 1;
  version.Minor = 1;
  mfxSession session = nullptr;

  // Only hardware values are served; nothing is loaded for the others.
  Expect(MFXInit(MFX_IMPL_SOFTWARE, &version, &session) == MFX_ERR_UNSUPPORTED, "software refused");
  Expect(MFXInit(MFX_IMPL_AUTO_ANY, &version, &session) == MFX_ERR_UNSUPPORTED, "auto refused");
  Expect(!RuntimeLoaded(), "nothing loaded for refused values");

  // A version neither runtime can serve: refused, and both libraries let go.
  mfxVersion future{};
  future.Major = 2;
  Expect(MFXInit(MFX_IMPL_HARDWARE, &future, &session) == MFX_ERR_UNSUPPORTED, "version 2 refused");
  Expect(!RuntimeLoaded(), "libraries freed after a refusal");

  // The settings' value as it is (no interface): the VPL runtime serves it,
  // with Direct3D 11, and reports its version 1.255.
  mfxStatus status = MFXInit(MFX_IMPL_HARDWARE2, &version, &session);
  Expect(status == MFX_ERR_NONE, "hardware 2 opened", status);
  if (status != MFX_ERR_NONE) return;
  Expect(Loaded(kVpl) && !Loaded(kMsdk), "the VPL runtime serves");
  Expect(LastImpl(kVpl) == (MFX_IMPL_HARDWARE2 | MFX_IMPL_VIA_D3D11), "VPL runtime got Direct3D 11",
         static_cast<long>(LastImpl(kVpl)));
  mfxVersion reported{};
  Expect(MFXQueryVersion(session, &reported) == MFX_ERR_NONE && reported.Major == 1 && reported.Minor == 255,
         "version 1.255 reported and accepted", reported.Minor);
  Expect(MFXClose(session) == MFX_ERR_NONE, "MFXClose of the VPL session");
  Expect(!RuntimeLoaded(), "VPL runtime freed after MFXClose");

  // Direct3D 9 asked for: the VPL runtime refuses it, the Media SDK runtime
  // gets the exact value.
  mfxIMPL impl = MFX_IMPL_HARDWARE3 | MFX_IMPL_VIA_D3D9;
  status = MFXInit(impl, &version, &session);
  Expect(status == MFX_ERR_NONE, "hardware 3 with Direct3D 9 opened", status);
  if (status != MFX_ERR_NONE) return;
  Expect(Loaded(kMsdk) && !Loaded(kVpl), "the Media SDK runtime serves, the refusing one is freed");
  Expect(LastImpl(kMsdk) == impl, "Media SDK runtime got the exact value", static_cast<long>(LastImpl(kMsdk)));
  auto openSessions = RuntimeExport<int (*)()>(kMsdk, "FakeRuntimeOpenSessions");

  // The stand-in answers MFX_WRN_VALUE_NOT_CHANGED only for its own session.
  mfxVideoParam param{};
  mfxFrameAllocRequest requests[2]{};
  mfxFrameAllocator allocator{};
  mfxFrameSurface1 surface{};
  mfxBitstream bitstream{};
  mfxSyncPoint sync = nullptr;
  const mfxStatus own = MFX_WRN_VALUE_NOT_CHANGED;
  Expect(MFXVideoCORE_SetFrameAllocator(session, &allocator) == own, "SetFrameAllocator routed");
  Expect(MFXVideoVPP_QueryIOSurf(session, &param, requests) == own, "VPP_QueryIOSurf routed");
  Expect(MFXVideoENCODE_QueryIOSurf(session, &param, requests) == own, "ENCODE_QueryIOSurf routed");
  Expect(MFXVideoVPP_Init(session, &param) == own, "VPP_Init routed");
  Expect(MFXVideoENCODE_Init(session, &param) == own, "ENCODE_Init routed");
  Expect(MFXVideoENCODE_GetVideoParam(session, &param) == own, "ENCODE_GetVideoParam routed");
  Expect(MFXVideoVPP_RunFrameVPPAsync(session, &surface, &surface, nullptr, &sync) == own, "VPP run routed");
  Expect(MFXVideoENCODE_EncodeFrameAsync(session, nullptr, &surface, &bitstream, &sync) == own, "encode routed");
  Expect(MFXVideoCORE_SyncOperation(session, sync, 0) == own, "SyncOperation routed");
  Expect(MFXVideoENCODE_Close(session) == own, "ENCODE_Close routed");
  Expect(MFXVideoVPP_Close(session) == own, "VPP_Close routed");
  // Functions the stand-in lacks are unsupported, not a crash.
  Expect(MFXVideoENCODE_Reset(session, &param) == MFX_ERR_UNSUPPORTED, "missing function unsupported");
  Expect(openSessions != nullptr && openSessions() == 1, "one runtime session open");

  Expect(MFXClose(session) == MFX_ERR_NONE, "MFXClose");
  Expect(!RuntimeLoaded(), "library freed after MFXClose");
  Expect(MFXClose(nullptr) == MFX_ERR_INVALID_HANDLE, "null session refused");
}

void ChecksAlone() {
  mfxVersion version{};
  version.Major = 1;
  version.Minor = 1;
  mfxSession session = nullptr;
  mfxStatus status = MFXInit(MFX_IMPL_HARDWARE, &version, &session);
  // Wine's adapters are not Intel's, so the folder of this program is the
  // only candidate, and it holds no runtime; the current folder does.
  Expect(status == MFX_ERR_UNSUPPORTED, "no runtime beside the program", status);
  Expect(!RuntimeLoaded(), "nothing loaded from the current folder");
  if (status >= MFX_ERR_NONE) MFXClose(session);
}

// Copies this program into an empty subfolder and runs the copy there, with
// the current folder set to this program's folder.
void RunAloneCopy() {
  std::string folder = ProgramFolder();
  std::string alone = folder + "\\alone";
  CreateDirectoryA(alone.c_str(), nullptr);
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string copy = alone + "\\loader_check.exe";
  Expect(CopyFileA(self, copy.c_str(), FALSE) != 0, "copy made", static_cast<long>(GetLastError()));
  std::string commandLine = "\"" + copy + "\" --alone";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(copy.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(),
                      &startup, &process)) {
    Expect(false, "copy started", static_cast<long>(GetLastError()));
    return;
  }
  DWORD waited = WaitForSingleObject(process.hProcess, 120000);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  Expect(waited == WAIT_OBJECT_0 && exitCode == 0, "checks without a runtime beside", static_cast<long>(exitCode));
  DeleteFileA(copy.c_str());
  RemoveDirectoryA(alone.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--alone") == 0) {
    ChecksAlone();
    return g_failed == 0 ? 0 : 1;
  }
  ChecksWithRuntimeBeside();
  RunAloneCopy();
  std::printf("loader: %d passed, %d failed\n", g_passed, g_failed);
  std::fflush(stdout);
  return g_failed == 0 ? 0 : 1;
}
