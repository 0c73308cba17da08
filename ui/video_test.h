// The TestVideo button: opens a session on the chosen adapter, asks the AVC
// encoder to initialise with a fixed 320x240 test format and the chosen
// codec choices, closes the session and words the verdict.
#pragma once
#include <string>

#include <mfxvideo.h>

#include "core/setting_data.h"

// The encoder parameters of the test: NV12 320x240 at 30/1, progressive,
// system memory, the low 16 bits of the record's codec choices, the bit rates
// through BRCParamMultiplier above 65535 kbps (negative ones as 0), every
// other field zero.
mfxVideoParam MakeTestVideoParam(const SettingData& data);

// Runs the test for `data` and returns the message to show. After a failed
// MFXInit no further SDK call is made; otherwise the session is closed
// whatever the encoder answered.
std::string RunVideoParamTest(const SettingData& data);
