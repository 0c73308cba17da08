// An AV1 low-overhead OBU stream read as temporal units: each starts with a
// temporal delimiter and shows one picture, in presentation order, so the
// muxer gives them one frame each.
#pragma once
#include <cstdint>
#include <cstdio>
#include <vector>

#include "tools/common/stream_units.h"

namespace fftools {

class TemporalUnitReader {
public:
    explicit TemporalUnitReader(std::FILE* file) : file_(file) {}
    // The next temporal unit, checked by TemporalUnitObus; false at the end.
    // Throws StreamError for a stream it cannot use or a read error.
    bool Next(std::vector<uint8_t>& unit);

private:
    // Appends the next OBU to `out`; false at the end of the file.
    bool ReadObu(std::vector<uint8_t>& out, int& type);

    std::FILE* file_;
    std::vector<uint8_t> pending_;  // a temporal delimiter read ahead
    bool first_ = true;
};

// How many temporal units the stream holds, every one checked.
int64_t CountTemporalUnits(std::FILE* file);

}  // namespace fftools
