// The AAC encoder and the muxer that Tarvo's archives put beside the plug-in.
#pragma once
#include <string>

#include "core/setting_data.h"

// The names the release zip and ExEdit2's package give the two programs in
// the plug-in's own folder.
inline constexpr char kPackagedAacEncoder[] = "tarvo-aac.exe";
inline constexpr char kPackagedMuxer[] = "tarvo-mux.exe";

// Gives each program path of `settings` that is empty the packaged program
// of that kind in `pluginFolder` (which ends in a separator), when that file
// is a program there and its path fits the field. A path someone entered
// stays as it is, and so does an empty one when nothing is beside the
// plug-in (the export then names the missing program, as before).
void TakeProgramsBeside(const std::string& pluginFolder, SettingData& settings);
