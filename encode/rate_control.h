// The rate-control modes the settings can name, in the Media SDK's values,
// and which of the record's fields each one reads; the encoder description,
// the settings checks and tarvo-host's keys read this one table.
#pragma once
#include <cstdint>
#include <span>
#include <string>

#include <mfxvideo.h>

struct RateControlMode {
    mfxU16 value;      // MFX_RATECONTROL_*
    const char* name;  // "CBR", "LA_ICQ": as the user reads and types it
    bool usesTargetKbps;
    bool usesMaxKbps;
    bool usesQp;          // qpI, qpP, qpB
    bool usesQuality;     // ICQ quality, or QVBR's
    bool usesLookAhead;   // lookAheadDepth
    bool usesAccuracy;    // avbrAccuracy, avbrConvergence
};

std::span<const RateControlMode> RateControlModes();

// The mode with this value, or null for one the table does not hold.
const RateControlMode* FindRateControl(int32_t value);

// "ICQ", or "rate control N" for a value the table does not hold.
std::string RateControlName(int32_t value);
