// Sessions, sync points, the pre-processing stage and the encoder's
// mechanics (null encoder), driven through the SDK's C functions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "support.h"

using namespace mfxsoft_test;

namespace {

// Fills an RGB3 surface with a pattern that depends on `seed`.
void Paint(TestAllocator& allocator, mfxFrameSurface1* surface, int seed) {
    ASSERT_EQ(allocator.Lock(allocator.pthis, surface->Data.MemId, &surface->Data), MFX_ERR_NONE);
    for (int y = 0; y < surface->Info.CropH; ++y) {
        uint8_t* row = surface->Data.Y + static_cast<size_t>(y) * surface->Data.Pitch;
        for (int x = 0; x < surface->Info.CropW * 3; ++x) row[x] = static_cast<uint8_t>(x + y * 3 + seed * 7);
    }
    allocator.Unlock(allocator.pthis, surface->Data.MemId, &surface->Data);
}

struct NullEncoderEnv {
    EnvGuard encoder{"MFXSOFT_ENCODER", "null"};
    EnvGuard faults{"MFXSOFT_FAULTS", nullptr};
    EnvGuard adapters{"MFXSOFT_ADAPTERS", nullptr};
};

}  // namespace

TEST(Session, AdaptersVersionsAndImplementation) {
    NullEncoderEnv env;
    mfxVersion v11{};
    v11.Major = 1;
    v11.Minor = 1;
    mfxSession session = nullptr;
    ASSERT_EQ(MFXInit(MFX_IMPL_HARDWARE, &v11, &session), MFX_ERR_NONE);
    mfxIMPL impl = 0;
    EXPECT_EQ(MFXQueryIMPL(session, &impl), MFX_ERR_NONE);
    EXPECT_EQ(impl, MFX_IMPL_HARDWARE);
    mfxVersion version{};
    EXPECT_EQ(MFXQueryVersion(session, &version), MFX_ERR_NONE);
    EXPECT_EQ(version.Major, 1);
    EXPECT_GE(version.Minor, 1);
    EXPECT_EQ(MFXClose(session), MFX_ERR_NONE);

    // Only one adapter by default; the second exists when the knob says so.
    session = nullptr;
    EXPECT_EQ(MFXInit(MFX_IMPL_HARDWARE2, &v11, &session), MFX_ERR_UNSUPPORTED);
    EXPECT_EQ(session, nullptr);
    {
        EnvGuard three("MFXSOFT_ADAPTERS", "3");
        ASSERT_EQ(MFXInit(MFX_IMPL_HARDWARE3, &v11, &session), MFX_ERR_NONE);
        EXPECT_EQ(MFXQueryIMPL(session, &impl), MFX_ERR_NONE);
        EXPECT_EQ(impl, MFX_IMPL_HARDWARE3);
        EXPECT_EQ(MFXClose(session), MFX_ERR_NONE);
        EXPECT_EQ(MFXInit(MFX_IMPL_HARDWARE4, &v11, &session), MFX_ERR_UNSUPPORTED);
    }
    EXPECT_EQ(MFXInit(MFX_IMPL_SOFTWARE, &v11, &session), MFX_ERR_UNSUPPORTED);

    // A newer API than the runtime implements is refused.
    mfxVersion future{};
    future.Major = 1;
    future.Minor = 99;
    EXPECT_EQ(MFXInit(MFX_IMPL_HARDWARE, &future, &session), MFX_ERR_UNSUPPORTED);
    future.Major = 2;
    future.Minor = 0;
    EXPECT_EQ(MFXInit(MFX_IMPL_HARDWARE, &future, &session), MFX_ERR_UNSUPPORTED);

    // Malformed knobs refuse the session instead of guessing.
    {
        EnvGuard bad("MFXSOFT_ADAPTERS", "9");
        EXPECT_EQ(MFXInit(MFX_IMPL_HARDWARE, &v11, &session), MFX_ERR_UNSUPPORTED);
    }
    {
        EnvGuard bad("MFXSOFT_ENCODER", "h265");
        EXPECT_EQ(MFXInit(MFX_IMPL_HARDWARE, &v11, &session), MFX_ERR_UNSUPPORTED);
    }
    {
        EnvGuard bad("MFXSOFT_FAULTS", "vpp_run=2@0");
        EXPECT_EQ(MFXInit(MFX_IMPL_HARDWARE, &v11, &session), MFX_ERR_UNSUPPORTED);
    }
    EXPECT_EQ(MFXClose(nullptr), MFX_ERR_INVALID_HANDLE);
}

TEST(Session, TheVplKindReportsItsVersionAndRefusesDirect3D9) {
    NullEncoderEnv env;
    struct Case {
        const char* runtime;
        mfxIMPL impl;
        mfxU16 major, minor;
        mfxStatus status;
    };
    const Case cases[] = {
        {"vpl", MFX_IMPL_HARDWARE, 1, 1, MFX_ERR_NONE},  // no Direct3D natively: a bare value is fine
        {"vpl", MFX_IMPL_HARDWARE | MFX_IMPL_VIA_D3D11, 1, 255, MFX_ERR_NONE},
        {"vpl", MFX_IMPL_HARDWARE | MFX_IMPL_VIA_ANY, 1, 1, MFX_ERR_NONE},
        {"vpl", MFX_IMPL_HARDWARE | MFX_IMPL_VIA_D3D9, 1, 1, MFX_ERR_UNSUPPORTED},
        {"vpl", MFX_IMPL_HARDWARE | MFX_IMPL_VIA_D3D11, 2, 0, MFX_ERR_UNSUPPORTED},
        {"msdk", MFX_IMPL_HARDWARE | MFX_IMPL_VIA_D3D9, 1, 35, MFX_ERR_NONE},
        {"msdk", MFX_IMPL_HARDWARE, 1, 255, MFX_ERR_UNSUPPORTED},
        {"onevpl", MFX_IMPL_HARDWARE, 1, 1, MFX_ERR_UNSUPPORTED},  // a malformed knob
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.runtime) + " " + std::to_string(c.impl) + " " + std::to_string(c.minor));
        EnvGuard runtime("MFXSOFT_RUNTIME", c.runtime);
        mfxVersion requested{};
        requested.Major = c.major;
        requested.Minor = c.minor;
        mfxSession session = nullptr;
        ASSERT_EQ(MFXInit(c.impl, &requested, &session), c.status);
        if (c.status != MFX_ERR_NONE) continue;
        mfxVersion version{};
        mfxIMPL impl = 0;
        EXPECT_EQ(MFXQueryVersion(session, &version), MFX_ERR_NONE);
        EXPECT_EQ(version.Minor, std::string(c.runtime) == "vpl" ? 255 : 35);
        EXPECT_EQ(MFXQueryIMPL(session, &impl), MFX_ERR_NONE);
        EXPECT_EQ(impl, c.impl);
        EXPECT_EQ(MFXClose(session), MFX_ERR_NONE);
    }
}

TEST(Session, SessionsAreIndependent) {
    NullEncoderEnv env;
    mfxSession a = OpenSession();
    mfxSession b = OpenSession();
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    VppParams vpp(64, 48);
    EXPECT_EQ(MFXVideoVPP_Init(a, &vpp.par), MFX_ERR_NONE);
    // The second session has no pre-processing stage of its own yet.
    mfxSyncPoint sync = nullptr;
    mfxFrameSurface1 in{}, out{};
    EXPECT_EQ(MFXVideoVPP_RunFrameVPPAsync(b, &in, &out, nullptr, &sync), MFX_ERR_NOT_INITIALIZED);
    EXPECT_EQ(MFXVideoVPP_Init(b, &vpp.par), MFX_ERR_NONE);
    EXPECT_EQ(MFXClose(a), MFX_ERR_NONE);
    EXPECT_EQ(MFXVideoVPP_Close(b), MFX_ERR_NONE);
    EXPECT_EQ(MFXClose(b), MFX_ERR_NONE);
}

TEST(Vpp, ConvertsThroughTheAllocatorAndCarriesTimeStamps) {
    NullEncoderEnv env;
    mfxSession session = OpenSession();
    ASSERT_NE(session, nullptr);
    TestAllocator allocator;
    ASSERT_EQ(MFXVideoCORE_SetFrameAllocator(session, &allocator), MFX_ERR_NONE);
    VppParams vpp(70, 38);  // crop inside an aligned 80 x 48 frame
    mfxFrameAllocRequest requests[2]{};
    ASSERT_EQ(MFXVideoVPP_QueryIOSurf(session, &vpp.par, requests), MFX_ERR_NONE);
    EXPECT_TRUE(requests[0].Type & MFX_MEMTYPE_SYSTEM_MEMORY);
    EXPECT_TRUE(requests[1].Type & MFX_MEMTYPE_SYSTEM_MEMORY);
    EXPECT_EQ(requests[0].Info.FourCC, static_cast<mfxU32>(MFX_FOURCC_RGB3));
    EXPECT_EQ(requests[1].Info.FourCC, static_cast<mfxU32>(MFX_FOURCC_NV12));
    EXPECT_EQ(requests[0].NumFrameSuggested, 2);
    EXPECT_EQ(requests[1].NumFrameSuggested, 2);
    ASSERT_EQ(MFXVideoVPP_Init(session, &vpp.par), MFX_ERR_NONE);

    auto in = allocator.Surfaces(vpp.par.vpp.In, 1);
    auto out = allocator.Surfaces(vpp.par.vpp.Out, 1);
    Paint(allocator, in[0].get(), 3);
    in[0]->Data.TimeStamp = 9000;
    in[0]->Data.FrameOrder = 0xFFFFFFFF;
    const int locksBefore = allocator.locks.load();
    mfxSyncPoint sync = nullptr;
    ASSERT_EQ(MFXVideoVPP_RunFrameVPPAsync(session, in[0].get(), out[0].get(), nullptr, &sync), MFX_ERR_NONE);
    ASSERT_NE(sync, nullptr);
    mfxStatus polled;
    while ((polled = MFXVideoCORE_SyncOperation(session, sync, 0)) == MFX_WRN_IN_EXECUTION) {
    }
    EXPECT_EQ(polled, MFX_ERR_NONE);
    // A spent sync point is not found again.
    EXPECT_EQ(MFXVideoCORE_SyncOperation(session, sync, 0), MFX_ERR_NOT_FOUND);
    EXPECT_EQ(allocator.locks.load() - locksBefore, 2);
    EXPECT_EQ(allocator.unlocks.load(), allocator.locks.load());
    EXPECT_EQ(out[0]->Data.TimeStamp, 9000u);
    EXPECT_EQ(out[0]->Data.Locked, 0);
    EXPECT_EQ(in[0]->Data.Locked, 0);

    ASSERT_EQ(allocator.Lock(allocator.pthis, out[0]->Data.MemId, &out[0]->Data), MFX_ERR_NONE);
    ASSERT_EQ(allocator.Lock(allocator.pthis, in[0]->Data.MemId, &in[0]->Data), MFX_ERR_NONE);
    // Pixel (5, 4): bytes B, G, R from the painted pattern.
    const uint8_t* bgr = in[0]->Data.Y + 4 * in[0]->Data.Pitch + 15;
    const double y = 16 + (65.481 * bgr[2] + 128.553 * bgr[1] + 24.966 * bgr[0]) / 255;
    EXPECT_NEAR(out[0]->Data.Y[4 * out[0]->Data.Pitch + 5], y, 1.0);
    // The padding right of and below the crop repeats the last column and row.
    const uint8_t* lastRow = out[0]->Data.Y + 37 * out[0]->Data.Pitch;
    EXPECT_EQ(lastRow[79], lastRow[69]);
    EXPECT_EQ(std::memcmp(out[0]->Data.Y + 47 * out[0]->Data.Pitch, lastRow, 80), 0);

    // The end of the stream has nothing to drain.
    EXPECT_EQ(MFXVideoVPP_RunFrameVPPAsync(session, nullptr, out[0].get(), nullptr, &sync), MFX_ERR_MORE_DATA);
    EXPECT_EQ(MFXClose(session), MFX_ERR_NONE);
}

TEST(Vpp, RefusesWhatItCannotDo) {
    NullEncoderEnv env;
    mfxSession session = OpenSession();
    ASSERT_NE(session, nullptr);
    mfxFrameAllocRequest requests[2]{};
    auto expect = [&](mfxStatus status, auto change) {
        VppParams vpp(64, 48);
        change(vpp.par);
        EXPECT_EQ(MFXVideoVPP_QueryIOSurf(session, &vpp.par, requests), status);
        EXPECT_EQ(MFXVideoVPP_Init(session, &vpp.par), status);
        if (status == MFX_ERR_NONE) MFXVideoVPP_Close(session);
    };
    expect(MFX_ERR_NONE, [](mfxVideoParam&) {});
    expect(MFX_ERR_INVALID_VIDEO_PARAM, [](mfxVideoParam& p) { p.vpp.In.FourCC = MFX_FOURCC_YUY2; });
    expect(MFX_ERR_INVALID_VIDEO_PARAM, [](mfxVideoParam& p) { p.vpp.Out.FourCC = MFX_FOURCC_YV12; });
    expect(MFX_ERR_INVALID_VIDEO_PARAM, [](mfxVideoParam& p) { p.vpp.In.FrameRateExtN = 0; });
    expect(MFX_ERR_INVALID_VIDEO_PARAM, [](mfxVideoParam& p) { p.vpp.Out.FrameRateExtD = 0; });
    expect(MFX_ERR_INVALID_VIDEO_PARAM, [](mfxVideoParam& p) { p.vpp.In.Width = 72; });
    expect(MFX_ERR_INVALID_VIDEO_PARAM, [](mfxVideoParam& p) { p.vpp.Out.Height = 40; });
    expect(MFX_ERR_INVALID_VIDEO_PARAM, [](mfxVideoParam& p) { p.vpp.In.CropW = 65; });
    expect(MFX_ERR_INVALID_VIDEO_PARAM, [](mfxVideoParam& p) { p.IOPattern = 0; });
    expect(MFX_ERR_UNSUPPORTED, [](mfxVideoParam& p) {
        p.IOPattern = MFX_IOPATTERN_IN_VIDEO_MEMORY | MFX_IOPATTERN_OUT_SYSTEM_MEMORY;
    });
    expect(MFX_ERR_UNSUPPORTED, [](mfxVideoParam& p) {
        p.IOPattern = MFX_IOPATTERN_IN_SYSTEM_MEMORY | MFX_IOPATTERN_OUT_VIDEO_MEMORY;
    });
    expect(MFX_ERR_UNSUPPORTED, [](mfxVideoParam& p) { p.vpp.Out.CropW = 32; });  // no scaling
    expect(MFX_ERR_NULL_PTR, [](mfxVideoParam& p) { p.ExtParam = nullptr; });
    VppParams vpp(64, 48);
    ASSERT_EQ(MFXVideoVPP_Init(session, &vpp.par), MFX_ERR_NONE);
    EXPECT_EQ(MFXVideoVPP_Init(session, &vpp.par), MFX_ERR_UNDEFINED_BEHAVIOR);
    EXPECT_EQ(MFXVideoVPP_Close(session), MFX_ERR_NONE);
    EXPECT_EQ(MFXVideoVPP_Close(session), MFX_ERR_NOT_INITIALIZED);
    EXPECT_EQ(MFXClose(session), MFX_ERR_NONE);
}

TEST(Vpp, InputFormatsOfEachRuntimeKind) {
    NullEncoderEnv env;
    struct Case {
        const char* runtime;
        mfxU32 fourCC;
        mfxU16 chroma;
        mfxStatus status;
    };
    const Case cases[] = {
        {"msdk", MFX_FOURCC_RGB3, 0, MFX_ERR_NONE},
        {"vpl", MFX_FOURCC_RGB3, 0, MFX_ERR_INVALID_VIDEO_PARAM},
        {"msdk", MFX_FOURCC_RGB4, MFX_CHROMAFORMAT_YUV444, MFX_ERR_NONE},
        {"vpl", MFX_FOURCC_RGB4, MFX_CHROMAFORMAT_YUV444, MFX_ERR_NONE},
        {"vpl", MFX_FOURCC_RGB4, 0, MFX_ERR_NONE},
        {"vpl", MFX_FOURCC_RGB4, MFX_CHROMAFORMAT_YUV420, MFX_ERR_INVALID_VIDEO_PARAM},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.runtime) + " " + std::to_string(c.fourCC) + " " + std::to_string(c.chroma));
        EnvGuard runtime("MFXSOFT_RUNTIME", c.runtime);
        mfxSession session = OpenSession();
        ASSERT_NE(session, nullptr);
        VppParams vpp(64, 48);
        vpp.par.vpp.In.FourCC = c.fourCC;
        vpp.par.vpp.In.ChromaFormat = c.chroma;
        mfxFrameAllocRequest requests[2]{};
        EXPECT_EQ(MFXVideoVPP_QueryIOSurf(session, &vpp.par, requests), c.status);
        EXPECT_EQ(MFXVideoVPP_Init(session, &vpp.par), c.status);
        EXPECT_EQ(MFXClose(session), MFX_ERR_NONE);
    }
}

TEST(Vpp, WorkRunsOnTheRuntimeThreadAndSyncReportsPendingWork) {
    NullEncoderEnv env;
    mfxSession session = OpenSession();
    ASSERT_NE(session, nullptr);
    TestAllocator allocator;
    ASSERT_EQ(MFXVideoCORE_SetFrameAllocator(session, &allocator), MFX_ERR_NONE);
    VppParams vpp(64, 48);
    ASSERT_EQ(MFXVideoVPP_Init(session, &vpp.par), MFX_ERR_NONE);
    auto in = allocator.Surfaces(vpp.par.vpp.In, 1);
    auto out = allocator.Surfaces(vpp.par.vpp.Out, 1);
    allocator.gate = true;  // the runtime thread stops in its first Lock
    mfxSyncPoint sync = nullptr;
    ASSERT_EQ(MFXVideoVPP_RunFrameVPPAsync(session, in[0].get(), out[0].get(), nullptr, &sync), MFX_ERR_NONE);
    EXPECT_EQ(in[0]->Data.Locked, 1);   // both surfaces are the stage's until it finishes
    EXPECT_EQ(out[0]->Data.Locked, 1);
    EXPECT_EQ(MFXVideoCORE_SyncOperation(session, sync, 0), MFX_WRN_IN_EXECUTION);
    EXPECT_EQ(MFXVideoCORE_SyncOperation(session, sync, 20), MFX_WRN_IN_EXECUTION);  // times out
    allocator.gate = false;
    EXPECT_EQ(MFXVideoCORE_SyncOperation(session, sync, 60000), MFX_ERR_NONE);
    EXPECT_EQ(in[0]->Data.Locked, 0);
    EXPECT_EQ(out[0]->Data.Locked, 0);
    std::lock_guard<std::mutex> hold(allocator.threadsLock);
    ASSERT_FALSE(allocator.lockThreads.empty());
    for (std::thread::id id : allocator.lockThreads) EXPECT_NE(id, std::this_thread::get_id());
    EXPECT_EQ(MFXClose(session), MFX_ERR_NONE);
}

TEST(Vpp, ConvertsToP010WithTheTenBitsWhereShiftSays) {
    // The wiring: P010 surfaces, the matrix of the signal buffer, the shift
    // of Init, padding in samples (the accuracy is ColourConversion's).
    NullEncoderEnv env;
    for (mfxU16 shift : {0, 1}) {
        SCOPED_TRACE("shift " + std::to_string(shift));
        mfxSession session = OpenSession();
        ASSERT_NE(session, nullptr);
        TestAllocator allocator;
        ASSERT_EQ(MFXVideoCORE_SetFrameAllocator(session, &allocator), MFX_ERR_NONE);
        VppParams vpp(70, 38);
        vpp.par.vpp.Out = FrameInfo(MFX_FOURCC_P010, 70, 38);
        vpp.par.vpp.Out.Shift = shift;
        mfxExtVPPVideoSignalInfo signal{};
        signal.Header.BufferId = MFX_EXTBUFF_VPP_VIDEO_SIGNAL_INFO;
        signal.Header.BufferSz = sizeof(signal);
        signal.Out.TransferMatrix = MFX_TRANSFERMATRIX_BT709;
        mfxExtBuffer* ext[2] = {&vpp.doNotUse.Header, &signal.Header};
        vpp.par.ExtParam = ext;
        vpp.par.NumExtParam = 2;
        ASSERT_EQ(MFXVideoVPP_Init(session, &vpp.par), MFX_ERR_NONE);
        auto in = allocator.Surfaces(vpp.par.vpp.In, 1);
        auto out = allocator.Surfaces(vpp.par.vpp.Out, 1);
        Paint(allocator, in[0].get(), 5);
        mfxSyncPoint sync = nullptr;
        ASSERT_EQ(MFXVideoVPP_RunFrameVPPAsync(session, in[0].get(), out[0].get(), nullptr, &sync), MFX_ERR_NONE);
        ASSERT_EQ(SyncBounded(session, sync), MFX_ERR_NONE);
        ASSERT_EQ(allocator.Lock(allocator.pthis, out[0]->Data.MemId, &out[0]->Data), MFX_ERR_NONE);
        ASSERT_EQ(allocator.Lock(allocator.pthis, in[0]->Data.MemId, &in[0]->Data), MFX_ERR_NONE);
        const uint8_t* bgr = in[0]->Data.Y + 4 * in[0]->Data.Pitch + 15;  // pixel (5, 4)
        const double y = 64 + 876 * (0.2126 * bgr[2] + 0.7152 * bgr[1] + 0.0722 * bgr[0]) / 255;
        const mfxFrameData& d = out[0]->Data;
        const int raw = d.Y[4 * d.Pitch + 10] | d.Y[4 * d.Pitch + 11] << 8;
        EXPECT_NEAR(shift != 0 ? raw >> 6 : raw, y, 1.0);
        EXPECT_EQ(raw & (shift != 0 ? 0x3F : 0xFC00), 0);  // the unused bits stay clear
        const uint8_t* lastRow = d.Y + 37 * d.Pitch;  // padding repeats the last column
        EXPECT_EQ(std::memcmp(lastRow + 2 * 79, lastRow + 2 * 69, 2), 0);
        EXPECT_EQ(MFXClose(session), MFX_ERR_NONE);
    }
    // Only ten bits and a shift of 0 or 1 are P010.
    mfxSession session = OpenSession();
    for (auto change : {+[](mfxFrameInfo& o) { o.Shift = 2; }, +[](mfxFrameInfo& o) { o.BitDepthLuma = 8; },
                        +[](mfxFrameInfo& o) { o.FourCC = MFX_FOURCC_NV12; }}) {
        VppParams vpp(64, 48);
        vpp.par.vpp.Out = FrameInfo(MFX_FOURCC_P010, 64, 48);
        change(vpp.par.vpp.Out);
        EXPECT_EQ(MFXVideoVPP_Init(session, &vpp.par), MFX_ERR_INVALID_VIDEO_PARAM);
    }
    EXPECT_EQ(MFXClose(session), MFX_ERR_NONE);
}
