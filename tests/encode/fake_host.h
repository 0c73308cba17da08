// A scripted host for pipeline and driver tests: frames are generated on
// request, callbacks are counted.
#pragma once
#include <cstdint>
#include <vector>

#include "core/export_job.h"

namespace tarvo_test {

enum class Picture {
    kFlatByIndex,      // every pixel of frame i has grey level 16 + (i * 8) % 224
    kVerticalGradient,  // dark at the top of the picture, bright at the bottom
    kColourNoise        // every byte of every pixel its own, from frame, row and column
};

struct FakeHost {
    int32_t width = 64;
    int32_t height = 64;
    int32_t rate = 30;
    int32_t scale = 1;
    int32_t frameCount = 10;
    Picture picture = Picture::kFlatByIndex;
    int32_t abortAfter = -1;    // isAbort answers 1 once this many frames were read
    int32_t missingFrame = -1;  // getVideo returns null for this frame
    int32_t renderMs = 0;       // getVideo takes this long, as an editor rendering a frame

    int32_t framesRead = 0;
    std::vector<uint8_t> dib;

    // The job record, with this host's callbacks and TestSettings().
    ExportJob Job();
};

// Settings the soft runtime accepts for small and full-HD frames.
SettingData TestSettings();

// The grey level of frame `index` in Picture::kFlatByIndex.
inline int GreyOf(int32_t index) { return 16 + (index * 8) % 224; }


}  // namespace tarvo_test
