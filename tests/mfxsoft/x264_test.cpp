// The x264 back end: the stream decodes with libavcodec to the pictures that
// went in, in order, with headers at every IDR and the frame types it claims.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <string>
#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include "support.h"

using namespace mfxsoft_test;

namespace {

struct Env {
    EnvGuard encoder{"MFXSOFT_ENCODER", "x264"};
    EnvGuard faults{"MFXSOFT_FAULTS", nullptr};
    EnvGuard adapters{"MFXSOFT_ADAPTERS", nullptr};
};

struct Picture {
    int width, height;
    std::vector<uint8_t> y, u, v;  // planar, tightly packed
};

// A natural-looking scene: soft gradients, a textured surface and two smooth
// shapes drifting across it.
Picture Scene(int width, int height, int t) {
    Picture p{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height),
              std::vector<uint8_t>(static_cast<size_t>(width / 2) * (height / 2)),
              std::vector<uint8_t>(static_cast<size_t>(width / 2) * (height / 2))};
    const double cx = width * (0.3 + 0.004 * t), cy = height * 0.5 + 40 * std::sin(t * 0.1);
    // Every term is separable in x and y, so the scene is built from row and column tables.
    std::vector<double> waveX(width), grainX(width), grainCx(width), grainSx(width), blobX(width);
    for (int x = 0; x < width; ++x) {
        waveX[x] = std::sin((x + 2 * t) * 0.05);
        grainX[x] = std::sin((x + 3 * t) * 0.4);
        grainCx[x] = std::cos(x * 0.13);
        grainSx[x] = std::sin(x * 0.13);
        blobX[x] = std::exp(-(x - cx) * (x - cx) / (2 * 90.0 * 90.0));
    }
    for (int y = 0; y < height; ++y) {
        const double waveY = std::cos(y * 0.04), sy = std::sin(y * 0.3), cyy = std::cos(y * 0.3);
        const double blobY = std::exp(-(y - cy) * (y - cy) / (2 * 90.0 * 90.0));
        for (int x = 0; x < width; ++x) {
            double v = 60 + 80.0 * y / height + 20 * waveX[x] * waveY;
            // Fine grain, like foliage or fabric, drifting with the camera.
            v += 6 * grainX[x] * (sy * grainCx[x] + cyy * grainSx[x]);
            v += 70 * blobX[x] * blobY;
            p.y[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(std::clamp(v, 16.0, 235.0));
        }
    }
    for (int y = 0; y < height / 2; ++y) {
        for (int x = 0; x < width / 2; ++x) {
            p.u[static_cast<size_t>(y) * (width / 2) + x] = static_cast<uint8_t>(110 + 30.0 * x / width + 0.05 * t);
            p.v[static_cast<size_t>(y) * (width / 2) + x] = static_cast<uint8_t>(140 - 30.0 * y / height);
        }
    }
    return p;
}

void Upload(TestAllocator& allocator, mfxFrameSurface1* s, const Picture& p) {
    ASSERT_EQ(allocator.Lock(allocator.pthis, s->Data.MemId, &s->Data), MFX_ERR_NONE);
    for (int y = 0; y < p.height; ++y) std::memcpy(s->Data.Y + y * s->Data.Pitch, &p.y[static_cast<size_t>(y) * p.width], p.width);
    for (int y = 0; y < p.height / 2; ++y) {
        uint8_t* row = s->Data.UV + y * s->Data.Pitch;
        for (int x = 0; x < p.width / 2; ++x) {
            row[2 * x] = p.u[static_cast<size_t>(y) * (p.width / 2) + x];
            row[2 * x + 1] = p.v[static_cast<size_t>(y) * (p.width / 2) + x];
        }
    }
    allocator.Unlock(allocator.pthis, s->Data.MemId, &s->Data);
}

double Psnr(const uint8_t* a, int aStride, const uint8_t* b, int bStride, int width, int height) {
    double sse = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double d = static_cast<double>(a[y * aStride + x]) - b[y * bStride + x];
            sse += d * d;
        }
    }
    if (sse == 0) return 99;
    return 10 * std::log10(255.0 * 255.0 * width * height / sse);
}

struct Coded {
    std::vector<uint8_t> bytes;
    uint64_t timeStamp;
    int64_t decodeTimeStamp;
    uint16_t frameType;
};

// Encodes `count` scenes with `par` and returns the coded frames in decode order.
std::vector<Coded> Encode(mfxVideoParam par, int count, std::vector<Picture>* inputs, int* moreData = nullptr) {
    std::vector<Coded> coded;
    mfxSession session = OpenSession();
    EXPECT_NE(session, nullptr);
    if (session == nullptr) return coded;
    TestAllocator allocator;
    EXPECT_EQ(MFXVideoCORE_SetFrameAllocator(session, &allocator), MFX_ERR_NONE);
    mfxFrameAllocRequest request{};
    EXPECT_EQ(MFXVideoENCODE_QueryIOSurf(session, &par, &request), MFX_ERR_NONE);
    auto surfaces = allocator.Surfaces(par.mfx.FrameInfo, request.NumFrameSuggested);
    EXPECT_EQ(MFXVideoENCODE_Init(session, &par), MFX_ERR_NONE);
    mfxVideoParam inForce{};
    EXPECT_EQ(MFXVideoENCODE_GetVideoParam(session, &inForce), MFX_ERR_NONE);
    std::vector<uint8_t> buffer(inForce.mfx.BufferSizeInKB * 1000u);
    mfxBitstream bs{};
    bs.Data = buffer.data();
    bs.MaxLength = static_cast<mfxU32>(buffer.size());
    auto collect = [&](mfxSyncPoint sync) {
        EXPECT_EQ(SyncBounded(session, sync), MFX_ERR_NONE);
        coded.push_back(Coded{std::vector<uint8_t>(bs.Data + bs.DataOffset, bs.Data + bs.DataOffset + bs.DataLength),
                              bs.TimeStamp, bs.DecodeTimeStamp, bs.FrameType});
        bs.DataOffset = bs.DataLength = 0;
    };
    int held = 0;
    for (int i = 0; i < count; ++i) {
        mfxFrameSurface1* surface = nullptr;
        for (auto& s : surfaces) {
            if (std::atomic_ref<mfxU16>(s->Data.Locked).load() == 0) {
                surface = s.get();
                break;
            }
        }
        EXPECT_NE(surface, nullptr) << "the suggested pool ran dry at frame " << i;
        if (surface == nullptr) break;
        inputs->push_back(Scene(par.mfx.FrameInfo.CropW, par.mfx.FrameInfo.CropH, i));
        Upload(allocator, surface, inputs->back());
        surface->Data.TimeStamp = 3000u * i;
        mfxSyncPoint sync = nullptr;
        mfxStatus status = MFXVideoENCODE_EncodeFrameAsync(session, nullptr, surface, &bs, &sync);
        if (status == MFX_ERR_MORE_DATA) {
            ++held;
            continue;
        }
        EXPECT_EQ(status, MFX_ERR_NONE);
        collect(sync);
    }
    for (int guard = 0; guard < count + 1; ++guard) {
        mfxSyncPoint sync = nullptr;
        mfxStatus status = MFXVideoENCODE_EncodeFrameAsync(session, nullptr, nullptr, &bs, &sync);
        if (status == MFX_ERR_MORE_DATA) break;
        EXPECT_EQ(status, MFX_ERR_NONE);
        collect(sync);
    }
    EXPECT_EQ(MFXVideoENCODE_Close(session), MFX_ERR_NONE);
    for (auto& s : surfaces) EXPECT_EQ(s->Data.Locked, 0);
    EXPECT_EQ(MFXClose(session), MFX_ERR_NONE);
    if (moreData != nullptr) *moreData = held;
    return coded;
}

// Decodes every coded frame; returns the pictures in display order.
std::vector<AVFrame*> Decode(const std::vector<Coded>& coded) {
    std::vector<AVFrame*> frames;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    EXPECT_EQ(avcodec_open2(context, codec, nullptr), 0);
    AVPacket* packet = av_packet_alloc();
    auto drain = [&] {
        for (;;) {
            AVFrame* frame = av_frame_alloc();
            if (avcodec_receive_frame(context, frame) != 0) {
                av_frame_free(&frame);
                return;
            }
            frames.push_back(frame);
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
    av_packet_free(&packet);
    avcodec_free_context(&context);
    return frames;
}

bool StartsWithSps(const std::vector<uint8_t>& bytes) {
    // Annex B: the first NAL unit after a start code, ignoring an access unit delimiter.
    for (size_t i = 0; i + 4 < bytes.size(); ++i) {
        if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1) {
            int type = bytes[i + 3] & 0x1F;
            if (type == 9) continue;
            return type == 7;
        }
    }
    return false;
}

}  // namespace

TEST(X264, DecodesToTheInputAtTheDefaultBitRate) {
    Env env;
    const int frames = 30;
    std::vector<Picture> inputs;
    int held = 0;
    std::vector<Coded> coded = Encode(EncodeParams(1280, 720), frames, &inputs, &held);
    ASSERT_EQ(coded.size(), static_cast<size_t>(frames));
    EXPECT_GT(held, 0);  // B-frames held back at the start
    std::vector<AVFrame*> decoded = Decode(coded);
    ASSERT_EQ(decoded.size(), static_cast<size_t>(frames));
    double worst = 99;
    for (int i = 0; i < frames; ++i) {
        AVFrame* f = decoded[i];
        ASSERT_EQ(f->width, 1280);
        ASSERT_EQ(f->height, 720);
        const Picture& in = inputs[i];
        double luma = Psnr(f->data[0], f->linesize[0], in.y.data(), 1280, 1280, 720);
        double cb = Psnr(f->data[1], f->linesize[1], in.u.data(), 640, 640, 360);
        worst = std::min({worst, luma, cb});
    }
    EXPECT_GE(worst, 35.0);
    RecordProperty("worst_psnr_db", std::to_string(worst));
    std::printf("worst PSNR %.2f dB, %zu bytes for %d frames\n", worst, [&] { size_t n = 0; for (auto& c : coded) n += c.bytes.size(); return n; }(), frames);
    for (AVFrame* f : decoded) av_frame_free(&f);

    // Decode order with time stamps of the pictures; IDRs carry SPS and PPS.
    std::vector<uint64_t> stamps;
    for (const Coded& c : coded) {
        stamps.push_back(c.timeStamp);
        EXPECT_LE(c.decodeTimeStamp, static_cast<int64_t>(c.timeStamp));
        if (c.frameType & MFX_FRAMETYPE_IDR) {
            EXPECT_TRUE(StartsWithSps(c.bytes));
        }
    }
    EXPECT_TRUE(coded[0].frameType & MFX_FRAMETYPE_IDR);
    EXPECT_TRUE(coded[1].frameType & MFX_FRAMETYPE_P);
    EXPECT_TRUE(coded[2].frameType & MFX_FRAMETYPE_B);
    for (size_t i = 1; i < coded.size(); ++i) EXPECT_LT(coded[i - 1].decodeTimeStamp, coded[i].decodeTimeStamp);
    std::sort(stamps.begin(), stamps.end());
    for (int i = 0; i < frames; ++i) EXPECT_EQ(stamps[i], 3000u * i);
}

TEST(X264, ProfileLevelAndCropReachTheStream) {
    Env env;
    mfxVideoParam par = EncodeParams(1366, 768);  // crop 1366 inside 1376
    par.mfx.CodecProfile = MFX_PROFILE_AVC_BASELINE;
    par.mfx.CodecLevel = MFX_LEVEL_AVC_41;
    par.mfx.RateControlMethod = MFX_RATECONTROL_CBR;
    par.mfx.TargetKbps = 3000;
    par.mfx.MaxKbps = 0;
    std::vector<Picture> inputs;
    int held = -1;
    std::vector<Coded> coded = Encode(par, 6, &inputs, &held);
    ASSERT_EQ(coded.size(), 6u);
    for (const Coded& c : coded) EXPECT_FALSE(c.frameType & MFX_FRAMETYPE_B);
    const std::vector<uint8_t>& first = coded[0].bytes;
    size_t sps = 0;
    while (sps + 4 < first.size() && !(first[sps] == 0 && first[sps + 1] == 0 && first[sps + 2] == 1 && (first[sps + 3] & 0x1F) == 7)) ++sps;
    ASSERT_LT(sps + 6, first.size());
    EXPECT_EQ(first[sps + 4], 66);  // profile_idc
    EXPECT_EQ(first[sps + 6], 41);  // level_idc
    std::vector<AVFrame*> decoded = Decode(coded);
    ASSERT_EQ(decoded.size(), 6u);
    EXPECT_EQ(decoded[0]->width, 1366);
    EXPECT_EQ(decoded[0]->height, 768);
    for (AVFrame* f : decoded) av_frame_free(&f);
}
