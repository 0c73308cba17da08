// RGB3 to NV12: the soft runtime's conversion against libswscale converting
// the same 1920x1080 BGR24 frames to NV12, one core each, in the same run.
// Also reports how far each lands from the BT.601 limited-range formula.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "mfxsoft/color.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080, kAligned = 1088;
constexpr int kFrames = 4;  // cycled, so the source is not always in cache

// A DIB-like frame: gradients, texture and noise.
std::vector<uint8_t> MakeFrame(int seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bgr(static_cast<size_t>(kWidth) * 3 * kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            uint8_t* p = &bgr[(static_cast<size_t>(y) * kWidth + x) * 3];
            const int noise = static_cast<int>(random() % 16);
            p[0] = static_cast<uint8_t>((x / 8 + seed * 20 + noise) & 0xFF);
            p[1] = static_cast<uint8_t>((y / 5 + noise) & 0xFF);
            p[2] = static_cast<uint8_t>(static_cast<int>(128 + 100 * std::sin((x + y + seed) * 0.01)) & 0xFF);
        }
    }
    return bgr;
}

const std::vector<std::vector<uint8_t>>& Frames() {
    static const std::vector<std::vector<uint8_t>> frames = [] {
        std::vector<std::vector<uint8_t>> f;
        for (int i = 0; i < kFrames; ++i) f.push_back(MakeFrame(i + 1));
        return f;
    }();
    return frames;
}

struct Deviation {
    double luma = 0, chroma = 0;
};

// Largest distance of the luma plane, and of the chroma against the mean of
// each 2x2 block, from the formula. libswscale filters chroma with other taps
// and siting, so only its luma is comparable.
Deviation WorstDeviation(const std::vector<uint8_t>& bgr, const uint8_t* y, int yPitch, const uint8_t* uv, int uvPitch) {
    Deviation d;
    double& worst = d.luma;
    for (int row = 0; row < kHeight; row += 7) {
        for (int x = 0; x < kWidth; ++x) {
            const uint8_t* p = &bgr[(static_cast<size_t>(row) * kWidth + x) * 3];
            worst = std::max(worst, std::fabs(y[row * yPitch + x] - mfxsoft::ReferenceBt601(p[2], p[1], p[0]).y));
        }
    }
    double& worstChroma = d.chroma;
    for (int by = 0; by < kHeight / 2; by += 5) {
        for (int bx = 0; bx < kWidth / 2; ++bx) {
            double r = 0, g = 0, b = 0;
            for (int dy = 0; dy < 2; ++dy) {
                for (int dx = 0; dx < 2; ++dx) {
                    const uint8_t* p = &bgr[((static_cast<size_t>(2 * by + dy)) * kWidth + 2 * bx + dx) * 3];
                    b += p[0];
                    g += p[1];
                    r += p[2];
                }
            }
            const auto ref = mfxsoft::ReferenceBt601(r / 4, g / 4, b / 4);
            worstChroma = std::max(worstChroma, std::fabs(uv[by * uvPitch + 2 * bx] - ref.cb));
            worstChroma = std::max(worstChroma, std::fabs(uv[by * uvPitch + 2 * bx + 1] - ref.cr));
        }
    }
    return d;
}

void BM_Mfxsoft(benchmark::State& state) {
    const auto& frames = Frames();
    std::vector<uint8_t> y(static_cast<size_t>(kWidth) * kAligned), uv(static_cast<size_t>(kWidth) * kAligned / 2);
    size_t i = 0;
    for (auto _ : state) {
        const auto& bgr = frames[i++ % frames.size()];
        mfxsoft::ConvertBgr24ToNv12(mfxsoft::Bgr24View{bgr.data(), kWidth * 3u, kWidth, kHeight},
                                    mfxsoft::Nv12View{y.data(), kWidth, uv.data(), kWidth, kWidth, kAligned});
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    mfxsoft::ConvertBgr24ToNv12(mfxsoft::Bgr24View{frames[0].data(), kWidth * 3u, kWidth, kHeight},
                                mfxsoft::Nv12View{y.data(), kWidth, uv.data(), kWidth, kWidth, kAligned});
    const Deviation d = WorstDeviation(frames[0], y.data(), kWidth, uv.data(), kWidth);
    state.counters["luma_dev"] = d.luma;
    state.counters["chroma_dev"] = d.chroma;
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Swscale(benchmark::State& state) {
    const auto& frames = Frames();
    SwsContext* context = sws_getContext(kWidth, kHeight, AV_PIX_FMT_BGR24, kWidth, kHeight, AV_PIX_FMT_NV12,
                                         static_cast<int>(state.range(0)), nullptr, nullptr, nullptr);
    if (context == nullptr) {
        state.SkipWithError("sws_getContext failed");
        return;
    }
    std::vector<uint8_t> y(static_cast<size_t>(kWidth) * kAligned), uv(static_cast<size_t>(kWidth) * kAligned / 2);
    uint8_t* dst[4] = {y.data(), uv.data(), nullptr, nullptr};
    int dstStride[4] = {kWidth, kWidth, 0, 0};
    const int srcStride[4] = {kWidth * 3, 0, 0, 0};
    size_t i = 0;
    for (auto _ : state) {
        const uint8_t* src[4] = {frames[i++ % frames.size()].data(), nullptr, nullptr, nullptr};
        sws_scale(context, src, srcStride, 0, kHeight, dst, dstStride);
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    const uint8_t* src[4] = {frames[0].data(), nullptr, nullptr, nullptr};
    sws_scale(context, src, srcStride, 0, kHeight, dst, dstStride);
    const Deviation d = WorstDeviation(frames[0], y.data(), kWidth, uv.data(), kWidth);
    state.counters["luma_dev"] = d.luma;
    state.counters["chroma_dev"] = d.chroma;
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    sws_freeContext(context);
}

}  // namespace

BENCHMARK(BM_Mfxsoft)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Swscale)->Arg(SWS_BILINEAR)->Arg(SWS_FAST_BILINEAR)->Arg(SWS_BILINEAR | SWS_ACCURATE_RND)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
