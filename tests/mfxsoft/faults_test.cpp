// MFXSOFT_FAULTS: every point answers the configured status on the chosen
// call; busy and other run faults do no work, so a retry succeeds.
#include <gtest/gtest.h>

#include <vector>

#include "mfxsoft/knobs.h"
#include "support.h"

using namespace mfxsoft_test;

namespace {

mfxVersion V11() {
    mfxVersion v{};
    v.Major = 1;
    v.Minor = 1;
    return v;
}

// A session with both stages initialised and one surface of each kind.
struct Rig {
    TestAllocator allocator;
    mfxSession session = nullptr;
    VppParams vpp{64, 48};
    mfxVideoParam enc = EncodeParams(64, 48);
    std::vector<std::unique_ptr<mfxFrameSurface1>> in, out;
    std::vector<uint8_t> buffer;
    mfxBitstream bs{};

    mfxStatus Open() {
        session = OpenSession();
        if (session == nullptr) return MFX_ERR_UNKNOWN;
        if (mfxStatus s = MFXVideoCORE_SetFrameAllocator(session, &allocator); s != MFX_ERR_NONE) return s;
        mfxFrameAllocRequest vppRequests[2]{}, encRequest{};
        if (mfxStatus s = MFXVideoVPP_QueryIOSurf(session, &vpp.par, vppRequests); s != MFX_ERR_NONE) return s;
        if (mfxStatus s = MFXVideoENCODE_QueryIOSurf(session, &enc, &encRequest); s != MFX_ERR_NONE) return s;
        in = allocator.Surfaces(vpp.par.vpp.In, 2);
        out = allocator.Surfaces(vpp.par.vpp.Out, encRequest.NumFrameSuggested + 2);
        if (mfxStatus s = MFXVideoVPP_Init(session, &vpp.par); s != MFX_ERR_NONE) return s;
        if (mfxStatus s = MFXVideoENCODE_Init(session, &enc); s != MFX_ERR_NONE) return s;
        mfxVideoParam inForce{};
        if (mfxStatus s = MFXVideoENCODE_GetVideoParam(session, &inForce); s != MFX_ERR_NONE) return s;
        buffer.resize(inForce.mfx.BufferSizeInKB * 1000u);
        bs.Data = buffer.data();
        bs.MaxLength = static_cast<mfxU32>(buffer.size());
        return MFX_ERR_NONE;
    }
    ~Rig() {
        if (session != nullptr) MFXClose(session);
    }
};

}  // namespace

TEST(Faults, ParsesRulesAndRefusesMalformedOnes) {
    std::vector<mfxsoft::FaultRule> rules;
    EXPECT_TRUE(mfxsoft::ParseFaults("enc_run=2@3, vpp_init=-15,init=-3@1", &rules));
    ASSERT_EQ(rules.size(), 3u);
    EXPECT_EQ(mfxsoft::FaultFor(rules, mfxsoft::FaultPoint::kEncRun, 2), MFX_ERR_NONE);
    EXPECT_EQ(mfxsoft::FaultFor(rules, mfxsoft::FaultPoint::kEncRun, 3), MFX_WRN_DEVICE_BUSY);
    EXPECT_EQ(mfxsoft::FaultFor(rules, mfxsoft::FaultPoint::kVppInit, 77), MFX_ERR_INVALID_VIDEO_PARAM);
    EXPECT_TRUE(mfxsoft::ParseFaults("", &rules));
    EXPECT_TRUE(rules.empty());
    for (const char* bad : {"enc_run", "enc_run=", "nothing=1", "enc_run=x", "enc_run=2@0", "enc_run=2@", "=2"}) {
        EXPECT_FALSE(mfxsoft::ParseFaults(bad, &rules)) << bad;
        EXPECT_TRUE(rules.empty()) << bad;
    }
}

TEST(Faults, InitFailsOnTheChosenCall) {
    EnvGuard faults("MFXSOFT_FAULTS", "init=-17@2");
    mfxVersion v = V11();
    mfxSession first = nullptr, second = nullptr, third = nullptr;
    EXPECT_EQ(MFXInit(MFX_IMPL_HARDWARE, &v, &first), MFX_ERR_NONE);
    EXPECT_EQ(MFXInit(MFX_IMPL_HARDWARE, &v, &second), MFX_ERR_DEVICE_FAILED);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(MFXInit(MFX_IMPL_HARDWARE, &v, &third), MFX_ERR_NONE);
    MFXClose(first);
    MFXClose(third);
    // A warning on init creates no session either: callers treat it as failure.
    EnvGuard warning("MFXSOFT_FAULTS", "init=4");
    EXPECT_EQ(MFXInit(MFX_IMPL_HARDWARE, &v, &first), MFX_WRN_PARTIAL_ACCELERATION);
    EXPECT_EQ(first, nullptr);
}

TEST(Faults, SetUpPointsAnswerTheirStatus) {
    EnvGuard encoder("MFXSOFT_ENCODER", "null");
    struct Case {
        const char* faults;
        mfxStatus expected;
    };
    // Each set-up step in turn; Open() stops at the first status that is not success.
    const Case cases[] = {
        {"set_allocator=-3", MFX_ERR_UNSUPPORTED}, {"vpp_query=-15", MFX_ERR_INVALID_VIDEO_PARAM},
        {"enc_query=-14", MFX_ERR_INCOMPATIBLE_VIDEO_PARAM}, {"vpp_init=-17", MFX_ERR_DEVICE_FAILED},
        {"enc_init=-15@1", MFX_ERR_INVALID_VIDEO_PARAM}, {"enc_init=4", MFX_WRN_PARTIAL_ACCELERATION},
    };
    for (const Case& c : cases) {
        EnvGuard faults("MFXSOFT_FAULTS", c.faults);
        Rig rig;
        EXPECT_EQ(rig.Open(), c.expected) << c.faults;
    }
    // A warning on a set-up step still does the work: the encoder is initialised.
    EnvGuard faults("MFXSOFT_FAULTS", "enc_init=4");
    Rig rig;
    ASSERT_EQ(rig.Open(), MFX_WRN_PARTIAL_ACCELERATION);
    EXPECT_EQ(MFXVideoENCODE_Close(rig.session), MFX_ERR_NONE);
    // Counted per session: each new session fails its second GetVideoParam
    // (Open() makes the first).
    EnvGuard getParam("MFXSOFT_FAULTS", "enc_getparam=-1@2");
    for (int i = 0; i < 2; ++i) {
        Rig fresh;
        ASSERT_EQ(fresh.Open(), MFX_ERR_NONE);
        mfxVideoParam par{};
        EXPECT_EQ(MFXVideoENCODE_GetVideoParam(fresh.session, &par), MFX_ERR_UNKNOWN);
        EXPECT_EQ(MFXVideoENCODE_GetVideoParam(fresh.session, &par), MFX_ERR_NONE);
        EXPECT_EQ(par.mfx.CodecId, static_cast<mfxU32>(MFX_CODEC_AVC));
    }
}

TEST(Faults, RunAndSyncPointsDoNoWorkAndRetrySucceeds) {
    EnvGuard encoder("MFXSOFT_ENCODER", "null");
    EnvGuard faults("MFXSOFT_FAULTS", "vpp_run=2@1,vpp_sync=-17@1,enc_run=2@1,enc_run=-17@5,enc_sync=1@1");
    Rig rig;
    ASSERT_EQ(rig.Open(), MFX_ERR_NONE);
    mfxSyncPoint sync = nullptr;
    mfxFrameSurface1* in = rig.in[0].get();
    mfxFrameSurface1* out = rig.out[0].get();
    const int locksBefore = rig.allocator.locks.load();
    EXPECT_EQ(MFXVideoVPP_RunFrameVPPAsync(rig.session, in, out, nullptr, &sync), MFX_WRN_DEVICE_BUSY);
    EXPECT_EQ(in->Data.Locked, 0);
    EXPECT_EQ(out->Data.Locked, 0);
    EXPECT_EQ(rig.allocator.locks.load(), locksBefore);
    ASSERT_EQ(MFXVideoVPP_RunFrameVPPAsync(rig.session, in, out, nullptr, &sync), MFX_ERR_NONE);
    EXPECT_EQ(MFXVideoCORE_SyncOperation(rig.session, sync, 60000), MFX_ERR_DEVICE_FAILED);
    EXPECT_EQ(MFXVideoCORE_SyncOperation(rig.session, sync, 60000), MFX_ERR_NONE);  // still valid

    // The encoder's first call is busy and takes nothing; the next one holds the picture.
    EXPECT_EQ(MFXVideoENCODE_EncodeFrameAsync(rig.session, nullptr, out, &rig.bs, &sync), MFX_WRN_DEVICE_BUSY);
    EXPECT_EQ(out->Data.Locked, 0);
    EXPECT_EQ(MFXVideoENCODE_EncodeFrameAsync(rig.session, nullptr, out, &rig.bs, &sync), MFX_ERR_MORE_DATA);
    EXPECT_EQ(MFXVideoENCODE_EncodeFrameAsync(rig.session, nullptr, rig.out[1].get(), &rig.bs, &sync), MFX_ERR_MORE_DATA);
    ASSERT_EQ(MFXVideoENCODE_EncodeFrameAsync(rig.session, nullptr, rig.out[2].get(), &rig.bs, &sync), MFX_ERR_NONE);
    EXPECT_EQ(MFXVideoCORE_SyncOperation(rig.session, sync, 60000), MFX_WRN_IN_EXECUTION);
    EXPECT_EQ(MFXVideoCORE_SyncOperation(rig.session, sync, 60000), MFX_ERR_NONE);
    EXPECT_GT(rig.bs.DataLength, 0u);  // one coded picture
    // The fifth call fails with the device error and takes nothing.
    EXPECT_EQ(MFXVideoENCODE_EncodeFrameAsync(rig.session, nullptr, rig.out[3].get(), &rig.bs, &sync), MFX_ERR_DEVICE_FAILED);
    EXPECT_EQ(rig.out[3]->Data.Locked, 0);
}

TEST(Faults, EncQueryStandsForBothQueryCalls) {
    EnvGuard encoder("MFXSOFT_ENCODER", "null");
    EnvGuard faults("MFXSOFT_FAULTS", "enc_query=-3@1,enc_query=5@3");
    mfxSession session = OpenSession();
    ASSERT_NE(session, nullptr);
    mfxVideoParam par = EncodeParams(64, 48);
    mfxVideoParam out{};
    out.mfx.CodecId = MFX_CODEC_AVC;
    mfxFrameAllocRequest request{};
    EXPECT_EQ(MFXVideoENCODE_Query(session, &par, &out), MFX_ERR_UNSUPPORTED);  // injected, nothing done
    EXPECT_EQ(out.mfx.CodecLevel, 0);
    EXPECT_EQ(MFXVideoENCODE_QueryIOSurf(session, &par, &request), MFX_ERR_NONE);
    // A warning comes back after the work: `out` holds the answer.
    EXPECT_EQ(MFXVideoENCODE_Query(session, &par, &out), MFX_WRN_INCOMPATIBLE_VIDEO_PARAM);
    EXPECT_EQ(out.mfx.CodecLevel, MFX_LEVEL_AVC_4);
    EXPECT_EQ(MFXClose(session), MFX_ERR_NONE);
}
