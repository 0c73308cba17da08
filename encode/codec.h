// What is particular to each video codec the plug-in can ask the Media SDK
// for, in one table: its SDK id, the name shown to the user, the extension of
// its raw stream, its bit depths, its profiles and its levels with their
// limits. The dialog's lists, the encoder set-up, the ExEdit2 config text
// and tarvo-host's settings keys all read it, so another codec is another
// row here plus its encoder set-up.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include <mfxvideo.h>

struct SettingData;

// One level and the limits that decide whether a stream fits it, counted
// in luma samples of the frame the encoder gets (each side aligned up to 16,
// as the plug-in's surfaces are), so one rule serves every codec: H.264's
// macroblock limits times 256, H.265's MaxLumaPs and MaxLumaSr, AV1's
// MaxPicSize, MaxHSize, MaxVSize and MaxDisplayRate.
struct CodecLevel {
    const char* name;                 // "4.1", "1b"
    mfxU16 value;                     // MFX_LEVEL_AVC_41
    uint32_t maxSamplesPerSecond;     // MaxMBPS x 256, MaxLumaSr, MaxDisplayRate
    uint32_t maxPictureSamples;       // MaxFS x 256, MaxLumaPs, MaxPicSize
    uint32_t maxWidth, maxHeight;     // sqrt(8 x the picture limit) for H.264 and H.265
    uint32_t maxKbps;                 // MaxBR (main tier), in 1000 bit/s
};

struct CodecProfile {
    const char* name;  // "Main": as the config text says it
    const char* key;   // "main": as tarvo-host's settings take it
    mfxU16 value;      // MFX_PROFILE_AVC_MAIN
    // The level's MaxBR is in units of this many bit/s (cpbBrVclFactor):
    // 1000, but 1250 for H.264's High.
    uint32_t bitRateFactor;
    // The one bit depth the profile encodes, 0 for any the codec has.
    int32_t bitDepth;
};

struct CodecInfo {
    mfxU32 id;              // MFX_CODEC_AVC
    const char* name;       // "H.264"
    const char* key;        // "h264": as tarvo-host's settings take it
    const char* extension;  // of the raw stream's temporary file: "h264"
    bool tenBit;            // encodes 10 bits as well as 8
    // Which Intel GPUs and runtimes encode it, for a user whose runtime
    // does not; empty where every one does.
    const char* hardwareNeeded;
    std::span<const CodecProfile> profiles;
    // Lowest first, in the order the limits grow (H.264's 1b sits between 1
    // and 1.1).
    std::span<const CodecLevel> levels;
    // The rate-control modes (MFX_RATECONTROL_*) some Intel encoder of the
    // codec takes, in the order of RateControlModes(); which ones a given
    // runtime takes is for its Query to say.
    std::span<const mfxU16> rateControls;
};

const CodecInfo& AvcCodec();
const CodecInfo& HevcCodec();
const CodecInfo& Av1Codec();

// Every codec, in the order the dialog lists them.
std::span<const CodecInfo* const> Codecs();

// The codec with this SDK id, or null for one the plug-in does not know.
const CodecInfo* FindCodec(mfxU32 id);

// The codec a settings record's `codec` field names; the one place that reads
// that field. A value no row holds gives H.264, but UnlistedSetting refuses
// such a record first, so this is a fallback for texts, never an encode.
const CodecInfo& SettingsCodec(const SettingData& settings);

// Lookups by value. A value is taken whole: a stored record's 32-bit field
// whose high bits are set names no row. MFX_LEVEL_UNKNOWN (0, "auto", the
// runtime's choice) is no row either.
const CodecProfile* FindProfile(const CodecInfo& codec, int32_t value);
const CodecLevel* FindLevel(const CodecInfo& codec, int32_t value);

// The profile a codec gets at a bit depth when the one asked for does not
// encode it: the first that does.
const CodecProfile& ProfileForBitDepth(const CodecInfo& codec, int32_t bitDepth);

// Whether some Intel encoder of the codec takes the rate-control mode.
bool CodecTakesRateControl(const CodecInfo& codec, int32_t rateControl);

// Whether a profile encodes `bitDepth` bits.
bool ProfileTakes(const CodecProfile& profile, int32_t bitDepth);

// Makes a record's bit depth, profile and level belong to its codec, after
// the codec or the bit depth changed: a depth the codec does not encode
// becomes 8, a profile not of the codec or not of the depth the depth's
// first profile, a level the codec does not name "auto". What already
// belongs stays. A codec no row holds changes nothing.
void FitSettingsToCodec(SettingData& settings);

// Chooses a profile and, when the profile has one bit depth (HEVC's Main
// and Main10), that depth.
void ChooseProfile(SettingData& settings, const CodecProfile& profile);

// "Main", or "profile N" for a value the table does not hold.
std::string ProfileName(const CodecInfo& codec, int32_t value);
// "4.1", "1b", "auto" for MFX_LEVEL_UNKNOWN, or "level N" for a value the
// table does not hold.
std::string LevelName(const CodecInfo& codec, int32_t value);

// Whether a stream of `width` x `height` pixels at rateN/rateD frames per
// second and at most `maxKbps` (1000 bit/s) in `profile` keeps within the
// level's limits: frame size and sides, sample rate and bit rate, the latter
// scaled by the profile's factor (a profile the table does not hold counts
// as 1000). False for a size or rate that is not positive.
bool LevelFits(const CodecInfo& codec, const CodecLevel& level, int width, int height, uint32_t rateN,
               uint32_t rateD, int32_t maxKbps, mfxU16 profile);

// The first level, in the table's order, that fits; nullopt when none does.
std::optional<mfxU16> LowestLevelThatFits(const CodecInfo& codec, int width, int height, uint32_t rateN,
                                          uint32_t rateD, int32_t maxKbps, mfxU16 profile);

// Position of a level in the table's order, nullopt for a value it does not
// hold; for telling whether one level is below another.
std::optional<size_t> LevelRank(const CodecInfo& codec, int32_t value);
