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

// H.265 general limits, main tier.
struct HevcLimits {
    int level;
    uint64_t maxLumaPs;  // luma samples per picture
    uint64_t maxLumaSr;  // luma samples per second
    uint32_t maxBr;      // kbit/s (VCL, Main and Main 10)
};

constexpr HevcLimits kHevcLevels[] = {
    {10, 36864, 552960, 128},           {20, 122880, 3686400, 1500},
    {21, 245760, 7372800, 3000},        {30, 552960, 16588800, 6000},
    {31, 983040, 33177600, 10000},      {40, 2228224, 66846720, 12000},
    {41, 2228224, 133693440, 20000},    {50, 8912896, 267386880, 25000},
    {51, 8912896, 534773760, 40000},    {52, 8912896, 1069547520, 60000},
    {60, 35651584, 1069547520, 60000},  {61, 35651584, 2139095040, 120000},
    {62, 35651584, 4278190080, 240000},
};

// AV1 limits, main tier, Main profile (bit rate factor 1).
struct Av1Limits {
    int level;
    uint64_t maxPicSize;
    int maxHSize, maxVSize;
    uint64_t maxDisplayRate;  // luma samples shown per second
    uint32_t maxKbps;
};

constexpr Av1Limits kAv1Levels[] = {
    {20, 147456, 2048, 1152, 4423680, 1500},        {21, 278784, 2816, 1584, 8363520, 3000},
    {30, 665856, 4352, 2448, 19975680, 6000},       {31, 1065024, 5504, 3096, 31950720, 10000},
    {40, 2359296, 6144, 3456, 70778880, 12000},     {41, 2359296, 6144, 3456, 141557760, 20000},
    {50, 8912896, 8192, 4352, 267386880, 30000},    {51, 8912896, 8192, 4352, 534773760, 40000},
    {52, 8912896, 8192, 4352, 1069547520, 60000},   {53, 8912896, 8192, 4352, 1069547520, 60000},
    {60, 35651584, 16384, 8704, 1069547520, 60000}, {61, 35651584, 16384, 8704, 2139095040, 100000},
    {62, 35651584, 16384, 8704, 4278190080, 160000}, {63, 35651584, 16384, 8704, 4278190080, 160000},
};

// Rates are compared with a little slack, so that 29.97 fps or a rounding
// of the frame rate never pushes a stream to the next level.
constexpr double kRateSlack = 1.0000001;

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

bool IsKnownHevcLevel(int level) {
    for (const HevcLimits& limits : kHevcLevels) {
        if (limits.level == level) return true;
    }
    return false;
}

int MinimalHevcLevel(int width, int height, double framesPerSecond, uint32_t maxKbps) {
    const uint64_t size = static_cast<uint64_t>(width) * height;
    for (const HevcLimits& limits : kHevcLevels) {
        // Neither side may exceed sqrt(8 * MaxLumaPs).
        const double side = std::sqrt(8.0 * static_cast<double>(limits.maxLumaPs));
        if (size <= limits.maxLumaPs && width <= side && height <= side &&
            static_cast<double>(size) * framesPerSecond <= static_cast<double>(limits.maxLumaSr) * kRateSlack &&
            maxKbps <= limits.maxBr) {
            return limits.level;
        }
    }
    return 0;
}

int HevcMaxReferences(int level, int width, int height) {
    uint64_t maxLumaPs = 0;
    for (const HevcLimits& limits : kHevcLevels) {
        if (limits.level == level) maxLumaPs = limits.maxLumaPs;
    }
    if (maxLumaPs == 0) return 15;
    // MaxDpbSize grows from 6 pictures as the picture gets smaller than the level's largest.
    const uint64_t size = static_cast<uint64_t>(width) * height;
    int dpb = 6;
    if (size <= maxLumaPs / 4) {
        dpb = 16;
    } else if (size <= maxLumaPs / 2) {
        dpb = 12;
    } else if (size <= maxLumaPs * 3 / 4) {
        dpb = 8;
    }
    return dpb - 1;
}

bool IsKnownAv1Level(int level) {
    for (const Av1Limits& limits : kAv1Levels) {
        if (limits.level == level) return true;
    }
    return false;
}

int MinimalAv1Level(int width, int height, double framesPerSecond, uint32_t maxKbps) {
    const uint64_t size = static_cast<uint64_t>(width) * height;
    for (const Av1Limits& limits : kAv1Levels) {
        if (size <= limits.maxPicSize && width <= limits.maxHSize && height <= limits.maxVSize &&
            static_cast<double>(size) * framesPerSecond <= static_cast<double>(limits.maxDisplayRate) * kRateSlack &&
            maxKbps <= limits.maxKbps) {
            return limits.level;
        }
    }
    return 0;
}

}  // namespace mfxsoft
