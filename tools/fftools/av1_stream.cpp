#include "tools/fftools/av1_stream.h"

#include <algorithm>

namespace fftools {

using tool_args::StreamError;

bool TemporalUnitReader::ReadObu(std::vector<uint8_t>& out, int& type) {
    size_t start = out.size();
    auto byte = [&]() {
        int c = std::fgetc(file_);
        if (c == EOF) {
            if (std::ferror(file_)) throw StreamError("cannot read the video stream");
            if (out.size() == start) return false;
            throw StreamError("the AV1 stream is cut short");
        }
        out.push_back(static_cast<uint8_t>(c));
        return true;
    };
    if (!byte()) return false;
    int header = tool_args::ObuHeaderLength(out[start], type);
    // Every unit starts with a temporal delimiter: fail on what is no OBU
    // stream at once, rather than read it whole.
    if (start == 0 && type != tool_args::kObuTemporalDelimiter) {
        throw StreamError(first_
                              ? "the file is not an AV1 OBU stream: it does not start with a temporal delimiter"
                              : "the AV1 stream is damaged: a temporal unit does not start with a temporal delimiter");
    }
    if (header == 2) byte();
    uint64_t size = 0;
    for (size_t length = 0; length == 0;) {
        byte();
        length = tool_args::ReadLeb128(out.data() + start + header, out.size() - start - header, size);
    }
    // Read in steps, so that a damaged size cannot ask for gigabytes at once.
    while (size > 0) {
        size_t step = static_cast<size_t>(std::min<uint64_t>(size, size_t{1} << 20));
        size_t at = out.size();
        out.resize(at + step);
        size_t got = std::fread(out.data() + at, 1, step, file_);
        if (got < step) {
            if (std::ferror(file_)) throw StreamError("cannot read the video stream");
            throw StreamError("the AV1 stream is cut short");
        }
        size -= step;
    }
    return true;
}

bool TemporalUnitReader::Next(std::vector<uint8_t>& unit) {
    unit.swap(pending_);
    pending_.clear();
    for (;;) {
        size_t at = unit.size();
        int type = 0;
        if (!ReadObu(unit, type)) break;
        if (type == tool_args::kObuTemporalDelimiter && at > 0) {
            pending_.assign(unit.begin() + static_cast<std::ptrdiff_t>(at), unit.end());
            unit.resize(at);
            break;
        }
    }
    if (unit.empty()) return false;
    tool_args::TemporalUnitObus(unit.data(), unit.size(), first_);
    first_ = false;
    return true;
}

int64_t CountTemporalUnits(std::FILE* file) {
    TemporalUnitReader reader(file);
    int64_t count = 0;
    for (std::vector<uint8_t> unit; reader.Next(unit);)
        ++count;
    return count;
}

}  // namespace fftools
