// Encoding through the SDK's calls and decoding with FFmpeg's libraries, for
// the tests of the library back ends: synthetic pictures at 8 or 10 bits,
// written into NV12 or P010 surfaces, and PSNR against what was decoded.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include "support.h"

namespace mfxsoft_test {

// A picture as 10-bit or 8-bit sample values, planar 4:2:0.
struct Picture {
    int width, height, depth;
    std::vector<uint16_t> y, u, v;
};

// Soft gradients, fine grain and a drifting shape: content an encoder has to
// work for, which still compresses.
inline Picture Scene(int width, int height, int depth, int t) {
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
inline void Upload(TestAllocator& allocator, mfxFrameSurface1* s, const Picture& p) {
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

inline mfxVideoParam CodecParams(mfxU32 codec, int depth, int width, int height) {
    mfxVideoParam par = EncodeParams(width, height);
    par.mfx.CodecId = codec;
    par.mfx.CodecProfile = 0;
    par.mfx.CodecLevel = 0;
    par.mfx.FrameInfo = FrameInfo(depth > 8 ? MFX_FOURCC_P010 : MFX_FOURCC_NV12, width, height);
    return par;
}

inline mfxVideoParam Cqp(mfxVideoParam par, int qp) {
    par.mfx.RateControlMethod = MFX_RATECONTROL_CQP;
    par.mfx.QPI = par.mfx.QPP = par.mfx.QPB = static_cast<mfxU16>(qp);
    return par;
}

struct Coded {
    std::vector<uint8_t> bytes;
    uint64_t timeStamp;
    int64_t decodeTimeStamp;
    uint16_t frameType;
};

struct Encoding {
    std::vector<Coded> coded;
    std::vector<Picture> inputs;
    mfxVideoParam inForce{};
    mfxU16 numFrameMin = 0;
    int moreData = 0;
};

// Encodes `count` scenes through the SDK's calls, as the plug-in does, and
// drains the encoder; or, with `cancel`, closes it after the last picture
// without draining, as a cancelled export does.
inline Encoding Encode(mfxVideoParam par, int count, mfxExtVideoSignalInfo* signal = nullptr, bool cancel = false) {
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
                                  bs.TimeStamp, bs.DecodeTimeStamp, bs.FrameType});
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
    for (int guard = 0; guard <= count && !cancel; ++guard) {
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

// Decodes the stream, one coded frame a packet; AVC and HEVC with
// libavcodec's own decoders, AV1 with dav1d.
inline void Decode(mfxU32 codec, const std::vector<Coded>& coded, Decoded* out) {
    const AVCodec* decoder = codec == MFX_CODEC_AV1    ? avcodec_find_decoder_by_name("libdav1d")
                             : codec == MFX_CODEC_HEVC ? avcodec_find_decoder(AV_CODEC_ID_HEVC)
                                                       : avcodec_find_decoder(AV_CODEC_ID_H264);
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
inline double Psnr(const AVFrame* f, int plane, const std::vector<uint16_t>& ref, int width, int height, int depth) {
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

inline mfxExtVideoSignalInfo Signal(mfxU16 primaries, mfxU16 transfer, mfxU16 matrix) {
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

}  // namespace mfxsoft_test
