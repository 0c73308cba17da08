// Where the Windows build looks for Intel's hardware runtimes, as pure
// functions over what the system reported, so they build and run anywhere.
// The Win32 side (mfx_loader_win32.cpp) gathers the facts: the adapter behind
// an implementation value, the driver-store folders of that adapter, the
// dispatch entries in the registry, the system and host folders.
//
// Two runtimes exist: the VPL GPU runtime (every Intel GPU since 2021;
// Direct3D 11 only) and the older Media SDK runtime. Their file names depend
// on the process's width, so they are a parameter of the search.
#pragma once
#include <mfxcommon.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::mfxload {

// The runtime file names for one process width.
struct RuntimeNames {
  std::string_view vpl;   // the VPL GPU runtime
  std::string_view msdk;  // the Media SDK runtime
};
inline constexpr RuntimeNames kRuntimeNames32{"libmfx32-gen.dll", "libmfxhw32.dll"};
inline constexpr RuntimeNames kRuntimeNames64{"libmfx64-gen.dll", "libmfxhw64.dll"};

enum class RuntimeKind { kVpl, kMediaSdk };

// A VPL GPU runtime is a file whose name ends in "-gen.dll" (any case);
// everything else is taken for a Media SDK runtime.
RuntimeKind KindOfRuntime(std::string_view path);

// The implementation value a runtime of `kind` is started with: a Media SDK
// runtime gets `impl` as it is; the VPL runtime, which drives its adapters
// through Direct3D 11 only, gets MFX_IMPL_VIA_D3D11 added when `impl` names
// no interface (a bare value would mean Direct3D 9 to it).
mfxIMPL ImplForRuntime(mfxIMPL impl, RuntimeKind kind);
// Only adapters of this PCI vendor carry an Intel runtime.
inline constexpr uint32_t kIntelVendorId = 0x8086;
// Paths handed to the system fit in its 260-byte buffers.
inline constexpr size_t kMaxPathLength = 259;

// The DXGI adapter index an implementation value names: MFX_IMPL_HARDWARE to
// MFX_IMPL_HARDWARE4 are adapters 0 to 3, whatever MFX_IMPL_VIA_* bits are
// added. Every other value (software, automatic, "any") names no single
// adapter and gives nullopt.
std::optional<int> AdapterIndexFromImpl(mfxIMPL impl);

struct PciIds {
  uint32_t vendor = 0;
  uint32_t device = 0;
  friend bool operator==(const PciIds&, const PciIds&) = default;
};

// Reads the vendor and device ids out of a configuration-manager device
// instance id such as "PCI\VEN_8086&DEV_5912&SUBSYS_...\3&1&0&10". Both
// fields must be present as "VEN_" and "DEV_" followed by exactly four hex
// digits, in the hardware part (between the first and the second backslash,
// or the whole text when it has none), in any case.
std::optional<PciIds> ParsePciIds(std::string_view deviceInstanceId);

// One subkey of Software\Intel\MediaSDK\Dispatch.
struct DispatchEntry {
  uint32_t vendorId = 0;
  uint32_t deviceId = 0;
  uint32_t merit = 0;
  std::string path;  // the runtime DLL, or the folder holding it
};

// The runtime paths registered for this adapter: entries whose vendor and
// device ids both match, highest merit first (equal merits keep their
// order), each path resolved by RuntimePathFromEntry with `fileName`;
// entries that resolve to nothing are dropped.
std::vector<std::string> ChooseDispatchPaths(const std::vector<DispatchEntry>& entries,
                                             PciIds adapter, std::string_view fileName);

// A registered path names the DLL itself or the folder that holds
// `fileName`; a value that ends in ".dll" is taken as the file. Empty when
// the result is no full path or too long.
std::string RuntimePathFromEntry(std::string_view registeredPath, std::string_view fileName);

// `folder` and `file` joined by one backslash ('/' counts as a separator at
// the end of the folder). Empty when the folder is empty or the result is
// longer than kMaxPathLength.
std::string JoinPath(std::string_view folder, std::string_view file);

// A drive-rooted path ("C:\..." or "C:/...") or a UNC path ("\\server\...").
// Relative paths, "\dir" and "C:dir" are not full: those depend on the
// current directory, which the loader must never search.
bool IsFullPath(std::string_view path);

// The folder part of a file's full path, without the trailing separator
// (empty when there is none).
std::string FolderOf(std::string_view filePath);

// What the system told about one implementation value.
struct SearchFacts {
  std::optional<PciIds> adapter;      // the adapter, when it exists
  std::string vplDriverStoreFolder;   // its DriverStorePathForVPL, or empty
  std::string driverStoreFolder;      // its DriverStorePathForMediaSDK, or empty
  std::vector<DispatchEntry> userEntries;     // HKCU dispatch entries
  std::vector<DispatchEntry> machineEntries;  // HKLM dispatch entries
  std::string systemFolder;           // the system folder, or empty
  std::string hostFolder;             // folder of the host program, or empty
};

// The runtime DLLs to try, in order, each a full path, no path twice (case
// does not matter on Windows). An Intel adapter's runtimes come first: the
// VPL runtime in its VPL driver-store folder, the Media SDK runtime in its
// Media SDK driver-store folder, then the registered runtimes (HKCU before
// HKLM, each by merit; a folder means its Media SDK runtime), then the
// system folder's VPL and Media SDK runtimes. The host program's folder
// comes last, VPL first again, after every real runtime, so a runtime beside
// the host never wins over one installed for the hardware; it is how the
// tests supply a stand-in runtime.
std::vector<std::string> RuntimeCandidates(const SearchFacts& facts, const RuntimeNames& names);

}  // namespace tarvo::mfxload
