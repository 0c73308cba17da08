#include "tools/common/stream_units.h"

#include <algorithm>
#include <cstring>

namespace tool_args {
namespace {

bool StartCodeAt(const uint8_t* data, size_t size, size_t i) {
    return i + 2 < size && data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1;
}

bool SameBytes(const std::vector<uint8_t>& kept, const Piece& nal) {
    return kept.size() == nal.size && std::memcmp(kept.data(), nal.data, nal.size) == 0;
}

}  // namespace

std::vector<Piece> NalUnits(const uint8_t* data, size_t size) {
    std::vector<Piece> nals;
    size_t i = 0;
    while (i < size && !StartCodeAt(data, size, i))
        ++i;
    while (i < size) {
        size_t start = i + 3, end = start;
        while (end < size && !StartCodeAt(data, size, end))
            ++end;
        size_t last = end;
        while (last > start && data[last - 1] == 0)
            --last;
        if (last > start) nals.push_back({data + start, last - start});
        i = end;
    }
    return nals;
}

HevcUnits::Unit HevcUnits::Next(const uint8_t* data, size_t size) {
    Unit unit;
    bool haveSlice = false;
    bool endBefore = afterEnd_;
    afterEnd_ = false;
    for (const Piece& nal : NalUnits(data, size)) {
        int type = HevcNalType(nal);
        if (type >= 32 && type <= 34) {
            unit.parameterSets.push_back(nal);
            if (first_) {
                parameterSets_.emplace_back(nal.data, nal.data + nal.size);
            } else if (std::none_of(parameterSets_.begin(), parameterSets_.end(),
                                    [&](const std::vector<uint8_t>& kept) { return SameBytes(kept, nal); })) {
                throw StreamError("the HEVC stream changes its parameter sets after the first picture");
            }
        } else if (type >= 0 && type < 32 && !haveSlice) {
            unit.slice = nal;
            haveSlice = true;
        } else if (type == 36) {
            afterEnd_ = true;
        }
    }
    if (!haveSlice) throw StreamError("the HEVC stream holds an access unit without a picture");
    if (first_ && parameterSets_.empty())
        throw StreamError("the HEVC stream has no parameter sets before its first picture");
    int type = HevcNalType(unit.slice);
    // IDR and BLA always; a CRA where decoding can start.
    unit.afresh = (type >= 16 && type <= 23 && type != 21) || (type == 21 && (first_ || endBefore));
    first_ = false;
    return unit;
}

int ObuHeaderLength(uint8_t first, int& type) {
    if ((first & 0x80) != 0) throw StreamError("the AV1 stream is damaged: an OBU header sets its forbidden bit");
    if ((first & 0x02) == 0) throw StreamError("the AV1 stream is not in the low-overhead format: an OBU has no size");
    type = (first >> 3) & 0x0F;
    return (first & 0x04) != 0 ? 2 : 1;
}

size_t ReadLeb128(const uint8_t* data, size_t size, uint64_t& value) {
    value = 0;
    for (size_t i = 0; i < 8; ++i) {
        if (i >= size) return 0;
        value |= uint64_t{data[i] & 0x7Fu} << (7 * i);
        if ((data[i] & 0x80) == 0) {
            if (value > UINT32_MAX) throw StreamError("the AV1 stream is damaged: an OBU size is too large");
            return i + 1;
        }
    }
    throw StreamError("the AV1 stream is damaged: an OBU size is too long");
}

std::vector<Obu> TemporalUnitObus(const uint8_t* data, size_t size, bool first) {
    std::vector<Obu> obus;
    bool frame = false, sequence = false;
    for (size_t at = 0; at < size;) {
        Obu obu;
        size_t header = static_cast<size_t>(ObuHeaderLength(data[at], obu.type));
        uint64_t payload = 0;
        size_t field = at + header <= size ? ReadLeb128(data + at + header, size - at - header, payload) : 0;
        if (field == 0 || payload > size - at - header - field) throw StreamError("the AV1 stream is cut short");
        obu.whole = {data + at, header + field + static_cast<size_t>(payload)};
        at += obu.whole.size;
        if (obus.empty() && obu.type != kObuTemporalDelimiter) {
            throw StreamError("the AV1 stream is damaged: a temporal unit does not start with a temporal delimiter");
        }
        frame = frame || obu.type == kObuFrame || obu.type == kObuFrameHeader;
        sequence = sequence || obu.type == kObuSequenceHeader;
        obus.push_back(obu);
    }
    if (!frame) throw StreamError("the AV1 stream holds a temporal unit without a picture");
    if (first && !sequence) throw StreamError("the AV1 stream has no sequence header before its first picture");
    return obus;
}

}  // namespace tool_args
