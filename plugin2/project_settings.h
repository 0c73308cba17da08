// The settings a project keeps in its project file: the 1024-byte record as
// one binary value, and beside it a string naming its version and size, so
// that a value this build cannot read is told from no value at all.
// Portable (the project file is a table of functions), tested natively.
#pragma once
#include <string>

#include "core/setting_data.h"
#include "plugin2/output2.h"

// The keys, in Tarvo's own part of the project file.
inline constexpr char kProjectSettingsKey[] = "settings";
inline constexpr char kProjectRecordKey[] = "settings_record";

enum class ProjectSettings {
    kTaken,    // the project's record is now the current settings
    kNone,     // the project holds no Tarvo settings: the current ones stay
    kIgnored,  // it holds a value this build does not read: the current ones stay
};

// Reads the project's settings into `current` when it holds a record of
// version 3; `current` is left alone otherwise. `note` receives what a
// log should say of a value that was ignored (its size or version).
ProjectSettings LoadProjectSettings(const ProjectFile2& project, SettingData* current, std::string* note);

// Replaces Tarvo's values in the project with `settings`.
void SaveProjectSettings(const ProjectFile2& project, const SettingData& settings);
