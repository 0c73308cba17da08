// The encoder back ends behind the encoder front end: libx264 (AVC), libx265
// (HEVC), SVT-AV1 (AV1), or the null encoder that writes a minimal stream of
// each codec (null_stream.h).
#pragma once
#include <mfxvideo.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace mfxsoft {

// Everything a back end needs, decided by the front end's parameter checks.
struct CodecConfig {
    uint32_t codec = MFX_CODEC_AVC;        // MFX_CODEC_AVC, _HEVC or _AV1
    int bitDepth = 8;                      // 8 (NV12 input) or 10 (P010 input)
    int shift = 0;                         // P010 only: 1 when samples sit in the high bits
    int width = 0, height = 0;             // aligned coded size
    int cropX = 0, cropY = 0, cropW = 0, cropH = 0;
    uint32_t rateN = 0, rateD = 0;
    int profile = 0;                       // MFX_PROFILE_{AVC,HEVC,AV1}_* of `codec`
    int level = 0;                         // MFX_LEVEL_{AVC,HEVC,AV1}_* (HEVC: main tier)
    int targetUsage = 4;                   // 1..7
    int rateControl = MFX_RATECONTROL_VBR;  // CBR, VBR, CQP, AVBR, LA, ICQ, LA_ICQ or QVBR
    uint32_t targetKbps = 0, maxKbps = 0;   // multiplier applied; maxKbps 0: no VBV (AVBR, ICQ, LA_ICQ)
    uint32_t bufferKB = 0;                  // VBV/HRD buffer in KB (1000 bytes); 0 without VBV
    int quality = 0;                        // ICQ, LA_ICQ, QVBR: 1 (best) .. 51
    int lookAhead = 0;                      // LA, LA_ICQ: pictures the rate control looks ahead
    uint32_t initialDelayKB = 0;
    int qpI = 0, qpP = 0, qpB = 0;         // CQP only; AV1: quantizer index 1..255
    int gopSize = 0;                       // frames between I frames
    int refDist = 1;                       // distance between anchors: B-frames + 1 (AV1: mini-GOP size)
    int idrInterval = 0;                   // the SDK's IdrInterval: see IntraIsIdr
    bool closedGop = false;                // MFX_GOP_CLOSED: no picture refers across an I picture
    int numRef = 0;                        // 0: back end's choice
    int numSlice = 1;
    // The SPS's video signal type (VUI), written only when `signal` is set.
    bool signal = false;
    int videoFormat = 5;                   // 5: unspecified
    bool fullRange = false;
    bool colourDescription = false;        // then the three below are written
    int primaries = 2, transfer = 2, matrix = 2;  // 2: unspecified
};

// One input picture in NV12 (bytes) or P010 (16-bit samples, `bitDepth` 10
// in CodecConfig): the whole coded size, crop area included; pitches in bytes.
struct PictureView {
    const uint8_t* y;
    size_t yPitch;
    const uint8_t* uv;
    size_t uvPitch;
};

struct CodedFrame {
    std::vector<uint8_t> bytes;  // Annex B (x264, x265, null) or OBUs of one temporal unit (SVT-AV1, null)
    uint64_t order = 0;          // display order of the picture (0-based)
    uint64_t timeStamp = 0;      // the picture's TimeStamp
    int64_t decodeOrderPts = 0;  // display order of the picture whose time is the decode time
    uint16_t frameType = 0;      // MFX_FRAMETYPE_* of the picture
    void* opaque = nullptr;      // what came with the picture
};

class Codec {
public:
    virtual ~Codec() = default;
    // Most pictures held before the first output; outputs never lag the
    // inputs by more than this.
    virtual int Delay() const = 0;
    // Takes one picture (its display order, time stamp and the caller's opaque value)
    // and appends what it completes to `out`.
    virtual mfxStatus Encode(const PictureView& picture, uint64_t order, uint64_t timeStamp, void* opaque,
                             std::vector<CodedFrame>* out) = 0;
    // End of stream: appends at most one held picture to `out`; false when
    // nothing is held any more.
    virtual bool Flush(std::vector<CodedFrame>* out) = 0;
};

// Back ends. Null on failure.
std::unique_ptr<Codec> MakeNullCodec(const CodecConfig& config);
std::unique_ptr<Codec> MakeX264Codec(const CodecConfig& config);
std::unique_ptr<Codec> MakeX265Codec(const CodecConfig& config);
std::unique_ptr<Codec> MakeSvtAv1Codec(const CodecConfig& config);
// The delay each back end will have for `config`, without opening it: an
// upper bound on how far its outputs lag its inputs.
int X264Delay(const CodecConfig& config);
int X265Delay(const CodecConfig& config);
int SvtAv1Delay(const CodecConfig& config);

// Whether intra picture `intraIndex` (0: the stream's first) is an IDR, as
// the SDK's IdrInterval counts per codec: AVC an IDR every IdrInterval + 1
// intra pictures (0: every one); HEVC every IdrInterval-th (0: only the
// first); AV1 every one (a key frame).
bool IntraIsIdr(const CodecConfig& config, uint64_t intraIndex);

// The library back end of `config.codec` (x264, x265 or SVT-AV1) and its delay.
std::unique_ptr<Codec> MakeLibraryCodec(const CodecConfig& config);
int LibraryDelay(const CodecConfig& config);

// The null encoder's record, carried in each coded frame (null_stream.h): 32
// bytes, little-endian.
//   0  8 bytes  "MFXSNULL"
//   8  u32      display order of the picture (0-based)
//  12  u16      MFX_FRAMETYPE_* of the picture
//  14  u16      0
//  16  u64      the picture's TimeStamp
//  24  u32      checksum of the picture's luma (every 8th row of the crop area)
//  28  u32      32, the block's length
constexpr size_t kNullBlockSize = 32;

}  // namespace mfxsoft
