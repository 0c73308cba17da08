// The .auo2's own settings file: ExEdit2 keeps no settings block for output
// plug-ins, so the 1024-byte record (text fields in UTF-8) lives in a file per
// user. Portable, so its rules are tested natively too.
#pragma once
#include <string>

#include "core/setting_data.h"

// "<appData>\Tarvo\Tarvo_output.auo2.settings" (with the platform's
// separator); empty when `appData` is empty.
std::string SettingsFolderPath(const std::string& appData);
std::string SettingsFilePath(const std::string& appData);

// The record the file at `path` holds: 1024 bytes of version 3, or 820 of
// version 2 (written by an older .auo2), upgraded. Anything else (no file, a
// folder, an unreadable file, another size or version) gives
// DefaultSettingData(). Never reads more than 1025 bytes. Saving writes
// version 3.
SettingData LoadSettingsFile(const std::string& path);

// The names the package gives the AAC encoder and the muxer in the plug-in's
// own folder.
inline constexpr char kPackagedAacEncoder[] = "tarvo-aac.exe";
inline constexpr char kPackagedMuxer[] = "tarvo-mux.exe";

// Gives each program path of `settings` that is empty the packaged program
// of that kind in `pluginFolder` (which ends in a separator), when that file
// is a program there and its path fits the field. A path someone entered
// stays as it is, and so does an empty one when nothing is beside the
// plug-in (the export then names the missing program, as before).
void TakeProgramsBeside(const std::string& pluginFolder, SettingData& settings);

// Writes `settings` to `path` through a temporary file and a replace,
// creating the folder `folder` first when missing. False when the file could
// not be written; the old file is then as it was.
bool SaveSettingsFile(const std::string& folder, const std::string& path, const SettingData& settings);
