// The entries of the plug-in table, and the translation of AviUtl's job
// record into the engine's.
#pragma once
#include "core/export_job.h"
#include "plugin/output_plugin.h"

// Runs one export job; nonzero when the MP4 file was written.
int32_t TARVO_CDECL OutputEntry(OutputInfo* info);
// Opens the settings dialog; always nonzero.
int32_t TARVO_CDECL ConfigEntry(void* ownerWindow, void* instance);
// Copies the current settings out; returns their size, 820.
int32_t TARVO_CDECL SettingsGetEntry(void* data, int32_t size);
// Restores the settings; returns 820 when taken, 0 when refused.
int32_t TARVO_CDECL SettingsSetEntry(void* data, int32_t size);

// The engine's job for `info` with `settings`: the same sizes and paths, and
// callbacks that reach the host's (`info` is their context, so it must outlive
// the job). A host callback that is null leaves the job's null; progress
// shows the rest time and then refreshes the preview, each when given.
ExportJob MakeExportJob(const OutputInfo& info, const SettingData& settings);
