// The encoder's parameters in the settings' terms, as asked of a runtime and
// as it settled on them: what the export log and the video test show, and
// which fields a runtime changed.
#pragma once
#include <string>
#include <vector>

#include <mfxvideo.h>

struct SettingData;

struct EncoderParams {
    mfxInfoMFX mfx{};
    mfxU16 lookAheadDepth = 0;  // mfxExtCodingOption2
    mfxU16 qvbrQuality = 0;     // mfxExtCodingOption3
};

// What an export asks: MakeEncoderInfo and the coding-option fields.
EncoderParams AskedEncoderParams(const SettingData& settings);

// MFXVideoENCODE_GetVideoParam of an initialised encoder, with the
// coding-option buffers of the rate control `asked` uses attached; without
// them when the runtime will not fill them.
mfxStatus GetSettledEncoderParams(mfxSession session, const EncoderParams& asked, EncoderParams* settled);

// "HEVC 10-bit, profile Main10 (2), level 5.1 (51), target usage 4, rate
// control ICQ (9), quality 23, GOP 60, B distance 3, IDR interval 0": only
// the rate fields the mode reads.
std::string DescribeEncoder(const EncoderParams& params);

// The fields the user set that the runtime settled otherwise, each as
// "rate control AVBR to VBR"; fields asked as 0 (the runtime's choice)
// are the runtime's to settle and never count.
std::vector<std::string> EncoderChanges(const EncoderParams& asked, const EncoderParams& settled);
