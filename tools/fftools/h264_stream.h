// What tarvo-mux reads in an H.264 stream's headers: each picture's order
// count, and the frame rate its sequence headers state.
#pragma once
#include <cstdint>
#include <map>
#include <vector>

#include "tools/common/stream_units.h"

namespace fftools {

using tool_args::StreamError;

// A sequence header whose VUI states a frame rate gets `num`/`den` there
// instead. ffmpeg takes each frame's duration from that timing when a stream
// has one, so it must agree with the rate the muxer was given. Returns whether
// `nal` changed; a header without timing stays as it is.
bool SetSpsFrameRate(std::vector<uint8_t>& nal, uint32_t num, uint32_t den);

// Picture order counts of pictures in decoding order (type 0 by the lsb and
// its wrap, type 2 in decoding order; type 1 is refused).
class H264PocCounter {
public:
    // A sequence or picture header; other NAL units are ignored.
    void Parameters(const tool_args::Piece& nal);
    // The count of the picture whose first slice is `slice`; sets `idr`.
    int64_t Count(const tool_args::Piece& slice, bool& idr);

    struct Sps {
        bool separateColourPlanes = false;
        uint32_t log2MaxFrameNum = 4;
        uint32_t pocType = 0;
        uint32_t log2MaxPocLsb = 4;
        bool frameMbsOnly = true;
    };
    struct Pps {
        uint32_t sps = 0;
    };

private:
    std::map<uint32_t, Sps> sps_;
    std::map<uint32_t, Pps> pps_;
    int64_t prevMsb_ = 0, prevLsb_ = 0, decoded_ = 0;
};

}  // namespace fftools
