#include "tools/fftools/h264_stream.h"

#include <algorithm>
#include <map>

#include "tools/common/picture_order.h"

namespace fftools {
namespace {

int NalType(const std::vector<uint8_t>& nal) { return nal.empty() ? -1 : nal[0] & 0x1F; }
bool IsSlice(int type) { return type == 1 || type == 5; }

// Exp-Golomb reader over a NAL unit's payload, emulation prevention removed.
class Bits {
public:
    explicit Bits(const std::vector<uint8_t>& nal, size_t limit = SIZE_MAX) {
        size_t zeros = 0;
        for (size_t i = 1; i < nal.size() && bytes_.size() < limit; ++i) {
            if (zeros >= 2 && nal[i] == 3) {
                zeros = 0;
                continue;
            }
            zeros = nal[i] == 0 ? zeros + 1 : 0;
            bytes_.push_back(nal[i]);
        }
    }
    uint32_t U(int count) {
        uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            if (bit_ >= bytes_.size() * 8) throw StreamError("a header of the H.264 stream is cut short");
            value = value << 1 | ((bytes_[bit_ / 8] >> (7 - bit_ % 8)) & 1);
            ++bit_;
        }
        return value;
    }
    uint32_t Ue() {
        int zeros = 0;
        while (U(1) == 0) {
            if (++zeros > 31) throw StreamError("a header of the H.264 stream is damaged");
        }
        return zeros == 0 ? 0 : ((1u << zeros) - 1 + U(zeros));
    }
    int32_t Se() {
        uint32_t code = Ue();
        return code % 2 == 1 ? static_cast<int32_t>((code + 1) / 2) : -static_cast<int32_t>(code / 2);
    }
    size_t Position() const { return bit_; }
    std::vector<uint8_t>& Bytes() { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    size_t bit_ = 0;
};

struct Sps {
    bool separateColourPlanes = false;
    uint32_t log2MaxFrameNum = 4;
    uint32_t pocType = 0;
    uint32_t log2MaxPocLsb = 4;
    bool frameMbsOnly = true;
    size_t timingBit = 0;  // where num_units_in_tick starts in the payload; 0: no timing
};

struct Pps {
    uint32_t sps = 0;
    bool bottomFieldPocPresent = false;
};

void SkipScalingList(Bits& bits, int size) {
    int last = 8, next = 8;
    for (int j = 0; j < size; ++j) {
        if (next != 0) next = (last + bits.Se() + 256) % 256;
        last = next == 0 ? last : next;
    }
}

std::pair<uint32_t, Sps> ParseSps(Bits& bits) {
    Sps sps;
    uint32_t profile = bits.U(8);
    bits.U(16);  // constraint flags, level
    uint32_t id = bits.Ue();
    static const uint32_t kHighProfiles[] = {100, 110, 122, 244, 44, 83, 86, 118, 128, 138, 139, 134, 135};
    if (std::find(std::begin(kHighProfiles), std::end(kHighProfiles), profile) != std::end(kHighProfiles)) {
        uint32_t chroma = bits.Ue();
        if (chroma == 3) sps.separateColourPlanes = bits.U(1) != 0;
        bits.Ue();  // bit depths
        bits.Ue();
        bits.U(1);
        if (bits.U(1) != 0) {
            for (int i = 0; i < (chroma == 3 ? 12 : 8); ++i) {
                if (bits.U(1) != 0) SkipScalingList(bits, i < 6 ? 16 : 64);
            }
        }
    }
    sps.log2MaxFrameNum = bits.Ue() + 4;
    sps.pocType = bits.Ue();
    if (sps.pocType == 0) {
        sps.log2MaxPocLsb = bits.Ue() + 4;
    } else if (sps.pocType == 1) {
        throw StreamError("pictures ordered by picture order count type 1 are not supported");
    }
    bits.Ue();   // reference frames
    bits.U(1);   // gaps allowed
    bits.Ue();   // width
    bits.Ue();   // height
    sps.frameMbsOnly = bits.U(1) != 0;
    if (id > 31 || sps.log2MaxFrameNum > 16 || sps.log2MaxPocLsb > 16) throw StreamError("a sequence header is damaged");
    return {id, sps};
}

std::pair<uint32_t, Sps> ParseSps(const std::vector<uint8_t>& nal) {
    Bits bits(nal);
    return ParseSps(bits);
}

// Reads on from the end of ParseSps to the VUI's timing; its bit, or 0.
size_t FindTiming(Bits& bits, const Sps& sps) {
    if (!sps.frameMbsOnly) bits.U(1);  // adaptive frame/field
    bits.U(1);                          // direct 8x8 inference
    if (bits.U(1) != 0) {               // cropping
        for (int i = 0; i < 4; ++i) bits.Ue();
    }
    if (bits.U(1) == 0) return 0;  // no VUI
    if (bits.U(1) != 0 && bits.U(8) == 255) bits.U(32);  // aspect ratio, extended
    if (bits.U(1) != 0) bits.U(1);                       // overscan
    if (bits.U(1) != 0) {                                // video signal type
        bits.U(4);
        if (bits.U(1) != 0) bits.U(24);  // colour description
    }
    if (bits.U(1) != 0) {  // chroma location
        bits.Ue();
        bits.Ue();
    }
    if (bits.U(1) == 0) return 0;  // no timing
    return bits.Position();
}

std::pair<uint32_t, Pps> ParsePps(const std::vector<uint8_t>& nal) {
    Bits bits(nal);
    Pps pps;
    uint32_t id = bits.Ue();
    pps.sps = bits.Ue();
    bits.U(1);  // entropy coding
    pps.bottomFieldPocPresent = bits.U(1) != 0;
    return {id, pps};
}

// Picture order counts of pictures in decoding order (type 0 by the lsb and
// its wrap, type 2 in decoding order).
class PocCounter {
public:
    // Returns the picture's count; sets `idr` for an IDR picture.
    int64_t Count(const std::vector<uint8_t>& slice, bool& idr) {
        idr = NalType(slice) == 5;
        Bits bits(slice, 64);
        bits.Ue();  // first macroblock
        bits.Ue();  // slice type
        auto pps = pps_.find(bits.Ue());
        if (pps == pps_.end()) throw StreamError("a picture refers to a picture header the stream lacks");
        auto sps = sps_.find(pps->second.sps);
        if (sps == sps_.end()) throw StreamError("a picture refers to a sequence header the stream lacks");
        const Sps& s = sps->second;
        if (s.separateColourPlanes) bits.U(2);
        bits.U(static_cast<int>(s.log2MaxFrameNum));
        if (!s.frameMbsOnly && bits.U(1) != 0) bits.U(1);
        if (idr) {
            bits.Ue();
            prevMsb_ = 0;
            prevLsb_ = 0;
            decoded_ = 0;
        }
        ++decoded_;
        if (s.pocType != 0) return decoded_;
        int64_t max = int64_t{1} << s.log2MaxPocLsb;
        int64_t lsb = bits.U(static_cast<int>(s.log2MaxPocLsb));
        int64_t msb = prevMsb_;
        if (lsb < prevLsb_ && prevLsb_ - lsb >= max / 2) msb += max;
        else if (lsb > prevLsb_ && lsb - prevLsb_ > max / 2) msb -= max;
        if ((slice[0] & 0x60) != 0) {  // a reference picture sets the base for the next
            prevMsb_ = msb;
            prevLsb_ = lsb;
        }
        return msb + lsb;
    }
    void Parameters(const std::vector<uint8_t>& nal) {
        if (NalType(nal) == 7) {
            auto [id, sps] = ParseSps(nal);
            sps_.insert_or_assign(id, sps);
        }
        if (NalType(nal) == 8) {
            auto [id, pps] = ParsePps(nal);
            pps_.insert_or_assign(id, pps);
        }
    }

private:
    std::map<uint32_t, Sps> sps_;
    std::map<uint32_t, Pps> pps_;
    int64_t prevMsb_ = 0, prevLsb_ = 0, decoded_ = 0;
};

}  // namespace

bool SetSpsFrameRate(std::vector<uint8_t>& nal, uint32_t num, uint32_t den) {
    if (NalType(nal) != 7) return false;
    Bits bits(nal);
    Sps sps = ParseSps(bits).second;
    size_t at = FindTiming(bits, sps);
    if (at == 0) return false;
    bits.U(64);  // both fields are there
    std::vector<uint8_t>& rbsp = bits.Bytes();
    auto put = [&](size_t bit, uint32_t value) {
        for (int i = 31; i >= 0; --i, ++bit) {
            uint8_t mask = static_cast<uint8_t>(0x80 >> (bit % 8));
            rbsp[bit / 8] = static_cast<uint8_t>(((value >> i) & 1) ? rbsp[bit / 8] | mask : rbsp[bit / 8] & ~mask);
        }
    };
    // A frame is two ticks (one per field).
    uint64_t scale = uint64_t{num} * 2;
    if (scale > UINT32_MAX) return false;
    std::vector<uint8_t> before = rbsp;
    put(at, den);
    put(at + 32, static_cast<uint32_t>(scale));
    if (rbsp == before) return false;
    // Escape again: no 00 00 0x (x <= 3) inside the payload.
    std::vector<uint8_t> out = {nal[0]};
    size_t zeros = 0;
    for (uint8_t byte : rbsp) {
        if (zeros >= 2 && byte <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        out.push_back(byte);
        zeros = byte == 0 ? zeros + 1 : 0;
    }
    nal.swap(out);
    return true;
}

bool AccessUnitReader::Fill() {
    if (ended_) return false;
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(position_));
    position_ = 0;
    size_t old = buffer_.size();
    buffer_.resize(old + readSize_);
    size_t got = std::fread(buffer_.data() + old, 1, readSize_, file_);
    buffer_.resize(old + got);
    if (got < readSize_) {
        if (std::ferror(file_)) throw StreamError("cannot read the video stream");
        ended_ = true;
    }
    return got > 0;
}

bool AccessUnitReader::NextNal(std::vector<uint8_t>& nal) {
    // Find a start code (00 00 01), then the next one or the end.
    auto findStart = [&](size_t from) -> size_t {
        for (;;) {
            for (size_t i = from; i + 2 < buffer_.size(); ++i) {
                if (buffer_[i] == 0 && buffer_[i + 1] == 0 && buffer_[i + 2] == 1) return i;
            }
            size_t scanned = buffer_.size() >= 2 ? buffer_.size() - 2 : 0;
            size_t base = position_;
            if (!Fill()) return SIZE_MAX;
            from = std::max(from, scanned) - base;  // Fill moved the data by `base`
        }
    };
    size_t start = findStart(position_);
    if (start == SIZE_MAX) return false;
    position_ = start + 3;
    size_t end = findStart(position_);
    size_t stop = end == SIZE_MAX ? buffer_.size() : end;
    // Trailing zeros belong to the next start code (00 00 00 01).
    size_t last = stop;
    while (last > position_ && buffer_[last - 1] == 0) --last;
    nal.assign(buffer_.begin() + static_cast<std::ptrdiff_t>(position_), buffer_.begin() + static_cast<std::ptrdiff_t>(last));
    position_ = stop;
    return true;
}

bool AccessUnitReader::Next(std::vector<uint8_t>& unit) {
    unit.clear();
    bool haveSlice = false;
    std::vector<uint8_t> nal;
    for (;;) {
        if (havePending_) {
            nal.swap(pending_);
            havePending_ = false;
        } else if (!NextNal(nal)) {
            return !unit.empty();
        }
        if (nal.empty()) continue;
        int type = NalType(nal);
        // A new picture starts with an access unit delimiter, parameter sets
        // or SEI after a slice, or a slice whose first macroblock is 0.
        bool starts = type == 9 || type == 6 || type == 7 || type == 8 || (type >= 14 && type <= 18) ||
                      (IsSlice(type) && nal.size() > 1 && (nal[1] & 0x80) != 0);
        if (haveSlice && starts) {
            pending_.swap(nal);
            havePending_ = true;
            return true;
        }
        if (IsSlice(type)) haveSlice = true;
        if (type == 7 && rateNum_ != 0) SetSpsFrameRate(nal, rateNum_, rateDen_);
        static const uint8_t kStart[] = {0, 0, 0, 1};
        unit.insert(unit.end(), std::begin(kStart), std::end(kStart));
        unit.insert(unit.end(), nal.begin(), nal.end());
    }
}

std::vector<int64_t> PresentationOrder(std::FILE* file, int64_t& delay) {
    AccessUnitReader reader(file);
    PocCounter counter;
    tool_args::PictureOrder order;
    std::vector<uint8_t> unit;
    while (reader.Next(unit)) {
        // Walk the unit's NAL units: parameter sets first, then its first slice.
        bool counted = false;
        size_t i = 4;
        while (i <= unit.size() && !counted) {
            size_t next = i;
            while (next + 3 < unit.size() && !(unit[next] == 0 && unit[next + 1] == 0 && unit[next + 2] == 0 && unit[next + 3] == 1)) ++next;
            if (next + 3 >= unit.size()) next = unit.size();
            std::vector<uint8_t> nal(unit.begin() + static_cast<std::ptrdiff_t>(i), unit.begin() + static_cast<std::ptrdiff_t>(next));
            if (IsSlice(NalType(nal))) {
                bool idr = false;
                int64_t count = counter.Count(nal, idr);
                order.Add(count, idr);
                counted = true;
            } else {
                counter.Parameters(nal);
            }
            i = next + 4;
        }
    }
    return order.Finish(delay);
}

}  // namespace fftools
