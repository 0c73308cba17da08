// Presentation order from picture order counts, for muxers of bare H.264
// streams (which hold no times).
#pragma once
#include <cstdint>
#include <vector>

namespace tool_args {

// Collects pictures in decoding order and ranks them.
class PictureOrder {
public:
    // The next picture: its order count, and whether it is an IDR picture
    // (where the counts start again).
    void Add(int64_t orderCount, bool idr);
    // Each picture's presentation index (from 0), in decoding order; `delay`
    // becomes the most frames any picture is shown before its decoding index
    // (how far decoding times start below zero so that presentation starts
    // at 0).
    std::vector<int64_t> Finish(int64_t& delay);

private:
    struct Picture {
        int64_t decode;
        int64_t order;
    };
    void ClosePeriod();

    std::vector<int64_t> presentation_;
    std::vector<Picture> period_;  // since the last IDR picture
};

}  // namespace tool_args
