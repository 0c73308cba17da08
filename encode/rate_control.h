// The rate-control modes the settings can name, in the Media SDK's values,
// and which of the record's fields each one reads; the encoder description,
// the settings checks, the settings dialog and tarvo-host's keys read this
// one table, and the ranges below.
#pragma once
#include <cstdint>
#include <span>
#include <string>

#include <mfxvideo.h>

struct SettingData;

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

// The values of the mode as a user reads them after its name: "1400/1400
// kbps" (target/maximum) for CBR, VBR, LA and a mode the table does not
// hold, "22/24/26" (QP I/P/B) for CQP, "23" (quality) for ICQ and LA_ICQ,
// "23 4000/6000 kbps" for QVBR, "4000 kbps" for AVBR.
std::string RateControlValues(const SettingData& settings);

// The values a numeric field of the record may hold where its mode or the
// GOP reads it, as the SDK's 16-bit fields take them; the export's checks,
// the dialog and tarvo-host all ask these.
struct FieldRange {
    int32_t low, high;
    bool zeroIsAuto;  // 0 as well: the runtime's choice

    bool Holds(int32_t value) const { return (zeroIsAuto && value == 0) || (value >= low && value <= high); }
};

// QPs: 1 to 51, AV1's quantizer indices 1 to 255.
FieldRange QpRange(mfxU32 codecId);
inline constexpr FieldRange kQualityRange{1, 51, false};
inline constexpr FieldRange kLookAheadRange{10, 100, true};
inline constexpr FieldRange kAvbrAccuracyRange{1, 65535, true};
inline constexpr FieldRange kAvbrConvergenceRange{1, 65535, true};
inline constexpr FieldRange kGopLengthRange{1, 65535, true};
inline constexpr FieldRange kIdrIntervalRange{1, 65535, true};
// B-frames in a row, stored as gopRefDist = B-frames + 1; gopRefDist 0 is
// the runtime's choice.
inline constexpr FieldRange kBFramesRange{0, 65534, false};
