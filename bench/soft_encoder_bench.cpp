// The soft runtime's encoder at 1920x1080: frames per second (wall clock,
// x264 uses its own threads) for each target-usage group, and the null
// encoder for the runtime's own overhead.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include <mfxvideo.h>

namespace {

constexpr int kWidth = 1920, kHeight = 1088, kCropH = 1080;

void Encode(benchmark::State& state, const char* encoder, int targetUsage) {
    setenv("MFXSOFT_ENCODER", encoder, 1);
    mfxVersion version{};
    version.Major = 1;
    version.Minor = 1;
    mfxSession session = nullptr;
    if (MFXInit(MFX_IMPL_HARDWARE, &version, &session) != MFX_ERR_NONE) {
        state.SkipWithError("MFXInit failed");
        return;
    }
    mfxVideoParam par{};
    par.mfx.CodecId = MFX_CODEC_AVC;
    par.mfx.CodecProfile = MFX_PROFILE_AVC_MAIN;
    par.mfx.CodecLevel = MFX_LEVEL_AVC_4;
    par.mfx.TargetUsage = static_cast<mfxU16>(targetUsage);
    par.mfx.RateControlMethod = MFX_RATECONTROL_VBR;
    par.mfx.TargetKbps = 8000;
    par.mfx.MaxKbps = 12000;
    mfxFrameInfo& fi = par.mfx.FrameInfo;
    fi.FourCC = MFX_FOURCC_NV12;
    fi.ChromaFormat = MFX_CHROMAFORMAT_YUV420;
    fi.PicStruct = MFX_PICSTRUCT_PROGRESSIVE;
    fi.Width = kWidth;
    fi.Height = kHeight;
    fi.CropW = kWidth;
    fi.CropH = kCropH;
    fi.FrameRateExtN = 30;
    fi.FrameRateExtD = 1;
    par.IOPattern = MFX_IOPATTERN_IN_SYSTEM_MEMORY;
    mfxFrameAllocRequest request{};
    if (MFXVideoENCODE_QueryIOSurf(session, &par, &request) != MFX_ERR_NONE ||
        MFXVideoENCODE_Init(session, &par) != MFX_ERR_NONE) {
        state.SkipWithError("encoder set-up failed");
        MFXClose(session);
        return;
    }
    // Surfaces in plain memory, reached through their Data pointers.
    const int count = request.NumFrameSuggested + 2;
    std::vector<std::vector<uint8_t>> memory(count, std::vector<uint8_t>(kWidth * kHeight * 3 / 2));
    std::vector<mfxFrameSurface1> surfaces(count);
    for (int i = 0; i < count; ++i) {
        std::memset(&surfaces[i], 0, sizeof(mfxFrameSurface1));
        surfaces[i].Info = fi;
        surfaces[i].Data.Y = memory[i].data();
        surfaces[i].Data.UV = memory[i].data() + kWidth * kHeight;
        surfaces[i].Data.Pitch = kWidth;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) memory[i][y * kWidth + x] = static_cast<uint8_t>((x + y + 3 * i) / 4 + ((x * y) % 7));
        }
        std::memset(memory[i].data() + kWidth * kHeight, 128, kWidth * kHeight / 2);
    }
    mfxVideoParam inForce{};
    MFXVideoENCODE_GetVideoParam(session, &inForce);
    std::vector<uint8_t> buffer(inForce.mfx.BufferSizeInKB * 1000u);
    mfxBitstream bs{};
    bs.Data = buffer.data();
    bs.MaxLength = static_cast<mfxU32>(buffer.size());
    int next = 0;
    size_t bytes = 0;
    for (auto _ : state) {
        mfxFrameSurface1* surface = nullptr;
        for (int tries = 0; tries < count && surface == nullptr; ++tries) {
            mfxFrameSurface1* s = &surfaces[next++ % count];
            if (s->Data.Locked == 0) surface = s;
        }
        mfxSyncPoint sync = nullptr;
        mfxStatus status = MFXVideoENCODE_EncodeFrameAsync(session, nullptr, surface, &bs, &sync);
        if (status == MFX_ERR_NONE) {
            MFXVideoCORE_SyncOperation(session, sync, MFX_INFINITE);
            bytes += bs.DataLength;
            bs.DataLength = 0;
        } else if (status != MFX_ERR_MORE_DATA) {
            state.SkipWithError("encode failed");
            break;
        }
    }
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["kbit_per_frame"] = state.iterations() ? bytes * 8.0 / 1000 / state.iterations() : 0;
    MFXClose(session);
}

void BM_X264(benchmark::State& state) { Encode(state, "x264", static_cast<int>(state.range(0))); }
void BM_Null(benchmark::State& state) { Encode(state, "null", 4); }

}  // namespace

BENCHMARK(BM_X264)->Arg(1)->Arg(4)->Arg(7)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);
BENCHMARK(BM_Null)->Unit(benchmark::kMicrosecond)->UseRealTime();

BENCHMARK_MAIN();
