// ExEdit2's entries and the translation of its job record into the engine's.
#pragma once
#include <string>

#include "core/export_job.h"
#include "plugin2/output2.h"

// The engine's job for `info`: the same sizes, `saveFile` (the save path in
// UTF-8, owned by the caller) and callbacks that reach the editor's with
// frames asked as 24-bit DIBs and audio as 16-bit PCM (`info` is their
// context, so it must outlive the job).
ExportJob MakeExportJob2(const OutputInfo2& info, const SettingData& settings, const std::string& saveFile);

bool Output2Entry(OutputInfo2* info);
bool Config2Entry(void* window, void* instance);
const wchar_t* ConfigText2Entry();

// Loads the settings file once per loaded DLL; every entry calls it first.
void EnsureSettingsLoaded();
