// The Media SDK functions of the Windows build. Intel's dispatcher library
// does not build with mingw-w64, so MFXInit finds the hardware runtime itself
// (the VPL GPU runtime libmfx32-gen.dll first, then the Media SDK runtime
// libmfxhw32.dll; the 64-bit names in a 64-bit build), the way Intel's
// drivers install them, and every other function forwards to the runtime
// that opened the session.
//
// dxgi.dll and cfgmgr32.dll are loaded on demand, so the plug-in's import
// list stays with kernel32, user32, advapi32 and the like.
#include <windows.h>
// The headers below need windows.h first.
#include <cfgmgr32.h>
#include <dxgi.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "encode/mfx_dispatch.h"
#include "encode/runtime_report.h"
#include "encode/runtime_search.h"

namespace tarvo::mfxload {
namespace {

// Libraries are loaded by full path only; the folder of the runtime itself
// comes first when the runtime pulls in its own dependencies.
class Win32RuntimeLibraries : public IRuntimeLibraries {
 public:
  void* Load(const std::string& path) override {
    if (!IsFullPath(path)) return nullptr;
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return nullptr;
    // A broken runtime must not raise a system error box inside the editor.
    DWORD oldMode = 0;
    BOOL modeSet = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
    HMODULE library = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (modeSet) SetThreadErrorMode(oldMode, nullptr);
    return library;
  }
  void* Find(void* library, const char* name) override {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
  }
  void Free(void* library) override { FreeLibrary(static_cast<HMODULE>(library)); }
};

Win32RuntimeLibraries g_libraries;

std::string SystemFolder() {
  char buffer[MAX_PATH];
  UINT length = GetSystemDirectoryA(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::string(buffer, length);
}

std::string HostFolder() {
  char buffer[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};  // failed or cut short
  return FolderOf(std::string_view(buffer, length));
}

// A system library by full path, freed when this goes out of scope.
class SystemLibrary {
 public:
  SystemLibrary(const std::string& systemFolder, const char* name) {
    std::string path = JoinPath(systemFolder, name);
    if (!path.empty()) module_ = LoadLibraryA(path.c_str());
  }
  ~SystemLibrary() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  SystemLibrary(const SystemLibrary&) = delete;
  SystemLibrary& operator=(const SystemLibrary&) = delete;

  template <typename Function>
  Function Get(const char* name) const {
    if (module_ == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_ = nullptr;
};

// Vendor and device of DXGI adapter `index`, when it exists.
std::optional<PciIds> AdapterIds(const std::string& systemFolder, int index) {
  SystemLibrary dxgi(systemFolder, "dxgi.dll");
  auto create = dxgi.Get<decltype(&CreateDXGIFactory)>("CreateDXGIFactory");
  if (create == nullptr) return std::nullopt;
  IDXGIFactory* factory = nullptr;
  if (FAILED(create(__uuidof(IDXGIFactory), reinterpret_cast<void**>(&factory))) || factory == nullptr) {
    return std::nullopt;
  }
  std::optional<PciIds> ids;
  IDXGIAdapter* adapter = nullptr;
  if (SUCCEEDED(factory->EnumAdapters(static_cast<UINT>(index), &adapter)) && adapter != nullptr) {
    DXGI_ADAPTER_DESC desc{};
    if (SUCCEEDED(adapter->GetDesc(&desc))) ids = PciIds{desc.VendorId, desc.DeviceId};
    adapter->Release();
  }
  factory->Release();
  return ids;
}

// A REG_SZ or REG_EXPAND_SZ value, empty when missing or of another type.
std::string ReadString(HKEY key, const char* name) {
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return {};
  if ((type != REG_SZ && type != REG_EXPAND_SZ) || size == 0 || size > 32768) return {};
  std::string value(size, '\0');
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) != ERROR_SUCCESS) {
    return {};
  }
  value.resize(std::min<size_t>(size, value.size()));
  // The stored text need not end with its terminator.
  size_t end = value.find('\0');
  if (end != std::string::npos) value.resize(end);
  if (type == REG_EXPAND_SZ) {
    char expanded[MAX_PATH];
    DWORD length = ExpandEnvironmentStringsA(value.c_str(), expanded, MAX_PATH);
    if (length == 0 || length > MAX_PATH) return {};
    value = expanded;
  }
  return value;
}

std::optional<uint32_t> ReadDword(HKEY key, const char* name) {
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value) {
    return std::nullopt;
  }
  return value;
}

// The runtimes of this build's width.
#ifdef _WIN64
constexpr RuntimeNames kRuntimeNames = kRuntimeNames64;
#else
constexpr RuntimeNames kRuntimeNames = kRuntimeNames32;
#endif

// The driver-store folders that the display driver of this adapter names
// for each runtime.
struct DriverStoreFolders {
  std::string vpl;   // DriverStorePathForVPL
  std::string msdk;  // DriverStorePathForMediaSDK
};

// Found through the configuration manager: the present display devices
// whose ids match the adapter, for each value the first one that has it.
DriverStoreFolders FindDriverStoreFolders(const std::string& systemFolder, PciIds adapter) {
  SystemLibrary cfgmgr(systemFolder, "cfgmgr32.dll");
  auto listSize = cfgmgr.Get<decltype(&CM_Get_Device_ID_List_SizeA)>("CM_Get_Device_ID_List_SizeA");
  auto list = cfgmgr.Get<decltype(&CM_Get_Device_ID_ListA)>("CM_Get_Device_ID_ListA");
  auto locate = cfgmgr.Get<decltype(&CM_Locate_DevNodeA)>("CM_Locate_DevNodeA");
  auto openKey = cfgmgr.Get<decltype(&CM_Open_DevNode_Key)>("CM_Open_DevNode_Key");
  if (listSize == nullptr || list == nullptr || locate == nullptr || openKey == nullptr) return {};

  // The display adapters' setup class.
  const char kDisplayClass[] = "{4d36e968-e325-11ce-bfc1-08002be10318}";
  const ULONG flags = CM_GETIDLIST_FILTER_CLASS | CM_GETIDLIST_FILTER_PRESENT;
  std::vector<char> ids;
  // The list can grow between the two calls; try again a few times.
  for (int attempt = 0; attempt < 3; ++attempt) {
    ULONG size = 0;
    if (listSize(&size, kDisplayClass, flags) != CR_SUCCESS || size == 0) return {};
    ids.assign(size + 1, '\0');
    CONFIGRET result = list(kDisplayClass, ids.data(), size, flags);
    if (result == CR_SUCCESS) break;
    if (result != CR_BUFFER_SMALL || attempt == 2) return {};
  }

  DriverStoreFolders folders;
  for (const char* id = ids.data(); *id != '\0'; id += std::char_traits<char>::length(id) + 1) {
    std::optional<PciIds> device = ParsePciIds(id);
    if (!device || !(*device == adapter)) continue;
    DEVINST node = 0;
    if (locate(&node, const_cast<DEVINSTID_A>(id), CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS) continue;
    HKEY key = nullptr;
    if (openKey(node, KEY_READ, 0, RegDisposition_OpenExisting, &key, CM_REGISTRY_SOFTWARE) != CR_SUCCESS) {
      continue;
    }
    if (folders.vpl.empty()) folders.vpl = ReadString(key, "DriverStorePathForVPL");
    if (folders.msdk.empty()) folders.msdk = ReadString(key, "DriverStorePathForMediaSDK");
    RegCloseKey(key);
    if (!folders.vpl.empty() && !folders.msdk.empty()) break;
  }
  return folders;
}

// The runtimes registered under Software\Intel\MediaSDK\Dispatch of `root`.
// Subkeys lacking one of the four values are ignored.
std::vector<DispatchEntry> DispatchEntries(HKEY root) {
  std::vector<DispatchEntry> entries;
  HKEY dispatch = nullptr;
  if (RegOpenKeyExA(root, "Software\\Intel\\MediaSDK\\Dispatch", 0, KEY_READ, &dispatch) != ERROR_SUCCESS) {
    return entries;
  }
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD nameLength = sizeof name;
    LONG result = RegEnumKeyExA(dispatch, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_MORE_DATA) continue;  // a name too long for a key we know
    if (result != ERROR_SUCCESS) break;
    HKEY subkey = nullptr;
    if (RegOpenKeyExA(dispatch, name, 0, KEY_READ, &subkey) != ERROR_SUCCESS) continue;
    std::optional<uint32_t> vendor = ReadDword(subkey, "VendorID");
    std::optional<uint32_t> device = ReadDword(subkey, "DeviceID");
    std::optional<uint32_t> merit = ReadDword(subkey, "Merit");
    std::string path = ReadString(subkey, "Path");
    RegCloseKey(subkey);
    if (vendor && device && merit && !path.empty()) entries.push_back({*vendor, *device, *merit, std::move(path)});
  }
  RegCloseKey(dispatch);
  return entries;
}

std::vector<std::string> CandidatesFor(int adapterIndex) {
  SearchFacts facts;
  facts.systemFolder = SystemFolder();
  facts.hostFolder = HostFolder();
  facts.adapter = AdapterIds(facts.systemFolder, adapterIndex);
  if (facts.adapter && facts.adapter->vendor == kIntelVendorId) {
    DriverStoreFolders folders = FindDriverStoreFolders(facts.systemFolder, *facts.adapter);
    facts.vplDriverStoreFolder = std::move(folders.vpl);
    facts.driverStoreFolder = std::move(folders.msdk);
    facts.userEntries = DispatchEntries(HKEY_CURRENT_USER);
    facts.machineEntries = DispatchEntries(HKEY_LOCAL_MACHINE);
  }
  return RuntimeCandidates(facts, kRuntimeNames);
}

// The candidates of the process's last MFXInit and where each ended, for
// RuntimeSearchText. MFXInit and the report run on the host's thread; the
// lock only keeps a second caller from tearing the list.
SRWLOCK g_searchLock = SRWLOCK_INIT;
std::vector<CandidateAttempt> g_lastSearch;

void RememberSearch(std::vector<CandidateAttempt> attempts) {
  AcquireSRWLockExclusive(&g_searchLock);
  g_lastSearch.swap(attempts);
  ReleaseSRWLockExclusive(&g_searchLock);
}

// Paths come from the system's ANSI calls; the .auo2 shows UTF-8 texts.
std::string ForDisplay(const std::string& text) {
#ifdef TARVO_UTF8_PATHS
  if (text.empty()) return text;
  int wideLength = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (wideLength <= 0) return text;
  std::wstring wide(static_cast<size_t>(wideLength), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), wideLength);
  int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return text;
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, utf8.data(), length, nullptr, nullptr);
  return utf8;
#else
  return text;
#endif
}

}  // namespace
}  // namespace tarvo::mfxload

RuntimeReport DescribeRuntime(mfxSession session) {
  using namespace tarvo::mfxload;
  RuntimeReport report;
  const LoadedSession* loaded = Unwrap(session);
  if (loaded == nullptr) return report;
  report.file = ForDisplay(loaded->path);
  // The loader treats a runtime by its file's name; so does the report.
  report.kind = KindOfRuntime(loaded->path) == RuntimeKind::kVpl ? kVplRuntimeKind : kMediaSdkRuntimeKind;
  if (Forward(session, &RuntimeFunctions::MFXQueryVersion, &report.api) != MFX_ERR_NONE) report.api = {};
  if (Forward(session, &RuntimeFunctions::MFXQueryIMPL, &report.impl) != MFX_ERR_NONE) report.impl = 0;
  return report;
}

std::string RuntimeSearchText() {
  using namespace tarvo::mfxload;
  AcquireSRWLockShared(&g_searchLock);
  std::string text = ForDisplay(SearchFailureText(g_lastSearch));
  ReleaseSRWLockShared(&g_searchLock);
  return text;
}

using tarvo::mfxload::Forward;
using tarvo::mfxload::RuntimeFunctions;

extern "C" {

mfxStatus MFX_CDECL MFXInit(mfxIMPL impl, mfxVersion* ver, mfxSession* session) {
  std::optional<int> adapter = tarvo::mfxload::AdapterIndexFromImpl(impl);
  if (session == nullptr) return MFX_ERR_NULL_PTR;
  std::vector<tarvo::mfxload::CandidateAttempt> attempts;
  mfxStatus status = MFX_ERR_UNSUPPORTED;  // a value naming no adapter: nothing to search
  if (adapter) {
    status = tarvo::mfxload::OpenSession(tarvo::mfxload::CandidatesFor(*adapter), tarvo::mfxload::g_libraries, impl,
                                         ver, session, &attempts);
  }
  tarvo::mfxload::RememberSearch(std::move(attempts));
  return status;
}

mfxStatus MFX_CDECL MFXClose(mfxSession session) { return tarvo::mfxload::CloseSession(session); }

mfxStatus MFX_CDECL MFXQueryIMPL(mfxSession session, mfxIMPL* impl) {
  return Forward(session, &RuntimeFunctions::MFXQueryIMPL, impl);
}

mfxStatus MFX_CDECL MFXQueryVersion(mfxSession session, mfxVersion* version) {
  return Forward(session, &RuntimeFunctions::MFXQueryVersion, version);
}

mfxStatus MFX_CDECL MFXVideoCORE_SetFrameAllocator(mfxSession session, mfxFrameAllocator* allocator) {
  return Forward(session, &RuntimeFunctions::MFXVideoCORE_SetFrameAllocator, allocator);
}

mfxStatus MFX_CDECL MFXVideoCORE_SyncOperation(mfxSession session, mfxSyncPoint syncp, mfxU32 wait) {
  return Forward(session, &RuntimeFunctions::MFXVideoCORE_SyncOperation, syncp, wait);
}

mfxStatus MFX_CDECL MFXVideoVPP_Query(mfxSession session, mfxVideoParam* in, mfxVideoParam* out) {
  return Forward(session, &RuntimeFunctions::MFXVideoVPP_Query, in, out);
}

mfxStatus MFX_CDECL MFXVideoVPP_QueryIOSurf(mfxSession session, mfxVideoParam* par,
                                            mfxFrameAllocRequest request[2]) {
  return Forward(session, &RuntimeFunctions::MFXVideoVPP_QueryIOSurf, par, request);
}

mfxStatus MFX_CDECL MFXVideoVPP_Init(mfxSession session, mfxVideoParam* par) {
  return Forward(session, &RuntimeFunctions::MFXVideoVPP_Init, par);
}

mfxStatus MFX_CDECL MFXVideoVPP_GetVideoParam(mfxSession session, mfxVideoParam* par) {
  return Forward(session, &RuntimeFunctions::MFXVideoVPP_GetVideoParam, par);
}

mfxStatus MFX_CDECL MFXVideoVPP_RunFrameVPPAsync(mfxSession session, mfxFrameSurface1* in, mfxFrameSurface1* out,
                                                 mfxExtVppAuxData* aux, mfxSyncPoint* syncp) {
  return Forward(session, &RuntimeFunctions::MFXVideoVPP_RunFrameVPPAsync, in, out, aux, syncp);
}

mfxStatus MFX_CDECL MFXVideoVPP_Close(mfxSession session) {
  return Forward(session, &RuntimeFunctions::MFXVideoVPP_Close);
}

mfxStatus MFX_CDECL MFXVideoENCODE_Query(mfxSession session, mfxVideoParam* in, mfxVideoParam* out) {
  return Forward(session, &RuntimeFunctions::MFXVideoENCODE_Query, in, out);
}

mfxStatus MFX_CDECL MFXVideoENCODE_QueryIOSurf(mfxSession session, mfxVideoParam* par,
                                               mfxFrameAllocRequest* request) {
  return Forward(session, &RuntimeFunctions::MFXVideoENCODE_QueryIOSurf, par, request);
}

mfxStatus MFX_CDECL MFXVideoENCODE_Init(mfxSession session, mfxVideoParam* par) {
  return Forward(session, &RuntimeFunctions::MFXVideoENCODE_Init, par);
}

mfxStatus MFX_CDECL MFXVideoENCODE_Reset(mfxSession session, mfxVideoParam* par) {
  return Forward(session, &RuntimeFunctions::MFXVideoENCODE_Reset, par);
}

mfxStatus MFX_CDECL MFXVideoENCODE_GetVideoParam(mfxSession session, mfxVideoParam* par) {
  return Forward(session, &RuntimeFunctions::MFXVideoENCODE_GetVideoParam, par);
}

mfxStatus MFX_CDECL MFXVideoENCODE_EncodeFrameAsync(mfxSession session, mfxEncodeCtrl* ctrl,
                                                    mfxFrameSurface1* surface, mfxBitstream* bs,
                                                    mfxSyncPoint* syncp) {
  return Forward(session, &RuntimeFunctions::MFXVideoENCODE_EncodeFrameAsync, ctrl, surface, bs, syncp);
}

mfxStatus MFX_CDECL MFXVideoENCODE_Close(mfxSession session) {
  return Forward(session, &RuntimeFunctions::MFXVideoENCODE_Close);
}

}  // extern "C"
