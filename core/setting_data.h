// The settings record: 820 bytes, stored by AviUtl as an opaque block and by
// the ExEdit2 front end in its own file, handed back between runs, so its
// layout is fixed byte for byte. Its text fields hold paths in the front end's
// encoding: the ANSI code page in the .auo, UTF-8 in the .auo2 and natively.
#pragma once
#include <cstddef>
#include <cstdint>

inline constexpr int32_t kSettingVersion = 2;
inline constexpr size_t kSettingPathSize = 260;  // 259 characters and the terminator

struct SettingData {
    int32_t version;       // 2 in every valid record
    int32_t hardwareImpl;  // MFX_IMPL_HARDWARE .. MFX_IMPL_HARDWARE4
    int32_t codecProfile;  // MFX_PROFILE_AVC_*
    int32_t codecLevel;    // MFX_LEVEL_AVC_*
    int32_t targetUsage;   // MFX_TARGETUSAGE_*
    int32_t rateControl;   // MFX_RATECONTROL_CBR or _VBR
    int32_t targetKbps;
    int32_t maxKbps;
    int32_t aacProfile;    // 1 LC, 2 HE, 3 HEv2
    int32_t aacKbps;
    char aacEncoderPath[kSettingPathSize];
    char muxerPath[kSettingPathSize];
    char tempFolder[kSettingPathSize];
};

static_assert(sizeof(SettingData) == 820);
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

// The default record, as the settings dialog builds it.
SettingData DefaultSettingData();

// A text field of a restored record may lack its terminator. Every reader
// goes through this: it copies the field into `out`, cut at 259 characters,
// always terminated.
void ReadSettingText(const char (&field)[kSettingPathSize], char (&out)[kSettingPathSize]);
