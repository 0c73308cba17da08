// RGB3 and RGB4 to NV12: the soft runtime's conversion, at each vector level
// this processor has, against libswscale converting the same 1920x1080 BGR24
// (BGRA) frames to NV12, one core each, in the same run. Also reports how far
// each lands from the BT.601 limited-range formula.
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

// The same pictures as B, G, R, A pixels.
std::vector<uint8_t> Widen(const std::vector<uint8_t>& bgr) {
    std::vector<uint8_t> bgra(bgr.size() / 3 * 4);
    for (size_t i = 0; i < bgr.size() / 3; ++i) {
        for (int k = 0; k < 3; ++k) bgra[4 * i + k] = bgr[3 * i + k];
        bgra[4 * i + 3] = 255;
    }
    return bgra;
}

// Frames of `bpp` bytes a pixel.
const std::vector<std::vector<uint8_t>>& Frames(int bpp = 3) {
    static const std::vector<std::vector<uint8_t>> frames = [] {
        std::vector<std::vector<uint8_t>> f;
        for (int i = 0; i < kFrames; ++i) f.push_back(MakeFrame(i + 1));
        return f;
    }();
    static const std::vector<std::vector<uint8_t>> wide = [] {
        std::vector<std::vector<uint8_t>> f;
        for (const auto& frame : frames) f.push_back(Widen(frame));
        return f;
    }();
    return bpp == 4 ? wide : frames;
}

struct Deviation {
    double luma = 0, chroma = 0;
};

// Largest distance of the luma plane, and of the chroma against the mean of
// each 2x2 block, from the formula. libswscale filters chroma with other taps
// and siting, so only its luma is comparable.
Deviation WorstDeviation(const std::vector<uint8_t>& bgr, const uint8_t* y, int yPitch, const uint8_t* uv, int uvPitch,
                         mfxsoft::ColourMatrix matrix = mfxsoft::ColourMatrix::kBt601) {
    Deviation d;
    double& worst = d.luma;
    for (int row = 0; row < kHeight; row += 7) {
        for (int x = 0; x < kWidth; ++x) {
            const uint8_t* p = &bgr[(static_cast<size_t>(row) * kWidth + x) * 3];
            worst = std::max(worst, std::fabs(y[row * yPitch + x] - mfxsoft::ReferenceYuv(matrix, p[2], p[1], p[0]).y));
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
            const auto ref = mfxsoft::ReferenceYuv(matrix, r / 4, g / 4, b / 4);
            worstChroma = std::max(worstChroma, std::fabs(uv[by * uvPitch + 2 * bx] - ref.cb));
            worstChroma = std::max(worstChroma, std::fabs(uv[by * uvPitch + 2 * bx + 1] - ref.cr));
        }
    }
    return d;
}

// Arguments: vector level (platform::SimdLevel), bytes per pixel, matrix
// (0: BT.601, 1: BT.709).
void BM_Mfxsoft(benchmark::State& state) {
    const auto level = static_cast<platform::SimdLevel>(state.range(0));
    const int bpp = static_cast<int>(state.range(1));
    const auto matrix = static_cast<mfxsoft::ColourMatrix>(state.range(2));
    if (level > platform::BestSimdLevel()) {
        state.SkipWithError("this processor lacks the level");
        return;
    }
    const auto& frames = Frames(bpp);
    std::vector<uint8_t> y(static_cast<size_t>(kWidth) * kAligned), uv(static_cast<size_t>(kWidth) * kAligned / 2);
    const mfxsoft::Nv12View dst{y.data(), kWidth, uv.data(), kWidth, kWidth, kAligned};
    const size_t pitch = static_cast<size_t>(kWidth) * bpp;
    size_t i = 0;
    for (auto _ : state) {
        const auto& frame = frames[i++ % frames.size()];
        mfxsoft::ConvertToNv12With(level, mfxsoft::PackedBgrView{frame.data(), pitch, kWidth, kHeight}, bpp, dst, matrix);
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    mfxsoft::ConvertToNv12With(level, mfxsoft::PackedBgrView{frames[0].data(), pitch, kWidth, kHeight}, bpp, dst, matrix);
    const Deviation d = WorstDeviation(Frames(3)[0], y.data(), kWidth, uv.data(), kWidth, matrix);
    state.counters["luma_dev"] = d.luma;
    state.counters["chroma_dev"] = d.chroma;
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Arguments: flags, bytes per pixel (BGR24 or BGRA).
void BM_Swscale(benchmark::State& state) {
    const int bpp = static_cast<int>(state.range(1));
    const auto& frames = Frames(bpp);
    SwsContext* context = sws_getContext(kWidth, kHeight, bpp == 4 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24, kWidth,
                                         kHeight, AV_PIX_FMT_NV12, static_cast<int>(state.range(0)), nullptr,
                                         nullptr, nullptr);
    if (context == nullptr) {
        state.SkipWithError("sws_getContext failed");
        return;
    }
    std::vector<uint8_t> y(static_cast<size_t>(kWidth) * kAligned), uv(static_cast<size_t>(kWidth) * kAligned / 2);
    uint8_t* dst[4] = {y.data(), uv.data(), nullptr, nullptr};
    int dstStride[4] = {kWidth, kWidth, 0, 0};
    const int srcStride[4] = {kWidth * bpp, 0, 0, 0};
    size_t i = 0;
    for (auto _ : state) {
        const uint8_t* src[4] = {frames[i++ % frames.size()].data(), nullptr, nullptr, nullptr};
        sws_scale(context, src, srcStride, 0, kHeight, dst, dstStride);
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
    const uint8_t* src[4] = {frames[0].data(), nullptr, nullptr, nullptr};
    sws_scale(context, src, srcStride, 0, kHeight, dst, dstStride);
    const Deviation d = WorstDeviation(Frames(3)[0], y.data(), kWidth, uv.data(), kWidth);
    state.counters["luma_dev"] = d.luma;
    state.counters["chroma_dev"] = d.chroma;
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    sws_freeContext(context);
}

}  // namespace

BENCHMARK(BM_Mfxsoft)->ArgNames({"level", "bpp", "matrix"})->ArgsProduct({{0, 1, 2}, {3, 4}, {0, 1}})
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Swscale)->ArgNames({"flags", "bpp"})
    ->ArgsProduct({{SWS_BILINEAR, SWS_FAST_BILINEAR, SWS_BILINEAR | SWS_ACCURATE_RND}, {3, 4}})
    ->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
