// Why a set-up of the pipeline, or TestVideo's encoder, was refused, in one
// line the user can act on.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <mfxvideo.h>

#include "encode/encode_pipeline.h"

struct ExportJob;
struct SettingData;

// The cause line of a failed OpenEncodePipeline for `job`: a frame size or
// bit rate refused before the runtime was asked; for MFXInit,
// InitFailureCause; otherwise the setting to blame where one can be named
// (SettingsProblem; for a codec the runtime does not encode at all,
// CodecRefusedText), followed by the SDK call that ended the set-up and what
// it answered in brackets, or that call and answer alone.
std::string SetupFailureCause(const ExportJob& job, const EncodePipeline& pipeline);

// "MFXInit answered MFX_ERR_UNSUPPORTED for HARDWARE2", followed by where the
// Windows loader looked when it found no runtime that opened a session.
std::string InitFailureCause(mfxStatus status, mfxIMPL impl);

// A codec this build does not encode, a bit depth the codec is not encoded
// in, or a profile, level, target usage or rate control that no list of the
// dialog holds ("codecProfile 65536 is not an H.264 profile (...)"), or "".
// The SDK's fields are 16 bits wide, so such a value could reach the runtime
// as another one (65536 as 0, "the runtime's choice").
std::string UnlistedSetting(const SettingData& settings);

// The setting to blame when a runtime refuses `settings` for frames of
// `width` x `height` at rateN/rateD per second, or "" when none stands out:
// a profile, level, target usage or rate control no list holds, a bit rate
// below 1 kbps, or a level too low for the frame size, rate and peak bit rate
// ("Level 4 is too low for 3840x2160 at 30 fps and 1400 kbps; the lowest
// level that fits is 5.1").
std::string SettingsProblem(const SettingData& settings, int width, int height, uint32_t rateN, uint32_t rateD);

// What a runtime's MFX_ERR_UNSUPPORTED from MFXVideoENCODE_Query means for
// these settings: "This runtime does not encode AV1 Main in 10 bits; AV1
// needs an Intel Arc, ...".
std::string CodecRefusedText(const SettingData& settings);

// What MFX_ERR_UNSUPPORTED from MFXVideoENCODE_Query means when no setting
// is to blame: the codec (CodecRefusedText) when the mode is CBR or VBR,
// which every runtime has, else the mode ("LA is not supported for HEVC by
// this runtime").
std::string QueryRefusalText(const SettingData& settings);

// Why a runtime's initialisation that changed `changes` (EncoderChanges) is
// refused: a changed mode as "AVBR is not supported for HEVC by this
// runtime; it would encode VBR", else "The runtime would change GOP 30 to
// 32, ...".
std::string ChangeRefusalText(const SettingData& settings, const std::vector<std::string>& changes);
