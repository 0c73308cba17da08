// The settings block as tarvo-host keeps it: a file holding the raw 820
// bytes, exactly what the editor stores for the plug-in.
#pragma once
#include <string>
#include <vector>

#include "core/setting_data.h"

namespace host {

// The record the settings dialog builds, with what a fresh machine needs
// filled in: the stand-in AAC encoder and muxer of this build and the
// system's temporary folder.
SettingData HostDefaultSettings();

// Reads a settings file. False with `error` set when it cannot be read or
// does not hold exactly 820 bytes.
bool LoadSettingsFile(const std::string& path, SettingData* data, std::string* error);
bool SaveSettingsFile(const std::string& path, const SettingData& data, std::string* error);

// The record as "key = value" lines, one per field, in record order.
std::string FormatSettings(const SettingData& data);

// Applies one "key=value" edit. Keys are the field names (version,
// hardwareImpl, ..., tempFolder); numbers are decimal, texts at most 259
// characters. False with `error` set for an unknown key or a bad value.
bool ApplySetting(SettingData* data, const std::string& assignment, std::string* error);

}  // namespace host
