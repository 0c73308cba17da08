// The encoder back ends behind the AVC encoder front end: libx264, or the
// null encoder that only frames each picture in a small block.
#pragma once
#include <mfxvideo.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace mfxsoft {

// Everything a back end needs, decided by the front end's parameter checks.
struct CodecConfig {
    int width = 0, height = 0;             // aligned coded size
    int cropX = 0, cropY = 0, cropW = 0, cropH = 0;
    uint32_t rateN = 0, rateD = 0;
    int profile = 0;                       // MFX_PROFILE_AVC_*
    int level = 0;                         // MFX_LEVEL_AVC_*
    int targetUsage = 4;                   // 1..7
    int rateControl = MFX_RATECONTROL_VBR;
    uint32_t targetKbps = 0, maxKbps = 0;  // multiplier applied
    uint32_t bufferKB = 0;                 // VBV/HRD buffer in KB (1000 bytes)
    uint32_t initialDelayKB = 0;
    int qpI = 0, qpP = 0, qpB = 0;         // CQP only
    int gopSize = 0;                       // frames between I frames
    int refDist = 1;                       // distance between anchors: B-frames + 1
    int idrInterval = 0;                   // I frames between IDRs, 0: every I is IDR
    int numRef = 0;                        // 0: back end's choice
    int numSlice = 1;
    // The SPS's video signal type (VUI), written only when `signal` is set.
    bool signal = false;
    int videoFormat = 5;                   // 5: unspecified
    bool fullRange = false;
    bool colourDescription = false;        // then the three below are written
    int primaries = 2, transfer = 2, matrix = 2;  // 2: unspecified
};

// One input picture in NV12: the whole coded size, crop area included.
struct PictureView {
    const uint8_t* y;
    size_t yPitch;
    const uint8_t* uv;
    size_t uvPitch;
};

struct CodedFrame {
    std::vector<uint8_t> bytes;  // Annex B (x264) or the null block
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
// The delay MakeX264Codec will have for `config`, without opening it.
int X264Delay(const CodecConfig& config);

// The null encoder's block: 32 bytes, little-endian.
//   0  8 bytes  "MFXSNULL"
//   8  u32      display order of the picture (0-based)
//  12  u16      MFX_FRAMETYPE_* of the picture
//  14  u16      0
//  16  u64      the picture's TimeStamp
//  24  u32      checksum of the picture's luma (every 8th row of the crop area)
//  28  u32      32, the block's length
constexpr size_t kNullBlockSize = 32;

}  // namespace mfxsoft
