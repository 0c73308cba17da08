#include "encode/runtime_search.h"

#include <mfxcommon.h>

#include <algorithm>

namespace tarvo::mfxload {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The four hex digits after `tag` ("VEN_" or "DEV_") in one '&'-separated
// field of `component`.
std::optional<uint32_t> FindField(std::string_view component, std::string_view tag) {
  size_t start = 0;
  while (start <= component.size()) {
    size_t end = component.find('&', start);
    if (end == std::string_view::npos) end = component.size();
    std::string_view field = component.substr(start, end - start);
    // "PCI\VEN_..." is split at the backslash before we get here, so a field
    // starts with its tag.
    if (field.size() == tag.size() + 4 && EqualNoCase(field.substr(0, tag.size()), tag)) {
      uint32_t value = 0;
      for (char c : field.substr(tag.size())) {
        int digit = HexDigit(c);
        if (digit < 0) return std::nullopt;
        value = value * 16 + static_cast<uint32_t>(digit);
      }
      return value;
    }
    start = end + 1;
  }
  return std::nullopt;
}

}  // namespace

RuntimeKind KindOfRuntime(std::string_view path) {
  constexpr std::string_view kVplSuffix = "-gen.dll";
  return path.size() >= kVplSuffix.size() && EqualNoCase(path.substr(path.size() - kVplSuffix.size()), kVplSuffix)
             ? RuntimeKind::kVpl
             : RuntimeKind::kMediaSdk;
}

mfxIMPL ImplForRuntime(mfxIMPL impl, RuntimeKind kind) {
  constexpr mfxIMPL kViaMask = 0x0F00;
  if (kind == RuntimeKind::kVpl && (impl & kViaMask) == 0) return impl | MFX_IMPL_VIA_D3D11;
  return impl;
}

std::optional<int> AdapterIndexFromImpl(mfxIMPL impl) {
  switch (MFX_IMPL_BASETYPE(impl)) {
    case MFX_IMPL_HARDWARE: return 0;
    case MFX_IMPL_HARDWARE2: return 1;
    case MFX_IMPL_HARDWARE3: return 2;
    case MFX_IMPL_HARDWARE4: return 3;
    default: return std::nullopt;
  }
}

std::optional<PciIds> ParsePciIds(std::string_view deviceInstanceId) {
  // "PCI\VEN_8086&DEV_5912&...\instance": the ids sit in the hardware part,
  // the second component; a bare "VEN_...&DEV_..." is accepted as well.
  std::string_view rest = deviceInstanceId;
  size_t slash = rest.find('\\');
  std::string_view hardware = rest;
  if (slash != std::string_view::npos) {
    hardware = rest.substr(slash + 1);
    size_t next = hardware.find('\\');
    if (next != std::string_view::npos) hardware = hardware.substr(0, next);
  }
  std::optional<uint32_t> vendor = FindField(hardware, "VEN_");
  std::optional<uint32_t> device = FindField(hardware, "DEV_");
  if (!vendor || !device) return std::nullopt;
  return PciIds{*vendor, *device};
}

std::vector<std::string> ChooseDispatchPaths(const std::vector<DispatchEntry>& entries,
                                             PciIds adapter, std::string_view fileName) {
  std::vector<const DispatchEntry*> matching;
  for (const DispatchEntry& entry : entries) {
    if (entry.vendorId == adapter.vendor && entry.deviceId == adapter.device) matching.push_back(&entry);
  }
  std::stable_sort(matching.begin(), matching.end(),
                   [](const DispatchEntry* a, const DispatchEntry* b) { return a->merit > b->merit; });
  std::vector<std::string> paths;
  for (const DispatchEntry* entry : matching) {
    std::string path = RuntimePathFromEntry(entry->path, fileName);
    if (!path.empty()) paths.push_back(std::move(path));
  }
  return paths;
}

std::string RuntimePathFromEntry(std::string_view registeredPath, std::string_view fileName) {
  if (!IsFullPath(registeredPath)) return {};
  constexpr std::string_view kDll = ".dll";
  if (registeredPath.size() > kDll.size() &&
      EqualNoCase(registeredPath.substr(registeredPath.size() - kDll.size()), kDll)) {
    if (registeredPath.size() > kMaxPathLength) return {};
    return std::string(registeredPath);
  }
  return JoinPath(registeredPath, fileName);
}

std::string JoinPath(std::string_view folder, std::string_view file) {
  if (folder.empty()) return {};
  std::string joined(folder);
  if (!IsSeparator(joined.back())) joined += '\\';
  joined += file;
  if (joined.size() > kMaxPathLength) return {};
  return joined;
}

bool IsFullPath(std::string_view path) {
  if (path.size() >= 3 && path[1] == ':' && IsSeparator(path[2])) {
    char drive = Lower(path[0]);
    return drive >= 'a' && drive <= 'z';
  }
  // "\\server\share\..." (and "\\?\C:\..."): at least one character after
  // the two leading separators.
  return path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2]);
}

std::string FolderOf(std::string_view filePath) {
  size_t last = filePath.find_last_of("\\/");
  if (last == std::string_view::npos) return {};
  return std::string(filePath.substr(0, last));
}

std::vector<std::string> RuntimeCandidates(const SearchFacts& facts, const RuntimeNames& names) {
  std::vector<std::string> candidates;
  auto add = [&candidates](std::string path) {
    if (path.empty() || !IsFullPath(path)) return;
    for (const std::string& existing : candidates) {
      if (EqualNoCase(existing, path)) return;
    }
    candidates.push_back(std::move(path));
  };

  if (facts.adapter && facts.adapter->vendor == kIntelVendorId) {
    add(JoinPath(facts.vplDriverStoreFolder, names.vpl));
    add(JoinPath(facts.driverStoreFolder, names.msdk));
    for (std::string& path : ChooseDispatchPaths(facts.userEntries, *facts.adapter, names.msdk)) add(std::move(path));
    for (std::string& path : ChooseDispatchPaths(facts.machineEntries, *facts.adapter, names.msdk)) {
      add(std::move(path));
    }
    add(JoinPath(facts.systemFolder, names.vpl));
    add(JoinPath(facts.systemFolder, names.msdk));
  }
  add(JoinPath(facts.hostFolder, names.vpl));
  add(JoinPath(facts.hostFolder, names.msdk));
  return candidates;
}

}  // namespace tarvo::mfxload
