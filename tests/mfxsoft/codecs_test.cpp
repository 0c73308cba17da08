// HEVC (x265) and AV1 (SVT-AV1) through the SDK's calls: the streams decode
// with FFmpeg's libraries to the pictures that went in, at the depth, size,
// profile, level and colour tags the encoder reported; the delay each back
// end announces holds for every structure; the runtime kinds, levels and
// Query answer as Intel's runtimes do.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "coding.h"

using namespace mfxsoft_test;

namespace {

struct Env {
    EnvGuard encoder{"MFXSOFT_ENCODER", "x264"};  // the library back ends
    EnvGuard runtime{"MFXSOFT_RUNTIME", "vpl"};   // the kind that has every encoder
    EnvGuard faults{"MFXSOFT_FAULTS", nullptr};
    EnvGuard adapters{"MFXSOFT_ADAPTERS", nullptr};
    EnvGuard svtLog{"SVT_LOG", "1"};  // SVT-AV1's errors, not its settings at every init
};

std::string CodecName(mfxU32 codec) { return codec == MFX_CODEC_AV1 ? "AV1" : codec == MFX_CODEC_HEVC ? "HEVC" : "AVC"; }

}  // namespace

TEST(Codecs, StreamsDecodeToTheInputWithTheirDepthSizeAndTags) {
    Env env;
    struct Case {
        mfxU32 codec;
        int depth, shift;
        int width, height;     // crop; the frame is aligned to 16
        mfxU16 refDist;
        mfxU16 rc;             // CQP at QP 24 (AV1: index 96) or a bit rate of 3000 kbps
        mfxU16 colour;         // primaries = transfer = matrix: 1 BT.709, 6 BT.601
        int decodedWidth, decodedHeight;
    };
    const Case cases[] = {
        {MFX_CODEC_HEVC, 8, 0, 320, 240, 0, MFX_RATECONTROL_CQP, 1, 320, 240},
        {MFX_CODEC_HEVC, 10, 1, 320, 240, 0, MFX_RATECONTROL_CQP, 6, 320, 240},
        {MFX_CODEC_HEVC, 10, 0, 318, 238, 1, MFX_RATECONTROL_VBR, 1, 318, 238},
        {MFX_CODEC_HEVC, 8, 0, 317, 237, 4, MFX_RATECONTROL_CBR, 6, 318, 238},  // an odd crop keeps one padded pair
        {MFX_CODEC_AV1, 8, 0, 320, 240, 0, MFX_RATECONTROL_CQP, 1, 320, 240},
        {MFX_CODEC_AV1, 10, 1, 320, 240, 8, MFX_RATECONTROL_CQP, 6, 320, 240},
        {MFX_CODEC_AV1, 10, 0, 318, 238, 1, MFX_RATECONTROL_VBR, 6, 318, 238},
        {MFX_CODEC_AV1, 8, 0, 317, 237, 4, MFX_RATECONTROL_CBR, 1, 318, 238},
    };
    const int frames = 12;
    for (const Case& c : cases) {
        SCOPED_TRACE(CodecName(c.codec) + " " + std::to_string(c.depth) + "-bit shift " + std::to_string(c.shift) + " " +
                     std::to_string(c.width) + "x" + std::to_string(c.height) + " rc " + std::to_string(c.rc) +
                     " refdist " + std::to_string(c.refDist));
        mfxVideoParam par = CodecParams(c.codec, c.depth, c.width, c.height);
        par.mfx.FrameInfo.Shift = static_cast<mfxU16>(c.shift);
        par.mfx.GopRefDist = c.refDist;
        if (c.rc == MFX_RATECONTROL_CQP) {
            par = Cqp(par, c.codec == MFX_CODEC_AV1 ? 96 : 24);
        } else {
            par.mfx.RateControlMethod = c.rc;
            par.mfx.TargetKbps = par.mfx.MaxKbps = 3000;
        }
        mfxExtVideoSignalInfo signal = Signal(c.colour, c.colour, c.colour);
        Encoding run = Encode(par, frames, &signal);
        ASSERT_EQ(run.coded.size(), static_cast<size_t>(frames));
        // The pool QueryIOSurf asked for covers the pictures the encoder held.
        EXPECT_EQ(run.moreData + 2, run.numFrameMin);
        EXPECT_TRUE(run.coded[0].frameType & MFX_FRAMETYPE_IDR);
        std::vector<uint64_t> stamps;
        for (const Coded& coded : run.coded) stamps.push_back(coded.timeStamp);
        std::sort(stamps.begin(), stamps.end());
        for (int i = 0; i < frames; ++i) EXPECT_EQ(stamps[i], 3000u * i);

        Decoded decoded;
        Decode(c.codec, run.coded, &decoded);
        ASSERT_EQ(decoded.frames.size(), static_cast<size_t>(frames));
        const mfxInfoMFX& m = run.inForce.mfx;
        if (c.codec == MFX_CODEC_HEVC) {
            EXPECT_EQ(m.CodecProfile, c.depth > 8 ? MFX_PROFILE_HEVC_MAIN10 : MFX_PROFILE_HEVC_MAIN);
            EXPECT_EQ(decoded.profile, c.depth > 8 ? FF_PROFILE_HEVC_MAIN_10 : FF_PROFILE_HEVC_MAIN);
            EXPECT_EQ(decoded.level, 3 * m.CodecLevel);  // general_level_idc is 30 times the level
        } else {
            EXPECT_EQ(m.CodecProfile, MFX_PROFILE_AV1_MAIN);
            EXPECT_EQ(decoded.profile, FF_PROFILE_AV1_MAIN);
            EXPECT_EQ(decoded.level, (m.CodecLevel / 10 - 2) * 4 + m.CodecLevel % 10);  // seq_level_idx
        }
        double worst = 99;
        for (int i = 0; i < frames; ++i) {
            const AVFrame* f = decoded.frames[i];
            ASSERT_EQ(f->width, c.decodedWidth);
            ASSERT_EQ(f->height, c.decodedHeight);
            EXPECT_EQ(f->format, c.depth > 8 ? AV_PIX_FMT_YUV420P10LE : AV_PIX_FMT_YUV420P);
            EXPECT_EQ(f->color_primaries, static_cast<AVColorPrimaries>(c.colour));
            EXPECT_EQ(f->color_trc, static_cast<AVColorTransferCharacteristic>(c.colour));
            EXPECT_EQ(f->colorspace, static_cast<AVColorSpace>(c.colour));
            EXPECT_EQ(f->color_range, AVCOL_RANGE_MPEG);
            const Picture& in = run.inputs[i];
            const int cw = (c.width + 1) / 2, ch = (c.height + 1) / 2;
            worst = std::min({worst, Psnr(f, 0, in.y, c.width, c.height, c.depth), Psnr(f, 1, in.u, cw, ch, c.depth),
                              Psnr(f, 2, in.v, cw, ch, c.depth)});
        }
        EXPECT_GE(worst, 33.0);
        RecordProperty(CodecName(c.codec) + "_worst_psnr_db", std::to_string(worst));
    }
}

TEST(Codecs, EveryStructureKeepsTheAnnouncedDelay) {
    // The back ends' delays are computed before the library opens (for
    // QueryIOSurf); a library that held more would leave a promised frame
    // missing (MFX_ERR_UNKNOWN at sync) or, for SVT-AV1, wait forever.
    Env env;
    struct Case {
        mfxU32 codec;
        int depth;
        mfxU16 refDist, gop, usage, rc, idrInterval;
    };
    const Case cases[] = {
        {MFX_CODEC_HEVC, 8, 1, 256, 4, MFX_RATECONTROL_CBR, 0},  {MFX_CODEC_HEVC, 8, 2, 256, 1, MFX_RATECONTROL_VBR, 0},
        {MFX_CODEC_HEVC, 10, 3, 12, 7, MFX_RATECONTROL_CQP, 0},  {MFX_CODEC_HEVC, 8, 8, 30, 4, MFX_RATECONTROL_CQP, 1},
        {MFX_CODEC_HEVC, 8, 3, 1, 4, MFX_RATECONTROL_VBR, 0},     {MFX_CODEC_AV1, 8, 1, 256, 4, MFX_RATECONTROL_CBR, 0},
        {MFX_CODEC_AV1, 10, 4, 256, 1, MFX_RATECONTROL_VBR, 0},   {MFX_CODEC_AV1, 8, 8, 20, 7, MFX_RATECONTROL_CQP, 0},
        {MFX_CODEC_AV1, 8, 16, 256, 4, MFX_RATECONTROL_CQP, 0},   {MFX_CODEC_AV1, 8, 0, 3, 4, MFX_RATECONTROL_VBR, 0},
        {MFX_CODEC_AV1, 8, 0, 2, 2, MFX_RATECONTROL_CQP, 0},
    };
    const int frames = 40;
    for (const Case& c : cases) {
        SCOPED_TRACE(CodecName(c.codec) + " " + std::to_string(c.depth) + "-bit refdist " + std::to_string(c.refDist) +
                     " gop " + std::to_string(c.gop) + " tu " + std::to_string(c.usage) + " rc " + std::to_string(c.rc));
        mfxVideoParam par = CodecParams(c.codec, c.depth, 128, 96);
        par.mfx.GopRefDist = c.refDist;
        par.mfx.GopPicSize = c.gop;
        par.mfx.TargetUsage = c.usage;
        par.mfx.IdrInterval = c.idrInterval;
        par.mfx.RateControlMethod = c.rc;
        if (c.rc == MFX_RATECONTROL_CQP) par = Cqp(par, 0);  // the QPs share storage with the bit rates: the default QP
        Encoding run = Encode(par, frames);
        ASSERT_EQ(run.coded.size(), static_cast<size_t>(frames));
        EXPECT_EQ(run.moreData + 2, run.numFrameMin);
        // Intra pictures where the GOP says. HEVC's IdrInterval 0 makes only
        // the first an IDR (x265's open GOP: CRA pictures after it), 1 every
        // one; AV1's are all key frames. x265 makes every picture of an
        // all-intra stream an IDR.
        int intra = 0, idr = 0;
        for (const Coded& coded : run.coded) {
            intra += (coded.frameType & MFX_FRAMETYPE_I) ? 1 : 0;
            idr += (coded.frameType & MFX_FRAMETYPE_IDR) ? 1 : 0;
        }
        EXPECT_EQ(intra, (frames + c.gop - 1) / c.gop);
        EXPECT_EQ(idr, c.codec == MFX_CODEC_HEVC && c.idrInterval == 0 && c.gop > 1 ? 1 : intra);
    }
}

namespace {

// The parameter checks need no coding: the null encoder's front end is the library's.
struct NullEnv {
    EnvGuard encoder{"MFXSOFT_ENCODER", "null"};
    EnvGuard faults{"MFXSOFT_FAULTS", nullptr};
    EnvGuard adapters{"MFXSOFT_ADAPTERS", nullptr};
};

struct Answers {
    mfxStatus query, ioSurf, init;
    mfxVideoParam inForce{};
};

// Query (in and out apart), QueryIOSurf, Init and GetVideoParam on one fresh session.
Answers Ask(mfxVideoParam par) {
    Answers result{};
    mfxSession session = OpenSession();
    EXPECT_NE(session, nullptr);
    if (session == nullptr) return result;
    mfxVideoParam out{};
    out.mfx.CodecId = par.mfx.CodecId;
    result.query = MFXVideoENCODE_Query(session, &par, &out);
    mfxFrameAllocRequest request{};
    result.ioSurf = MFXVideoENCODE_QueryIOSurf(session, &par, &request);
    result.init = MFXVideoENCODE_Init(session, &par);
    if (result.init >= MFX_ERR_NONE) {
        EXPECT_EQ(MFXVideoENCODE_GetVideoParam(session, &result.inForce), MFX_ERR_NONE);
        // Query tells what Init then uses.
        EXPECT_EQ(out.mfx.CodecLevel, result.inForce.mfx.CodecLevel);
        EXPECT_EQ(out.mfx.CodecProfile, result.inForce.mfx.CodecProfile);
        EXPECT_EQ(out.mfx.GopRefDist, result.inForce.mfx.GopRefDist);
    }
    EXPECT_EQ(MFXClose(session), MFX_ERR_NONE);
    return result;
}

}  // namespace

TEST(Codecs, EachRuntimeKindHasTheEncodersOfIntelsRuntime) {
    // Intel's runtimes look the encoder up by codec: without one, Query
    // answers MFX_ERR_UNSUPPORTED and QueryIOSurf and Init
    // MFX_ERR_INVALID_VIDEO_PARAM. The Media SDK runtime has no AV1 encoder.
    NullEnv env;
    struct Case {
        const char* runtime;
        mfxU32 codec;
        mfxStatus query, ioSurf, init;
    };
    const Case cases[] = {
        {"msdk", MFX_CODEC_AVC, MFX_ERR_NONE, MFX_ERR_NONE, MFX_ERR_NONE},
        {"msdk", MFX_CODEC_HEVC, MFX_ERR_NONE, MFX_ERR_NONE, MFX_ERR_NONE},
        {"msdk", MFX_CODEC_AV1, MFX_ERR_UNSUPPORTED, MFX_ERR_INVALID_VIDEO_PARAM, MFX_ERR_INVALID_VIDEO_PARAM},
        {"vpl", MFX_CODEC_AVC, MFX_ERR_NONE, MFX_ERR_NONE, MFX_ERR_NONE},
        {"vpl", MFX_CODEC_HEVC, MFX_ERR_NONE, MFX_ERR_NONE, MFX_ERR_NONE},
        {"vpl", MFX_CODEC_AV1, MFX_ERR_NONE, MFX_ERR_NONE, MFX_ERR_NONE},
        {"vpl", MFX_CODEC_VP9, MFX_ERR_UNSUPPORTED, MFX_ERR_INVALID_VIDEO_PARAM, MFX_ERR_INVALID_VIDEO_PARAM},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.runtime) + " " + CodecName(c.codec));
        EnvGuard runtime("MFXSOFT_RUNTIME", c.runtime);
        mfxVideoParam par = CodecParams(c.codec, 8, 1280, 720);
        if (c.codec == MFX_CODEC_AVC) par.mfx.CodecProfile = MFX_PROFILE_AVC_HIGH;
        const Answers got = Ask(par);
        EXPECT_EQ(got.query, c.query);
        EXPECT_EQ(got.ioSurf, c.ioSurf);
        EXPECT_EQ(got.init, c.init);
        // Ten bits as well wherever the codec is there.
        if (c.codec != MFX_CODEC_AVC && c.init == MFX_ERR_NONE) {
            EXPECT_EQ(Ask(CodecParams(c.codec, 10, 1280, 720)).init, MFX_ERR_NONE);
        }
    }
}

TEST(Codecs, LevelsAreCheckedAndChosenForTheStream) {
    NullEnv env;
    EnvGuard runtime("MFXSOFT_RUNTIME", "vpl");
    struct Case {
        const char* what;
        mfxU32 codec;
        int width, height;
        mfxU32 fps;
        mfxU16 kbps;
        mfxU16 level;          // asked
        mfxStatus status;
        mfxU16 inForce;        // reported by Query and GetVideoParam
    };
    const Case cases[] = {
        {"HEVC 1080p30, level 0: runtime picks", MFX_CODEC_HEVC, 1920, 1080, 30, 1400, 0, MFX_ERR_NONE, MFX_LEVEL_HEVC_4},
        {"HEVC 1080p60 asked 3.1", MFX_CODEC_HEVC, 1920, 1080, 60, 1400, MFX_LEVEL_HEVC_31, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM, MFX_LEVEL_HEVC_41},
        {"HEVC 1080p30 at 30 Mbit/s", MFX_CODEC_HEVC, 1920, 1080, 30, 30000, 0, MFX_ERR_NONE, MFX_LEVEL_HEVC_51},
        {"HEVC 2160p60", MFX_CODEC_HEVC, 3840, 2160, 60, 1400, MFX_LEVEL_HEVC_5, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM, MFX_LEVEL_HEVC_51},
        {"HEVC high tier becomes main tier", MFX_CODEC_HEVC, 1280, 720, 30, 1400, MFX_TIER_HEVC_HIGH | MFX_LEVEL_HEVC_51, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM, MFX_LEVEL_HEVC_51},
        {"HEVC not a level", MFX_CODEC_HEVC, 1280, 720, 30, 1400, 42, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM, MFX_LEVEL_HEVC_31},
        {"HEVC beyond 6.2", MFX_CODEC_HEVC, 8192, 4320, 240, 1400, 0, MFX_ERR_INVALID_VIDEO_PARAM, 0},
        {"AV1 1080p30, level 0", MFX_CODEC_AV1, 1920, 1080, 30, 1400, 0, MFX_ERR_NONE, MFX_LEVEL_AV1_4},
        {"AV1 1080p60 asked 3.1", MFX_CODEC_AV1, 1920, 1080, 60, 1400, MFX_LEVEL_AV1_31, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM, MFX_LEVEL_AV1_41},
        {"AV1 1080p30 at 50 Mbit/s", MFX_CODEC_AV1, 1920, 1080, 30, 50000, 0, MFX_ERR_NONE, MFX_LEVEL_AV1_52},
        {"AV1 undefined level 2.2", MFX_CODEC_AV1, 320, 240, 30, 1400, MFX_LEVEL_AV1_22, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM, MFX_LEVEL_AV1_2},
        {"AV1 6.3 stays", MFX_CODEC_AV1, 320, 240, 30, 1400, MFX_LEVEL_AV1_63, MFX_ERR_NONE, MFX_LEVEL_AV1_63},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        mfxVideoParam par = CodecParams(c.codec, 8, c.width, c.height);
        par.mfx.FrameInfo.FrameRateExtN = c.fps;
        par.mfx.TargetKbps = par.mfx.MaxKbps = c.kbps;
        par.mfx.CodecLevel = c.level;
        const Answers got = Ask(par);
        EXPECT_EQ(got.query, c.status < MFX_ERR_NONE ? MFX_ERR_UNSUPPORTED : c.status);
        EXPECT_EQ(got.ioSurf, c.status);
        EXPECT_EQ(got.init, c.status);
        if (c.status >= MFX_ERR_NONE) {
            EXPECT_EQ(got.inForce.mfx.CodecLevel, c.inForce);
        }
    }
}

TEST(Codecs, ParametersOfEachCodecAndDepthAreChecked) {
    NullEnv env;
    EnvGuard runtime("MFXSOFT_RUNTIME", "vpl");
    struct Case {
        const char* what;
        mfxU32 codec;
        int depth;
        mfxStatus status;
        void (*change)(mfxVideoParam&);
        void (*expect)(const mfxInfoMFX&);
    };
    auto none = [](mfxVideoParam&) {};
    auto nothing = [](const mfxInfoMFX&) {};
    const Case cases[] = {
        {"AVC refuses P010", MFX_CODEC_AVC, 10, MFX_ERR_INVALID_VIDEO_PARAM, none, nothing},
        {"HEVC Main asked of 10 bits", MFX_CODEC_HEVC, 10, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM,
         [](mfxVideoParam& p) { p.mfx.CodecProfile = MFX_PROFILE_HEVC_MAIN; },
         [](const mfxInfoMFX& m) { EXPECT_EQ(m.CodecProfile, MFX_PROFILE_HEVC_MAIN10); }},
        {"HEVC Main 10 asked of 8 bits", MFX_CODEC_HEVC, 8, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM,
         [](mfxVideoParam& p) { p.mfx.CodecProfile = MFX_PROFILE_HEVC_MAIN10; },
         [](const mfxInfoMFX& m) { EXPECT_EQ(m.CodecProfile, MFX_PROFILE_HEVC_MAIN); }},
        {"HEVC QP above 51", MFX_CODEC_HEVC, 8, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM,
         [](mfxVideoParam& p) { p = Cqp(p, 52); }, [](const mfxInfoMFX& m) { EXPECT_EQ(m.QPP, 51); }},
        {"P010 with Shift 2", MFX_CODEC_HEVC, 10, MFX_ERR_INVALID_VIDEO_PARAM,
         [](mfxVideoParam& p) { p.mfx.FrameInfo.Shift = 2; }, nothing},
        {"P010 said to be 8 bits", MFX_CODEC_AV1, 10, MFX_ERR_INVALID_VIDEO_PARAM,
         [](mfxVideoParam& p) { p.mfx.FrameInfo.BitDepthChroma = 8; }, nothing},
        {"AV1 High profile", MFX_CODEC_AV1, 8, MFX_ERR_UNSUPPORTED,
         [](mfxVideoParam& p) { p.mfx.CodecProfile = MFX_PROFILE_AV1_HIGH; }, nothing},
        {"AV1 three B-frames become a mini-GOP of 8", MFX_CODEC_AV1, 8, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM,
         [](mfxVideoParam& p) { p.mfx.GopRefDist = 5; }, [](const mfxInfoMFX& m) { EXPECT_EQ(m.GopRefDist, 8); }},
        {"AV1 mini-GOP longer than the GOP: low delay", MFX_CODEC_AV1, 8, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM,
         [](mfxVideoParam& p) {
             p.mfx.GopRefDist = 4;
             p.mfx.GopPicSize = 3;
         },
         [](const mfxInfoMFX& m) { EXPECT_EQ(m.GopRefDist, 1); }},
        {"AV1 all intra becomes GOPs of two", MFX_CODEC_AV1, 8, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM,
         [](mfxVideoParam& p) { p.mfx.GopPicSize = 1; }, [](const mfxInfoMFX& m) { EXPECT_EQ(m.GopPicSize, 2); }},
        {"AV1 quantizer index 256", MFX_CODEC_AV1, 8, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM,
         [](mfxVideoParam& p) { p = Cqp(p, 256); }, [](const mfxInfoMFX& m) { EXPECT_EQ(m.QPI, 255); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        mfxVideoParam par = CodecParams(c.codec, c.depth, 640, 480);
        if (c.codec == MFX_CODEC_AVC) par.mfx.CodecProfile = MFX_PROFILE_AVC_HIGH;
        c.change(par);
        const Answers got = Ask(par);
        EXPECT_EQ(got.query, c.status < MFX_ERR_NONE ? MFX_ERR_UNSUPPORTED : c.status);
        EXPECT_EQ(got.ioSurf, c.status);
        EXPECT_EQ(got.init, c.status);
        if (c.status >= MFX_ERR_NONE) c.expect(got.inForce.mfx);
    }
}

TEST(Codecs, QueryAnswersWithAndWithoutInput) {
    NullEnv env;
    mfxSession session = OpenSession();
    ASSERT_NE(session, nullptr);
    // Without input: the fields Init lets the caller set, for the codec `out` names.
    mfxVideoParam out{};
    out.mfx.CodecId = MFX_CODEC_HEVC;
    ASSERT_EQ(MFXVideoENCODE_Query(session, nullptr, &out), MFX_ERR_NONE);
    EXPECT_EQ(out.mfx.CodecId, static_cast<mfxU32>(MFX_CODEC_HEVC));
    EXPECT_NE(out.mfx.CodecLevel, 0);
    EXPECT_NE(out.mfx.FrameInfo.Shift, 0);
    // In and out the same record: corrected in place, the caller's buffers kept.
    mfxExtVideoSignalInfo signal = Signal(1, 1, 1);
    mfxExtBuffer* ext[1] = {&signal.Header};
    mfxVideoParam par = CodecParams(MFX_CODEC_HEVC, 10, 1920, 1080);
    par.mfx.CodecLevel = MFX_LEVEL_HEVC_2;
    par.ExtParam = ext;
    par.NumExtParam = 1;
    EXPECT_EQ(MFXVideoENCODE_Query(session, &par, &par), MFX_WRN_INCOMPATIBLE_VIDEO_PARAM);
    EXPECT_EQ(par.mfx.CodecLevel, MFX_LEVEL_HEVC_4);
    EXPECT_EQ(par.mfx.CodecProfile, MFX_PROFILE_HEVC_MAIN10);
    EXPECT_EQ(par.ExtParam, ext);
    EXPECT_EQ(MFXVideoENCODE_Close(session), MFX_ERR_NOT_INITIALIZED);  // a query initialises nothing
    EXPECT_EQ(MFXClose(session), MFX_ERR_NONE);
}

TEST(Codecs, CloseInTheMiddleOfAStreamReleasesEverything) {
    // A cancelled export closes the encoder with pictures inside x265's
    // lookahead or SVT-AV1's mini-GOP: Close returns and every surface is
    // unlocked (Encode checks both); under the sanitizers nothing leaks or races.
    // With no picture at all (the plug-in's trial Init and Close) as well:
    // SVT-AV1 must not wait for an end of stream that never comes.
    Env env;
    const struct {
        mfxU32 codec;
        int depth, pictures;
    } cases[] = {{MFX_CODEC_HEVC, 8, 3}, {MFX_CODEC_HEVC, 10, 14}, {MFX_CODEC_AV1, 8, 2}, {MFX_CODEC_AV1, 10, 12},
                 {MFX_CODEC_HEVC, 10, 0},  {MFX_CODEC_AV1, 8, 0},   {MFX_CODEC_AV1, 10, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(CodecName(c.codec) + " " + std::to_string(c.depth) + "-bit after " + std::to_string(c.pictures));
        Encoding run = Encode(CodecParams(c.codec, c.depth, 128, 96), c.pictures, nullptr, true);
        EXPECT_LT(run.coded.size(), static_cast<size_t>(std::max(c.pictures, 1)));
    }
}
