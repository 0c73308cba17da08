#include "encode/encode_pipeline.h"

#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

#include "tests/encode/fake_host.h"
#include "tests/encode/soft_runtime.h"

namespace {

using tarvo_test::FakeHost;
using tarvo_test::RecordedCalls;
using tarvo_test::TestSettings;

bool NeverSink(void*, mfxBitstream*) { return false; }
void NeverSource(void*, mfxFrameData*, bool* end) { *end = true; }

const PipelineCallbacks kCallbacks{nullptr, NeverSource, NeverSink};

class EncodePipelineTest : public tarvo_test::SoftRuntimeTest {};

TEST_F(EncodePipelineTest, FullHdDescriptions) {
    FakeHost host;
    host.width = 1920;
    host.height = 1080;
    host.rate = 30000;
    host.scale = 1001;
    const ExportJob job = host.Job();

    const mfxFrameInfo in = MakeVppInputInfo(job);
    EXPECT_EQ(in.FourCC, static_cast<mfxU32>(MFX_FOURCC_RGB3));
    EXPECT_EQ(in.Width, 1920);
    EXPECT_EQ(in.Height, 1088);
    EXPECT_EQ(in.CropX, 0);
    EXPECT_EQ(in.CropY, 0);
    EXPECT_EQ(in.CropW, 1920);
    EXPECT_EQ(in.CropH, 1080);
    EXPECT_EQ(in.FrameRateExtN, 30000u);
    EXPECT_EQ(in.FrameRateExtD, 1001u);
    EXPECT_EQ(in.PicStruct, MFX_PICSTRUCT_PROGRESSIVE);
    EXPECT_EQ(in.ChromaFormat, 0);

    // What the pools and the encoder were given.
    EncodePipeline pipeline;
    ASSERT_TRUE(OpenEncodePipeline(TestSettings(), job, pipeline, kCallbacks));
    ASSERT_FALSE(pipeline.vppInFree.empty());
    EXPECT_EQ(std::memcmp(&pipeline.vppInFree.front()->Info, &in, sizeof(in)), 0);
    ASSERT_FALSE(pipeline.encInFree.empty());
    const mfxFrameInfo& out = pipeline.encInFree.front()->Info;
    EXPECT_EQ(out.FourCC, static_cast<mfxU32>(MFX_FOURCC_NV12));
    EXPECT_EQ(out.Width, 1920);
    EXPECT_EQ(out.Height, 1088);
    EXPECT_EQ(out.CropW, 1920);
    EXPECT_EQ(out.CropH, 1080);
    EXPECT_EQ(out.FrameRateExtN, 30000u);
    EXPECT_EQ(out.FrameRateExtD, 1001u);
    EXPECT_EQ(out.PicStruct, MFX_PICSTRUCT_PROGRESSIVE);
    EXPECT_EQ(out.ChromaFormat, MFX_CHROMAFORMAT_YUV420);

    mfxVideoParam actual{};
    ASSERT_EQ(MFXVideoENCODE_GetVideoParam(pipeline.session, &actual), MFX_ERR_NONE);
    EXPECT_EQ(actual.mfx.CodecId, static_cast<mfxU32>(MFX_CODEC_AVC));
    EXPECT_EQ(actual.mfx.FrameInfo.CropH, 1080);
    EXPECT_EQ(actual.mfx.FrameInfo.FrameRateExtN, 30000u);
    EXPECT_EQ(actual.IOPattern, MFX_IOPATTERN_IN_SYSTEM_MEMORY);
    EXPECT_EQ(ClosePipeline(&pipeline), MFX_ERR_NONE);
}

TEST_F(EncodePipelineTest, RuntimesThatRefuseRgb3GetRgb4Input) {
    struct Case {
        const char* runtime;
        mfxU32 fourCC;
        mfxU16 chroma;
        int sessions;
    };
    const Case cases[] = {
        {"msdk", MFX_FOURCC_RGB3, 0, 1},  // older runtimes keep the 24-bit input
        {"vpl", MFX_FOURCC_RGB4, MFX_CHROMAFORMAT_YUV444, 2},
    };
    FakeHost host;
    host.width = 641;
    host.height = 359;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.runtime);
        Runtime(c.runtime);
        tarvo_test::ResetRecordedCalls();
        EncodePipeline pipeline;
        ASSERT_TRUE(OpenEncodePipeline(TestSettings(), host.Job(), pipeline, kCallbacks));
        EXPECT_EQ(pipeline.vppInFourCC, c.fourCC);
        ASSERT_FALSE(pipeline.vppInFree.empty());
        const mfxFrameInfo& in = pipeline.vppInFree.front()->Info;
        EXPECT_EQ(in.FourCC, c.fourCC);
        EXPECT_EQ(in.ChromaFormat, c.chroma);
        EXPECT_EQ(in.Width, 656);
        EXPECT_EQ(in.CropW, 641);
        EXPECT_EQ(in.CropH, 359);
        EXPECT_EQ(ClosePipeline(&pipeline), MFX_ERR_NONE);
        EXPECT_EQ(RecordedCalls().init, c.sessions);
        EXPECT_EQ(RecordedCalls().close, c.sessions);
    }
}

// Each rate-control mode sends its own fields, which share the SDK's unions
// with the bit rates: a field of another mode must not leak into them.
TEST_F(EncodePipelineTest, EachRateControlSendsItsOwnFields) {
    struct Case {
        mfxU16 mode;
        // The three union slots as the encoder reads them (InitialDelayInKB /
        // QPI / Accuracy, TargetKbps / QPP / ICQQuality, MaxKbps / QPB /
        // Convergence), and which coding-option buffers go along.
        mfxU16 first, second, third;
        bool lookAhead, qvbr;
    } cases[] = {
        {MFX_RATECONTROL_CBR, 0, 1400, 2000, false, false},
        {MFX_RATECONTROL_VBR, 0, 1400, 2000, false, false},
        {MFX_RATECONTROL_CQP, 20, 25, 30, false, false},
        {MFX_RATECONTROL_AVBR, 7, 1400, 9, false, false},
        {MFX_RATECONTROL_LA, 0, 1400, 2000, true, false},
        {MFX_RATECONTROL_ICQ, 0, 33, 0, false, false},
        {MFX_RATECONTROL_LA_ICQ, 0, 33, 0, true, false},
        {MFX_RATECONTROL_QVBR, 0, 1400, 2000, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        SettingData settings = TestSettings();
        settings.rateControl = c.mode;
        settings.qpI = 20, settings.qpP = 25, settings.qpB = 30;
        settings.quality = 33;
        settings.lookAheadDepth = 40;
        settings.avbrAccuracy = 7, settings.avbrConvergence = 9;
        const mfxInfoMFX encode = MakeEncoderInfo(settings);
        EXPECT_EQ(encode.RateControlMethod, c.mode);
        EXPECT_EQ(encode.InitialDelayInKB, c.first);
        EXPECT_EQ(encode.TargetKbps, c.second);
        EXPECT_EQ(encode.MaxKbps, c.third);
        CodingOptions options;
        FillCodingOptions(options, settings);
        EXPECT_EQ(options.option2Asked, c.lookAhead);
        EXPECT_EQ(options.option2.LookAheadDepth, 40);
        EXPECT_EQ(options.option3Asked, c.qvbr);
        EXPECT_EQ(options.option3.QVBRQuality, 33);
        mfxExtBuffer* list[3] = {};
        const mfxU16 count = AttachCodingOptions(options, list, 1);
        EXPECT_EQ(count, 1 + c.lookAhead + c.qvbr);
        if (c.lookAhead) {
            EXPECT_EQ(list[1], &options.option2.Header);
        }
        if (c.qvbr) {
            EXPECT_EQ(list[count - 1], &options.option3.Header);
        }
    }
    // The GOP as set, closed once its length is; 0 leaves it all to the runtime.
    SettingData settings = TestSettings();
    EXPECT_EQ(MakeEncoderInfo(settings).GopOptFlag, 0);
    settings.gopLength = 60, settings.gopRefDist = 3, settings.idrInterval = 2;
    const mfxInfoMFX encode = MakeEncoderInfo(settings);
    EXPECT_EQ(encode.GopPicSize, 60);
    EXPECT_EQ(encode.GopRefDist, 3);
    EXPECT_EQ(encode.IdrInterval, 2);
    EXPECT_EQ(encode.GopOptFlag, MFX_GOP_CLOSED);
}

TEST_F(EncodePipelineTest, SizesAlignUpTo16AndRatesReachTheEncoderWhole) {
    FakeHost host;
    host.width = 1366;
    host.height = 768;
    mfxFrameInfo in = MakeVppInputInfo(host.Job());
    EXPECT_EQ(in.Width, 1376);
    EXPECT_EQ(in.CropW, 1366);
    host.width = 1280;
    host.height = 720;
    in = MakeVppInputInfo(host.Job());
    EXPECT_EQ(in.Width, 1280);
    EXPECT_EQ(in.Height, 720);
    EXPECT_EQ(in.CropW, 1280);

    SettingData settings = TestSettings();
    settings.targetKbps = 1 << 16;
    settings.maxKbps = (1 << 16) + 1000;
    settings.codecProfile = 100;
    settings.codecLevel = 40;
    settings.targetUsage = 7;
    settings.rateControl = 1;
    const mfxInfoMFX encode = MakeEncoderInfo(settings);
    EXPECT_EQ(encode.CodecId, static_cast<mfxU32>(MFX_CODEC_AVC));
    // Above 65535 kbps the rates go in units of BRCParamMultiplier kbps.
    EXPECT_EQ(encode.BRCParamMultiplier, 2);
    EXPECT_EQ(encode.TargetKbps, (1 << 16) / 2);
    EXPECT_EQ(encode.MaxKbps, ((1 << 16) + 1000) / 2);
    EXPECT_EQ(encode.CodecProfile, 100);
    EXPECT_EQ(encode.CodecLevel, 40);
    EXPECT_EQ(encode.TargetUsage, 7);
    EXPECT_EQ(encode.RateControlMethod, 1);
    EXPECT_EQ(encode.GopRefDist, 0);  // left to the SDK
    EXPECT_EQ(encode.NumThread, 0);
    EXPECT_EQ(encode.BufferSizeInKB, 0);

    // The rate a user typed reaches the encoder whole (to the multiplier's
    // unit), and a negative one never reaches it.
    const struct {
        int32_t target, max;
        bool opens;
        uint32_t encoderTarget;
    } rates[] = {{80000, 80000, true, 80000}, {99999, 99999, true, 99998}, {65535, 65535, true, 65535},
                 {4000, 4000, true, 4000}, {-1, 4000, false, 0}, {4000, -5, false, 0}};
    for (const auto& rate : rates) {
        SCOPED_TRACE(rate.target);
        settings = TestSettings();
        settings.rateControl = MFX_RATECONTROL_CBR;
        settings.codecLevel = MFX_LEVEL_AVC_52;  // room for 100 Mbps
        settings.targetKbps = rate.target;
        settings.maxKbps = rate.max;
        EncodePipeline pipeline;
        ASSERT_EQ(OpenEncodePipeline(settings, host.Job(), pipeline, kCallbacks), rate.opens);
        if (!rate.opens) continue;
        mfxVideoParam actual{};
        ASSERT_EQ(MFXVideoENCODE_GetVideoParam(pipeline.session, &actual), MFX_ERR_NONE);
        EXPECT_EQ(uint32_t{actual.mfx.TargetKbps} * std::max<mfxU16>(actual.mfx.BRCParamMultiplier, 1),
                  rate.encoderTarget);
    }
}

TEST_F(EncodePipelineTest, PoolsAreSizedFromTheSuggestions) {
    FakeHost host;
    host.width = 1280;
    host.height = 720;
    const ExportJob job = host.Job();
    const SettingData settings = TestSettings();

    // Ask the runtime what it suggests for the same parameters.
    mfxSession session = nullptr;
    mfxVersion version{{1, 1}};
    ASSERT_EQ(MFXInit(MFX_IMPL_HARDWARE, &version, &session), MFX_ERR_NONE);
    mfxVideoParam vpp{};
    vpp.vpp.In = MakeVppInputInfo(job);
    vpp.vpp.Out = vpp.vpp.In;
    vpp.vpp.Out.FourCC = MFX_FOURCC_NV12;
    vpp.vpp.Out.ChromaFormat = MFX_CHROMAFORMAT_YUV420;
    vpp.IOPattern = MFX_IOPATTERN_IN_SYSTEM_MEMORY | MFX_IOPATTERN_OUT_SYSTEM_MEMORY;
    mfxFrameAllocRequest vppRequests[2] = {};
    ASSERT_GE(MFXVideoVPP_QueryIOSurf(session, &vpp, vppRequests), MFX_ERR_NONE);
    mfxVideoParam encode{};
    encode.mfx = MakeEncoderInfo(settings);
    encode.mfx.FrameInfo = vpp.vpp.Out;
    encode.IOPattern = MFX_IOPATTERN_IN_SYSTEM_MEMORY;
    mfxFrameAllocRequest encodeRequest{};
    ASSERT_GE(MFXVideoENCODE_QueryIOSurf(session, &encode, &encodeRequest), MFX_ERR_NONE);
    MFXClose(session);

    EncodePipeline pipeline;
    ASSERT_TRUE(OpenEncodePipeline(settings, job, pipeline, kCallbacks));
    EXPECT_EQ(pipeline.vppInFree.size(), 3u * vppRequests[0].NumFrameSuggested);
    EXPECT_EQ(pipeline.encInFree.size(),
              static_cast<size_t>(encodeRequest.NumFrameSuggested) + 3u * vppRequests[1].NumFrameSuggested);
    EXPECT_EQ(pipeline.vppInResponse.NumFrameActual, pipeline.vppInFree.size());
    EXPECT_EQ(pipeline.encInResponse.NumFrameActual, pipeline.encInFree.size());
    // Every surface names its own frame and holds no plane pointer.
    for (mfxFrameSurface1* surface : pipeline.encInFree) {
        EXPECT_NE(surface->Data.MemId, nullptr);
        EXPECT_EQ(surface->Data.Y, nullptr);
    }
}

TEST_F(EncodePipelineTest, SetUpIsRefusedTwiceAndWithoutCallbacks) {
    FakeHost host;
    const ExportJob job = host.Job();
    const mfxFrameInfo in = MakeVppInputInfo(job);
    const mfxInfoMFX encode = MakeEncoderInfo(TestSettings());

    EncodePipeline pipeline;
    ASSERT_EQ(SetupPipeline(&kCallbacks, &in, &pipeline, MFX_IMPL_HARDWARE, &encode), MFX_ERR_NONE);
    const mfxSession session = pipeline.session;
    const size_t pool = pipeline.encInFree.size();
    const int inits = RecordedCalls().init;
    EXPECT_EQ(SetupPipeline(&kCallbacks, &in, &pipeline, MFX_IMPL_HARDWARE, &encode), MFX_ERR_UNKNOWN);
    EXPECT_EQ(pipeline.session, session);
    EXPECT_EQ(pipeline.encInFree.size(), pool);
    EXPECT_EQ(RecordedCalls().init, inits);

    // A missing sink (or source, or description) is caught before the SDK.
    EncodePipeline fresh;
    const PipelineCallbacks noSink{nullptr, NeverSource, nullptr};
    const PipelineCallbacks noSource{nullptr, nullptr, NeverSink};
    EXPECT_EQ(SetupPipeline(&noSink, &in, &fresh, MFX_IMPL_HARDWARE, &encode), MFX_ERR_NULL_PTR);
    EXPECT_EQ(SetupPipeline(&noSource, &in, &fresh, MFX_IMPL_HARDWARE, &encode), MFX_ERR_NULL_PTR);
    EXPECT_EQ(SetupPipeline(nullptr, &in, &fresh, MFX_IMPL_HARDWARE, &encode), MFX_ERR_NULL_PTR);
    EXPECT_EQ(SetupPipeline(&kCallbacks, nullptr, &fresh, MFX_IMPL_HARDWARE, &encode), MFX_ERR_NULL_PTR);
    EXPECT_EQ(SetupPipeline(&kCallbacks, &in, &fresh, MFX_IMPL_HARDWARE, nullptr), MFX_ERR_NULL_PTR);
    EXPECT_EQ(RecordedCalls().init, inits);
    EXPECT_FALSE(fresh.initialized);
}

TEST_F(EncodePipelineTest, FailedInitOpensNothingToClose) {
    Faults("init=-3");
    FakeHost host;
    {
        EncodePipeline pipeline;
        EXPECT_FALSE(OpenEncodePipeline(TestSettings(), host.Job(), pipeline, kCallbacks));
        EXPECT_FALSE(pipeline.initialized);
        EXPECT_EQ(ClosePipeline(&pipeline), MFX_ERR_UNKNOWN);
    }
    const auto calls = RecordedCalls();
    EXPECT_EQ(calls.init, 1);
    EXPECT_EQ(calls.close, 0);
    EXPECT_EQ(calls.vppClose, 0);
    EXPECT_EQ(calls.encodeClose, 0);

    // Beyond the adapters that exist.
    ::unsetenv("MFXSOFT_FAULTS");
    SettingData settings = TestSettings();
    settings.hardwareImpl = MFX_IMPL_HARDWARE4;
    EncodePipeline pipeline;
    EXPECT_FALSE(OpenEncodePipeline(settings, host.Job(), pipeline, kCallbacks));
    EXPECT_FALSE(pipeline.initialized);
}

TEST_F(EncodePipelineTest, EachFailingStepClosesWhatItOpened) {
    struct Case {
        const char* fault;
        int vppClose;  // VPP is closed only when the encoder's init failed
        // VPP refusing its input is tried again with RGB4, once; a refused
        // colour buffer, with the encoder's alone, then with neither.
        int sessions;
    };
    const Case cases[] = {
        {"set_allocator=-3", 0, 1}, {"vpp_query=-15", 0, 4}, {"vpp_query=-3", 0, 4}, {"vpp_query=-16", 0, 1},
        // The encoder's Query, before any buffer is attached: a codec the
        // runtime refuses is no colour question, so it is asked once.
        {"enc_query=-15", 0, 1},    {"vpp_init=-15", 0, 4},  {"enc_init=-15", 3, 3}, {"enc_init=-3", 3, 3},
    };
    FakeHost host;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        Faults(c.fault);
        tarvo_test::ResetRecordedCalls();
        {
            EncodePipeline pipeline;
            EXPECT_FALSE(OpenEncodePipeline(TestSettings(), host.Job(), pipeline, kCallbacks));
            EXPECT_FALSE(pipeline.initialized);
            EXPECT_TRUE(pipeline.vppInFree.empty());
            EXPECT_TRUE(pipeline.encInFree.empty());
            EXPECT_EQ(ClosePipeline(&pipeline), MFX_ERR_UNKNOWN);
        }  // the allocator releases its frames here (leak check)
        const auto calls = RecordedCalls();
        EXPECT_EQ(calls.init, c.sessions);
        EXPECT_EQ(calls.close, c.sessions);
        EXPECT_EQ(calls.vppClose, c.vppClose);
        EXPECT_EQ(calls.encodeClose, 0);
    }
}

TEST_F(EncodePipelineTest, EncoderWarningFailsTheOpenButLeavesItToClose) {
    Faults("enc_init=4");  // MFX_WRN_PARTIAL_ACCELERATION
    FakeHost host;
    const ExportJob job = host.Job();
    const mfxFrameInfo in = MakeVppInputInfo(job);
    const mfxInfoMFX encode = MakeEncoderInfo(TestSettings());
    {
        EncodePipeline pipeline;
        EXPECT_EQ(SetupPipeline(&kCallbacks, &in, &pipeline, MFX_IMPL_HARDWARE, &encode),
                  MFX_WRN_PARTIAL_ACCELERATION);
        EXPECT_TRUE(pipeline.initialized);
    }  // the destructor closes encoder, VPP and session
    auto calls = RecordedCalls();
    EXPECT_EQ(calls.encodeClose, 1);
    EXPECT_EQ(calls.vppClose, 1);
    EXPECT_EQ(calls.close, 1);

    tarvo_test::ResetRecordedCalls();
    EncodePipeline pipeline;
    EXPECT_FALSE(OpenEncodePipeline(TestSettings(), job, pipeline, kCallbacks));
    EXPECT_TRUE(pipeline.initialized);
    EXPECT_EQ(ClosePipeline(&pipeline), MFX_ERR_NONE);
    EXPECT_EQ(ClosePipeline(&pipeline), MFX_ERR_UNKNOWN);  // a second close calls nothing
    calls = RecordedCalls();
    EXPECT_EQ(calls.encodeClose, 1);
    EXPECT_EQ(calls.vppClose, 1);
    EXPECT_EQ(calls.close, 1);
}

TEST_F(EncodePipelineTest, FrameSizesBeyondTheSdkFieldsAreRefused) {
    FakeHost host;
    EncodePipeline pipeline;
    for (auto [width, height] : {std::pair{0, 64}, std::pair{64, -1}, std::pair{65536 + 64, 64},
                                 std::pair{64, 65536 + 16}, std::pair{65521, 64}}) {
        host.width = width;
        host.height = height;
        EXPECT_FALSE(OpenEncodePipeline(TestSettings(), host.Job(), pipeline, kCallbacks)) << width << "x" << height;
    }
    EXPECT_EQ(RecordedCalls().init, 0);
}

}  // namespace
