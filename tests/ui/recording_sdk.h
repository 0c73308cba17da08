// A stand-in for the SDK functions the video test calls: it records each
// call and answers with the statuses a test sets. Host thread only.
#pragma once
#include <string>
#include <vector>

#include <mfxvideo.h>

struct SdkCall {
    std::string name;
    mfxIMPL impl = 0;
    mfxVideoParam param{};  // its ExtParam points at the caller's buffers of the time
    // Copies of the coding-option buffers the call carried, by id (0: none).
    mfxExtCodingOption2 option2{};
    mfxExtCodingOption3 option3{};
};

extern std::vector<SdkCall> sdkCalls;
extern mfxStatus initStatus;         // what MFXInit answers
extern mfxStatus encoderInitStatus;  // what MFXVideoENCODE_Init answers

// The names of the recorded calls, in order.
std::vector<std::string> SdkCallNames();
