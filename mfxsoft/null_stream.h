// The null encoder's pictures as a stream of the configured codec: H.264
// (CAVLC, intra pictures as I_PCM macroblocks, P and B pictures all skipped),
// HEVC (16x16 CTUs, intra pictures as PCM coding units, P and B pictures all
// skipped) or AV1 (grey key frames, null_stream_av1.cpp). H.264 and HEVC intra
// pictures decode to exactly the input's crop area; the others repeat their
// references. Each picture also
// carries the null encoder's 32-byte record, where decoders ignore it: an
// unregistered user data SEI (H.264, HEVC) or an ITU-T T.35 metadata OBU (AV1),
// both starting with kNullRecordTag.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "mfxsoft/codec.h"

namespace mfxsoft {

// What the null encoder says about one picture, beside its samples.
struct NullRecord {
    uint64_t order = 0;       // display order (0-based)
    uint16_t frameType = 0;   // MFX_FRAMETYPE_*
    uint64_t timeStamp = 0;
    uint32_t checksum = 0;    // of the luma, every 8th row of the crop area
};

// The tag before the record: the SEI's UUID, the T.35 payload's first bytes.
extern const std::array<uint8_t, 16> kNullRecordTag;

// The record's 32 bytes (little-endian): "MFXSNULL", u32 order, u16 type,
// u16 0, u64 time stamp, u32 checksum, u32 32.
std::array<uint8_t, kNullBlockSize> PackNullRecord(const NullRecord& record);

// Builds the coded pictures of one stream, in decode order. One object a
// stream, used by the thread that encodes.
class NullStream {
public:
    virtual ~NullStream() = default;
    // One picture in decode order. `picture` holds the samples of an intra
    // picture (MFX_FRAMETYPE_I) and is not read otherwise. `leading`, for an
    // intra picture: the pictures that follow it in decode order yet precede
    // it in display order (they may refer only to it and later pictures after
    // an IDR).
    virtual std::vector<uint8_t> Picture(const NullRecord& record, const PictureView* picture, int leading) = 0;
};

std::unique_ptr<NullStream> MakeNullStream(const CodecConfig& config);
// The AV1 one (null_stream_av1.cpp).
std::unique_ptr<NullStream> MakeAv1NullStream(const CodecConfig& config);

// Appends `value` as leb128 (AV1's OBU sizes).
void AppendLeb128(std::vector<uint8_t>* out, uint64_t value);

}  // namespace mfxsoft
