// Speed of the video encode driver with the soft runtime's null encoder, next
// to the work the plug-in cannot avoid for the same frames: the row-flipping
// copy out of the host's bottom-up frame and the RGB to NV12 conversion, one
// after the other on one thread. Then the same driver with the soft runtime
// behaving like the VPL GPU runtime (RGB3 refused, so 32-bit RGB4 input), and
// the RGB4 row copy (widening each pixel) against the RGB3 flip copy.
//
// Usage: encode_pipeline_bench [frames [width height]]   (default 600 1920 1080)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <time.h>
#include <unistd.h>

#include "encode/row_copy.h"
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

const void* GetVideo(void*, int32_t frame) { return frames->dibs[frame % kDistinctFrames].data(); }
bool IsAbort(void*) { return false; }
void ShowProgress(void*, int32_t, int32_t) {}

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// CPU time of `clock` (the process: every thread; or the calling thread).
double CpuSeconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

// Wall-clock and CPU seconds of one run.
struct Timing {
    double wall = 1e30;
    double cpu = 1e30;
    void Keep(const Timing& other) {
        wall = std::min(wall, other.wall);
        cpu = std::min(cpu, other.cpu);
    }
};

Timing RunPipeline(int count, const std::string& path) {
    ExportJob info;
    info.width = frames->width;
    info.height = frames->height;
    info.rate = 30000;
    info.scale = 1001;
    info.frameCount = count;
    info.getVideo = GetVideo;
    info.isAbort = IsAbort;
    info.showProgress = ShowProgress;
    SettingData& settings = info.settings;
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
    const double cpuStart = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    const bool ok = EncodeVideoToFile(info, path.c_str());
    const Timing timing{Seconds(start), CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart};
    std::remove(path.c_str());
    if (!ok) {
        std::fprintf(stderr, "EncodeVideoToFile failed\n");
        std::exit(1);
    }
    return timing;
}

// Which of the steps the bare work runs: copy and conversion, or one step
// for the breakdown: the RGB3 flip copy, the RGB4 flip copy (fast or the
// plain reference), the conversion.
enum Steps { kCopyAndConvert, kCopyOnly, kExpandOnly, kExpandReferenceOnly, kConvertOnly };

Timing RunBareWork(int count, Steps steps = kCopyAndConvert) {
    const int width = frames->width;
    const int height = frames->height;
    const int w32 = (width + 31) & ~31;
    const int alignedHeight = (height + 15) & ~15;
    const int h32 = (alignedHeight + 31) & ~31;
    const size_t pitch = static_cast<size_t>(w32) * 3;
    std::vector<uint8_t> rgb(pitch * h32);
    const size_t widePitch = static_cast<size_t>(w32) * 4;
    std::vector<uint8_t> rgb4(steps == kExpandOnly || steps == kExpandReferenceOnly ? widePitch * h32 : 0);
    std::vector<uint8_t> nv12(static_cast<size_t>(w32) * h32 * 3 / 2);

    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    for (int frame = 0; frame < count; ++frame) {
        const uint8_t* dib = static_cast<const uint8_t*>(GetVideo(nullptr, frame));
        if (steps == kExpandOnly) {
            FlipExpandRows(dib, frames->stride, rgb4.data(), widePitch, height, width);
            continue;
        }
        if (steps == kExpandReferenceOnly) {
            for (int row = 0; row < height; ++row) {
                ExpandBgrRowReference(dib + row * frames->stride, &rgb4[(height - 1 - row) * widePitch], width);
            }
            continue;
        }
        if (steps != kConvertOnly) FlipCopyRows(dib, frames->stride, rgb.data(), pitch, height, frames->stride);
        if (steps == kCopyOnly) continue;
        mfxsoft::ConvertBgr24ToNv12(
            mfxsoft::Bgr24View{rgb.data(), pitch, width, height},
            mfxsoft::Nv12View{nv12.data(), static_cast<size_t>(w32), nv12.data() + static_cast<size_t>(w32) * h32,
                              static_cast<size_t>(w32), width, alignedHeight});
    }
    return Timing{Seconds(start), CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpuStart};
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

    // Best of three, each: the machine is shared. Wall clock is what counts;
    // CPU time shows the work when other programs inflate the wall clock.
    Timing pipeline, vplPipeline, bare, copy, expand, expandReference, convert;
    for (int round = 0; round < 3; ++round) {
        ::setenv("MFXSOFT_RUNTIME", "msdk", 1);
        pipeline.Keep(RunPipeline(count, path));
        ::setenv("MFXSOFT_RUNTIME", "vpl", 1);
        vplPipeline.Keep(RunPipeline(count, path));
        bare.Keep(RunBareWork(count));
        copy.Keep(RunBareWork(count, kCopyOnly));
        expand.Keep(RunBareWork(count, kExpandOnly));
        expandReference.Keep(RunBareWork(count, kExpandReferenceOnly));
        convert.Keep(RunBareWork(count, kConvertOnly));
    }
    auto ms = [count](double seconds) { return seconds * 1000 / count; };
    std::printf("frames: %d of %dx%d, null encoder\n", count, made.width, made.height);
    std::printf("EncodeVideoToFile: %.1f fps (%.2f ms per frame; CPU of all threads %.2f ms per frame)\n",
                count / pipeline.wall, ms(pipeline.wall), ms(pipeline.cpu));
    std::printf("bare work (flip copy + RGB to NV12, one thread): %.1f fps (%.2f ms per frame; CPU %.2f ms)\n",
                count / bare.wall, ms(bare.wall), ms(bare.cpu));
    std::printf("  flip copy alone: CPU %.2f ms per frame; conversion alone: CPU %.2f ms per frame\n", ms(copy.cpu),
                ms(convert.cpu));
    std::printf("pipeline time / bare work time: %.2f wall (goal <= 1.20; goal >= 250 fps)\n",
                pipeline.wall / bare.wall);
    std::printf("EncodeVideoToFile, runtime like VPL (RGB4 input): %.1f fps (%.2f ms per frame; CPU %.2f ms); "
                "like Media SDK (RGB3): %.1f fps\n",
                count / vplPipeline.wall, ms(vplPipeline.wall), ms(vplPipeline.cpu), count / pipeline.wall);
    std::printf("RGB4 flip copy: CPU %.2f ms per frame (plain reference %.2f ms); RGB3 flip copy %.2f ms; "
                "RGB4 / RGB3: %.2f (goal <= 1.30)\n",
                ms(expand.cpu), ms(expandReference.cpu), ms(copy.cpu), expand.cpu / copy.cpu);
    return 0;
}
