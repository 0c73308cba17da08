// What tarvo-mux reads in an HEVC stream's headers: each picture's order
// count, and the frame rate its video and sequence parameter sets state.
#pragma once
#include <cstdint>
#include <map>
#include <vector>

#include "tools/common/stream_units.h"

namespace fftools {

// A VPS or SPS whose timing states a frame rate gets `num`/`den` there
// instead (ffmpeg takes each frame's duration from it). Returns whether `nal`
// changed; one without timing stays as it is.
bool SetHevcFrameRate(std::vector<uint8_t>& nal, uint32_t num, uint32_t den);

// Picture order counts of pictures in decoding order: the lsb from the first
// slice segment, the msb carried on from the previous picture of temporal
// layer 0 that is neither a leading nor a sub-layer non-reference picture, and
// 0 where the count starts again (HevcUnits::Unit::afresh).
class HevcPocCounter {
public:
    // A VPS, SPS or PPS; other NAL units are ignored.
    void Parameters(const tool_args::Piece& nal);
    int64_t Count(const tool_args::Piece& slice, bool afresh);

    struct Sps {
        bool separateColourPlanes = false;
        uint32_t log2MaxPocLsb = 4;
    };
    struct Pps {
        uint32_t sps = 0;
        bool outputFlagPresent = false;
        uint32_t extraSliceHeaderBits = 0;
    };

private:
    std::map<uint32_t, Sps> sps_;
    std::map<uint32_t, Pps> pps_;
    int64_t prevPoc_ = 0;  // of the last picture that sets the base
};

}  // namespace fftools
