// Watches the calls the encode code makes into the SDK runtime and the OS
// layer, through the linker's --wrap: the real functions still run.
#pragma once
#include <cstdint>
#include <mutex>
#include <vector>

#include <mfxvideo.h>

namespace tarvo_test {

struct VppCall {
    mfxFrameSurface1* in;
    mfxFrameSurface1* out;
    mfxStatus status;
};

struct EncodeCall {
    mfxFrameSurface1* surface;
    mfxU64 timeStamp;  // of the surface, at submission
    mfxStatus status;
};

struct MfxCalls {
    int init = 0;
    int close = 0;
    int vppClose = 0;
    int encodeClose = 0;
    int threadsStarted = 0;
    int filesOpened = 0;
    std::vector<VppCall> vpp;
    std::vector<EncodeCall> encode;
};

// A copy of what was recorded since the last Reset.
MfxCalls RecordedCalls();
void ResetRecordedCalls();

}  // namespace tarvo_test
