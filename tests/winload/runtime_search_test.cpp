#include "encode/runtime_search.h"

#include <gtest/gtest.h>
#include <mfxcommon.h>

#include <string>

namespace tarvo::mfxload {
namespace {

TEST(RuntimeSearch, HardwareValuesNameAdaptersZeroToThree) {
  EXPECT_EQ(AdapterIndexFromImpl(MFX_IMPL_HARDWARE), 0);
  EXPECT_EQ(AdapterIndexFromImpl(MFX_IMPL_HARDWARE2), 1);
  EXPECT_EQ(AdapterIndexFromImpl(MFX_IMPL_HARDWARE3), 2);
  EXPECT_EQ(AdapterIndexFromImpl(MFX_IMPL_HARDWARE4), 3);
  // The interface bits do not change the adapter.
  EXPECT_EQ(AdapterIndexFromImpl(MFX_IMPL_HARDWARE3 | MFX_IMPL_VIA_D3D11), 2);
  EXPECT_EQ(AdapterIndexFromImpl(MFX_IMPL_HARDWARE | MFX_IMPL_VIA_D3D9), 0);
  for (mfxIMPL other : std::initializer_list<mfxIMPL>{MFX_IMPL_AUTO, MFX_IMPL_SOFTWARE, MFX_IMPL_AUTO_ANY,
                                                     MFX_IMPL_HARDWARE_ANY, MFX_IMPL_RUNTIME, 0x9, 0xff,
                                                     MFX_IMPL_VIA_D3D11}) {
    EXPECT_FALSE(AdapterIndexFromImpl(other).has_value()) << other;
  }
}

TEST(RuntimeSearch, DeviceIdsAreReadFromTheHardwarePart) {
  EXPECT_EQ(ParsePciIds("PCI\\VEN_8086&DEV_5912&SUBSYS_872F1043&REV_04\\3&11583659&0&10"),
            (PciIds{0x8086, 0x5912}));
  EXPECT_EQ(ParsePciIds("pci\\ven_10de&dev_1c8d&subsys_00000000\\4&abc"), (PciIds{0x10de, 0x1c8d}));
  EXPECT_EQ(ParsePciIds("PCI\\DEV_3E92&VEN_8086"), (PciIds{0x8086, 0x3e92}));
  EXPECT_EQ(ParsePciIds("VEN_8086&DEV_FFFF"), (PciIds{0x8086, 0xffff}));

  EXPECT_FALSE(ParsePciIds("").has_value());
  EXPECT_FALSE(ParsePciIds("PCI\\VEN_8086&SUBSYS_1\\3&1").has_value());     // no device
  EXPECT_FALSE(ParsePciIds("PCI\\VEN_808&DEV_5912\\3&1").has_value());      // three digits
  EXPECT_FALSE(ParsePciIds("PCI\\VEN_80861&DEV_5912\\3&1").has_value());    // five digits
  EXPECT_FALSE(ParsePciIds("PCI\\VEN_80G6&DEV_5912\\3&1").has_value());     // not hex
  EXPECT_FALSE(ParsePciIds("PCI\\XVEN_8086&DEV_5912\\3&1").has_value());    // not a field start
  // Ids in the instance part do not count.
  EXPECT_FALSE(ParsePciIds("ROOT\\DISPLAY\\VEN_8086&DEV_5912").has_value());
}

TEST(RuntimeSearch, PathsAreJoinedWithOneSeparatorAndBounded) {
  EXPECT_EQ(JoinPath("C:\\Windows\\System32", "libmfxhw32.dll"), "C:\\Windows\\System32\\libmfxhw32.dll");
  EXPECT_EQ(JoinPath("C:\\Drivers\\", "x.dll"), "C:\\Drivers\\x.dll");
  EXPECT_EQ(JoinPath("C:/Drivers/", "x.dll"), "C:/Drivers/x.dll");
  EXPECT_EQ(JoinPath("", "x.dll"), "");

  std::string folder = "C:\\" + std::string(kMaxPathLength - 3 - 6, 'a');  // + "\x.dll"
  EXPECT_EQ(JoinPath(folder, "x.dll").size(), kMaxPathLength);
  EXPECT_EQ(JoinPath(folder + "a", "x.dll"), "");

  EXPECT_EQ(FolderOf("C:\\AviUtl\\aviutl.exe"), "C:\\AviUtl");
  EXPECT_EQ(FolderOf("Z:/tmp/host.exe"), "Z:/tmp");
  EXPECT_EQ(FolderOf("host.exe"), "");
}

TEST(RuntimeSearch, OnlyPathsIndependentOfTheCurrentFolderAreFull) {
  for (const char* full : {"C:\\x.dll", "c:/x.dll", "\\\\server\\share\\x.dll", "\\\\?\\C:\\x.dll"}) {
    EXPECT_TRUE(IsFullPath(full)) << full;
  }
  for (const char* relative : {"", "x.dll", "dir\\x.dll", ".\\x.dll", "\\dir\\x.dll", "C:x.dll",
                               "C:", "1:\\x.dll", "\\\\", "\\\\\\x"}) {
    EXPECT_FALSE(IsFullPath(relative)) << relative;
  }
}

TEST(RuntimeSearch, RegisteredRuntimesMatchTheAdapterAndGoByMerit) {
  PciIds adapter{0x8086, 0x5912};
  std::vector<DispatchEntry> entries = {
      {0x8086, 0x5912, 10, "C:\\low\\libmfxhw32.dll"},
      {0x8086, 0x3e92, 99, "C:\\other-device"},
      {0x10de, 0x5912, 99, "C:\\other-vendor"},
      {0x8086, 0x5912, 30, "C:\\high"},
      {0x8086, 0x5912, 20, "C:\\tie-first.DLL"},
      {0x8086, 0x5912, 20, "C:\\tie-second"},
      {0x8086, 0x5912, 50, "relative\\folder"},
  };
  EXPECT_EQ(ChooseDispatchPaths(entries, adapter, "libmfxhw32.dll"),
            (std::vector<std::string>{"C:\\high\\libmfxhw32.dll", "C:\\tie-first.DLL",
                                      "C:\\tie-second\\libmfxhw32.dll", "C:\\low\\libmfxhw32.dll"}));
  EXPECT_TRUE(ChooseDispatchPaths(entries, PciIds{0x8086, 0x1111}, "libmfxhw32.dll").empty());
  EXPECT_TRUE(ChooseDispatchPaths({}, adapter, "libmfxhw32.dll").empty());
}

TEST(RuntimeSearch, TheVplRuntimeIsTriedFirstAtEachPlace) {
  SearchFacts facts;
  facts.adapter = PciIds{0x8086, 0x46a6};
  facts.vplDriverStoreFolder = "C:\\DriverStore\\iigd_dch.inf_1";
  facts.driverStoreFolder = "C:\\DriverStore\\iigd_dch.inf_2";
  facts.userEntries = {{0x8086, 0x46a6, 1, "C:\\user"}};
  facts.machineEntries = {{0x8086, 0x46a6, 5, "C:\\machine-low"}, {0x8086, 0x46a6, 9, "C:\\machine-high"}};
  facts.systemFolder = "C:\\Windows\\system32";
  facts.hostFolder = "C:\\AviUtl";
  EXPECT_EQ(RuntimeCandidates(facts, kRuntimeNames32),
            (std::vector<std::string>{
                "C:\\DriverStore\\iigd_dch.inf_1\\libmfx32-gen.dll", "C:\\DriverStore\\iigd_dch.inf_2\\libmfxhw32.dll",
                "C:\\user\\libmfxhw32.dll", "C:\\machine-high\\libmfxhw32.dll", "C:\\machine-low\\libmfxhw32.dll",
                "C:\\Windows\\system32\\libmfx32-gen.dll", "C:\\Windows\\system32\\libmfxhw32.dll",
                "C:\\AviUtl\\libmfx32-gen.dll", "C:\\AviUtl\\libmfxhw32.dll"}));
  // The names are the caller's: a 64-bit process asks for its own files.
  facts.userEntries.clear();
  facts.machineEntries.clear();
  EXPECT_EQ(RuntimeCandidates(facts, kRuntimeNames64),
            (std::vector<std::string>{
                "C:\\DriverStore\\iigd_dch.inf_1\\libmfx64-gen.dll", "C:\\DriverStore\\iigd_dch.inf_2\\libmfxhw64.dll",
                "C:\\Windows\\system32\\libmfx64-gen.dll", "C:\\Windows\\system32\\libmfxhw64.dll",
                "C:\\AviUtl\\libmfx64-gen.dll", "C:\\AviUtl\\libmfxhw64.dll"}));

  // A driver that names one folder for both (Tiger Lake ships both
  // runtimes), or a registration of the system folder's runtime: each path
  // is tried once, where it ranks first; empty values add nothing.
  facts.vplDriverStoreFolder.clear();
  facts.driverStoreFolder.clear();
  facts.userEntries = {{0x8086, 0x46a6, 1, "c:\\WINDOWS\\SYSTEM32\\LIBMFXHW32.DLL"}};
  EXPECT_EQ(RuntimeCandidates(facts, kRuntimeNames32),
            (std::vector<std::string>{"c:\\WINDOWS\\SYSTEM32\\LIBMFXHW32.DLL",
                                      "C:\\Windows\\system32\\libmfx32-gen.dll", "C:\\AviUtl\\libmfx32-gen.dll",
                                      "C:\\AviUtl\\libmfxhw32.dll"}));
}

TEST(RuntimeSearch, WithoutAnIntelAdapterOnlyTheHostFolderIsTried) {
  SearchFacts facts;
  facts.vplDriverStoreFolder = "C:\\store";
  facts.driverStoreFolder = "C:\\store";
  facts.userEntries = {{0x10de, 0x1c8d, 1, "C:\\user"}};
  facts.systemFolder = "C:\\Windows\\system32";
  facts.hostFolder = "Z:\\build\\tests";
  const std::vector<std::string> hostOnly{"Z:\\build\\tests\\libmfx32-gen.dll", "Z:\\build\\tests\\libmfxhw32.dll"};
  EXPECT_EQ(RuntimeCandidates(facts, kRuntimeNames32), hostOnly);
  facts.adapter = PciIds{0x10de, 0x1c8d};
  EXPECT_EQ(RuntimeCandidates(facts, kRuntimeNames32), hostOnly);

  // Never a path relative to the current folder.
  facts.hostFolder = "tests";
  EXPECT_TRUE(RuntimeCandidates(facts, kRuntimeNames32).empty());
  facts.hostFolder.clear();
  EXPECT_TRUE(RuntimeCandidates(facts, kRuntimeNames32).empty());
}

TEST(RuntimeSearch, OnlyGenRuntimesAreVplAndGetDirect3D11) {
  for (const char* vpl : {"C:\\x\\libmfx32-gen.dll", "C:\\X\\LIBMFX64-GEN.DLL", "rt0-gen.dll"}) {
    EXPECT_EQ(KindOfRuntime(vpl), RuntimeKind::kVpl) << vpl;
  }
  for (const char* msdk : {"C:\\x\\libmfxhw32.dll", "C:\\gen.dll\\libmfxhw32.dll", "C:\\x\\gen.dll", ""}) {
    EXPECT_EQ(KindOfRuntime(msdk), RuntimeKind::kMediaSdk) << msdk;
  }
  EXPECT_EQ(ImplForRuntime(MFX_IMPL_HARDWARE3, RuntimeKind::kMediaSdk), mfxIMPL{MFX_IMPL_HARDWARE3});
  EXPECT_EQ(ImplForRuntime(MFX_IMPL_HARDWARE3, RuntimeKind::kVpl), mfxIMPL{MFX_IMPL_HARDWARE3 | MFX_IMPL_VIA_D3D11});
}

}  // namespace
}  // namespace tarvo::mfxload
