// The x264 back end: the stream decodes with libavcodec to the pictures that
// went in, in order, with headers at every IDR and the frame types it claims.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "coding.h"

using namespace mfxsoft_test;

namespace {

struct Env {
    EnvGuard encoder{"MFXSOFT_ENCODER", "x264"};
    EnvGuard faults{"MFXSOFT_FAULTS", nullptr};
    EnvGuard adapters{"MFXSOFT_ADAPTERS", nullptr};
};

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
    Encoding run = Encode(EncodeParams(1280, 720), frames);
    const std::vector<Coded>& coded = run.coded;
    ASSERT_EQ(coded.size(), static_cast<size_t>(frames));
    EXPECT_GT(run.moreData, 0);  // B-frames held back at the start
    Decoded decoded;
    Decode(MFX_CODEC_AVC, coded, &decoded);
    ASSERT_EQ(decoded.frames.size(), static_cast<size_t>(frames));
    double worst = 99;
    for (int i = 0; i < frames; ++i) {
        const AVFrame* f = decoded.frames[i];
        ASSERT_EQ(f->width, 1280);
        ASSERT_EQ(f->height, 720);
        const Picture& in = run.inputs[i];
        worst = std::min({worst, Psnr(f, 0, in.y, 1280, 720, 8), Psnr(f, 1, in.u, 640, 360, 8)});
    }
    EXPECT_GE(worst, 35.0);
    RecordProperty("worst_psnr_db", std::to_string(worst));
    std::printf("worst PSNR %.2f dB, %zu bytes for %d frames\n", worst, [&] { size_t n = 0; for (auto& c : coded) n += c.bytes.size(); return n; }(), frames);

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
    const std::vector<Coded> coded = Encode(par, 6).coded;
    ASSERT_EQ(coded.size(), 6u);
    for (const Coded& c : coded) EXPECT_FALSE(c.frameType & MFX_FRAMETYPE_B);
    const std::vector<uint8_t>& first = coded[0].bytes;
    size_t sps = 0;
    while (sps + 4 < first.size() && !(first[sps] == 0 && first[sps + 1] == 0 && first[sps + 2] == 1 && (first[sps + 3] & 0x1F) == 7)) ++sps;
    ASSERT_LT(sps + 6, first.size());
    EXPECT_EQ(first[sps + 4], 66);  // profile_idc
    EXPECT_EQ(first[sps + 6], 41);  // level_idc
    Decoded decoded;
    Decode(MFX_CODEC_AVC, coded, &decoded);
    ASSERT_EQ(decoded.frames.size(), 6u);
    EXPECT_EQ(decoded.frames[0]->width, 1366);
    EXPECT_EQ(decoded.frames[0]->height, 768);
}
