#include "plugin/output_plugin.h"
#include "plugin/plugin_entries.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// "MP4" 出力 "Tarvo" in Shift-JIS.
#define TARVO_NAME "MP4\x8F\x6F\x97\xCDTarvo"

const char kName[] = TARVO_NAME;
const char kFileFilter[] = "MP4 File (*.mp4)\0*.mp4\0AllFile (*.*)\0*.*\0";
const char kInformation[] = TARVO_NAME " " TARVO_VERSION;

OutputPluginTable pluginTable = {
    0,             kName,      kFileFilter,      kInformation, nullptr, nullptr,
    OutputEntry,   ConfigEntry, SettingsGetEntry, SettingsSetEntry, {},
};

}  // namespace

TARVO_EXPORT OutputPluginTable* TARVO_CDECL GetOutputPluginTable() { return &pluginTable; }

#ifndef _WIN32
// tarvo-host's way to the export log (the editor has none to offer).
TARVO_EXPORT void TarvoSetExportLog(ExportLogSink sink) { ExportLogTarget() = sink; }
#endif

#ifdef _WIN32
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
#endif
