// The TestVideo button: opens a session on the chosen adapter, asks the
// encoder of the settings' codec to initialise with a fixed 320x240 test
// format and the chosen codec choices, closes the session and words the
// verdict with what it found out on the way.
#pragma once
#include <string>

#include <mfxvideo.h>

#include "core/setting_data.h"

// The test's frames: NV12 320x240 at 30/1, progressive.
inline constexpr int kTestVideoWidth = 320;
inline constexpr int kTestVideoHeight = 240;
inline constexpr uint32_t kTestVideoRateN = 30;
inline constexpr uint32_t kTestVideoRateD = 1;

// The encoder parameters of the test: the test's frames, system memory, and
// the encoder description an export would use (MakeEncoderInfo: the codec,
// the low 16 bits of the record's codec choices, the bit rates through
// BRCParamMultiplier above 65535 kbps, negative ones as 0), every other
// field zero.
mfxVideoParam MakeTestVideoParam(const SettingData& data);

// Runs the test for `data` and returns the message to show. Its first line
// is the verdict ("Success TestVideoParam", "MFXInit: MFX_ERR_UNSUPPORTED",
// "MFXVideoENCODE_Init: ..."); the lines after it say why or what was found:
// the status and the adapter asked for and, on Windows, the runtime files
// tried when MFXInit failed; the encoder's answer and a level too low for
// the test when the encoder did not simply accept; the runtime, adapter,
// colour matrix, the level the encoder settled on and each field of the
// mode and the GOP it changed or chose for "auto" once a session is open.
// The encoder gets the coding-option buffers the export attaches
// (FillCodingOptions); Query, as in the export, is asked without them.
// After a failed MFXInit no further SDK call is made; otherwise the session
// is closed whatever the encoder answered.
std::string RunVideoParamTest(const SettingData& data);
