// An H.264 or HEVC Annex B elementary stream read as access units (one
// picture and the parameter sets and SEI before it), and the order in which
// its pictures are shown. The stream holds no times: tarvo-mux makes them
// from these.
#pragma once
#include <cstdint>
#include <cstdio>
#include <vector>

#include "tools/common/stream_units.h"
#include "tools/common/tool_args.h"

namespace fftools {

using tool_args::StreamError;
using tool_args::VideoCodec;

// Reads access units from an open file, in decoding order.
class AccessUnitReader {
public:
    // `codec` is H264 or Hevc. Reads `readSize` bytes at a time.
    explicit AccessUnitReader(std::FILE* file, VideoCodec codec = VideoCodec::H264, size_t readSize = size_t{1} << 20)
        : file_(file), hevc_(codec == VideoCodec::Hevc), readSize_(readSize) {}
    // Units read from now on carry this rate in their headers' timing
    // (SetSpsFrameRate, SetHevcFrameRate).
    void SetFrameRate(uint32_t num, uint32_t den) {
        rateNum_ = num;
        rateDen_ = den;
    }
    // The next access unit as Annex B bytes (every NAL unit after a 4-byte
    // start code); false at the end. Throws StreamError on a read error.
    bool Next(std::vector<uint8_t>& unit);

private:
    bool NextNal(std::vector<uint8_t>& nal);  // without its start code
    bool Fill();
    bool IsSlice(const std::vector<uint8_t>& nal) const;
    bool StartsUnit(const std::vector<uint8_t>& nal) const;  // when a slice came before

    std::FILE* file_;
    bool hevc_;
    size_t readSize_;
    std::vector<uint8_t> buffer_;
    size_t position_ = 0;
    bool ended_ = false;
    std::vector<uint8_t> pending_;  // a NAL unit read ahead, starting the next unit
    bool havePending_ = false;
    uint32_t rateNum_ = 0, rateDen_ = 0;  // 0: headers as they are
};

// Each picture's index in presentation order (frames, from 0), in decoding
// order, from the picture order counts, which start again at every IDR
// picture (and, in HEVC, wherever HevcUnits says). `delay` becomes the most
// frames any picture is shown before its decoding index. Throws StreamError
// for a stream it cannot order, and for an HEVC stream whose parameter sets
// change (HevcUnits).
std::vector<int64_t> PresentationOrder(std::FILE* file, VideoCodec codec, int64_t& delay);

}  // namespace fftools
