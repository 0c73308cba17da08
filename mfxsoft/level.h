// Level limits of H.264, H.265 (main tier) and AV1 (main tier), used to
// check and choose CodecLevel.
#pragma once
#include <cstdint>

namespace mfxsoft {

// True for the MFX_LEVEL_AVC_* values.
bool IsKnownAvcLevel(int level);

// The lowest level whose limits admit the picture (macroblocks per frame and
// per second, frame width and height) and the bit rate; 0 when none does.
int MinimalAvcLevel(int widthMbs, int heightMbs, double framesPerSecond, uint32_t maxKbps, bool highProfile);

// Order of levels: level 1b sorts between 1 and 1.1.
int CompareAvcLevels(int a, int b);

// Most reference frames the level's decoded picture buffer holds at this size.
int MaxDpbFrames(int level, int frameMbs);

// H.265 levels (MFX_LEVEL_HEVC_*, main tier: no MFX_TIER_HEVC_HIGH bit). They
// sort by value.
bool IsKnownHevcLevel(int level);
// The lowest level whose luma picture size, side length, luma sample rate and
// main-tier bit rate admit the stream; 0 when none does.
int MinimalHevcLevel(int width, int height, double framesPerSecond, uint32_t maxKbps);
// Most reference pictures the level's DPB holds beside the current one.
int HevcMaxReferences(int level, int width, int height);

// AV1 levels (MFX_LEVEL_AV1_*): the fourteen the standard defines (2.0, 2.1,
// 3.0, 3.1, 4.0, 4.1, 5.0 to 5.3, 6.0 to 6.3); the SDK's values of the
// others (2.2, 2.3, 3.2, 3.3, 4.2, 4.3) name no limits. They sort by value.
bool IsKnownAv1Level(int level);
// The lowest level whose picture size, sides, display rate and main-tier bit
// rate admit the stream; 0 when none does.
int MinimalAv1Level(int width, int height, double framesPerSecond, uint32_t maxKbps);

}  // namespace mfxsoft
