// The tables behind the dialog's lists: the n-th row of a list is the n-th
// row of its table. Each table ends with a row without a label.
#pragma once
#include <cstdint>

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
extern const ChoiceRow kRateControlChoices[];
extern const AudioChoiceRow kAudioBitRateChoices[];

// The codec's lists, made on first use from the codec table (encode/codec.h),
// which holds their values: the profiles labelled in capitals ("MAIN"), the
// levels by name up to 5.1, as the dialog has always listed them.
const ChoiceRow* CodecProfileChoices();
const ChoiceRow* CodecLevelChoices();
