// Speed of the video encode driver with the soft runtime's null encoder (or x264), next
// to the work the plug-in cannot avoid for the same frames: the row-flipping
// copy out of the host's bottom-up frame and the RGB to NV12 conversion, one
// after the other on one thread; then the same with the soft runtime
// behaving like the VPL GPU runtime (RGB3 refused, so 32-bit RGB4 input,
// widened by the frame source) against the RGB4 row copy and conversion.
// Also counts, per thread, the waits that the OS timer ended (sleeps,
// timed-out waits): on Windows each can cost a timer tick, which no timing
// on this machine shows.
//
// With depth 10: HEVC Main10, the runtime's VPP converting to P010, against
// the flip copy and the P010 conversion.
//
// Usage: encode_pipeline_bench [frames [width height [null|x264 [8|10]]]]   (default 600 1920 1080 null 8)
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
#include "platform/sync.h"

namespace {

constexpr int kDistinctFrames = 4;  // rotate so the caches see fresh frames

struct Frames {
    int width;
    int height;
    size_t stride;
    std::vector<std::vector<uint8_t>> dibs;
};
Frames* frames = nullptr;
bool tenBit = false;

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

// Wall-clock and CPU seconds of one run, and the pipeline's timer-ended
// waits by thread.
struct Timing {
    double wall = 1e30;
    double cpu = 1e30;
    std::vector<platform::SleepCount> sleeps;
    double hostCpu = 1e30;  // the calling thread's share of `cpu`
    // Keeps the best times, and the most sleeps seen in any run.
    void Keep(const Timing& other) {
        wall = std::min(wall, other.wall);
        cpu = std::min(cpu, other.cpu);
        hostCpu = std::min(hostCpu, other.hostCpu);
        for (const platform::SleepCount& count : other.sleeps) {
            auto same = std::find_if(sleeps.begin(), sleeps.end(), [&](const platform::SleepCount& kept) {
                return std::strcmp(kept.label, count.label) == 0;
            });
            if (same == sleeps.end()) {
                sleeps.push_back(count);
            } else {
                same->count = std::max(same->count, count.count);
            }
        }
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
    settings.codec = tenBit ? MFX_CODEC_HEVC : MFX_CODEC_AVC;
    settings.bitDepth = tenBit ? 10 : 8;
    settings.codecProfile = tenBit ? MFX_PROFILE_HEVC_MAIN10 : MFX_PROFILE_AVC_HIGH;
    settings.codecLevel = info.height > 1088 ? 52 : 41;  // 4.1 is too low for 2160p
    settings.targetUsage = 4;
    settings.rateControl = 2;
    settings.targetKbps = 8000;
    settings.maxKbps = 12000;

    std::remove(path.c_str());
    platform::ResetSleepCounts();
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    const double hostStart = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    const bool ok = EncodeVideoToFile(info, path.c_str()).done();
    const Timing timing{Seconds(start), CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart, platform::SleepCounts(),
                        CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - hostStart};
    std::remove(path.c_str());
    if (!ok) {
        std::fprintf(stderr, "EncodeVideoToFile failed\n");
        std::exit(1);
    }
    return timing;
}

// Which of the steps the bare work runs: copy and conversion (RGB3 or RGB4),
// or one step for the breakdown: the RGB3 flip copy, the RGB4 flip copy
// (fast or the plain reference), the RGB3 conversion.
enum Steps { kCopyAndConvert, kExpandAndConvert, kCopyOnly, kExpandOnly, kExpandReferenceOnly, kConvertOnly };

Timing RunBareWork(int count, Steps steps = kCopyAndConvert) {
    const int width = frames->width;
    const int height = frames->height;
    const int w32 = (width + 31) & ~31;
    const int alignedHeight = (height + 15) & ~15;
    const int h32 = (alignedHeight + 31) & ~31;
    const size_t pitch = static_cast<size_t>(w32) * 3;
    std::vector<uint8_t> rgb(pitch * h32);
    std::vector<uint8_t> nv12(static_cast<size_t>(w32) * h32 * 3 / 2 * (tenBit ? 2 : 1));
    const size_t widePitch = static_cast<size_t>(w32) * 4;
    const bool wide = steps == kExpandAndConvert || steps == kExpandOnly || steps == kExpandReferenceOnly;
    std::vector<uint8_t> rgb4(wide ? widePitch * h32 : 0);
    const mfxsoft::Nv12View nv12View{nv12.data(), static_cast<size_t>(w32), nv12.data() + static_cast<size_t>(w32) * h32,
                                     static_cast<size_t>(w32), width, alignedHeight};

    const size_t p010Pitch = static_cast<size_t>(w32) * 2;
    const mfxsoft::P010View p010View{nv12.data(), p010Pitch, nv12.data() + p010Pitch * h32, p010Pitch,
                                     width,       alignedHeight, 1};
    // The conversion the runtime's VPP does, at the job's depth.
    auto convert = [&](const uint8_t* rgbData, size_t rgbPitch, int bytesPerPixel) {
        const mfxsoft::PackedBgrView view{rgbData, rgbPitch, width, height};
        if (tenBit) {
            mfxsoft::ConvertToP010(view, bytesPerPixel, p010View);
        } else if (bytesPerPixel == 4) {
            mfxsoft::ConvertBgra32ToNv12(view, nv12View);
        } else {
            mfxsoft::ConvertBgr24ToNv12(view, nv12View);
        }
    };
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    for (int frame = 0; frame < count; ++frame) {
        const uint8_t* dib = static_cast<const uint8_t*>(GetVideo(nullptr, frame));
        if (steps == kExpandOnly || steps == kExpandAndConvert) {
            FlipExpandRows(dib, frames->stride, rgb4.data(), widePitch, height, width);
            if (steps == kExpandAndConvert) convert(rgb4.data(), widePitch, 4);
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
        convert(rgb.data(), pitch, 3);
    }
    const double cpu = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpuStart;
    return Timing{Seconds(start), cpu, {}, cpu};
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 600;
    Frames made{argc > 3 ? std::atoi(argv[2]) : 1920, argc > 3 ? std::atoi(argv[3]) : 1080, 0, {}};
    const std::string encoder = argc > 4 ? argv[4] : "null";
    const std::string depth = argc > 5 ? argv[5] : "8";
    tenBit = depth == "10";
    if (count <= 0 || made.width <= 0 || made.height <= 0 || (encoder != "null" && encoder != "x264") ||
        (depth != "8" && depth != "10")) {
        std::fprintf(stderr, "usage: %s [frames [width height [null|x264 [8|10]]]]\n", argv[0]);
        return 2;
    }
    platform::LabelThreadForSleepCounts("host's thread");
    made.stride = (static_cast<size_t>(made.width) * 3 + 3) & ~size_t{3};
    for (int i = 0; i < kDistinctFrames; ++i) {
        std::vector<uint8_t> dib(made.stride * made.height);
        for (size_t b = 0; b < dib.size(); ++b) dib[b] = static_cast<uint8_t>(b * 7 + i * 31 + (b >> 11));
        made.dibs.push_back(std::move(dib));
    }
    frames = &made;
    ::setenv("MFXSOFT_ENCODER", encoder.c_str(), 1);
    const char* dir = std::getenv("TMPDIR");
    const std::string path = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/tarvo-bench-" +
                             std::to_string(::getpid()) + ".h264";

    // Best of three, each: the machine is shared. Wall clock is what counts;
    // CPU time shows the work when other programs inflate the wall clock.
    Timing pipeline, vplPipeline, bare, bareWide, copy, expand, expandReference, convert;
    for (int round = 0; round < 3; ++round) {
        ::setenv("MFXSOFT_RUNTIME", "msdk", 1);
        pipeline.Keep(RunPipeline(count, path));
        ::setenv("MFXSOFT_RUNTIME", "vpl", 1);
        vplPipeline.Keep(RunPipeline(count, path));
        bare.Keep(RunBareWork(count));
        bareWide.Keep(RunBareWork(count, kExpandAndConvert));
        copy.Keep(RunBareWork(count, kCopyOnly));
        expand.Keep(RunBareWork(count, kExpandOnly));
        expandReference.Keep(RunBareWork(count, kExpandReferenceOnly));
        convert.Keep(RunBareWork(count, kConvertOnly));
    }
    auto ms = [count](double seconds) { return seconds * 1000 / count; };
    std::printf("frames: %d of %dx%d, %s encoder, %s\n", count, made.width, made.height, encoder.c_str(),
                tenBit ? "HEVC Main10 (P010)" : "H.264 (NV12)");
    // Both input paths: the pipeline against its own bare work, and the
    // timer-ended waits by thread (the most of any run).
    auto report = [&](const char* name, const Timing& run, const Timing& bareRun) {
        std::printf("%s\n", name);
        std::printf("  EncodeVideoToFile: %.1f fps (%.2f ms per frame; CPU of all threads %.2f ms, "
                    "of the host's thread %.2f)\n",
                    count / run.wall, ms(run.wall), ms(run.cpu), ms(run.hostCpu));
        std::printf("  bare work (flip copy + conversion, one thread): %.1f fps (%.2f ms per frame; CPU %.2f ms)\n",
                    count / bareRun.wall, ms(bareRun.wall), ms(bareRun.cpu));
        std::printf("  pipeline / bare work: %.2f wall, %.2f CPU\n", run.wall / bareRun.wall, run.cpu / bareRun.cpu);
        uint64_t total = 0, ours = 0;
        for (const platform::SleepCount& sleeps : run.sleeps) {
            std::printf("  sleeps per frame, %s: %.3f (%llu)\n", sleeps.label,
                        static_cast<double>(sleeps.count) / count, static_cast<unsigned long long>(sleeps.count));
            total += sleeps.count;
            if (std::strcmp(sleeps.label, "host's thread") == 0 || std::strcmp(sleeps.label, "encoding worker") == 0) {
                ours += sleeps.count;
            }
        }
        std::printf("  sleeps per frame: host's thread + worker %.3f, whole process %.3f\n",
                    static_cast<double>(ours) / count, static_cast<double>(total) / count);
    };
    report("RGB3 input (runtime like the Media SDK's):", pipeline, bare);
    report("RGB4 input (runtime like the VPL GPU runtime):", vplPipeline, bareWide);
    std::printf("flip copy RGB3: CPU %.2f ms per frame; RGB3 conversion: CPU %.2f ms per frame\n", ms(copy.cpu),
                ms(convert.cpu));
    std::printf("RGB4 flip copy: CPU %.2f ms per frame (plain reference %.2f ms); RGB4 / RGB3: %.2f\n",
                ms(expand.cpu), ms(expandReference.cpu), expand.cpu / copy.cpu);
    return 0;
}
