// The null encoder's streams: the bit writers against hand-worked bit
// patterns, and whole streams decoded by FFmpeg's libraries.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "coding.h"
#include "mfxsoft/bit_writer.h"
#include "null_record.h"

using namespace mfxsoft_test;
using mfxsoft::BitWriter;
using mfxsoft::CabacWriter;

namespace {

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    char digits[4];
    for (uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", b);
        text += digits;
    }
    return text;
}

}  // namespace

TEST(NullStream, BitWriterCodes) {
    struct Case {
        const char* what;
        std::function<void(BitWriter&)> write;
        const char* bytes;
    };
    const Case cases[] = {
        {"bits across bytes", [](BitWriter& w) { w.Put(0x5, 3); w.Put(0x1FF, 9); w.Put(0, 4); }, "bff0"},
        {"ue 0 1 2 3 7", [](BitWriter& w) { w.PutUe(0); w.PutUe(1); w.PutUe(2); w.PutUe(3); w.PutUe(7); },
         "a6"  "41"  "00"},  // 1 010 011 00100 0001000, zero-padded
        {"ue of the largest value", [](BitWriter& w) { w.PutUe(0xFFFFFFFFu); }, "000000008000000000"},
        {"se 0 1 -1 2 -2", [](BitWriter& w) { w.PutSe(0); w.PutSe(1); w.PutSe(-1); w.PutSe(2); w.PutSe(-2); },
         "a6"  "42"  "80"},  // 1 010 011 00100 00101
        {"trailing bits", [](BitWriter& w) { w.Put(1, 1); w.PutTrailingBits(); w.PutTrailingBits(); }, "c080"},
        {"align when aligned", [](BitWriter& w) { w.Put(0xAB, 8); w.AlignZero(); w.Put(1, 1); w.AlignZero(); }, "ab80"},
    };
    for (const Case& c : cases) {
        BitWriter w;
        c.write(w);
        EXPECT_EQ(Hex(w.Bytes()), c.bytes) << c.what;
    }
}

TEST(NullStream, NalUnitsEscapeStartCodePrefixes) {
    const struct {
        std::vector<uint8_t> nal;
        const char* framed;
    } cases[] = {
        {{0x67, 0x00, 0x00, 0x01}, "0000000167000003" "01"},
        {{0x06, 0x00, 0x00, 0x00, 0x00, 0x80}, "00000001060000030000" "80"},
        {{0x06, 0x00, 0x00, 0x04, 0x00, 0x00, 0x03}, "00000001060000040000" "0303"},
        {{0x01, 0x00, 0x01, 0x00, 0x80}, "000000010100010080"},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> out;
        mfxsoft::AppendNal(&out, c.nal);
        EXPECT_EQ(Hex(out), c.framed);
    }
}

TEST(NullStream, CabacContextsAndCodes) {
    // Context init: state index << 1 | MPS, from the slope/offset form of the init value.
    const struct {
        int initValue, qp;
        uint8_t context;
    } inits[] = {{154, 26, 0x01}, {184, 26, 0x01}, {197, 26, 30}, {185, 26, 17}, {201, 26, 33}, {0, 51, 124}, {255, 51, 125}};
    for (const auto& c : inits) EXPECT_EQ(CabacWriter::InitContext(c.initValue, c.qp), c.context) << c.initValue;

    // Worked by hand through the arithmetic decoder: it reads the bins back
    // and stops exactly at the last (stop) bit.
    struct Case {
        const char* what;
        std::function<void(CabacWriter&)> code;
        const char* bytes;
    };
    const Case cases[] = {
        {"terminate at once", [](CabacWriter& c) { c.EncodeTerminate(true); }, "fe80"},
        {"bypass 1 0 1 1, terminate",
         [](CabacWriter& c) {
             for (bool b : {true, false, true, true}) c.EncodeBypass(b);
             c.EncodeTerminate(true);
         },
         "bf38"},
        {"restart after a flush", [](CabacWriter& c) {
             c.EncodeTerminate(true);
             c.Start();
             c.EncodeTerminate(true);
         },
         "feff40"},
    };
    for (const Case& c : cases) {
        BitWriter w;
        CabacWriter cabac(&w);
        cabac.Start();
        c.code(cabac);
        EXPECT_EQ(Hex(w.Bytes()), c.bytes) << c.what;
    }
}

namespace {

// AV1's symbol decoding process, written from the decoder's side: reads the
// symbols back from what SymbolWriter wrote.
class SymbolReader {
public:
    explicit SymbolReader(const std::vector<uint8_t>& data) : data_(data) {
        maxBits_ = 8 * static_cast<int>(data.size()) - 15;
        const int bits = std::min(8 * static_cast<int>(data.size()), 15);
        value_ = ((1u << 15) - 1) ^ (Read(bits) << (15 - bits));
    }
    int Decode(const uint16_t* cdf, int symbols) {
        uint32_t cur = range_, prev = 0;
        int symbol = -1;
        do {
            ++symbol;
            prev = cur;
            const uint32_t f = 32768u - cdf[symbol];
            cur = ((range_ >> 8) * (f >> 6) >> 1) + 4u * static_cast<uint32_t>(symbols - symbol - 1);
        } while (value_ < cur);
        range_ = prev - cur;
        value_ -= cur;
        int bits = 0;
        while ((range_ << bits) < 32768u) ++bits;
        range_ <<= bits;
        const int count = std::min(bits, std::max(0, maxBits_));
        const uint32_t padded = Read(count) << (bits - count);
        value_ = padded ^ (((value_ + 1) << bits) - 1);
        maxBits_ -= bits;
        return symbol;
    }
private:
    uint32_t Read(int count) {
        uint32_t v = 0;
        for (int i = 0; i < count; ++i, ++position_) v = v << 1 | ((data_[position_ / 8] >> (7 - position_ % 8)) & 1u);
        return v;
    }
    const std::vector<uint8_t>& data_;
    int position_ = 0, maxBits_ = 0;
    uint32_t value_ = 0, range_ = 32768;
};

}  // namespace

TEST(NullStream, SymbolCoderRoundTrips) {
    const uint16_t coin[2] = {16384, 32768}, skewed[2] = {32000, 32768}, rare[2] = {100, 32768};
    const uint16_t four[4] = {19132, 25510, 30392, 32768};
    const uint16_t thirteen[13] = {15588, 17027, 19338, 20218, 20682, 21110, 21825, 23244, 24189, 28165, 29093, 30466, 32768};
    struct Case {
        const char* what;
        int count;
        std::function<std::pair<const uint16_t*, int>(int)> cdf;  // the CDF and alphabet of symbol i
        std::function<int(int)> symbol;
    };
    const Case cases[] = {
        {"nothing", 0, [&](int) { return std::make_pair(coin, 2); }, [](int) { return 0; }},
        {"fair bits", 200, [&](int) { return std::make_pair(coin, 2); }, [](int i) { return (i * 7 + i / 3) & 1; }},
        // Long runs of the likely symbol, then unlikely ones: carries through many bytes.
        {"runs then surprises", 3000, [&](int) { return std::make_pair(skewed, 2); }, [](int i) { return i > 2900 ? 1 : 0; }},
        {"rare symbols taken", 400, [&](int) { return std::make_pair(rare, 2); }, [](int i) { return i % 5 == 0 ? 0 : 1; }},
        {"mixed alphabets", 1000,
         [&](int i) { return i % 3 == 0 ? std::make_pair(four, 4) : i % 3 == 1 ? std::make_pair(thirteen, 13) : std::make_pair(skewed, 2); },
         [](int i) { return i % 3 == 0 ? (i / 3) % 4 : i % 3 == 1 ? (i * 5) % 13 : (i / 7) % 2; }},
    };
    for (const Case& c : cases) {
        mfxsoft::SymbolWriter writer;
        for (int i = 0; i < c.count; ++i) {
            const auto [cdf, symbols] = c.cdf(i);
            writer.Encode(c.symbol(i), cdf, symbols);
        }
        const std::vector<uint8_t> bytes = writer.Finish();
        SymbolReader reader(bytes);
        int wrong = 0;
        for (int i = 0; i < c.count; ++i) {
            const auto [cdf, symbols] = c.cdf(i);
            if (reader.Decode(cdf, symbols) != c.symbol(i)) ++wrong;
        }
        EXPECT_EQ(wrong, 0) << c.what;
        EXPECT_LE(bytes.size(), static_cast<size_t>(c.count) + 2) << c.what;
    }
}

// Whole streams through the SDK's calls: FFmpeg decodes every picture, with
// the size, depth and tags asked; H.264 and HEVC intra pictures decode to the
// input exactly; each coded frame carries its record.
TEST(NullStream, StreamsDecodeAndIntraPicturesAreExact) {
    EnvGuard encoder{"MFXSOFT_ENCODER", "null"};
    EnvGuard faults{"MFXSOFT_FAULTS", nullptr};
    EnvGuard adapters{"MFXSOFT_ADAPTERS", nullptr};
    EnvGuard runtime{"MFXSOFT_RUNTIME", "vpl"};  // the runtime with an AV1 encoder
    struct Case {
        mfxU32 codec;
        mfxU16 profile;
        int depth, shift;
        int width, height;  // crop; odd sizes decode one sample larger
        mfxU16 refDist, gop, idrInterval;
        mfxU16 colour;      // primaries = transfer = matrix
        int idrs;           // of the 14 pictures, as IdrInterval counts for the codec
    };
    const Case cases[] = {
        {MFX_CODEC_AVC, MFX_PROFILE_AVC_HIGH, 8, 0, 320, 240, 3, 6, 0, 1, 3},  // every I
        {MFX_CODEC_AVC, MFX_PROFILE_AVC_MAIN, 8, 0, 318, 238, 4, 8, 1, 6, 1},  // every other I
        {MFX_CODEC_AVC, MFX_PROFILE_AVC_BASELINE, 8, 0, 317, 237, 1, 5, 0, 6, 3},
        {MFX_CODEC_HEVC, 0, 8, 0, 320, 240, 3, 6, 0, 1, 1},  // only the first: CRAs after
        {MFX_CODEC_HEVC, 0, 10, 1, 318, 238, 4, 8, 1, 6, 2},  // every I
        {MFX_CODEC_HEVC, 0, 10, 0, 317, 237, 1, 5, 2, 1, 2},  // every other I
        {MFX_CODEC_AV1, 0, 8, 0, 320, 240, 4, 8, 0, 1, 2},  // every key frame
        {MFX_CODEC_AV1, 0, 10, 1, 318, 238, 1, 4, 1, 6, 4},
    };
    const int frames = 14;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.codec == MFX_CODEC_AV1 ? "AV1" : c.codec == MFX_CODEC_HEVC ? "HEVC" : "AVC") + " " + std::to_string(c.depth) + "-bit " + std::to_string(c.width) + "x" +
                     std::to_string(c.height) + " refdist " + std::to_string(c.refDist) + " gop " + std::to_string(c.gop) +
                     " idr " + std::to_string(c.idrInterval));
        mfxVideoParam par = CodecParams(c.codec, c.depth, c.width, c.height);
        par.mfx.CodecProfile = c.profile;
        par.mfx.FrameInfo.Shift = static_cast<mfxU16>(c.shift);
        par.mfx.GopRefDist = c.refDist;
        par.mfx.GopPicSize = c.gop;
        par.mfx.IdrInterval = c.idrInterval;
        par.mfx.RateControlMethod = MFX_RATECONTROL_CQP;
        par.mfx.QPI = par.mfx.QPP = par.mfx.QPB = 24;
        mfxExtVideoSignalInfo signal = Signal(c.colour, c.colour, c.colour);
        Encoding run = Encode(par, frames, &signal);
        ASSERT_EQ(run.coded.size(), static_cast<size_t>(frames));
        int idrs = 0;
        for (const Coded& coded : run.coded) idrs += (coded.frameType & MFX_FRAMETYPE_IDR) != 0 ? 1 : 0;
        EXPECT_EQ(idrs, c.idrs);
        for (const Coded& coded : run.coded) {
            const auto record = FindNullRecord(coded.bytes.data(), coded.bytes.size(), c.codec);
            ASSERT_TRUE(record.has_value());
            EXPECT_EQ(record->timeStamp, coded.timeStamp);
            EXPECT_EQ(record->order * 3000, coded.timeStamp);
            EXPECT_EQ(record->frameType, coded.frameType);
        }
        Decoded decoded;
        Decode(c.codec, run.coded, &decoded);
        ASSERT_EQ(decoded.frames.size(), static_cast<size_t>(frames));
        const int evenWidth = (c.width + 1) / 2 * 2, evenHeight = (c.height + 1) / 2 * 2;
        int intra = 0;
        for (const Coded& coded : run.coded) {
            const AVFrame* f = decoded.frames[coded.timeStamp / 3000];
            ASSERT_EQ(f->width, evenWidth);
            ASSERT_EQ(f->height, evenHeight);
            EXPECT_EQ(f->format, c.depth > 8 ? AV_PIX_FMT_YUV420P10LE : AV_PIX_FMT_YUV420P);
            EXPECT_EQ(f->color_primaries, static_cast<AVColorPrimaries>(c.colour));
            EXPECT_EQ(f->color_trc, static_cast<AVColorTransferCharacteristic>(c.colour));
            EXPECT_EQ(f->colorspace, static_cast<AVColorSpace>(c.colour));
            EXPECT_EQ(f->color_range, AVCOL_RANGE_MPEG);
            if (c.codec == MFX_CODEC_AV1) {
                // Grey key frames: every block DC-predicted from nothing and skipped.
                const int mid = c.depth > 8 ? 512 : 128;
                for (int plane = 0; plane < 3; ++plane) {
                    const int pw = plane == 0 ? evenWidth : evenWidth / 2, ph = plane == 0 ? evenHeight : evenHeight / 2;
                    EXPECT_EQ(Psnr(f, plane, std::vector<uint16_t>(static_cast<size_t>(pw) * ph, static_cast<uint16_t>(mid)),
                                   pw, ph, c.depth),
                              99)
                        << "plane " << plane;
                }
                continue;
            }
            if (!(coded.frameType & MFX_FRAMETYPE_I)) continue;
            ++intra;
            const Picture& in = run.inputs[coded.timeStamp / 3000];
            const int cw = (c.width + 1) / 2, ch = (c.height + 1) / 2;
            EXPECT_EQ(Psnr(f, 0, in.y, c.width, c.height, c.depth), 99);
            EXPECT_EQ(Psnr(f, 1, in.u, cw, ch, c.depth), 99);
            EXPECT_EQ(Psnr(f, 2, in.v, cw, ch, c.depth), 99);
        }
        EXPECT_EQ(intra, c.codec == MFX_CODEC_AV1 ? 0 : (frames + c.gop - 1) / c.gop);
        if (c.codec == MFX_CODEC_AV1) {
            EXPECT_EQ(decoded.profile, FF_PROFILE_AV1_MAIN);
            const int level = run.inForce.mfx.CodecLevel;
            EXPECT_EQ(decoded.level, (level / 10 - 2) * 4 + level % 10);  // seq_level_idx
        } else if (c.codec == MFX_CODEC_HEVC) {
            EXPECT_EQ(decoded.profile, c.depth > 8 ? FF_PROFILE_HEVC_MAIN_10 : FF_PROFILE_HEVC_MAIN);
            EXPECT_EQ(decoded.level, 3 * run.inForce.mfx.CodecLevel);
        } else {
            EXPECT_EQ(decoded.profile, c.profile);
            EXPECT_EQ(decoded.level, run.inForce.mfx.CodecLevel);
        }
    }
}

// Zero samples are the PCM blocks' worst case (an emulation prevention byte
// after every two zeros): an intra picture still fits the frame bound the
// runtime reports, 640 bytes a block (800 at ten bits) beside the headers.
TEST(NullStream, ZeroPicturesFitTheFrameBound) {
    for (const auto& [codec, depth] : {std::pair{MFX_CODEC_AVC, 8}, std::pair{MFX_CODEC_HEVC, 8}, std::pair{MFX_CODEC_HEVC, 10}}) {
        mfxsoft::CodecConfig config;
        config.codec = codec;
        config.bitDepth = depth;
        config.width = config.cropW = 320;
        config.height = config.cropH = 240;
        config.refDist = 3;
        const size_t bytes = depth > 8 ? 2 : 1;
        std::vector<uint8_t> y(320 * 240 * bytes, 0), uv(320 * 120 * bytes, 0);
        const mfxsoft::PictureView picture{y.data(), 320 * bytes, uv.data(), 320 * bytes};
        auto stream = mfxsoft::MakeNullStream(config);
        mfxsoft::NullRecord record;
        record.frameType = MFX_FRAMETYPE_I | MFX_FRAMETYPE_REF | MFX_FRAMETYPE_IDR;
        const std::vector<uint8_t> coded = stream->Picture(record, &picture, 0);
        const size_t blocks = (320 / 16) * (240 / 16);
        EXPECT_GT(coded.size(), blocks * (depth > 8 ? 700 : 570)) << "the escapes were expected";
        EXPECT_LE(coded.size(), blocks * (depth > 8 ? 800 : 640) + 1000) << codec << " " << depth;
    }
}
