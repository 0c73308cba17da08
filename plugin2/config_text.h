// The one line ExEdit2 shows for the plug-in's current settings.
#pragma once
#include <string>

#include "core/setting_data.h"

// For example "H.264 High 4.1 · VBR 1400/1400 kbps · TU4 · AAC HE 64 kbps"
// (UTF-8): profile, level, rate control with target and maximum bit rate,
// target usage, AAC profile and bit rate. A value the codec table or the
// dialog's lists do not name shows as its number.
std::string ConfigText(const SettingData& settings);
// The same line in the user's language: `texts` translates the line's
// pattern, the level "auto" and the bit depth; names and numbers stay.
class TextTranslation;
std::string ConfigText(const SettingData& settings, const TextTranslation& texts);
