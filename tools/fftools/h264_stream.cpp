#include "tools/fftools/h264_stream.h"

#include <algorithm>

#include "tools/fftools/nal_bits.h"

namespace fftools {
namespace {

using Sps = H264PocCounter::Sps;
using Pps = H264PocCounter::Pps;

int NalType(const uint8_t* nal, size_t size) { return size == 0 ? -1 : nal[0] & 0x1F; }

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
    bits.Ue();  // reference frames
    bits.U(1);  // gaps allowed
    bits.Ue();  // width
    bits.Ue();  // height
    sps.frameMbsOnly = bits.U(1) != 0;
    if (id > 31 || sps.log2MaxFrameNum > 16 || sps.log2MaxPocLsb > 16)
        throw StreamError("a sequence header is damaged");
    return {id, sps};
}

// Reads on from the end of ParseSps to the VUI's timing; its bit, or 0.
size_t FindTiming(Bits& bits, const Sps& sps) {
    if (!sps.frameMbsOnly) bits.U(1);  // adaptive frame/field
    bits.U(1);                         // direct 8x8 inference
    if (bits.U(1) != 0) {              // cropping
        for (int i = 0; i < 4; ++i)
            bits.Ue();
    }
    if (bits.U(1) == 0) return 0;  // no VUI
    SkipVuiStart(bits);
    if (bits.U(1) == 0) return 0;  // no timing
    return bits.Position();
}

}  // namespace

void H264PocCounter::Parameters(const tool_args::Piece& nal) {
    int type = NalType(nal.data, nal.size);
    if (type == 7) {
        Bits bits(nal.data, nal.size, 1);
        auto [id, sps] = ParseSps(bits);
        sps_.insert_or_assign(id, sps);
    } else if (type == 8) {
        Bits bits(nal.data, nal.size, 1);
        uint32_t id = bits.Ue();
        pps_.insert_or_assign(id, Pps{bits.Ue()});
    }
}

int64_t H264PocCounter::Count(const tool_args::Piece& slice, bool& idr) {
    idr = NalType(slice.data, slice.size) == 5;
    Bits bits(slice.data, slice.size, 1, 64);
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
    if (lsb < prevLsb_ && prevLsb_ - lsb >= max / 2)
        msb += max;
    else if (lsb > prevLsb_ && lsb - prevLsb_ > max / 2)
        msb -= max;
    if ((slice.data[0] & 0x60) != 0) {  // a reference picture sets the base for the next
        prevMsb_ = msb;
        prevLsb_ = lsb;
    }
    return msb + lsb;
}

bool SetSpsFrameRate(std::vector<uint8_t>& nal, uint32_t num, uint32_t den) {
    if (NalType(nal.data(), nal.size()) != 7) return false;
    Bits bits(nal, 1);
    Sps sps = ParseSps(bits).second;
    size_t at = FindTiming(bits, sps);
    if (at == 0) return false;
    // A frame is two ticks (one per field).
    uint64_t scale = uint64_t{num} * 2;
    if (scale > UINT32_MAX) return false;
    return RewriteFields(nal, 1, bits, {{at, den}, {at + 32, static_cast<uint32_t>(scale)}});
}

}  // namespace fftools
