// The units of bare video streams as both muxers see them, whoever splits
// the file: NAL units of Annex B bytes (H.264, HEVC), what an HEVC access unit
// says about its picture, and the OBUs of an AV1 temporal unit. No FFmpeg in
// here: tarvo-mux reads the files itself, mp4box-compat checks what FFmpeg's
// demuxers hand it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace tool_args {

// A stream the muxers cannot use; the text says why.
struct StreamError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Bytes inside a buffer that outlives them.
struct Piece {
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// The NAL units of Annex B bytes, without their start codes; the zero bytes
// before a start code belong to it.
std::vector<Piece> NalUnits(const uint8_t* data, size_t size);

inline int HevcNalType(const Piece& nal) { return nal.size < 2 ? -1 : (nal.data[0] >> 1) & 0x3F; }

// HEVC access units in decoding order.
class HevcUnits {
public:
    struct Unit {
        Piece slice;                       // the picture's first slice segment
        std::vector<Piece> parameterSets;  // VPS, SPS and PPS in the unit
        // The picture's order count starts again: an IRAP picture after which
        // nothing earlier is shown (IDR, BLA, a CRA first or after an end of
        // sequence).
        bool afresh = false;
    };
    // Throws StreamError for a unit without a picture, and for a parameter set
    // that repeats none of the first unit's: those become the hvc1 track's
    // only ones, and the copies in the pictures are dropped.
    Unit Next(const uint8_t* data, size_t size);

private:
    std::vector<std::vector<uint8_t>> parameterSets_;
    bool first_ = true;
    bool afterEnd_ = false;  // an end of sequence closed the last unit
};

// AV1 OBU types the muxers look at.
enum ObuType { kObuSequenceHeader = 1, kObuTemporalDelimiter = 2, kObuFrameHeader = 3, kObuFrame = 6 };

struct Obu {
    int type = 0;
    Piece whole;  // header, size field and payload
};

// The OBU header's length from its first byte (1, or 2 with an extension)
// and the OBU's type; throws StreamError for a header no low-overhead
// stream holds (the forbidden bit, no size field).
int ObuHeaderLength(uint8_t first, int& type);

// Reads a size field (LEB128) from `data`; returns its length in bytes, or 0
// when `size` ends before it does. Throws StreamError for one over 32 bits.
size_t ReadLeb128(const uint8_t* data, size_t size, uint64_t& value);

// The OBUs of one temporal unit. Throws StreamError unless it is whole and
// starts with a temporal delimiter and holds a frame; the first one must also
// hold a sequence header (the av01 track's configuration comes from it).
std::vector<Obu> TemporalUnitObus(const uint8_t* data, size_t size, bool first);

}  // namespace tool_args
