// HEVC (x265) and AV1 (SVT-AV1) through the SDK's calls: the streams decode
// with FFmpeg's libraries to the pictures that went in, at the depth, size,
// profile, level and colour tags the encoder reported; the delay each back
// end announces holds for every structure; the runtime kinds, levels and
// Query answer as Intel's runtimes do.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include "support.h"

using namespace mfxsoft_test;

namespace {

struct Env {
    EnvGuard encoder{"MFXSOFT_ENCODER", "x264"};  // the library back ends
    EnvGuard runtime{"MFXSOFT_RUNTIME", "vpl"};   // the kind that has every encoder
    EnvGuard faults{"MFXSOFT_FAULTS", nullptr};
    EnvGuard adapters{"MFXSOFT_ADAPTERS", nullptr};
    EnvGuard svtLog{"SVT_LOG", "1"};  // SVT-AV1's errors, not its settings at every init
};

// A picture as 10-bit or 8-bit sample values, planar 4:2:0.
struct Picture {
    int width, height, depth;
    std::vector<uint16_t> y, u, v;
};

// Soft gradients, fine grain and a drifting shape: content an encoder has to
// work for, which still compresses.
Picture Scene(int width, int height, int depth, int t) {
    const int cw = (width + 1) / 2, ch = (height + 1) / 2;
    Picture p{width, height, depth, std::vector<uint16_t>(static_cast<size_t>(width) * height),
              std::vector<uint16_t>(static_cast<size_t>(cw) * ch), std::vector<uint16_t>(static_cast<size_t>(cw) * ch)};
    const double scale = depth > 8 ? 4.0 : 1.0;
    const double cx = width * (0.3 + 0.01 * t), cy = height * 0.5;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double v = 60 + 80.0 * y / height + 20 * std::sin((x + 2 * t) * 0.05) * std::cos(y * 0.04);
            v += 5 * std::sin((x + 3 * t) * 0.4) * std::sin(y * 0.3);
            v += 70 * std::exp(-((x - cx) * (x - cx) + (y - cy) * (y - cy)) / (2 * 40.0 * 40.0));
            p.y[static_cast<size_t>(y) * width + x] = static_cast<uint16_t>(std::lround(std::clamp(v, 16.0, 235.0) * scale));
        }
    }
    for (int y = 0; y < ch; ++y) {
        for (int x = 0; x < cw; ++x) {
            p.u[static_cast<size_t>(y) * cw + x] = static_cast<uint16_t>(std::lround((110 + 30.0 * x / cw + 0.2 * t) * scale));
            p.v[static_cast<size_t>(y) * cw + x] = static_cast<uint16_t>(std::lround((140 - 30.0 * y / ch) * scale));
        }
    }
    return p;
}

// Writes the picture into an NV12 or P010 surface (Shift from its Info).
void Upload(TestAllocator& allocator, mfxFrameSurface1* s, const Picture& p) {
    ASSERT_EQ(allocator.Lock(allocator.pthis, s->Data.MemId, &s->Data), MFX_ERR_NONE);
    const bool wide = s->Info.FourCC == MFX_FOURCC_P010;
    const int shift = wide && s->Info.Shift ? 6 : 0;
    const int cw = (p.width + 1) / 2;
    auto put = [&](uint8_t* row, int x, uint16_t value) {
        if (wide) {
            const uint16_t stored = static_cast<uint16_t>(value << shift);
            std::memcpy(row + 2 * x, &stored, 2);
        } else {
            row[x] = static_cast<uint8_t>(value);
        }
    };
    const int cx = s->Info.CropX, cy = s->Info.CropY, bytes = wide ? 2 : 1;
    for (int y = 0; y < p.height; ++y) {
        uint8_t* row = s->Data.Y + static_cast<size_t>(cy + y) * s->Data.Pitch + cx * bytes;
        for (int x = 0; x < p.width; ++x) put(row, x, p.y[static_cast<size_t>(y) * p.width + x]);
    }
    for (int y = 0; y < (p.height + 1) / 2; ++y) {
        uint8_t* row = s->Data.UV + static_cast<size_t>(cy / 2 + y) * s->Data.Pitch + cx * bytes;
        for (int x = 0; x < cw; ++x) {
            put(row, 2 * x, p.u[static_cast<size_t>(y) * cw + x]);
            put(row, 2 * x + 1, p.v[static_cast<size_t>(y) * cw + x]);
        }
    }
    allocator.Unlock(allocator.pthis, s->Data.MemId, &s->Data);
}

mfxVideoParam CodecParams(mfxU32 codec, int depth, int width, int height) {
    mfxVideoParam par = EncodeParams(width, height);
    par.mfx.CodecId = codec;
    par.mfx.CodecProfile = 0;
    par.mfx.CodecLevel = 0;
    par.mfx.FrameInfo = FrameInfo(depth > 8 ? MFX_FOURCC_P010 : MFX_FOURCC_NV12, width, height);
    return par;
}

mfxVideoParam Cqp(mfxVideoParam par, int qp) {
    par.mfx.RateControlMethod = MFX_RATECONTROL_CQP;
    par.mfx.QPI = par.mfx.QPP = par.mfx.QPB = static_cast<mfxU16>(qp);
    return par;
}

struct Coded {
    std::vector<uint8_t> bytes;
    uint64_t timeStamp;
    uint16_t frameType;
};

struct Encoding {
    std::vector<Coded> coded;
    std::vector<Picture> inputs;
    mfxVideoParam inForce{};
    mfxU16 numFrameMin = 0;
    int moreData = 0;
};

// Encodes `count` scenes through the SDK's calls, as the plug-in does.
Encoding Encode(mfxVideoParam par, int count, mfxExtVideoSignalInfo* signal = nullptr) {
    Encoding run;
    mfxExtBuffer* ext[1] = {signal != nullptr ? &signal->Header : nullptr};
    if (signal != nullptr) {
        par.ExtParam = ext;
        par.NumExtParam = 1;
    }
    mfxSession session = OpenSession();
    EXPECT_NE(session, nullptr);
    if (session == nullptr) return run;
    TestAllocator allocator;
    EXPECT_EQ(MFXVideoCORE_SetFrameAllocator(session, &allocator), MFX_ERR_NONE);
    mfxFrameAllocRequest request{};
    EXPECT_EQ(MFXVideoENCODE_QueryIOSurf(session, &par, &request), MFX_ERR_NONE);
    run.numFrameMin = request.NumFrameMin;
    auto surfaces = allocator.Surfaces(par.mfx.FrameInfo, request.NumFrameSuggested);
    EXPECT_EQ(MFXVideoENCODE_Init(session, &par), MFX_ERR_NONE);
    EXPECT_EQ(MFXVideoENCODE_GetVideoParam(session, &run.inForce), MFX_ERR_NONE);
    std::vector<uint8_t> buffer(run.inForce.mfx.BufferSizeInKB * 1000u);
    mfxBitstream bs{};
    bs.Data = buffer.data();
    bs.MaxLength = static_cast<mfxU32>(buffer.size());
    auto collect = [&](mfxSyncPoint sync) {
        EXPECT_EQ(SyncBounded(session, sync), MFX_ERR_NONE);
        run.coded.push_back(Coded{std::vector<uint8_t>(bs.Data + bs.DataOffset, bs.Data + bs.DataOffset + bs.DataLength),
                                  bs.TimeStamp, bs.FrameType});
        bs.DataOffset = bs.DataLength = 0;
    };
    const mfxFrameInfo& fi = par.mfx.FrameInfo;
    for (int i = 0; i < count; ++i) {
        mfxFrameSurface1* surface = nullptr;
        for (auto& s : surfaces) {
            if (std::atomic_ref<mfxU16>(s->Data.Locked).load() == 0) {
                surface = s.get();
                break;
            }
        }
        EXPECT_NE(surface, nullptr) << "the suggested pool ran dry at picture " << i;
        if (surface == nullptr) break;
        run.inputs.push_back(Scene(fi.CropW, fi.CropH, fi.FourCC == MFX_FOURCC_P010 ? 10 : 8, i));
        Upload(allocator, surface, run.inputs.back());
        surface->Data.TimeStamp = 3000u * i;
        mfxSyncPoint sync = nullptr;
        const mfxStatus status = MFXVideoENCODE_EncodeFrameAsync(session, nullptr, surface, &bs, &sync);
        if (status == MFX_ERR_MORE_DATA) {
            ++run.moreData;
            continue;
        }
        EXPECT_EQ(status, MFX_ERR_NONE) << "picture " << i;
        if (status != MFX_ERR_NONE) break;
        collect(sync);
    }
    for (int guard = 0; guard <= count; ++guard) {
        mfxSyncPoint sync = nullptr;
        const mfxStatus status = MFXVideoENCODE_EncodeFrameAsync(session, nullptr, nullptr, &bs, &sync);
        if (status == MFX_ERR_MORE_DATA) break;
        EXPECT_EQ(status, MFX_ERR_NONE);
        if (status != MFX_ERR_NONE) break;
        collect(sync);
    }
    EXPECT_EQ(MFXVideoENCODE_Close(session), MFX_ERR_NONE);
    for (auto& s : surfaces) EXPECT_EQ(s->Data.Locked, 0);
    EXPECT_EQ(MFXClose(session), MFX_ERR_NONE);
    return run;
}

struct Decoded {
    std::vector<AVFrame*> frames;  // display order
    int profile = -1, level = -1;
    ~Decoded() {
        for (AVFrame* f : frames) av_frame_free(&f);
    }
};

// Decodes the stream, one coded frame a packet; HEVC with libavcodec's own
// decoder, AV1 with dav1d.
void Decode(mfxU32 codec, const std::vector<Coded>& coded, Decoded* out) {
    const AVCodec* decoder =
        codec == MFX_CODEC_AV1 ? avcodec_find_decoder_by_name("libdav1d") : avcodec_find_decoder(AV_CODEC_ID_HEVC);
    ASSERT_NE(decoder, nullptr);
    AVCodecContext* context = avcodec_alloc_context3(decoder);
    ASSERT_EQ(avcodec_open2(context, decoder, nullptr), 0);
    AVPacket* packet = av_packet_alloc();
    auto drain = [&] {
        for (;;) {
            AVFrame* frame = av_frame_alloc();
            if (avcodec_receive_frame(context, frame) != 0) {
                av_frame_free(&frame);
                return;
            }
            out->frames.push_back(frame);
        }
    };
    for (const Coded& c : coded) {
        av_new_packet(packet, static_cast<int>(c.bytes.size()));
        std::memcpy(packet->data, c.bytes.data(), c.bytes.size());
        EXPECT_EQ(avcodec_send_packet(context, packet), 0);
        av_packet_unref(packet);
        drain();
    }
    avcodec_send_packet(context, nullptr);
    drain();
    out->profile = context->profile;
    out->level = context->level;
    av_packet_free(&packet);
    avcodec_free_context(&context);
}

// PSNR of one decoded plane against the input's samples.
double Psnr(const AVFrame* f, int plane, const std::vector<uint16_t>& ref, int width, int height, int depth) {
    double sse = 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = f->data[plane] + static_cast<size_t>(y) * f->linesize[plane];
        for (int x = 0; x < width; ++x) {
            uint16_t got = row[x];
            if (depth > 8) std::memcpy(&got, row + 2 * x, 2);
            const double d = static_cast<double>(got) - ref[static_cast<size_t>(y) * width + x];
            sse += d * d;
        }
    }
    const double peak = depth > 8 ? 1023.0 : 255.0;
    return sse == 0 ? 99 : 10 * std::log10(peak * peak * width * height / sse);
}

mfxExtVideoSignalInfo Signal(mfxU16 primaries, mfxU16 transfer, mfxU16 matrix) {
    mfxExtVideoSignalInfo s{};
    s.Header.BufferId = MFX_EXTBUFF_VIDEO_SIGNAL_INFO;
    s.Header.BufferSz = sizeof(s);
    s.VideoFormat = 5;
    s.VideoFullRange = 0;
    s.ColourDescriptionPresent = 1;
    s.ColourPrimaries = primaries;
    s.TransferCharacteristics = transfer;
    s.MatrixCoefficients = matrix;
    return s;
}

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
        // Intra pictures where the GOP says; IDR only at the first of them
        // when IdrInterval asks for open GOPs (x265's CRA pictures).
        int intra = 0, idr = 0;
        for (const Coded& coded : run.coded) {
            intra += (coded.frameType & MFX_FRAMETYPE_I) ? 1 : 0;
            idr += (coded.frameType & MFX_FRAMETYPE_IDR) ? 1 : 0;
        }
        EXPECT_EQ(intra, (frames + c.gop - 1) / c.gop);
        EXPECT_EQ(idr, c.idrInterval > 0 ? 1 : intra);
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
        {"HEVC 720p30, level 0", MFX_CODEC_HEVC, 1280, 720, 30, 1400, 0, MFX_ERR_NONE, MFX_LEVEL_HEVC_31},
        {"HEVC 1080p60 asked 3.1", MFX_CODEC_HEVC, 1920, 1080, 60, 1400, MFX_LEVEL_HEVC_31, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM, MFX_LEVEL_HEVC_41},
        {"HEVC 1080p30 at 30 Mbit/s", MFX_CODEC_HEVC, 1920, 1080, 30, 30000, 0, MFX_ERR_NONE, MFX_LEVEL_HEVC_51},
        {"HEVC 2160p60", MFX_CODEC_HEVC, 3840, 2160, 60, 1400, MFX_LEVEL_HEVC_5, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM, MFX_LEVEL_HEVC_51},
        {"HEVC 8K at 30 fps", MFX_CODEC_HEVC, 8192, 4320, 30, 1400, 0, MFX_ERR_NONE, MFX_LEVEL_HEVC_6},
        {"HEVC higher than needed stays", MFX_CODEC_HEVC, 1280, 720, 30, 1400, MFX_LEVEL_HEVC_52, MFX_ERR_NONE, MFX_LEVEL_HEVC_52},
        {"HEVC high tier becomes main tier", MFX_CODEC_HEVC, 1280, 720, 30, 1400, MFX_TIER_HEVC_HIGH | MFX_LEVEL_HEVC_51, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM, MFX_LEVEL_HEVC_51},
        {"HEVC not a level", MFX_CODEC_HEVC, 1280, 720, 30, 1400, 42, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM, MFX_LEVEL_HEVC_31},
        {"HEVC beyond 6.2", MFX_CODEC_HEVC, 8192, 4320, 240, 1400, 0, MFX_ERR_INVALID_VIDEO_PARAM, 0},
        {"AV1 1080p30, level 0", MFX_CODEC_AV1, 1920, 1080, 30, 1400, 0, MFX_ERR_NONE, MFX_LEVEL_AV1_4},
        {"AV1 320x240, level 0", MFX_CODEC_AV1, 320, 240, 30, 1400, 0, MFX_ERR_NONE, MFX_LEVEL_AV1_2},
        {"AV1 1080p60 asked 3.1", MFX_CODEC_AV1, 1920, 1080, 60, 1400, MFX_LEVEL_AV1_31, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM, MFX_LEVEL_AV1_41},
        {"AV1 1080p30 at 50 Mbit/s", MFX_CODEC_AV1, 1920, 1080, 30, 50000, 0, MFX_ERR_NONE, MFX_LEVEL_AV1_52},
        {"AV1 undefined level 2.2", MFX_CODEC_AV1, 320, 240, 30, 1400, MFX_LEVEL_AV1_22, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM, MFX_LEVEL_AV1_2},
        {"AV1 6.3 stays", MFX_CODEC_AV1, 320, 240, 30, 1400, MFX_LEVEL_AV1_63, MFX_ERR_NONE, MFX_LEVEL_AV1_63},
        {"AV1 8K at 30 fps", MFX_CODEC_AV1, 8192, 4320, 30, 1400, 0, MFX_ERR_NONE, MFX_LEVEL_AV1_6},
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
        {"AVC refuses 10-bit NV12", MFX_CODEC_AVC, 8, MFX_ERR_INVALID_VIDEO_PARAM,
         [](mfxVideoParam& p) { p.mfx.FrameInfo.BitDepthLuma = 10; }, nothing},
        {"HEVC 10 bits: Main 10 by default", MFX_CODEC_HEVC, 10, MFX_ERR_NONE, none,
         [](const mfxInfoMFX& m) {
             EXPECT_EQ(m.CodecProfile, MFX_PROFILE_HEVC_MAIN10);
             EXPECT_EQ(m.FrameInfo.BitDepthLuma, 10);
             EXPECT_EQ(m.FrameInfo.Shift, 1);
         }},
        {"HEVC Main asked of 10 bits", MFX_CODEC_HEVC, 10, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM,
         [](mfxVideoParam& p) { p.mfx.CodecProfile = MFX_PROFILE_HEVC_MAIN; },
         [](const mfxInfoMFX& m) { EXPECT_EQ(m.CodecProfile, MFX_PROFILE_HEVC_MAIN10); }},
        {"HEVC Main 10 asked of 8 bits", MFX_CODEC_HEVC, 8, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM,
         [](mfxVideoParam& p) { p.mfx.CodecProfile = MFX_PROFILE_HEVC_MAIN10; },
         [](const mfxInfoMFX& m) { EXPECT_EQ(m.CodecProfile, MFX_PROFILE_HEVC_MAIN); }},
        {"HEVC range extensions", MFX_CODEC_HEVC, 8, MFX_ERR_UNSUPPORTED,
         [](mfxVideoParam& p) { p.mfx.CodecProfile = MFX_PROFILE_HEVC_REXT; }, nothing},
        {"HEVC QP above 51", MFX_CODEC_HEVC, 8, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM,
         [](mfxVideoParam& p) { p = Cqp(p, 52); }, [](const mfxInfoMFX& m) { EXPECT_EQ(m.QPP, 51); }},
        {"HEVC 16 pixels wide", MFX_CODEC_HEVC, 8, MFX_ERR_UNSUPPORTED,
         [](mfxVideoParam& p) { p.mfx.FrameInfo.CropW = 16; }, nothing},
        {"P010 with Shift 0", MFX_CODEC_HEVC, 10, MFX_ERR_NONE, [](mfxVideoParam& p) { p.mfx.FrameInfo.Shift = 0; },
         [](const mfxInfoMFX& m) { EXPECT_EQ(m.FrameInfo.Shift, 0); }},
        {"P010 with Shift 2", MFX_CODEC_HEVC, 10, MFX_ERR_INVALID_VIDEO_PARAM,
         [](mfxVideoParam& p) { p.mfx.FrameInfo.Shift = 2; }, nothing},
        {"P010 said to be 8 bits", MFX_CODEC_AV1, 10, MFX_ERR_INVALID_VIDEO_PARAM,
         [](mfxVideoParam& p) { p.mfx.FrameInfo.BitDepthChroma = 8; }, nothing},
        {"NV12 with a shift", MFX_CODEC_AV1, 8, MFX_ERR_INVALID_VIDEO_PARAM,
         [](mfxVideoParam& p) { p.mfx.FrameInfo.Shift = 1; }, nothing},
        {"AV1 defaults", MFX_CODEC_AV1, 10, MFX_ERR_NONE, none,
         [](const mfxInfoMFX& m) {
             EXPECT_EQ(m.CodecProfile, MFX_PROFILE_AV1_MAIN);
             EXPECT_EQ(m.GopRefDist, 4);
         }},
        {"AV1 High profile", MFX_CODEC_AV1, 8, MFX_ERR_UNSUPPORTED,
         [](mfxVideoParam& p) { p.mfx.CodecProfile = MFX_PROFILE_AV1_HIGH; }, nothing},
        {"AV1 unknown profile", MFX_CODEC_AV1, 8, MFX_ERR_INVALID_VIDEO_PARAM,
         [](mfxVideoParam& p) { p.mfx.CodecProfile = 7; }, nothing},
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
        {"AV1 quantizer index 200", MFX_CODEC_AV1, 8, MFX_ERR_NONE, [](mfxVideoParam& p) { p = Cqp(p, 200); },
         [](const mfxInfoMFX& m) { EXPECT_EQ(m.QPB, 200); }},
        {"AV1 quantizer index 256", MFX_CODEC_AV1, 8, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM,
         [](mfxVideoParam& p) { p = Cqp(p, 256); }, [](const mfxInfoMFX& m) { EXPECT_EQ(m.QPI, 255); }},
        {"AV1 eight references", MFX_CODEC_AV1, 8, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM,
         [](mfxVideoParam& p) { p.mfx.NumRefFrame = 8; }, [](const mfxInfoMFX& m) { EXPECT_EQ(m.NumRefFrame, 7); }},
        {"AV1 48 lines", MFX_CODEC_AV1, 8, MFX_ERR_UNSUPPORTED, [](mfxVideoParam& p) { p.mfx.FrameInfo.CropH = 48; },
         nothing},
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
    EnvGuard runtime("MFXSOFT_RUNTIME", "msdk");
    mfxSession session = OpenSession();
    ASSERT_NE(session, nullptr);
    // Without input: the fields Init lets the caller set, for the codec named in `out`.
    mfxExtVideoSignalInfo outSignal = Signal(0, 0, 0);
    mfxExtBuffer* outExt[1] = {&outSignal.Header};
    mfxVideoParam out{};
    out.mfx.CodecId = MFX_CODEC_HEVC;
    out.ExtParam = outExt;
    out.NumExtParam = 1;
    ASSERT_EQ(MFXVideoENCODE_Query(session, nullptr, &out), MFX_ERR_NONE);
    EXPECT_EQ(out.mfx.CodecId, static_cast<mfxU32>(MFX_CODEC_HEVC));
    EXPECT_NE(out.mfx.CodecLevel, 0);
    EXPECT_NE(out.mfx.FrameInfo.Shift, 0);
    EXPECT_NE(out.mfx.FrameInfo.Width, 0);
    EXPECT_NE(outSignal.ColourPrimaries, 0);
    EXPECT_EQ(out.ExtParam, outExt);
    out.mfx.CodecId = MFX_CODEC_AV1;  // not in the Media SDK runtime
    EXPECT_EQ(MFXVideoENCODE_Query(session, nullptr, &out), MFX_ERR_UNSUPPORTED);
    EXPECT_EQ(MFXVideoENCODE_Query(session, nullptr, nullptr), MFX_ERR_NULL_PTR);

    // In and out the same record: corrected in place, the signal buffer kept.
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
    EXPECT_EQ(signal.ColourPrimaries, 1);
    // The signal the input asked for reaches the output's own buffer.
    mfxVideoParam answer{};
    answer.mfx.CodecId = MFX_CODEC_HEVC;
    answer.ExtParam = outExt;
    answer.NumExtParam = 1;
    EXPECT_EQ(MFXVideoENCODE_Query(session, &par, &answer), MFX_ERR_NONE);
    EXPECT_EQ(outSignal.MatrixCoefficients, 1);
    // Nothing is initialised by a query.
    EXPECT_EQ(MFXVideoENCODE_Close(session), MFX_ERR_NOT_INITIALIZED);
    EXPECT_EQ(MFXClose(session), MFX_ERR_NONE);
}

TEST(Codecs, CloseInTheMiddleOfAStreamReleasesEverything) {
    // A cancelled export closes the encoder with pictures inside the library
    // (x265's lookahead, SVT-AV1's mini-GOP) and frames not yet taken: Close
    // returns, every surface is unlocked, and (under the sanitizers) nothing
    // leaks or races.
    Env env;
    struct Case {
        mfxU32 codec;
        int depth;
        int pictures;  // fed before Close
    };
    const Case cases[] = {{MFX_CODEC_HEVC, 8, 3}, {MFX_CODEC_HEVC, 10, 14}, {MFX_CODEC_AV1, 8, 2}, {MFX_CODEC_AV1, 10, 12}};
    for (const Case& c : cases) {
        SCOPED_TRACE(CodecName(c.codec) + " " + std::to_string(c.depth) + "-bit after " + std::to_string(c.pictures));
        mfxSession session = OpenSession();
        ASSERT_NE(session, nullptr);
        TestAllocator allocator;
        ASSERT_EQ(MFXVideoCORE_SetFrameAllocator(session, &allocator), MFX_ERR_NONE);
        mfxVideoParam par = CodecParams(c.codec, c.depth, 128, 96);
        mfxFrameAllocRequest request{};
        ASSERT_EQ(MFXVideoENCODE_QueryIOSurf(session, &par, &request), MFX_ERR_NONE);
        auto surfaces = allocator.Surfaces(par.mfx.FrameInfo, request.NumFrameSuggested);
        ASSERT_EQ(MFXVideoENCODE_Init(session, &par), MFX_ERR_NONE);
        mfxVideoParam inForce{};
        ASSERT_EQ(MFXVideoENCODE_GetVideoParam(session, &inForce), MFX_ERR_NONE);
        // One bitstream a call: a frame left unsynchronised keeps its own.
        std::deque<std::vector<uint8_t>> buffers;
        std::deque<mfxBitstream> streams;
        int frames = 0;
        for (int i = 0; i < c.pictures; ++i) {
            buffers.emplace_back(inForce.mfx.BufferSizeInKB * 1000u);
            mfxBitstream& bs = streams.emplace_back();
            bs.Data = buffers.back().data();
            bs.MaxLength = static_cast<mfxU32>(buffers.back().size());
            mfxFrameSurface1* surface = nullptr;
            for (auto& s : surfaces) {
                if (std::atomic_ref<mfxU16>(s->Data.Locked).load() == 0) surface = s.get();
            }
            ASSERT_NE(surface, nullptr);
            Upload(allocator, surface, Scene(128, 96, c.depth, i));
            mfxSyncPoint sync = nullptr;
            const mfxStatus status = MFXVideoENCODE_EncodeFrameAsync(session, nullptr, surface, &bs, &sync);
            if (status == MFX_ERR_MORE_DATA) continue;
            ASSERT_EQ(status, MFX_ERR_NONE);
            // Every other frame is left unsynchronised, as an abandoned export leaves it.
            if (++frames % 2 == 0) continue;
            ASSERT_EQ(SyncBounded(session, sync), MFX_ERR_NONE);
            EXPECT_GT(bs.DataLength, 0u);
        }
        EXPECT_EQ(MFXVideoENCODE_Close(session), MFX_ERR_NONE);
        for (auto& s : surfaces) EXPECT_EQ(s->Data.Locked, 0);
        EXPECT_EQ(MFXClose(session), MFX_ERR_NONE);
    }
}
