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

// Reads a settings file. False with `error` set when it is not a regular
// file of exactly 820 bytes or cannot be read.
bool LoadSettingsFile(const std::string& path, SettingData* data, std::string* error);
bool SaveSettingsFile(const std::string& path, const SettingData& data, std::string* error);

// The record as "key = value" lines, one per field, in record order.
std::string FormatSettings(const SettingData& data);

// Applies one "key=value" edit. Keys are the field names (version,
// hardwareImpl, ..., tempFolder); numbers are decimal digits (no blanks),
// texts at most 259 characters. Only what the dialog can store is taken:
// version 2, a listed value for every list, 0 to 99999 for the video bit
// rates. False with `error` set for an unknown key or a bad value.
bool ApplySetting(SettingData* data, const std::string& assignment, std::string* error);

// What cannot be checked one field at a time: the AAC profile and bit rate
// are one row of the dialog's list. False with `error` set otherwise.
bool CheckSettings(const SettingData& data, std::string* error);

}  // namespace host
