// What is particular to each video codec the plug-in can ask the Media SDK
// for, in one table: its SDK id, the name shown to the user, the extension of
// its raw stream, its profiles and its levels with their limits. The dialog's
// lists, the encoder set-up, the ExEdit2 config text and tarvo-host's
// settings keys all read it, so another codec is another row here plus its
// encoder set-up.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include <mfxvideo.h>

struct SettingData;

// One level and the limits that decide whether a stream fits it, in
// macroblocks (16x16 luma samples) as H.264 counts them.
struct CodecLevel {
    const char* name;                  // "4.1", "1b"
    mfxU16 value;                      // MFX_LEVEL_AVC_41
    uint32_t maxMacroblocksPerSecond;  // MaxMBPS
    uint32_t maxFrameMacroblocks;      // MaxFS
    uint32_t maxKbps;                  // MaxBR for Baseline and Main, in 1000 bit/s
};

struct CodecProfile {
    const char* name;  // "Main": as the config text says it
    const char* key;   // "main": as tarvo-host's settings take it
    mfxU16 value;      // MFX_PROFILE_AVC_MAIN
    // The level's MaxBR is in units of this many bit/s (cpbBrVclFactor):
    // 1000 for Baseline and Main, 1250 for High.
    uint32_t bitRateFactor;
};

struct CodecInfo {
    mfxU32 id;              // MFX_CODEC_AVC
    const char* name;       // "H.264"
    const char* extension;  // of the raw stream's temporary file: "h264"
    std::span<const CodecProfile> profiles;
    // Lowest first, in the order the limits grow (H.264's 1b sits between 1
    // and 1.1).
    std::span<const CodecLevel> levels;
};

const CodecInfo& AvcCodec();

// The codec with this SDK id, or null for one the plug-in does not know.
const CodecInfo* FindCodec(mfxU32 id);

// The codec a settings record's `codec` field names; the one place that reads
// that field. A value no row holds gives H.264, but UnlistedSetting refuses
// such a record first, so this is a fallback for texts, never an encode.
const CodecInfo& SettingsCodec(const SettingData& settings);

// Lookups by value. A value is taken whole: a stored record's 32-bit field
// whose high bits are set names no row.
const CodecProfile* FindProfile(const CodecInfo& codec, int32_t value);
const CodecLevel* FindLevel(const CodecInfo& codec, int32_t value);

// "Main", or "profile N" for a value the table does not hold.
std::string ProfileName(const CodecInfo& codec, int32_t value);
// "4.1", "1b", or "level N" for a value the table does not hold.
std::string LevelName(const CodecInfo& codec, int32_t value);

// Whether a stream of `width` x `height` pixels at rateN/rateD frames per
// second and at most `maxKbps` (1000 bit/s) in `profile` keeps within the
// level's limits: frame size (also no side longer than sqrt(8 * MaxFS)
// macroblocks), macroblock rate and bit rate, the latter scaled by the
// profile's factor (a profile the table does not hold counts as Main). False
// for a size or rate that is not positive.
bool LevelFits(const CodecInfo& codec, const CodecLevel& level, int width, int height, uint32_t rateN,
               uint32_t rateD, int32_t maxKbps, mfxU16 profile);

// The first level, in the table's order, that fits; nullopt when none does.
std::optional<mfxU16> LowestLevelThatFits(const CodecInfo& codec, int width, int height, uint32_t rateN,
                                          uint32_t rateD, int32_t maxKbps, mfxU16 profile);

// Position of a level in the table's order, nullopt for a value it does not
// hold; for telling whether one level is below another.
std::optional<size_t> LevelRank(const CodecInfo& codec, int32_t value);
