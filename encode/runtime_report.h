// Which Media SDK runtime the plug-in is talking to, and where it looked
// when it found none, in words for the user: a missing driver and an adapter
// the runtime refused look alike from MFXInit's status alone.
#pragma once
#include <string>

#include <mfxvideo.h>

struct RuntimeReport {
    // The runtime library: its path on Windows ("C:\...\libmfx32-gen.dll");
    // natively "built-in soft runtime" or "system libmfx dispatcher", by the
    // build's choice of runtime.
    std::string file;
    std::string kind;   // kVplRuntimeKind or kMediaSdkRuntimeKind
    mfxVersion api{};   // what MFXQueryVersion said; zero when it failed
    mfxIMPL impl = 0;   // what MFXQueryIMPL said; zero when it failed
};

inline constexpr const char kVplRuntimeKind[] = "VPL GPU runtime";
inline constexpr const char kMediaSdkRuntimeKind[] = "Media SDK runtime";

// The runtime behind an open session. Asks it with MFXQueryVersion and
// MFXQueryIMPL; host thread.
RuntimeReport DescribeRuntime(mfxSession session);

// After the process's last MFXInit, when the Windows loader tried runtime
// libraries and none opened a session: one line naming them and, when any
// loaded, what each answered. Empty otherwise, and always natively. Host
// thread, like MFXInit.
std::string RuntimeSearchText();

// The kind of runtime an API version means: the VPL GPU runtime reports
// 1.255 through the 1.x interface, or 2.x; earlier 1.x is the Media SDK
// runtime. Empty for a version of 0.
std::string RuntimeKindOfApi(mfxVersion api);

// An implementation value's name: "HARDWARE", "HARDWARE2" .. "HARDWARE4",
// "SOFTWARE", "AUTO_ANY" and so on, with "|VIA_D3D11" and the like for the
// interface bits; parts this SDK does not name as numbers ("HARDWARE|0x10000").
std::string ImplName(mfxIMPL impl);
