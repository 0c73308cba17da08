// An H.264 Annex B elementary stream read as access units (one picture and
// the parameter sets and SEI before it), and the order in which its pictures
// are shown. The stream holds no times: tarvo-mux makes them from these.
#pragma once
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace fftools {

struct StreamError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Reads access units from an open file, in decoding order.
class AccessUnitReader {
public:
    // Reads `readSize` bytes at a time.
    explicit AccessUnitReader(std::FILE* file, size_t readSize = size_t{1} << 20) : file_(file), readSize_(readSize) {}
    // Units read from now on carry this rate in their sequence headers' timing
    // (SetSpsFrameRate).
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

    std::FILE* file_;
    size_t readSize_;
    std::vector<uint8_t> buffer_;
    size_t position_ = 0;
    bool ended_ = false;
    std::vector<uint8_t> pending_;  // a NAL unit read ahead, starting the next unit
    bool havePending_ = false;
    uint32_t rateNum_ = 0, rateDen_ = 0;  // 0: headers as they are
};

// A sequence header whose VUI states a frame rate gets `num`/`den` there
// instead. ffmpeg takes each frame's duration from that timing when a stream
// has one, so it must agree with the rate the muxer was given. Returns whether
// `nal` changed; a header without timing stays as it is.
bool SetSpsFrameRate(std::vector<uint8_t>& nal, uint32_t num, uint32_t den);

// Each picture's index in presentation order (frames, from 0), in decoding
// order, from the picture order counts (types 0 and 2), which start again at
// every IDR picture. `delay` becomes the most frames any picture is shown
// before its decoding index. Throws StreamError for a stream it cannot order.
std::vector<int64_t> PresentationOrder(std::FILE* file, int64_t& delay);

}  // namespace fftools
