// ExEdit2's entries and the translation of its job record into the engine's.
#pragma once
#include <string>

#include "core/export_job.h"
#include "plugin2/output2.h"

// The engine's job for `info`: the same sizes, `saveFile` (the save path in
// UTF-8, owned by the caller) and callbacks that reach the editor's with
// frames asked as 24-bit DIBs and audio as 16-bit PCM (`info` is their
// context, so it must outlive the job). The log goes to the editor's log
// when the editor gave one (InitializeLogger).
ExportJob MakeExportJob2(const OutputInfo2& info, const SettingData& settings, const std::string& saveFile);

bool Output2Entry(OutputInfo2* info);
bool Config2Entry(void* window, void* instance);
const wchar_t* ConfigText2Entry();
// The project's settings become the current ones when it holds a record;
// saving writes the current ones into it. Both return true: a value that
// cannot be read is logged and leaves the current settings.
bool LoadProjectConfig2Entry(ProjectFile2* project);
bool SaveProjectConfig2Entry(ProjectFile2* project);

// InitializeConfig: the editor's folder for the settings file, and every
// translatable text in the user's language, taken now (the handle is not
// used afterwards).
void TakeEditorConfig(ConfigHandle2* handle);
// InitializeLogger: the editor's log, kept for the session.
void TakeEditorLog(LogHandle2* handle);

// Loads the settings file once per loaded DLL; every entry calls it first.
void EnsureSettingsLoaded();
