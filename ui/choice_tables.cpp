#include "ui/choice_tables.h"

const ChoiceRow kHardwareChoices[] = {
    {"1", 2}, {"2", 5}, {"3", 6}, {"4", 7},  // MFX_IMPL_HARDWARE .. MFX_IMPL_HARDWARE4
    {nullptr, 0},
};

const ChoiceRow kCodecProfileChoices[] = {
    {"BASELINE", 66}, {"MAIN", 77}, {"HIGH", 100},
    {nullptr, 0},
};

const ChoiceRow kCodecLevelChoices[] = {
    {"1", 10},   {"1b", 9},   {"1.1", 11}, {"1.2", 12}, {"1.3", 13}, {"2", 20},
    {"2.1", 21}, {"2.2", 22}, {"3", 30},   {"3.1", 31}, {"3.2", 32}, {"4", 40},
    {"4.1", 41}, {"4.2", 42}, {"5", 50},   {"5.1", 51},
    {nullptr, 0},
};

const ChoiceRow kTargetUsageChoices[] = {
    {"QUALITY", 1}, {"BALANCED", 4}, {"SPEED", 7},
    {nullptr, 0},
};

const ChoiceRow kRateControlChoices[] = {
    {"CBR", 1}, {"VBR", 2},
    {nullptr, 0},
};

const AudioChoiceRow kAudioBitRateChoices[] = {
    {"LC 320[kbps]", 1, 320},  {"LC 256[kbps]", 1, 256},  {"LC 192[kbps]", 1, 192},
    {"LC 160[kbps]", 1, 160},  {"LC 144[kbps]", 1, 144},  {"LC 128[kbps]", 1, 128},
    {"LC 112[kbps]", 1, 112},  {"LC 96[kbps]", 1, 96},    {"LC 80[kbps]", 1, 80},
    {"LC 64[kbps]", 1, 64},    {"HE 96[kbps]", 2, 96},    {"HE 64[kbps]", 2, 64},
    {"HE 56[kbps]", 2, 56},    {"HE 48[kbps]", 2, 48},    {"HE 40[kbps]", 2, 40},
    {"HE 32[kbps]", 2, 32},    {"HEv2 48[kbps]", 3, 48},  {"HEv2 40[kbps]", 3, 40},
    {"HEv2 32[kbps]", 3, 32},  {"HEv2 24[kbps]", 3, 24},  {"HEv2 20[kbps]", 3, 20},
    {"HEv2 16[kbps]", 3, 16},
    {nullptr, 0, 0},
};
