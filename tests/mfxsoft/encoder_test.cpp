// The encoder's mechanics with the null encoder: hold and drain, Locked
// counters, the bitstream's room, time stamps and parameter checks.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "null_record.h"
#include "support.h"

using namespace mfxsoft_test;

namespace {

struct Env {
    EnvGuard encoder{"MFXSOFT_ENCODER", "null"};
    EnvGuard faults{"MFXSOFT_FAULTS", nullptr};
    EnvGuard adapters{"MFXSOFT_ADAPTERS", nullptr};
};

struct Block {
    uint32_t order;
    uint16_t type;
    uint64_t timeStamp;
};

Block ReadBlock(const uint8_t* b, size_t size) {
    Block block{};
    const auto record = FindNullRecord(b, size, MFX_CODEC_AVC);
    EXPECT_TRUE(record.has_value());
    if (!record) return block;
    block.order = static_cast<uint32_t>(record->order);
    block.type = record->frameType;
    block.timeStamp = record->timeStamp;
    return block;
}

// An encoder session on NV12 surfaces from the test allocator.
struct EncoderRig {
    Env env;
    mfxSession session = OpenSession();
    TestAllocator allocator;
    mfxVideoParam par;
    std::vector<std::unique_ptr<mfxFrameSurface1>> surfaces;
    std::vector<uint8_t> buffer;
    mfxBitstream bs{};

    explicit EncoderRig(mfxVideoParam params, int poolExtra = 3) : par(params) {
        EXPECT_EQ(MFXVideoCORE_SetFrameAllocator(session, &allocator), MFX_ERR_NONE);
        mfxFrameAllocRequest request{};
        EXPECT_EQ(MFXVideoENCODE_QueryIOSurf(session, &par, &request), MFX_ERR_NONE);
        surfaces = allocator.Surfaces(par.mfx.FrameInfo, request.NumFrameSuggested + poolExtra);
        EXPECT_EQ(MFXVideoENCODE_Init(session, &par), MFX_ERR_NONE);
        mfxVideoParam inForce{};
        EXPECT_EQ(MFXVideoENCODE_GetVideoParam(session, &inForce), MFX_ERR_NONE);
        buffer.resize(inForce.mfx.BufferSizeInKB * 1000u);
        bs.Data = buffer.data();
        bs.MaxLength = static_cast<mfxU32>(buffer.size());
    }
    ~EncoderRig() { MFXClose(session); }

    mfxFrameSurface1* FreeSurface() {
        for (auto& s : surfaces) {
            if (s->Data.Locked == 0) return s.get();
        }
        return nullptr;
    }
};

}  // namespace

TEST(Encoder, HoldsBFramesAndDrainsEveryFrameInOrder) {
    EncoderRig rig(EncodeParams(64, 48));
    ASSERT_NE(rig.session, nullptr);
    mfxVideoParam inForce{};
    ASSERT_EQ(MFXVideoENCODE_GetVideoParam(rig.session, &inForce), MFX_ERR_NONE);
    ASSERT_EQ(inForce.mfx.GopRefDist, 3);  // two B-frames by default

    const int frames = 10;
    std::vector<Block> blocks;
    int moreData = 0;
    auto take = [&](mfxSyncPoint sync) {
        ASSERT_EQ(SyncBounded(rig.session, sync), MFX_ERR_NONE);
        Block block = ReadBlock(rig.bs.Data + rig.bs.DataOffset, rig.bs.DataLength);
        EXPECT_EQ(rig.bs.TimeStamp, block.timeStamp);
        EXPECT_EQ(rig.bs.FrameType, block.type);
        blocks.push_back(block);
        rig.bs.DataLength = 0;
    };
    for (int i = 0; i < frames; ++i) {
        mfxFrameSurface1* surface = rig.FreeSurface();
        ASSERT_NE(surface, nullptr) << "pool exhausted at frame " << i;
        surface->Data.TimeStamp = 3000u * i;
        mfxSyncPoint sync = nullptr;
        mfxStatus status = MFXVideoENCODE_EncodeFrameAsync(rig.session, nullptr, surface, &rig.bs, &sync);
        if (status == MFX_ERR_MORE_DATA) {
            ++moreData;
            continue;
        }
        ASSERT_EQ(status, MFX_ERR_NONE);
        take(sync);
    }
    EXPECT_EQ(moreData, 2);
    for (;;) {
        mfxSyncPoint sync = nullptr;
        mfxStatus status = MFXVideoENCODE_EncodeFrameAsync(rig.session, nullptr, nullptr, &rig.bs, &sync);
        if (status == MFX_ERR_MORE_DATA) break;
        ASSERT_EQ(status, MFX_ERR_NONE);
        take(sync);
        ASSERT_LE(blocks.size(), static_cast<size_t>(frames));
    }
    ASSERT_EQ(blocks.size(), static_cast<size_t>(frames));
    // Decode order: I0 P3 B1 B2 P6 B4 B5 P9 B7 B8 (the last group closes with a P).
    const uint32_t expected[] = {0, 3, 1, 2, 6, 4, 5, 9, 7, 8};
    for (int i = 0; i < frames; ++i) {
        EXPECT_EQ(blocks[i].order, expected[i]) << i;
        EXPECT_EQ(blocks[i].timeStamp, 3000u * expected[i]);
    }
    EXPECT_TRUE(blocks[0].type & MFX_FRAMETYPE_IDR);
    EXPECT_TRUE(blocks[1].type & MFX_FRAMETYPE_P);
    EXPECT_TRUE(blocks[2].type & MFX_FRAMETYPE_B);
    // Once drained, the encoder holds only the newest reference; Close releases it.
    int locked = 0;
    for (auto& s : rig.surfaces) locked += s->Data.Locked;
    EXPECT_LE(locked, 1);
    EXPECT_EQ(MFXVideoENCODE_Close(rig.session), MFX_ERR_NONE);
    for (auto& s : rig.surfaces) EXPECT_EQ(s->Data.Locked, 0);
}

TEST(Encoder, CloseReleasesHeldSurfaces) {
    EncoderRig rig(EncodeParams(64, 48));
    mfxSyncPoint sync = nullptr;
    mfxFrameSurface1* first = rig.FreeSurface();
    ASSERT_EQ(MFXVideoENCODE_EncodeFrameAsync(rig.session, nullptr, first, &rig.bs, &sync), MFX_ERR_MORE_DATA);
    EXPECT_EQ(first->Data.Locked, 1);  // held for a B-frame decision
    mfxFrameSurface1* second = rig.FreeSurface();
    ASSERT_NE(second, first);
    ASSERT_EQ(MFXVideoENCODE_EncodeFrameAsync(rig.session, nullptr, second, &rig.bs, &sync), MFX_ERR_MORE_DATA);
    EXPECT_EQ(MFXVideoENCODE_Close(rig.session), MFX_ERR_NONE);
    for (auto& s : rig.surfaces) EXPECT_EQ(s->Data.Locked, 0);
}

TEST(Encoder, AsksForALargerBufferWhenTheRoomIsShort) {
    EncoderRig rig(EncodeParams(64, 48));
    mfxVideoParam inForce{};
    ASSERT_EQ(MFXVideoENCODE_GetVideoParam(rig.session, &inForce), MFX_ERR_NONE);
    ASSERT_GT(inForce.mfx.BufferSizeInKB, 0);
    std::vector<uint8_t> small(100);
    mfxBitstream bs{};
    bs.Data = small.data();
    bs.MaxLength = 100;
    mfxSyncPoint sync = nullptr;
    mfxFrameSurface1* surface = rig.FreeSurface();
    EXPECT_EQ(MFXVideoENCODE_EncodeFrameAsync(rig.session, nullptr, surface, &bs, &sync), MFX_ERR_NOT_ENOUGH_BUFFER);
    EXPECT_EQ(surface->Data.Locked, 0);  // refused pictures are not held
    // Bytes not yet consumed count against the room too.
    rig.bs.DataLength = 10;
    EXPECT_EQ(MFXVideoENCODE_EncodeFrameAsync(rig.session, nullptr, surface, &rig.bs, &sync), MFX_ERR_NOT_ENOUGH_BUFFER);
    // A buffer of BufferSizeInKB * 1000 bytes is enough.
    std::vector<uint8_t> larger(inForce.mfx.BufferSizeInKB * 1000u + 10);
    bs.Data = larger.data();
    bs.MaxLength = static_cast<mfxU32>(larger.size());
    bs.DataOffset = 2;
    bs.DataLength = 8;
    EXPECT_EQ(MFXVideoENCODE_EncodeFrameAsync(rig.session, nullptr, surface, &bs, &sync), MFX_ERR_MORE_DATA);
}

TEST(Encoder, ChecksParametersLikeTheSdk) {
    Env env;
    mfxSession session = OpenSession();
    ASSERT_NE(session, nullptr);
    struct Case {
        const char* what;
        mfxStatus status;
        void (*change)(mfxVideoParam&);
    };
    const Case cases[] = {
        {"defaults of the plug-in", MFX_ERR_NONE, [](mfxVideoParam&) {}},
        {"a codec without an encoder", MFX_ERR_INVALID_VIDEO_PARAM, [](mfxVideoParam& p) { p.mfx.CodecId = MFX_CODEC_MPEG2; }},
        {"zero width", MFX_ERR_INVALID_VIDEO_PARAM, [](mfxVideoParam& p) { p.mfx.FrameInfo.Width = 0; }},
        {"unaligned height", MFX_ERR_INVALID_VIDEO_PARAM, [](mfxVideoParam& p) { p.mfx.FrameInfo.Height = 1080; }},
        {"zero frame rate", MFX_ERR_INVALID_VIDEO_PARAM, [](mfxVideoParam& p) { p.mfx.FrameInfo.FrameRateExtN = 0; }},
        {"zero rate divisor", MFX_ERR_INVALID_VIDEO_PARAM, [](mfxVideoParam& p) { p.mfx.FrameInfo.FrameRateExtD = 0; }},
        {"zero target, VBR", MFX_ERR_INVALID_VIDEO_PARAM, [](mfxVideoParam& p) { p.mfx.TargetKbps = 0; }},
        {"zero target, CBR", MFX_ERR_INVALID_VIDEO_PARAM,
         [](mfxVideoParam& p) {
             p.mfx.RateControlMethod = MFX_RATECONTROL_CBR;
             p.mfx.TargetKbps = 0;
         }},
        {"unknown profile", MFX_ERR_INVALID_VIDEO_PARAM, [](mfxVideoParam& p) { p.mfx.CodecProfile = 99; }},
        {"unknown rate control", MFX_ERR_INVALID_VIDEO_PARAM, [](mfxVideoParam& p) { p.mfx.RateControlMethod = 77; }},
        {"wrong colour format", MFX_ERR_INVALID_VIDEO_PARAM, [](mfxVideoParam& p) { p.mfx.FrameInfo.FourCC = MFX_FOURCC_RGB3; }},
        {"video memory", MFX_ERR_UNSUPPORTED, [](mfxVideoParam& p) { p.IOPattern = MFX_IOPATTERN_IN_VIDEO_MEMORY; }},
        {"no memory pattern", MFX_ERR_INVALID_VIDEO_PARAM, [](mfxVideoParam& p) { p.IOPattern = 0; }},
        {"interlaced", MFX_ERR_UNSUPPORTED, [](mfxVideoParam& p) { p.mfx.FrameInfo.PicStruct = MFX_PICSTRUCT_FIELD_TFF; }},
        {"level too low for 1080p", MFX_WRN_INCOMPATIBLE_VIDEO_PARAM, [](mfxVideoParam& p) { p.mfx.CodecLevel = MFX_LEVEL_AVC_3; }},
        {"level too low for 60 fps", MFX_WRN_INCOMPATIBLE_VIDEO_PARAM, [](mfxVideoParam& p) { p.mfx.FrameInfo.FrameRateExtN = 60; }},
        {"not a level", MFX_WRN_INCOMPATIBLE_VIDEO_PARAM, [](mfxVideoParam& p) { p.mfx.CodecLevel = 23; }},
        {"level 0 chosen", MFX_ERR_NONE, [](mfxVideoParam& p) { p.mfx.CodecLevel = 0; }},
        {"maximum below target", MFX_WRN_INCOMPATIBLE_VIDEO_PARAM, [](mfxVideoParam& p) { p.mfx.MaxKbps = 1000; }},
        {"maximum 0", MFX_ERR_NONE, [](mfxVideoParam& p) { p.mfx.MaxKbps = 0; }},
        {"B-frames asked of Baseline", MFX_WRN_INCOMPATIBLE_VIDEO_PARAM,
         [](mfxVideoParam& p) {
             p.mfx.CodecProfile = MFX_PROFILE_AVC_BASELINE;
             p.mfx.GopRefDist = 3;
         }},
        {"target usage 8", MFX_WRN_INCOMPATIBLE_VIDEO_PARAM, [](mfxVideoParam& p) { p.mfx.TargetUsage = 8; }},
        {"constant QP", MFX_ERR_NONE,
         [](mfxVideoParam& p) {
             p.mfx.RateControlMethod = MFX_RATECONTROL_CQP;
             p.mfx.QPI = p.mfx.QPP = p.mfx.QPB = 26;
         }},
    };
    for (const Case& c : cases) {
        mfxVideoParam par = EncodeParams(1920, 1088);
        par.mfx.FrameInfo.CropH = 1080;
        c.change(par);
        mfxFrameAllocRequest request{};
        EXPECT_EQ(MFXVideoENCODE_QueryIOSurf(session, &par, &request), c.status) << c.what;
        EXPECT_EQ(MFXVideoENCODE_Init(session, &par), c.status) << c.what;
        if (c.status >= MFX_ERR_NONE) {
            EXPECT_TRUE(request.Type & MFX_MEMTYPE_SYSTEM_MEMORY) << c.what;
            EXPECT_GE(request.NumFrameSuggested, request.NumFrameMin) << c.what;
            EXPECT_EQ(MFXVideoENCODE_Close(session), MFX_ERR_NONE) << c.what;
        } else {
            EXPECT_EQ(MFXVideoENCODE_Close(session), MFX_ERR_NOT_INITIALIZED) << c.what;
        }
    }
    // GetVideoParam reports the corrected values.
    mfxVideoParam par = EncodeParams(1920, 1088, 60);
    par.mfx.MaxKbps = 1000;
    ASSERT_EQ(MFXVideoENCODE_Init(session, &par), MFX_WRN_INCOMPATIBLE_VIDEO_PARAM);
    mfxVideoParam inForce{};
    ASSERT_EQ(MFXVideoENCODE_GetVideoParam(session, &inForce), MFX_ERR_NONE);
    EXPECT_EQ(inForce.mfx.CodecLevel, MFX_LEVEL_AVC_42);
    EXPECT_EQ(inForce.mfx.MaxKbps, 1400);
    EXPECT_EQ(inForce.mfx.TargetKbps, 1400);
    EXPECT_EQ(inForce.mfx.CodecProfile, MFX_PROFILE_AVC_MAIN);
    EXPECT_EQ(inForce.mfx.GopRefDist, 3);
    EXPECT_GE(inForce.mfx.BufferSizeInKB * 1000u, 1920u * 1088u * 3 / 2);  // a whole raw frame fits
    EXPECT_EQ(MFXVideoENCODE_Init(session, &par), MFX_ERR_UNDEFINED_BEHAVIOR);
    EXPECT_EQ(MFXClose(session), MFX_ERR_NONE);
}
