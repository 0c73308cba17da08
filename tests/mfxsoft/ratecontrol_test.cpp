// Rate-control modes and GOP fields: which modes each runtime kind takes for
// each codec and how Query and Init answer the rest, the values they report,
// and what the library back ends make of them (read back with FFmpeg).
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/avutil.h>
}

#include "coding.h"

using namespace mfxsoft_test;

namespace {

std::string CodecName(mfxU32 codec) {
    return codec == MFX_CODEC_AV1 ? "AV1" : codec == MFX_CODEC_HEVC ? "HEVC" : "AVC";
}

struct Env {
    Env(const char* encoder, const char* runtime)
        : encoder_("MFXSOFT_ENCODER", encoder), runtime_("MFXSOFT_RUNTIME", runtime) {}
    EnvGuard encoder_, runtime_;
    EnvGuard faults{"MFXSOFT_FAULTS", nullptr};
    EnvGuard adapters{"MFXSOFT_ADAPTERS", nullptr};
    EnvGuard svtLog{"SVT_LOG", "1"};
};

// A request in one mode with the fields that mode reads; the coding-option
// buffers ride along (par.ExtParam points into the record).
struct Request {
    mfxVideoParam par{};
    mfxExtCodingOption2 option2{};
    mfxExtCodingOption3 option3{};
    mfxExtBuffer* ext[2]{};

    Request(mfxU32 codec, int width, int height, mfxU16 mode, mfxU16 value = 0) {
        par = CodecParams(codec, 8, width, height);
        par.mfx.RateControlMethod = mode;
        switch (mode) {
            case MFX_RATECONTROL_CQP: par.mfx.QPI = par.mfx.QPP = par.mfx.QPB = value; break;
            case MFX_RATECONTROL_ICQ:
            case MFX_RATECONTROL_LA_ICQ: par.mfx.ICQQuality = value; break;
            case MFX_RATECONTROL_AVBR:
                par.mfx.TargetKbps = 1000;
                par.mfx.Accuracy = 10;
                par.mfx.Convergence = 5;
                break;
            default: par.mfx.TargetKbps = 1000, par.mfx.MaxKbps = 1500; break;
        }
        option2.Header = {MFX_EXTBUFF_CODING_OPTION2, sizeof(option2)};
        option3.Header = {MFX_EXTBUFF_CODING_OPTION3, sizeof(option3)};
        if (mode == MFX_RATECONTROL_LA || mode == MFX_RATECONTROL_LA_ICQ) option2.LookAheadDepth = value;
        if (mode == MFX_RATECONTROL_QVBR) option3.QVBRQuality = value;
        ext[0] = &option2.Header;
        ext[1] = &option3.Header;
        par.ExtParam = ext;
        par.NumExtParam = 2;
    }
    Request(const Request&) = delete;
};

struct Answers {
    mfxStatus query, ioSurf, init;
    mfxVideoParam out{};  // Query's output
    mfxExtCodingOption2 outOption2{};
    mfxExtCodingOption3 outOption3{};
    mfxVideoParam inForce{};  // GetVideoParam's, when Init took it
    mfxExtCodingOption2 option2{};
    mfxExtCodingOption3 option3{};
};

// Query (into separate buffers), QueryIOSurf, Init and GetVideoParam on one session.
Answers Ask(Request& request) {
    Answers a{};
    mfxSession session = OpenSession();
    EXPECT_NE(session, nullptr);
    if (session == nullptr) return a;
    a.outOption2.Header = a.option2.Header = request.option2.Header;
    a.outOption3.Header = a.option3.Header = request.option3.Header;
    mfxExtBuffer* outExt[2] = {&a.outOption2.Header, &a.outOption3.Header};
    a.out.mfx.CodecId = request.par.mfx.CodecId;
    a.out.ExtParam = outExt;
    a.out.NumExtParam = 2;
    a.query = MFXVideoENCODE_Query(session, &request.par, &a.out);
    mfxFrameAllocRequest alloc{};
    a.ioSurf = MFXVideoENCODE_QueryIOSurf(session, &request.par, &alloc);
    a.init = MFXVideoENCODE_Init(session, &request.par);
    if (a.init >= MFX_ERR_NONE) {
        mfxExtBuffer* ext[2] = {&a.option2.Header, &a.option3.Header};
        a.inForce.ExtParam = ext;
        a.inForce.NumExtParam = 2;
        EXPECT_EQ(MFXVideoENCODE_GetVideoParam(session, &a.inForce), MFX_ERR_NONE);
        a.inForce.ExtParam = nullptr;
    }
    a.out.ExtParam = nullptr;
    EXPECT_EQ(MFXClose(session), MFX_ERR_NONE);
    return a;
}

constexpr mfxU16 kModes[] = {MFX_RATECONTROL_CBR, MFX_RATECONTROL_VBR, MFX_RATECONTROL_CQP,    MFX_RATECONTROL_AVBR,
                             MFX_RATECONTROL_LA,  MFX_RATECONTROL_ICQ, MFX_RATECONTROL_LA_ICQ, MFX_RATECONTROL_QVBR};

}  // namespace

TEST(RateControl, EachRuntimeKindTakesTheModesOfIntelsEncoders) {
    // 'T' taken, 'V' coded as VBR with a warning, '-' refused; in the order of kModes.
    struct Case {
        const char* runtime;
        mfxU32 codec;
        const char* answers;
    };
    const Case cases[] = {
        {"msdk", MFX_CODEC_AVC, "TTTTTTTT"}, {"vpl", MFX_CODEC_AVC, "TTT--T-T"}, {"msdk", MFX_CODEC_HEVC, "TTTV-T-T"},
        {"vpl", MFX_CODEC_HEVC, "TTTV-T-T"}, {"vpl", MFX_CODEC_AV1, "TTTV-T--"},
    };
    for (const Case& c : cases) {
        Env env("null", c.runtime);
        for (size_t i = 0; i < std::size(kModes); ++i) {
            const mfxU16 mode = kModes[i];
            SCOPED_TRACE(std::string(c.runtime) + " " + CodecName(c.codec) + " mode " + std::to_string(mode));
            Request request(c.codec, 320, 240, mode);
            const Answers a = Ask(request);
            switch (c.answers[i]) {
                case '-':
                    EXPECT_EQ(a.query, MFX_ERR_UNSUPPORTED);
                    EXPECT_EQ(a.out.mfx.RateControlMethod, 0);  // the refused field, zeroed
                    EXPECT_EQ(a.out.mfx.FrameInfo.Width, 320);  // the rest as asked
                    EXPECT_EQ(a.ioSurf, MFX_ERR_INVALID_VIDEO_PARAM);
                    EXPECT_EQ(a.init, MFX_ERR_INVALID_VIDEO_PARAM);
                    break;
                case 'V':
                    EXPECT_EQ(a.query, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM);
                    EXPECT_EQ(a.init, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM);
                    EXPECT_EQ(a.out.mfx.RateControlMethod, MFX_RATECONTROL_VBR);
                    EXPECT_EQ(a.inForce.mfx.RateControlMethod, MFX_RATECONTROL_VBR);
                    break;
                default:
                    EXPECT_EQ(a.query, MFX_ERR_NONE);
                    EXPECT_EQ(a.ioSurf, MFX_ERR_NONE);
                    EXPECT_EQ(a.init, MFX_ERR_NONE);
                    EXPECT_EQ(a.out.mfx.RateControlMethod, mode);
                    EXPECT_EQ(a.inForce.mfx.RateControlMethod, mode);
                    break;
            }
        }
    }
}

TEST(RateControl, ModeFieldsAreCorrectedAndReportedAsIntelsRuntimesDo) {
    struct Case {
        const char* what;
        const char* runtime;
        mfxU32 codec;
        mfxU16 mode, value;
        mfxStatus status;  // of Init; Query says MFX_ERR_UNSUPPORTED for an error
        void (*expect)(const mfxInfoMFX&, const mfxExtCodingOption2&, const mfxExtCodingOption3&);
    };
    using O2 = const mfxExtCodingOption2&;
    using O3 = const mfxExtCodingOption3&;
    const Case cases[] = {
        {"ICQ 0 is the default 26", "vpl", MFX_CODEC_HEVC, MFX_RATECONTROL_ICQ, 0, MFX_ERR_NONE,
         [](const mfxInfoMFX& m, O2, O3) { EXPECT_EQ(m.ICQQuality, 26); }},
        {"HEVC refuses ICQ 52", "vpl", MFX_CODEC_HEVC, MFX_RATECONTROL_ICQ, 52, MFX_ERR_INVALID_VIDEO_PARAM,
         [](const mfxInfoMFX& m, O2, O3) { EXPECT_EQ(m.ICQQuality, 0); }},
        {"HEVC refuses QVBR 60", "vpl", MFX_CODEC_HEVC, MFX_RATECONTROL_QVBR, 60, MFX_ERR_INVALID_VIDEO_PARAM,
         [](const mfxInfoMFX&, O2, O3 o3) { EXPECT_EQ(o3.QVBRQuality, 0); }},
        {"AV1 holds ICQ 60 at 51", "vpl", MFX_CODEC_AV1, MFX_RATECONTROL_ICQ, 60, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM,
         [](const mfxInfoMFX& m, O2, O3) { EXPECT_EQ(m.ICQQuality, 51); }},
        {"QVBR quality reported", "vpl", MFX_CODEC_AVC, MFX_RATECONTROL_QVBR, 30, MFX_ERR_NONE,
         [](const mfxInfoMFX& m, O2, O3 o3) {
             EXPECT_EQ(o3.QVBRQuality, 30);
             EXPECT_EQ(m.MaxKbps, 1500);
         }},
        {"AVBR keeps accuracy and convergence", "msdk", MFX_CODEC_AVC, MFX_RATECONTROL_AVBR, 0, MFX_ERR_NONE,
         [](const mfxInfoMFX& m, O2, O3) {
             EXPECT_EQ(m.Accuracy, 10);
             EXPECT_EQ(m.Convergence, 5);
             EXPECT_EQ(m.TargetKbps, 1000);
         }},
        {"look-ahead 0 is the runtime's 40", "msdk", MFX_CODEC_AVC, MFX_RATECONTROL_LA, 0, MFX_ERR_NONE,
         [](const mfxInfoMFX&, O2 o2, O3) { EXPECT_EQ(o2.LookAheadDepth, 40); }},
        {"look-ahead 5 raised to 10", "msdk", MFX_CODEC_AVC, MFX_RATECONTROL_LA_ICQ, 5,
         MFX_WRN_INCOMPATIBLE_VIDEO_PARAM,
         [](const mfxInfoMFX& m, O2 o2, O3) {
             EXPECT_EQ(o2.LookAheadDepth, 10);
             EXPECT_EQ(m.ICQQuality, 5);
         }},
        {"look-ahead 300 held at 100", "msdk", MFX_CODEC_AVC, MFX_RATECONTROL_LA, 300, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM,
         [](const mfxInfoMFX&, O2 o2, O3) { EXPECT_EQ(o2.LookAheadDepth, 100); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Env env("null", c.runtime);
        Request request(c.codec, 320, 240, c.mode, c.value);
        const Answers a = Ask(request);
        EXPECT_EQ(a.query, c.status < MFX_ERR_NONE ? MFX_ERR_UNSUPPORTED : c.status);
        EXPECT_EQ(a.init, c.status);
        c.expect(a.out.mfx, a.outOption2, a.outOption3);
        if (c.status >= MFX_ERR_NONE) c.expect(a.inForce.mfx, a.option2, a.option3);
    }
    // A depth with a mode that has no look-ahead is dropped.
    Env env("null", "msdk");
    Request request(MFX_CODEC_AVC, 320, 240, MFX_RATECONTROL_VBR);
    request.option2.LookAheadDepth = 20;
    const Answers a = Ask(request);
    EXPECT_EQ(a.init, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM);
    EXPECT_EQ(a.option2.LookAheadDepth, 0);
}

namespace {

size_t Bytes(const Encoding& run) {
    return std::accumulate(run.coded.begin(), run.coded.end(), size_t{0},
                           [](size_t sum, const Coded& c) { return sum + c.bytes.size(); });
}

}  // namespace

TEST(RateControl, LowerQpOrQualityGivesALargerStream) {
    struct Case {
        mfxU32 codec;
        mfxU16 mode, low, high;
    };
    const Case cases[] = {
        {MFX_CODEC_AVC, MFX_RATECONTROL_CQP, 18, 40},  {MFX_CODEC_AVC, MFX_RATECONTROL_ICQ, 18, 40},
        {MFX_CODEC_HEVC, MFX_RATECONTROL_CQP, 18, 40}, {MFX_CODEC_HEVC, MFX_RATECONTROL_ICQ, 18, 40},
        {MFX_CODEC_AV1, MFX_RATECONTROL_CQP, 72, 160}, {MFX_CODEC_AV1, MFX_RATECONTROL_ICQ, 18, 40},
    };
    Env env("x264", "vpl");
    for (const Case& c : cases) {
        SCOPED_TRACE(CodecName(c.codec) + " mode " + std::to_string(c.mode));
        Request low(c.codec, 320, 240, c.mode, c.low), high(c.codec, 320, 240, c.mode, c.high);
        const Encoding good = Encode(low.par, 12), small = Encode(high.par, 12);
        ASSERT_EQ(good.coded.size(), 12u);
        ASSERT_EQ(small.coded.size(), 12u);
        EXPECT_GT(Bytes(good), 2 * Bytes(small));
        RecordProperty(CodecName(c.codec) + "_mode" + std::to_string(c.mode) + "_bytes",
                       std::to_string(Bytes(good)) + " vs " + std::to_string(Bytes(small)));
    }
}

TEST(RateControl, QvbrStaysNearItsMaximumRate) {
    // Quality 1 would take far more than 300 kbit/s: the VBV holds it.
    Env env("x264", "vpl");
    for (mfxU32 codec : {MFX_CODEC_AVC, MFX_CODEC_HEVC}) {
        SCOPED_TRACE(CodecName(codec));
        Request request(codec, 320, 240, MFX_RATECONTROL_QVBR, 1);
        request.par.mfx.TargetKbps = 200;
        request.par.mfx.MaxKbps = 300;
        const int frames = 60;  // two seconds at 30 fps
        const Encoding run = Encode(request.par, frames);
        ASSERT_EQ(run.coded.size(), static_cast<size_t>(frames));
        const double kbps = Bytes(run) * 8.0 / 1000 / 2;
        EXPECT_LT(kbps, 300 * 1.3);
        RecordProperty(CodecName(codec) + "_qvbr_kbps", std::to_string(kbps));
    }
}

TEST(RateControl, GopFieldsGiveTheirStructure) {
    // Keyframes exactly every GopPicSize pictures in display order; GopRefDist
    // 1 no B-frames, 3 some. AV1 has no B pictures: its mini-GOP of 4 shows
    // as non-reference frames (FrameType B), which low delay has as well.
    struct Case {
        mfxU32 codec;
        mfxU16 mode, gop, refDist;
        bool bFrames;
    };
    const Case cases[] = {
        {MFX_CODEC_AVC, MFX_RATECONTROL_VBR, 15, 1, false},   {MFX_CODEC_AVC, MFX_RATECONTROL_ICQ, 15, 3, true},
        {MFX_CODEC_HEVC, MFX_RATECONTROL_QVBR, 15, 1, false}, {MFX_CODEC_HEVC, MFX_RATECONTROL_CQP, 15, 3, true},
        {MFX_CODEC_AV1, MFX_RATECONTROL_ICQ, 15, 1, false},   {MFX_CODEC_AV1, MFX_RATECONTROL_CBR, 16, 4, true},
    };
    Env env("x264", "vpl");
    const int frames = 47;
    for (const Case& c : cases) {
        SCOPED_TRACE(CodecName(c.codec) + " gop " + std::to_string(c.gop) + " refdist " + std::to_string(c.refDist));
        Request request(c.codec, 128, 96, c.mode, 30);
        request.par.mfx.GopPicSize = c.gop;
        request.par.mfx.GopRefDist = c.refDist;
        request.par.mfx.GopOptFlag = MFX_GOP_CLOSED;
        const Encoding run = Encode(request.par, frames);
        ASSERT_EQ(run.coded.size(), static_cast<size_t>(frames));
        Decoded decoded;
        Decode(c.codec, run.coded, &decoded);
        ASSERT_EQ(decoded.frames.size(), static_cast<size_t>(frames));
        for (int i = 0; i < frames; ++i) {
            EXPECT_EQ(decoded.frames[i]->pict_type == AV_PICTURE_TYPE_I, i % c.gop == 0) << "picture " << i;
        }
        const auto reported = std::count_if(run.coded.begin(), run.coded.end(), [](const Coded& coded) {
            return (coded.frameType & MFX_FRAMETYPE_B) != 0;
        });
        if (c.codec == MFX_CODEC_AV1) {
            if (c.bFrames) {
                EXPECT_GT(reported, 0);
            }
        } else {
            EXPECT_EQ(reported > 0, c.bFrames);  // dav1d names no B pictures
            const auto decodedB = std::count_if(decoded.frames.begin(), decoded.frames.end(),
                                                [](const AVFrame* f) { return f->pict_type == AV_PICTURE_TYPE_B; });
            EXPECT_EQ(decodedB, reported);
        }
    }
}

TEST(RateControl, LookAheadKeepsTheAnnouncedDelay) {
    // x264's look-ahead holds pictures: QueryIOSurf counts them, and every
    // promised frame comes (the encoder would answer MFX_ERR_UNKNOWN otherwise).
    struct Case {
        mfxU16 mode, depth, refDist, gop;
    };
    const Case cases[] = {
        {MFX_RATECONTROL_LA, 20, 3, 256},
        {MFX_RATECONTROL_LA, 0, 1, 256},
        {MFX_RATECONTROL_LA_ICQ, 10, 1, 30},
        {MFX_RATECONTROL_LA_ICQ, 60, 2, 24},  // held to the GOP of 24
    };
    Env env("x264", "msdk");
    mfxFrameAllocRequest plain{};
    {
        Request request(MFX_CODEC_AVC, 128, 96, MFX_RATECONTROL_VBR);
        request.par.mfx.GopRefDist = 1;
        mfxSession session = OpenSession();
        ASSERT_NE(session, nullptr);
        ASSERT_EQ(MFXVideoENCODE_QueryIOSurf(session, &request.par, &plain), MFX_ERR_NONE);
        MFXClose(session);
    }
    const int frames = 80;
    for (const Case& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode) + " depth " + std::to_string(c.depth));
        Request request(MFX_CODEC_AVC, 128, 96, c.mode, c.depth);
        if (c.mode == MFX_RATECONTROL_LA_ICQ) request.par.mfx.ICQQuality = 26;
        request.par.mfx.GopRefDist = c.refDist;
        request.par.mfx.GopPicSize = c.gop;
        const Encoding run = Encode(request.par, frames);
        ASSERT_EQ(run.coded.size(), static_cast<size_t>(frames));
        EXPECT_EQ(run.moreData + 2, run.numFrameMin);
        EXPECT_GE(run.numFrameMin, plain.NumFrameMin + 10 - 1);  // the look-ahead is in the pool
    }
}
