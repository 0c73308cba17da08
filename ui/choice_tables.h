// The tables behind the dialog's lists: the n-th row of a list is the n-th
// row of its table. Each table ends with a row without a label.
#pragma once
#include <cstdint>

struct CodecInfo;

struct ChoiceRow {
    const char* label;
    int32_t value;
};

struct AudioChoiceRow {
    const char* label;
    int32_t profile;  // aacProfile: 1 LC, 2 HE, 3 HEv2
    int32_t kbps;     // aacKbps
};

extern const ChoiceRow kHardwareChoices[];
extern const ChoiceRow kTargetUsageChoices[];
extern const AudioChoiceRow kAudioBitRateChoices[];

// The codec lists, made on first use from the codec table (encode/codec.h),
// which holds their values. The codecs by name, valued by their SDK id.
const ChoiceRow* CodecChoices();
// The rows that follow the codec: its bit depths ("8-bit", and "10-bit" only
// for a codec that encodes it), its profiles labelled in capitals ("MAIN",
// "MAIN10"), and "auto" (MFX_LEVEL_UNKNOWN) first, then its levels by name;
// H.264's only up to 5.1, as the dialog has always listed them.
const ChoiceRow* BitDepthChoices(const CodecInfo& codec);
const ChoiceRow* CodecProfileChoices(const CodecInfo& codec);
const ChoiceRow* CodecLevelChoices(const CodecInfo& codec);
// The rate-control modes some encoder of the codec takes, by the names of
// the rate-control table ("CBR", "VBR", "CQP", ..., "LA_ICQ", "QVBR").
const ChoiceRow* RateControlChoices(const CodecInfo& codec);
