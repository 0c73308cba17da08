#include "encode/encode_loop.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include <gtest/gtest.h>

#include "tests/encode/fake_host.h"
#include "tests/encode/soft_runtime.h"
#include "tests/encode/test_support.h"

namespace {

using tarvo_test::FakeHost;
using tarvo_test::RecordedCalls;
using tarvo_test::RunBounded;
using tarvo_test::TestSettings;

// The loop's callbacks: frames from the fake host, bitstreams counted. The
// sink shares the frame source's context, so it finds its job here.
struct Job;
Job* currentJob = nullptr;

struct Job {
    Job() { currentJob = this; }
    ~Job() { currentJob = nullptr; }
    EncodeJobContext context{};
    std::mutex lock;
    std::vector<std::vector<uint8_t>> blocks;  // one per sink call

    static bool Sink(void*, mfxBitstream* bitstream) {
        Job* job = currentJob;
        std::lock_guard<std::mutex> hold(job->lock);
        const mfxU8* data = bitstream->Data + bitstream->DataOffset;
        job->blocks.emplace_back(data, data + bitstream->DataLength);
        return true;
    }
    PipelineCallbacks Callbacks() {
        return PipelineCallbacks{&context, ReadHostFrame, Sink,
                                 cancellable ? platform::CancelCheck{HostCancelled, &context} : platform::CancelCheck{}};
    }
    bool cancellable = false;  // the host's isAbort cancels the job
};

class EncodeLoopTest : public tarvo_test::SoftRuntimeTest {
protected:
    // Opens a pipeline on the host's job and runs the loop, bounded.
    int32_t Run(FakeHost& host, EncodePipeline& pipeline) {
        info = host.Job();
        job.context = EncodeJobContext{&info, nullptr, 0, false, false};
        EXPECT_TRUE(OpenEncodePipeline(TestSettings(), info, pipeline, job.Callbacks()));
        pipeline.stallLimitMs = stallLimitMs;
        pool = pipeline.encInFree.size();
        rgbPool = pipeline.vppInFree.size();
        std::optional<mfxStatus> status;
        RunBounded([&] { status = RunEncodeLoop(&pipeline); });
        EXPECT_TRUE(status.has_value()) << "the worker did not start";
        return status.value_or(MFX_ERR_UNKNOWN);
    }

    // Every surface is back in a container of the pipeline, for ClosePipeline.
    void ExpectAllSurfacesAccountedFor(const EncodePipeline& pipeline) {
        size_t queued = 0;
        for (mfxFrameSurface1* surface : pipeline.encodeQueue) queued += surface != nullptr ? 1 : 0;
        EXPECT_EQ(pipeline.encInFree.size() + queued, pool);
        size_t ready = 0;
        for (mfxFrameSurface1* surface : pipeline.vppInReady) ready += surface != nullptr ? 1 : 0;
        EXPECT_EQ(pipeline.vppInFree.size() + ready, rgbPool);
    }

    ExportJob info{};
    Job job;
    uint32_t stallLimitMs = kDefaultStallLimitMs;
    size_t pool = 0;
    size_t rgbPool = 0;
};

TEST_F(EncodeLoopTest, ZeroFrames) {
    FakeHost host;
    host.frameCount = 0;
    EncodePipeline pipeline;
    EXPECT_EQ(Run(host, pipeline), 0);
    EXPECT_TRUE(job.blocks.empty());
    const auto calls = RecordedCalls();
    ASSERT_EQ(calls.vpp.size(), 1u);  // the end-of-stream call, without input
    EXPECT_EQ(calls.vpp[0].in, nullptr);
    ASSERT_EQ(calls.encode.size(), 1u);  // one drain call: nothing held back
    EXPECT_EQ(calls.encode[0].surface, nullptr);
    EXPECT_EQ(calls.encode[0].status, MFX_ERR_MORE_DATA);
    // The surface of the final VPP call went back to the pool.
    ExpectAllSurfacesAccountedFor(pipeline);
    EXPECT_EQ(ClosePipeline(&pipeline), MFX_ERR_NONE);
}

TEST_F(EncodeLoopTest, EveryFrameReachesTheEncoderOnceInOrder) {
    Encoder("x264");  // B-frames: the encoder holds frames back until the drain
    FakeHost host;
    host.frameCount = 40;
    EncodePipeline pipeline;
    EXPECT_EQ(Run(host, pipeline), 0);

    std::vector<mfxU64> stamps;
    int drains = 0;
    int heldBack = 0;
    for (const auto& call : RecordedCalls().encode) {
        if (call.surface == nullptr) {
            ++drains;
            continue;
        }
        if (call.status == MFX_ERR_MORE_DATA) ++heldBack;
        if (call.status == MFX_ERR_NONE || call.status == MFX_ERR_MORE_DATA) stamps.push_back(call.timeStamp);
    }
    ASSERT_EQ(stamps.size(), 40u);
    for (size_t i = 0; i < stamps.size(); ++i) {
        EXPECT_EQ(stamps[i], static_cast<mfxU64>(static_cast<double>(i) * 1 / 30 * 90000)) << i;
    }
    EXPECT_GT(heldBack, 0);
    EXPECT_GT(drains, 1);
    // Every frame came out: one bitstream per frame.
    EXPECT_EQ(job.blocks.size(), 40u);
    ExpectAllSurfacesAccountedFor(pipeline);
}

TEST_F(EncodeLoopTest, BusyAnswersAreRetriedWithTheSameSurfaces) {
    Faults("vpp_run=2@3,enc_run=2@2");  // MFX_WRN_DEVICE_BUSY once each
    FakeHost host;
    host.frameCount = 6;
    EncodePipeline pipeline;
    EXPECT_EQ(Run(host, pipeline), 0);
    const auto calls = RecordedCalls();
    ASSERT_GE(calls.vpp.size(), 4u);
    EXPECT_EQ(calls.vpp[2].status, MFX_WRN_DEVICE_BUSY);
    EXPECT_EQ(calls.vpp[3].in, calls.vpp[2].in);
    EXPECT_EQ(calls.vpp[3].out, calls.vpp[2].out);
    EXPECT_EQ(calls.vpp[3].status, MFX_ERR_NONE);
    ASSERT_GE(calls.encode.size(), 3u);
    EXPECT_EQ(calls.encode[1].status, MFX_WRN_DEVICE_BUSY);
    EXPECT_EQ(calls.encode[2].surface, calls.encode[1].surface);
    EXPECT_EQ(job.blocks.size(), 6u);
}

TEST_F(EncodeLoopTest, NotEnoughBufferGrowsTheBufferKeepingItsBytes) {
    FakeHost host;
    const ExportJob job = host.Job();
    EncodePipeline pipeline;
    ASSERT_TRUE(OpenEncodePipeline(TestSettings(), job, pipeline, this->job.Callbacks()));
    mfxVideoParam params{};
    ASSERT_EQ(MFXVideoENCODE_GetVideoParam(pipeline.session, &params), MFX_ERR_NONE);
    const mfxU32 wanted = params.mfx.BufferSizeInKB * std::max<mfxU16>(params.mfx.BRCParamMultiplier, 1) * 1000u;
    ASSERT_GT(wanted, 100u);

    // A small buffer holding 7 unconsumed bytes at offset 3.
    auto* small = static_cast<mfxU8*>(::operator new[](100, std::align_val_t{32}));
    std::memcpy(small, "...payload", 10);
    pipeline.bitstream.Data = small;
    pipeline.bitstream.MaxLength = 100;
    pipeline.bitstream.DataOffset = 3;
    pipeline.bitstream.DataLength = 7;
    ASSERT_EQ(PrepareBitstreamBuffer(&pipeline), MFX_ERR_NONE);
    EXPECT_EQ(pipeline.bitstream.MaxLength, wanted);
    EXPECT_EQ(pipeline.bitstream.DataOffset, 0u);
    EXPECT_EQ(pipeline.bitstream.DataLength, 7u);
    EXPECT_EQ(std::memcmp(pipeline.bitstream.Data, "payload", 7), 0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(pipeline.bitstream.Data) % 32, 0u);

    // The SDK asks for no more than there is: the buffer doubles instead of
    // staying the same for ever, up to a ceiling.
    ASSERT_EQ(PrepareBitstreamBuffer(&pipeline), MFX_ERR_NONE);
    EXPECT_EQ(pipeline.bitstream.MaxLength, std::max(2 * wanted, 1u << 20));
    EXPECT_EQ(std::memcmp(pipeline.bitstream.Data, "payload", 7), 0);
    ReleaseBitstreamBuffer(pipeline.bitstream.Data);
    pipeline.bitstream.Data = static_cast<mfxU8*>(::operator new[](kMaxBitstreamBuffer, std::align_val_t{32}));
    pipeline.bitstream.MaxLength = kMaxBitstreamBuffer;
    pipeline.bitstream.DataLength = 0;
    EXPECT_EQ(PrepareBitstreamBuffer(&pipeline), MFX_ERR_NOT_ENOUGH_BUFFER);
    EXPECT_EQ(ClosePipeline(&pipeline), MFX_ERR_NONE);  // releases the buffer
}

TEST_F(EncodeLoopTest, NotEnoughBufferFromTheEncoderIsRetriedOrEnds) {
    Faults("enc_run=-5@3");  // MFX_ERR_NOT_ENOUGH_BUFFER once
    FakeHost host;
    host.frameCount = 8;
    {
        EncodePipeline pipeline;
        EXPECT_EQ(Run(host, pipeline), 0);
        const auto calls = RecordedCalls();
        ASSERT_GE(calls.encode.size(), 4u);
        EXPECT_EQ(calls.encode[2].status, MFX_ERR_NOT_ENOUGH_BUFFER);
        EXPECT_EQ(calls.encode[3].surface, calls.encode[2].surface);
        EXPECT_EQ(job.blocks.size(), 8u);
    }
    // An encoder that never has room: the encode ends with the status.
    Faults("enc_run=-5");
    job.blocks.clear();
    EncodePipeline pipeline;
    EXPECT_EQ(Run(host, pipeline), MFX_ERR_NOT_ENOUGH_BUFFER);
    EXPECT_TRUE(job.blocks.empty());
    ExpectAllSurfacesAccountedFor(pipeline);
}

TEST_F(EncodeLoopTest, VppFailureAtFrameFiveKeepsFramesBefore) {
    Faults("vpp_run=-17@6");  // MFX_ERR_DEVICE_FAILED on the sixth frame
    FakeHost host;
    host.frameCount = 30;
    EncodePipeline pipeline;
    EXPECT_EQ(Run(host, pipeline), MFX_ERR_DEVICE_FAILED);
    EXPECT_EQ(job.blocks.size(), 5u);
    ExpectAllSurfacesAccountedFor(pipeline);

    Faults("vpp_sync=-17@3");
    job.blocks.clear();
    EncodePipeline again;
    EXPECT_EQ(Run(host, again), MFX_ERR_DEVICE_FAILED);
    ExpectAllSurfacesAccountedFor(again);
}

TEST_F(EncodeLoopTest, EncoderFailureEndsWithoutHanging) {
    // Long enough that the host would run out of NV12 surfaces.
    for (const char* fault : {"enc_run=-17@5", "enc_sync=-17@4", "enc_run=-17"}) {
        SCOPED_TRACE(fault);
        Faults(fault);
        job.blocks.clear();
        FakeHost host;
        host.frameCount = 300;
        EncodePipeline pipeline;
        EXPECT_EQ(Run(host, pipeline), MFX_ERR_DEVICE_FAILED);
        EXPECT_LT(job.blocks.size(), 5u);
        EXPECT_LT(host.framesRead, 300);
        ExpectAllSurfacesAccountedFor(pipeline);
        EXPECT_EQ(ClosePipeline(&pipeline), MFX_ERR_NONE);
    }
}

TEST_F(EncodeLoopTest, AbortAfterNFrames) {
    FakeHost host;
    host.frameCount = 100;
    host.abortAfter = 12;
    EncodePipeline pipeline;
    EXPECT_EQ(Run(host, pipeline), 0);
    EXPECT_EQ(job.context.frameIndex, 12);
    EXPECT_EQ(job.blocks.size(), 12u);
}

// A cancel stops the loop where it is, without a drain, also while the
// runtime answers "busy" for ever.
TEST_F(EncodeLoopTest, ACancelStopsTheLoopEvenWhenTheRuntimeIsBusy) {
    job.cancellable = true;
    for (const char* fault : {"", "enc_run=2", "vpp_run=2"}) {
        SCOPED_TRACE(fault);
        Faults(fault);
        job.blocks.clear();
        FakeHost host;
        host.frameCount = 100;
        host.abortAfter = 3;  // before the first surfaces come back from a busy runtime
        EncodePipeline pipeline;
        EXPECT_EQ(Run(host, pipeline), MFX_ERR_ABORTED);
        EXPECT_TRUE(job.context.aborted);
        EXPECT_LE(job.context.frameIndex, 3);
        EXPECT_LT(job.blocks.size(), 3u);
        EXPECT_EQ(pipeline.stallCall.load(), nullptr);
        ExpectAllSurfacesAccountedFor(pipeline);
    }
}

// A sync still in execution is synced again, never counted as done; one
// that stays so, or a device busy for ever, fails the encode after the
// stall limit, naming the call.
TEST_F(EncodeLoopTest, WarningsInLoopsLoseNoFrameAndNeverHang) {
    stallLimitMs = 200;
    const struct {
        const char* fault;
        int32_t status;
        const char* call;
        mfxStatus stalledWith;
    } cases[] = {
        {"enc_sync=1@3,vpp_sync=1@2", 0, nullptr, MFX_ERR_NONE},
        {"enc_sync=1", MFX_ERR_ABORTED, "MFXVideoCORE_SyncOperation", MFX_WRN_IN_EXECUTION},
        {"vpp_sync=1", MFX_ERR_ABORTED, "MFXVideoCORE_SyncOperation", MFX_WRN_IN_EXECUTION},
        {"enc_run=2", MFX_ERR_ABORTED, "MFXVideoENCODE_EncodeFrameAsync", MFX_WRN_DEVICE_BUSY},
        {"vpp_run=2", MFX_ERR_ABORTED, "MFXVideoVPP_RunFrameVPPAsync", MFX_WRN_DEVICE_BUSY},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        Faults(c.fault);
        job.blocks.clear();
        FakeHost host;
        host.frameCount = 20;
        EncodePipeline pipeline;
        EXPECT_EQ(Run(host, pipeline), c.status);
        if (c.call == nullptr) {
            EXPECT_EQ(job.blocks.size(), 20u);
            EXPECT_EQ(pipeline.stallCall.load(), nullptr);
        } else {
            ASSERT_NE(pipeline.stallCall.load(), nullptr);
            EXPECT_STREQ(pipeline.stallCall.load(), c.call);
            EXPECT_EQ(pipeline.stallStatus.load(), c.stalledWith);
        }
        ExpectAllSurfacesAccountedFor(pipeline);
    }
}

TEST_F(EncodeLoopTest, RefillStopsAtTheEndMarker) {
    FakeHost host;
    host.frameCount = 2;
    info = host.Job();
    job.context = EncodeJobContext{&info, nullptr, 0, false, false};
    EncodePipeline pipeline;
    ASSERT_TRUE(OpenEncodePipeline(TestSettings(), info, pipeline, job.Callbacks()));
    const size_t free = pipeline.vppInFree.size();
    ASSERT_GT(free, 3u);
    EXPECT_EQ(FillInputSurface(&pipeline), 0);
    EXPECT_EQ(FillInputSurface(&pipeline), 0);
    EXPECT_EQ(FillInputSurface(&pipeline), -1);  // the end: one marker
    EXPECT_EQ(FillInputSurface(&pipeline), -1);  // and no more
    ASSERT_EQ(pipeline.vppInReady.size(), 3u);
    EXPECT_EQ(pipeline.vppInReady.back(), nullptr);
    EXPECT_EQ(pipeline.vppInFree.size(), free - 2);
    EXPECT_EQ(host.framesRead, 2);
}

TEST_F(EncodeLoopTest, TakeFreeSurfaceSkipsLockedOnesAndStopsWhenTheWorkerIsGone) {
    FakeHost host;
    EncodePipeline pipeline;
    ASSERT_TRUE(OpenEncodePipeline(TestSettings(), host.Job(), pipeline, job.Callbacks()));
    EXPECT_EQ(TakeFreeEncodeSurface(&pipeline, nullptr), MFX_ERR_NULL_PTR);
    mfxFrameSurface1* first = pipeline.encInFree.front();
    first->Data.Locked = 1;
    mfxFrameSurface1* taken = nullptr;
    EXPECT_EQ(TakeFreeEncodeSurface(&pipeline, &taken), MFX_ERR_NONE);
    EXPECT_NE(taken, first);
    EXPECT_EQ(pipeline.encInFree.front(), first);
    ReturnEncodeSurface(&pipeline, taken);
    EXPECT_EQ(pipeline.encInFree.back(), taken);

    // Every surface held and the worker ended: no wait for ever.
    for (mfxFrameSurface1* surface : pipeline.encInFree) surface->Data.Locked = 1;
    pipeline.workerStatus.store(MFX_ERR_DEVICE_FAILED);
    pipeline.workerEnded.store(true);
    RunBounded([&] { EXPECT_EQ(TakeFreeEncodeSurface(&pipeline, &taken), MFX_ERR_DEVICE_FAILED); });
    for (mfxFrameSurface1* surface : pipeline.encInFree) surface->Data.Locked = 0;
}

}  // namespace
