// The plug-in's use of one session from two threads: pre-processing on one,
// encoding on the other, surfaces shared through a pool. Meant to run under
// ThreadSanitizer too.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "null_record.h"
#include "support.h"

using namespace mfxsoft_test;

namespace {

using Clock = std::chrono::steady_clock;

struct Result {
    std::vector<uint32_t> orders;     // null encoder: display orders in decode order
    std::vector<uint64_t> timeStamps; // in decode order
    size_t frames = 0;
    bool ok = true;
};

Result RunPipeline(int width, int height, int frames, bool nullEncoder, mfxU32 codec = MFX_CODEC_AVC,
                   mfxU32 vppIn = MFX_FOURCC_RGB3, mfxU32 vppOut = MFX_FOURCC_NV12) {
    Result result;
    mfxSession session = OpenSession();
    if (session == nullptr) return result.ok = false, result;
    TestAllocator allocator;
    EXPECT_EQ(MFXVideoCORE_SetFrameAllocator(session, &allocator), MFX_ERR_NONE);
    VppParams vpp(width, height);
    vpp.par.vpp.Out = FrameInfo(vppOut, width, height);
    vpp.par.vpp.In.FourCC = vppIn;
    mfxVideoParam enc = EncodeParams(width, height);
    enc.mfx.CodecId = codec;
    if (codec != MFX_CODEC_AVC) enc.mfx.CodecProfile = enc.mfx.CodecLevel = 0;
    mfxFrameAllocRequest vppRequests[2]{}, encRequest{};
    EXPECT_EQ(MFXVideoVPP_QueryIOSurf(session, &vpp.par, vppRequests), MFX_ERR_NONE);
    enc.mfx.FrameInfo = vpp.par.vpp.Out;
    EXPECT_EQ(MFXVideoENCODE_QueryIOSurf(session, &enc, &encRequest), MFX_ERR_NONE);
    // The plug-in's pool sizes.
    auto rgb = allocator.Surfaces(vpp.par.vpp.In, 3 * vppRequests[0].NumFrameSuggested);
    auto nv12 = allocator.Surfaces(enc.mfx.FrameInfo, encRequest.NumFrameSuggested + 3 * vppRequests[1].NumFrameSuggested);
    EXPECT_EQ(MFXVideoVPP_Init(session, &vpp.par), MFX_ERR_NONE);
    EXPECT_EQ(MFXVideoENCODE_Init(session, &enc), MFX_ERR_NONE);

    std::mutex lock;
    std::deque<mfxFrameSurface1*> queue;  // null: end of stream
    std::vector<mfxFrameSurface1*> free;
    for (auto& s : nv12) free.push_back(s.get());
    std::atomic<bool> failed{false};
    const auto deadline = Clock::now() + std::chrono::seconds(120);

    std::thread worker([&] {
        mfxVideoParam inForce{};
        EXPECT_EQ(MFXVideoENCODE_GetVideoParam(session, &inForce), MFX_ERR_NONE);
        std::vector<uint8_t> buffer(inForce.mfx.BufferSizeInKB * 1000u);
        mfxBitstream bs{};
        bs.Data = buffer.data();
        bs.MaxLength = static_cast<mfxU32>(buffer.size());
        auto deliver = [&](mfxSyncPoint sync) {
            EXPECT_EQ(SyncBounded(session, sync), MFX_ERR_NONE);
            if (nullEncoder) {
                const auto record = FindNullRecord(bs.Data + bs.DataOffset, bs.DataLength, codec);
                EXPECT_TRUE(record.has_value());
                result.orders.push_back(record ? static_cast<uint32_t>(record->order) : ~0u);
            }
            result.timeStamps.push_back(bs.TimeStamp);
            ++result.frames;
            bs.DataOffset = bs.DataLength = 0;
        };
        for (;;) {
            mfxFrameSurface1* surface = nullptr;
            bool got = false;
            while (!got) {
                {
                    std::lock_guard<std::mutex> hold(lock);
                    if (!queue.empty()) {
                        surface = queue.front();
                        queue.pop_front();
                        got = true;
                    }
                }
                if (!got) {
                    if (Clock::now() > deadline || failed) return;
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            }
            if (surface == nullptr) break;
            mfxSyncPoint sync = nullptr;
            mfxStatus status;
            while ((status = MFXVideoENCODE_EncodeFrameAsync(session, nullptr, surface, &bs, &sync)) == MFX_WRN_DEVICE_BUSY) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            {
                std::lock_guard<std::mutex> hold(lock);
                free.push_back(surface);
            }
            if (status == MFX_ERR_MORE_DATA) continue;
            if (status != MFX_ERR_NONE) {
                ADD_FAILURE() << "encode " << status;
                failed = true;
                return;
            }
            deliver(sync);
        }
        for (int i = 0; i <= frames; ++i) {
            mfxSyncPoint sync = nullptr;
            mfxStatus status = MFXVideoENCODE_EncodeFrameAsync(session, nullptr, nullptr, &bs, &sync);
            if (status == MFX_ERR_MORE_DATA) break;
            EXPECT_EQ(status, MFX_ERR_NONE);
            if (status != MFX_ERR_NONE) break;
            deliver(sync);
        }
    });

    auto takeFree = [&]() -> mfxFrameSurface1* {
        while (Clock::now() < deadline && !failed) {
            {
                std::lock_guard<std::mutex> hold(lock);
                auto it = std::find_if(free.begin(), free.end(), [](mfxFrameSurface1* s) {
                    return std::atomic_ref<mfxU16>(s->Data.Locked).load() == 0;
                });
                if (it != free.end()) {
                    mfxFrameSurface1* s = *it;
                    free.erase(it);
                    return s;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return nullptr;
    };

    for (int i = 0; i < frames && !failed; ++i) {
        mfxFrameSurface1* in = rgb[i % rgb.size()].get();
        allocator.Lock(allocator.pthis, in->Data.MemId, &in->Data);
        for (int y = 0; y < height; ++y) std::memset(in->Data.Y + y * in->Data.Pitch, (i * 5 + y) & 0xFF, width * 3);
        in->Data.TimeStamp = 3003u * i;
        allocator.Unlock(allocator.pthis, in->Data.MemId, &in->Data);
        mfxFrameSurface1* out = takeFree();
        if (out == nullptr) {
            ADD_FAILURE() << "no free surface at frame " << i;
            failed = true;
            break;
        }
        mfxSyncPoint sync = nullptr;
        mfxStatus status;
        while ((status = MFXVideoVPP_RunFrameVPPAsync(session, in, out, nullptr, &sync)) == MFX_WRN_DEVICE_BUSY) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_EQ(status, MFX_ERR_NONE);
        while ((status = MFXVideoCORE_SyncOperation(session, sync, 0)) == MFX_WRN_IN_EXECUTION && Clock::now() < deadline) {
            std::this_thread::yield();
        }
        EXPECT_EQ(status, MFX_ERR_NONE);
        std::lock_guard<std::mutex> hold(lock);
        queue.push_back(out);
    }
    {
        std::lock_guard<std::mutex> hold(lock);
        queue.push_back(nullptr);
    }
    worker.join();
    EXPECT_EQ(MFXVideoENCODE_Close(session), MFX_ERR_NONE);
    EXPECT_EQ(MFXVideoVPP_Close(session), MFX_ERR_NONE);
    for (auto& s : nv12) EXPECT_EQ(s->Data.Locked, 0);
    for (auto& s : rgb) EXPECT_EQ(s->Data.Locked, 0);
    EXPECT_EQ(MFXClose(session), MFX_ERR_NONE);
    EXPECT_EQ(allocator.locks.load(), allocator.unlocks.load());
    result.ok = !failed;
    return result;
}

}  // namespace

TEST(TwoThreads, NullEncoderPipelineDeliversEveryFrame) {
    EnvGuard encoder("MFXSOFT_ENCODER", "null");
    EnvGuard faults("MFXSOFT_FAULTS", nullptr);
    // AVC from NV12, and HEVC from P010 (the null encoder sums 16-bit samples there).
    const mfxU32 cases[][2] = {{MFX_CODEC_AVC, MFX_FOURCC_NV12}, {MFX_CODEC_HEVC, MFX_FOURCC_P010}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c[0]));
        const int frames = 60;
        Result result = RunPipeline(96, 64, frames, true, c[0], MFX_FOURCC_RGB3, c[1]);
        ASSERT_TRUE(result.ok);
        ASSERT_EQ(result.frames, static_cast<size_t>(frames));
        std::vector<uint32_t> sorted = result.orders;
        std::sort(sorted.begin(), sorted.end());
        for (int i = 0; i < frames; ++i) EXPECT_EQ(sorted[i], static_cast<uint32_t>(i));
        // Time stamps travel from the RGB surface through both stages.
        for (size_t i = 0; i < result.orders.size(); ++i) EXPECT_EQ(result.timeStamps[i], 3003u * result.orders[i]);
    }
}

TEST(TwoThreads, LibraryPipelinesDeliverEveryFrame) {
    // x264, x265 and SVT-AV1 with their own threads, the VPP writing NV12 or
    // P010 on one thread while the encoder reads on the other.
    EnvGuard encoder("MFXSOFT_ENCODER", "x264");
    EnvGuard runtime("MFXSOFT_RUNTIME", "vpl");  // the kind with every encoder
    EnvGuard faults("MFXSOFT_FAULTS", nullptr);
    EnvGuard svtLog("SVT_LOG", "1");
    struct Case {
        mfxU32 codec, vppOut;
    };
    const Case cases[] = {{MFX_CODEC_AVC, MFX_FOURCC_NV12}, {MFX_CODEC_HEVC, MFX_FOURCC_P010}, {MFX_CODEC_AV1, MFX_FOURCC_NV12},
                          {MFX_CODEC_AV1, MFX_FOURCC_P010}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.codec) + " " + std::to_string(c.vppOut));
        const int frames = 24;
        // RGB4 in: the VPL kind takes no RGB3.
        Result result = RunPipeline(160, 96, frames, false, c.codec, MFX_FOURCC_RGB4, c.vppOut);
        ASSERT_TRUE(result.ok);
        ASSERT_EQ(result.frames, static_cast<size_t>(frames));
        std::vector<uint64_t> sorted = result.timeStamps;
        std::sort(sorted.begin(), sorted.end());
        for (int i = 0; i < frames; ++i) EXPECT_EQ(sorted[i], 3003u * i);
    }
}
