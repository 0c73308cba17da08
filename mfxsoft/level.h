// H.264 level limits (Annex A) used to check and choose CodecLevel.
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

}  // namespace mfxsoft
