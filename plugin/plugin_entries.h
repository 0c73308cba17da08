// The entries of the plug-in table, and the translation of AviUtl's job
// record into the engine's.
#pragma once
#include "core/export_job.h"
#include "plugin/output_plugin.h"

// Runs one export job; nonzero when the MP4 file was written or the user
// cancelled. A failure shows its message in one box, except during a batch
// output (flag 4), where nobody would dismiss it.
int32_t TARVO_CDECL OutputEntry(OutputInfo* info);
// Opens the settings dialog on the front end's settings; always nonzero.
int32_t TARVO_CDECL ConfigEntry(void* ownerWindow, void* instance);
// Copies the current settings out when `size` (as unsigned) holds them;
// returns their size, 1024.
int32_t TARVO_CDECL SettingsGetEntry(void* data, int32_t size);
// Restores the settings from a version-3 block of 1024 bytes or a version-2
// block of 820 (upgraded, see ReadSettingBlock); returns the size taken, 0
// when refused.
int32_t TARVO_CDECL SettingsSetEntry(void* data, int32_t size);

// The engine's job for `info` with `settings`: the same sizes and paths, and
// callbacks that reach the host's (`info` is their context, so it must outlive
// the job). A host callback that is null leaves the job's null; progress
// shows the rest time and then refreshes the preview, each when given. The
// log goes to the sink set with TarvoSetExportLog, when one is.
ExportJob MakeExportJob(const OutputInfo& info, const SettingData& settings);

// The AviUtl front end's settings: zero-filled (not valid) until the editor
// restores its block or the dialog replaces them. Host thread only.
SettingData& PluginSettings();

// Where tarvo-host sends the export log (the .so exports TarvoSetExportLog);
// null: no log. Host thread only.
using ExportLogSink = void (*)(const char* line);
ExportLogSink& ExportLogTarget();
