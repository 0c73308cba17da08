// The settings block as tarvo-host keeps it: a file holding the raw block,
// exactly what the editor stores for the plug-in: 1024 bytes of version 3, or
// 820 of version 2 as older builds wrote them.
#pragma once
#include <string>
#include <vector>

#include "core/setting_data.h"

namespace host {

// The record the settings dialog builds, with what a fresh machine needs
// filled in: the stand-in AAC encoder and muxer of this build and the
// system's temporary folder.
SettingData HostDefaultSettings();

// The bytes of a settings file as they are, for handing to the plug-in as
// the editor would. False with `error` set when it is not a regular file of
// 1024 or 820 bytes or cannot be read; never reads more than 1025 bytes.
bool ReadSettingsBytes(const std::string& path, std::string* bytes, std::string* error);

// Reads a settings file into a version-3 record (ReadSettingBlock: a
// version-2 file is upgraded). False with `error` set when ReadSettingsBytes
// fails or the block's version is not the one of its size. Saving always
// writes version 3.
bool LoadSettingsFile(const std::string& path, SettingData* data, std::string* error);
bool SaveSettingsFile(const std::string& path, const SettingData& data, std::string* error);

// The record as "key = value" lines, one per field, in record order.
std::string FormatSettings(const SettingData& data);

// Applies one "key=value" edit. Keys are the field names (version,
// hardwareImpl, ..., tempFolder), then version 3's: codec (h264, hevc, av1),
// bitDepth (8, 10), gopLength, bFrames (stored as gopRefDist = bFrames + 1),
// idrInterval, qpI, qpP, qpB, quality, lookAhead (lookAheadDepth),
// avbrAccuracy, avbrConvergence; "auto" is 0, the runtime's choice, for
// codecLevel and the GOP and look-ahead fields. Numbers are decimal digits (no
// blanks), texts at most 259 characters. Only what the dialog can store is
// taken: version 3, a listed value for every list, 0 to 99999 for the video
// bit rates. False with `error` set for an unknown key or a bad value.
bool ApplySetting(SettingData* data, const std::string& assignment, std::string* error);

// What cannot be checked one field at a time: the AAC profile and bit rate
// are one row of the dialog's list. False with `error` set otherwise.
bool CheckSettings(const SettingData& data, std::string* error);

}  // namespace host
