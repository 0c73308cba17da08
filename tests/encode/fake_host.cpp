#include "tests/encode/fake_host.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace tarvo_test {
namespace {

bool IsAbort(void* context) {
    const FakeHost& host = *static_cast<FakeHost*>(context);
    return host.abortAfter >= 0 && host.framesRead >= host.abortAfter;
}
void ShowProgress(void*, int32_t, int32_t) {}

const void* GetVideo(void* context, int32_t frame) {
    FakeHost& host = *static_cast<FakeHost*>(context);
    if (frame == host.missingFrame) return nullptr;
    if (host.renderMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(host.renderMs));
    ++host.framesRead;
    const size_t stride = (static_cast<size_t>(host.width) * 3 + 3) & ~size_t{3};
    host.dib.assign(stride * host.height, 0);
    if (host.picture == Picture::kColourNoise) {
        uint32_t state = 2166136261u + static_cast<uint32_t>(frame);
        for (uint8_t& byte : host.dib) {
            state = state * 1664525u + 1013904223u;
            byte = static_cast<uint8_t>(state >> 24);
        }
        return host.dib.data();
    }
    for (int32_t row = 0; row < host.height; ++row) {
        // Row 0 of the DIB is the bottom of the picture.
        const int level = host.picture == Picture::kFlatByIndex
                              ? GreyOf(frame)
                              : 16 + 200 * (host.height - 1 - row) / (host.height > 1 ? host.height - 1 : 1);
        std::memset(&host.dib[row * stride], level, static_cast<size_t>(host.width) * 3);
    }
    return host.dib.data();
}

}  // namespace

ExportJob FakeHost::Job() {
    ExportJob info;
    info.width = width;
    info.height = height;
    info.rate = rate;
    info.scale = scale;
    info.frameCount = frameCount;
    info.settings = TestSettings();
    info.host = this;
    info.getVideo = GetVideo;
    info.isAbort = IsAbort;
    info.showProgress = ShowProgress;
    return info;
}

SettingData TestSettings() {
    SettingData settings = DefaultSettingData();  // H.264 in 8 bits
    settings.hardwareImpl = 2;   // MFX_IMPL_HARDWARE
    settings.codecProfile = 77;  // main: B-frames allowed
    settings.codecLevel = 41;
    settings.targetUsage = 4;
    settings.rateControl = 2;  // VBR
    settings.targetKbps = 1400;
    settings.maxKbps = 2000;
    return settings;
}

}  // namespace tarvo_test
