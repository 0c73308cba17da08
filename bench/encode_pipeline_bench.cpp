// Speed of the video encode driver with the soft runtime's null encoder, next
// to the work the plug-in cannot avoid for the same frames: the row-flipping
// copy out of the host's bottom-up frame and the RGB to NV12 conversion, one
// after the other on one thread.
//
// Usage: encode_pipeline_bench [frames [width height]]   (default 600 1920 1080)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "encode/video_encoder.h"
#include "mfxsoft/color.h"

namespace {

constexpr int kDistinctFrames = 4;  // rotate so the caches see fresh frames

struct Frames {
    int width;
    int height;
    size_t stride;
    std::vector<std::vector<uint8_t>> dibs;
};
Frames* frames = nullptr;

void* GetVideo(int32_t frame) { return frames->dibs[frame % kDistinctFrames].data(); }
int32_t IsAbort() { return 0; }
int32_t ShowRestTime(int32_t, int32_t) { return 0; }
int32_t UpdatePreview() { return 0; }

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double RunPipeline(int count, const std::string& path) {
    OutputInfo info{};
    info.width = frames->width;
    info.height = frames->height;
    info.rate = 30000;
    info.scale = 1001;
    info.frameCount = count;
    info.getVideo = GetVideo;
    info.isAbort = IsAbort;
    info.showRestTime = ShowRestTime;
    info.updatePreview = UpdatePreview;
    SettingData settings{};
    settings.version = kSettingVersion;
    settings.hardwareImpl = 2;
    settings.codecProfile = 100;
    settings.codecLevel = 41;
    settings.targetUsage = 4;
    settings.rateControl = 2;
    settings.targetKbps = 8000;
    settings.maxKbps = 12000;

    std::remove(path.c_str());
    const auto start = std::chrono::steady_clock::now();
    const bool ok = EncodeVideoToFile(info, settings, path.c_str());
    const double seconds = Seconds(start);
    std::remove(path.c_str());
    if (!ok) {
        std::fprintf(stderr, "EncodeVideoToFile failed\n");
        std::exit(1);
    }
    return seconds;
}

// Which of the two steps the bare work runs: both, or one for the breakdown.
enum Steps { kCopyAndConvert, kCopyOnly, kConvertOnly };

double RunBareWork(int count, Steps steps = kCopyAndConvert) {
    const int width = frames->width;
    const int height = frames->height;
    const int w32 = (width + 31) & ~31;
    const int alignedHeight = (height + 15) & ~15;
    const int h32 = (alignedHeight + 31) & ~31;
    const size_t pitch = static_cast<size_t>(w32) * 3;
    std::vector<uint8_t> rgb(pitch * h32);
    std::vector<uint8_t> nv12(static_cast<size_t>(w32) * h32 * 3 / 2);

    const auto start = std::chrono::steady_clock::now();
    for (int frame = 0; frame < count; ++frame) {
        const uint8_t* dib = static_cast<const uint8_t*>(GetVideo(frame));
        if (steps != kConvertOnly) {
            for (int row = 0; row < height; ++row) {
                std::memcpy(&rgb[(height - 1 - row) * pitch], dib + row * frames->stride, frames->stride);
            }
        }
        if (steps == kCopyOnly) continue;
        mfxsoft::ConvertBgr24ToNv12(
            mfxsoft::Bgr24View{rgb.data(), pitch, width, height},
            mfxsoft::Nv12View{nv12.data(), static_cast<size_t>(w32), nv12.data() + static_cast<size_t>(w32) * h32,
                              static_cast<size_t>(w32), width, alignedHeight});
    }
    return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 600;
    Frames made{argc > 3 ? std::atoi(argv[2]) : 1920, argc > 3 ? std::atoi(argv[3]) : 1080, 0, {}};
    if (count <= 0 || made.width <= 0 || made.height <= 0) {
        std::fprintf(stderr, "usage: %s [frames [width height]]\n", argv[0]);
        return 2;
    }
    made.stride = (static_cast<size_t>(made.width) * 3 + 3) & ~size_t{3};
    for (int i = 0; i < kDistinctFrames; ++i) {
        std::vector<uint8_t> dib(made.stride * made.height);
        for (size_t b = 0; b < dib.size(); ++b) dib[b] = static_cast<uint8_t>(b * 7 + i * 31 + (b >> 11));
        made.dibs.push_back(std::move(dib));
    }
    frames = &made;
    ::setenv("MFXSOFT_ENCODER", "null", 1);
    const char* dir = std::getenv("TMPDIR");
    const std::string path = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/tarvo-bench-" +
                             std::to_string(::getpid()) + ".h264";

    // Best of three, each: the machine is shared.
    double pipeline = 1e30, bare = 1e30, copy = 1e30, convert = 1e30;
    for (int round = 0; round < 3; ++round) {
        pipeline = std::min(pipeline, RunPipeline(count, path));
        bare = std::min(bare, RunBareWork(count));
        copy = std::min(copy, RunBareWork(count, kCopyOnly));
        convert = std::min(convert, RunBareWork(count, kConvertOnly));
    }
    std::printf("frames: %d of %dx%d, null encoder\n", count, made.width, made.height);
    std::printf("EncodeVideoToFile: %.1f fps (%.3f s)\n", count / pipeline, pipeline);
    std::printf("bare work (flip copy + RGB to NV12, one thread): %.1f fps (%.3f s)\n", count / bare, bare);
    std::printf("  of which flip copy alone: %.1f fps, conversion alone: %.1f fps\n", count / copy, count / convert);
    std::printf("pipeline time / bare work time: %.2f (goal <= 1.20; goal >= 250 fps)\n", pipeline / bare);
    return 0;
}
