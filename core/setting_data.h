// The settings record: 1024 bytes, stored by AviUtl as an opaque block and by
// the ExEdit2 front end in its own file, handed back between runs, so its
// layout is fixed byte for byte. Its text fields hold paths in the front end's
// encoding: the ANSI code page in the .auo, UTF-8 in the .auo2 and natively.
//
// Version 3 keeps version 2's 820 bytes as they were and adds the fields the
// next codecs and rate controls need, then reserved room, so later fields
// come without another size (ExEdit2's per-project store takes 4096 bytes at
// most). Every saved AviUtl project holds an 820-byte version-2 block;
// ReadSettingBlock upgrades it.
#pragma once
#include <cstddef>
#include <cstdint>

inline constexpr int32_t kSettingVersion = 3;
inline constexpr int32_t kSettingVersion2 = 2;
inline constexpr size_t kSettingPathSize = 260;  // 259 characters and the terminator
inline constexpr size_t kSettingSize = 1024;
inline constexpr size_t kSettingSize2 = 820;  // a version-2 block

struct SettingData {
    // Version 2's fields, unchanged.
    int32_t version;       // 3 in every valid record
    int32_t hardwareImpl;  // MFX_IMPL_HARDWARE .. MFX_IMPL_HARDWARE4
    int32_t codecProfile;  // MFX_PROFILE_AVC_*
    int32_t codecLevel;    // MFX_LEVEL_AVC_*; MFX_LEVEL_UNKNOWN (0) will mean "the runtime's choice"
    int32_t targetUsage;   // MFX_TARGETUSAGE_*
    int32_t rateControl;   // MFX_RATECONTROL_CBR or _VBR
    int32_t targetKbps;
    int32_t maxKbps;
    int32_t aacProfile;  // 1 LC, 2 HE, 3 HEv2
    int32_t aacKbps;
    char aacEncoderPath[kSettingPathSize];
    char muxerPath[kSettingPathSize];
    char tempFolder[kSettingPathSize];
    // Version 3's, in the Media SDK's own values; 0 is "the runtime's choice"
    // where the SDK reads it so.
    int32_t codec;            // MFX_CODEC_AVC, _HEVC or _AV1 (a FourCC)
    int32_t bitDepth;         // 8 or 10
    int32_t qpI;              // constant QP (MFX_RATECONTROL_CQP), per frame type
    int32_t qpP;
    int32_t qpB;
    int32_t quality;          // ICQ, LA-ICQ and QVBR quality, 1 (best) to 51
    int32_t lookAheadDepth;   // frames
    int32_t avbrAccuracy;     // AVBR's Accuracy, in tenths of a percent
    int32_t avbrConvergence;  // AVBR's Convergence, in units of 100 frames
    int32_t gopLength;        // GopPicSize
    int32_t gopRefDist;       // GopRefDist: B-frames in a row + 1
    int32_t idrInterval;      // IdrInterval
    uint8_t reserved[kSettingSize - 868];  // zero; room for later fields
};

static_assert(sizeof(SettingData) == kSettingSize);
static_assert(kSettingSize <= 4096);
static_assert(offsetof(SettingData, version) == 0);
static_assert(offsetof(SettingData, hardwareImpl) == 4);
static_assert(offsetof(SettingData, codecProfile) == 8);
static_assert(offsetof(SettingData, codecLevel) == 12);
static_assert(offsetof(SettingData, targetUsage) == 16);
static_assert(offsetof(SettingData, rateControl) == 20);
static_assert(offsetof(SettingData, targetKbps) == 24);
static_assert(offsetof(SettingData, maxKbps) == 28);
static_assert(offsetof(SettingData, aacProfile) == 32);
static_assert(offsetof(SettingData, aacKbps) == 36);
static_assert(offsetof(SettingData, aacEncoderPath) == 40);
static_assert(offsetof(SettingData, muxerPath) == 300);
static_assert(offsetof(SettingData, tempFolder) == 560);
static_assert(offsetof(SettingData, codec) == kSettingSize2);
static_assert(offsetof(SettingData, bitDepth) == 824);
static_assert(offsetof(SettingData, qpI) == 828);
static_assert(offsetof(SettingData, qpP) == 832);
static_assert(offsetof(SettingData, qpB) == 836);
static_assert(offsetof(SettingData, quality) == 840);
static_assert(offsetof(SettingData, lookAheadDepth) == 844);
static_assert(offsetof(SettingData, avbrAccuracy) == 848);
static_assert(offsetof(SettingData, avbrConvergence) == 852);
static_assert(offsetof(SettingData, gopLength) == 856);
static_assert(offsetof(SettingData, gopRefDist) == 860);
static_assert(offsetof(SettingData, idrInterval) == 864);
static_assert(offsetof(SettingData, reserved) == 868);

// The default record, as the settings dialog builds it: version 3, H.264 in
// 8 bits, every new field at the value that exports exactly as version 2 did.
SettingData DefaultSettingData();

// What ReadSettingBlock made of a block.
enum class SettingBlock {
    kTaken,         // a version-3 block of 1024 bytes
    kUpgraded,      // a version-2 block of 820 bytes, given version 3's defaults
    kNoBlock,       // a null pointer
    kWrongSize,     // neither 1024 nor 820 bytes
    kWrongVersion,  // 1024 bytes not of version 3, or 820 not of version 2
};

// The record a stored block of `size` bytes holds, or why there is none; `out`
// is written only when the block is taken or upgraded. The one place that
// turns stored bytes into a record: the .auo's settings-set entry, the
// .auo2's settings file and tarvo-host's settings files all go through it.
SettingBlock ReadSettingBlock(const void* data, size_t size, SettingData* out);

// A text field of a restored record may lack its terminator. Every reader
// goes through this: it copies the field into `out`, cut at 259 characters,
// always terminated.
void ReadSettingText(const char (&field)[kSettingPathSize], char (&out)[kSettingPathSize]);
