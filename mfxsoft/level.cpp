#include "mfxsoft/level.h"

#include <cmath>

namespace mfxsoft {
namespace {

struct LevelLimits {
    int level;         // MFX_LEVEL_AVC_* value
    double maxMbps;    // macroblocks per second
    int maxFs;         // macroblocks per frame
    int maxDpbMbs;
    uint32_t maxBr;    // kbit/s for Baseline and Main; High allows 1.25 times this
};

// In ascending order; 1b (9) sits between 1 and 1.1.
constexpr LevelLimits kLevels[] = {
    {10, 1485, 99, 396, 64},          {9, 1485, 99, 396, 128},
    {11, 3000, 396, 900, 192},        {12, 6000, 396, 2376, 384},
    {13, 11880, 396, 2376, 768},      {20, 11880, 396, 2376, 2000},
    {21, 19800, 792, 4752, 4000},     {22, 20250, 1620, 8100, 4000},
    {30, 40500, 1620, 8100, 10000},   {31, 108000, 3600, 18000, 14000},
    {32, 216000, 5120, 20480, 20000}, {40, 245760, 8192, 32768, 20000},
    {41, 245760, 8192, 32768, 50000}, {42, 522240, 8704, 34816, 50000},
    {50, 589824, 22080, 110400, 135000}, {51, 983040, 36864, 184320, 240000},
    {52, 2073600, 36864, 184320, 240000}, {60, 4177920, 139264, 696320, 240000},
    {61, 8355840, 139264, 696320, 480000}, {62, 16711680, 139264, 696320, 800000},
};

int IndexOf(int level) {
    for (int i = 0; i < static_cast<int>(sizeof kLevels / sizeof kLevels[0]); ++i) {
        if (kLevels[i].level == level) return i;
    }
    return -1;
}

}  // namespace

bool IsKnownAvcLevel(int level) { return IndexOf(level) >= 0; }

int CompareAvcLevels(int a, int b) { return IndexOf(a) - IndexOf(b); }

int MinimalAvcLevel(int widthMbs, int heightMbs, double framesPerSecond, uint32_t maxKbps, bool highProfile) {
    const int frameMbs = widthMbs * heightMbs;
    for (const LevelLimits& limits : kLevels) {
        // A frame side may not exceed sqrt(8 * MaxFS) macroblocks.
        const double side = std::sqrt(8.0 * limits.maxFs);
        const double brLimit = limits.maxBr * (highProfile ? 1.25 : 1.0);
        if (frameMbs <= limits.maxFs && widthMbs <= side && heightMbs <= side &&
            frameMbs * framesPerSecond <= limits.maxMbps * 1.0000001 && maxKbps <= brLimit) {
            return limits.level;
        }
    }
    return 0;
}

int MaxDpbFrames(int level, int frameMbs) {
    int index = IndexOf(level);
    if (index < 0 || frameMbs <= 0) return 16;
    int frames = kLevels[index].maxDpbMbs / frameMbs;
    return frames < 1 ? 1 : (frames > 16 ? 16 : frames);
}

}  // namespace mfxsoft
