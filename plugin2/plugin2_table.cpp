// ExEdit2's plug-in table and the DLL's exports.
#include <windows.h>

#include "plugin2/output2.h"
#include "plugin2/output2_entry.h"

namespace {

const wchar_t kName[] = L"MP4\u51FA\u529BTarvo";  // "MP4出力Tarvo"
const wchar_t kFileFilter[] = L"MP4 File (*.mp4)\0*.mp4\0AllFile (*.*)\0*.*\0";
const wchar_t kInformation[] = L"MP4\u51FA\u529BTarvo " TARVO_VERSION_W;

// Video and audio; each project keeps its settings (the settings file holds
// the defaults for projects without their own).
OutputPluginTable2 pluginTable = {
    kOutput2Video | kOutput2Audio | kOutput2ProjectConfig,
    kName,
    kFileFilter,
    kInformation,
    Output2Entry,
    Config2Entry,
    ConfigText2Entry,
    LoadProjectConfig2Entry,
    SaveProjectConfig2Entry,
};

}  // namespace

extern "C" __declspec(dllexport) OutputPluginTable2* GetOutputPluginTable() { return &pluginTable; }

// Called before InitializePlugin by an editor that has them; an older one
// calls neither, and the settings file then stays under %APPDATA%.
extern "C" __declspec(dllexport) void InitializeConfig(ConfigHandle2* handle) {
    try {
        TakeEditorConfig(handle);
    } catch (...) {
        // Out of memory: the texts stay English where they were not taken.
    }
}

extern "C" __declspec(dllexport) void InitializeLogger(LogHandle2* handle) { TakeEditorLog(handle); }

// Called once after loading, before any entry: the settings file is read here.
extern "C" __declspec(dllexport) bool InitializePlugin(DWORD) {
    try {
        EnsureSettingsLoaded();
    } catch (...) {
        // Out of memory: the first entry called tries again.
    }
    return true;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
