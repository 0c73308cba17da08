// The .auo2's settings file: the defaults for projects that hold no settings
// of their own (ExEdit2 keeps each project's in the project file). The
// 1024-byte record (text fields in UTF-8) lives in a file per user, or per
// editor installation when the editor names its application-data folder.
// Portable, so its rules are tested natively too.
#pragma once
#include <string>

#include "core/setting_data.h"

// "<appData>\Tarvo\Tarvo_output.auo2.settings" (with the platform's
// separator): the place under the user's %APPDATA%, the only one before the
// editor named its folder. Empty when `appData` is empty.
std::string SettingsFolderPath(const std::string& appData);
std::string SettingsFilePath(const std::string& appData);

// "<editorData>\Plugin\Tarvo\Tarvo_output.auo2.settings": the place under
// the editor's application-data folder, beside the plug-ins. Empty when
// `editorData` is empty.
std::string EditorSettingsFolderPath(const std::string& editorData);
std::string EditorSettingsFilePath(const std::string& editorData);

// Where this session's settings file is, and where an older build kept it.
struct SettingsPlace {
    std::string folder;  // made, with its parent, when the file is saved
    std::string file;
    std::string oldFile;  // a file to take over once; empty: none
};

// The editor's place with the user's old file to take over when the editor
// named its folder; otherwise the old place itself.
SettingsPlace ChooseSettingsPlace(const std::string& editorData, const std::string& userAppData);

// The record the file at `path` holds: 1024 bytes of version 3, or 820 of
// version 2 (written by an older .auo2), upgraded. Anything else (no file, a
// folder, an unreadable file, another size or version) gives
// DefaultSettingData(). Never reads more than 1025 bytes. Saving writes
// version 3.
SettingData LoadSettingsFile(const std::string& path);

// What LoadSettingsPlace did, for the log.
enum class SettingsSource { kFile, kTakenOver, kTakenOverUnsaved, kDefaults };

// The settings at `place`: its file when there is one; otherwise, once, the
// old file's record, which is then saved at `place` (the old file stays as
// it was, for an older editor or build); otherwise the defaults. A file at
// `place` that holds no record gives the defaults and takes nothing over.
SettingData LoadSettingsPlace(const SettingsPlace& place, SettingsSource* source);

// Writes `settings` to `path` through a temporary file and a replace,
// creating the folder `folder` (and its parent) first when missing. False
// when the file could not be written; the old file is then as it was.
bool SaveSettingsFile(const std::string& folder, const std::string& path, const SettingData& settings);
