#include "tools/fftools/hevc_stream.h"

#include <algorithm>

#include "tools/fftools/nal_bits.h"

namespace fftools {
namespace {

using tool_args::HevcNalType;
using tool_args::StreamError;
using Sps = HevcPocCounter::Sps;

constexpr size_t kHeader = 2;  // NAL unit header bytes

void SkipProfileTierLevel(Bits& bits, uint32_t maxSubLayersMinus1) {
    bits.Skip(96);  // general profile, tier, flags and level
    bool profile[8] = {}, level[8] = {};
    for (uint32_t i = 0; i < maxSubLayersMinus1; ++i) {
        profile[i] = bits.U(1) != 0;
        level[i] = bits.U(1) != 0;
    }
    if (maxSubLayersMinus1 > 0) bits.Skip(2 * (8 - maxSubLayersMinus1));
    for (uint32_t i = 0; i < maxSubLayersMinus1; ++i) {
        if (profile[i]) bits.Skip(88);
        if (level[i]) bits.Skip(8);
    }
}

void SkipSubLayerOrdering(Bits& bits, uint32_t maxSubLayersMinus1) {
    bool all = bits.U(1) != 0;
    for (uint32_t i = all ? 0 : maxSubLayersMinus1; i <= maxSubLayersMinus1; ++i) {
        bits.Ue();
        bits.Ue();
        bits.Ue();
    }
}

// Through log2_max_pic_order_cnt_lsb_minus4; returns the SPS's id.
uint32_t ParseSps(Bits& bits, Sps& sps, uint32_t& maxSubLayersMinus1) {
    bits.U(4);  // VPS id
    maxSubLayersMinus1 = bits.U(3);
    if (maxSubLayersMinus1 > 6) throw StreamError("a sequence parameter set is damaged");
    bits.U(1);
    SkipProfileTierLevel(bits, maxSubLayersMinus1);
    uint32_t id = bits.Ue();
    if (bits.Ue() == 3) sps.separateColourPlanes = bits.U(1) != 0;
    bits.Ue();  // width
    bits.Ue();  // height
    if (bits.U(1) != 0) {
        for (int i = 0; i < 4; ++i)
            bits.Ue();  // conformance window
    }
    bits.Ue();  // bit depths
    bits.Ue();
    sps.log2MaxPocLsb = bits.Ue() + 4;
    if (id > 15 || sps.log2MaxPocLsb > 16) throw StreamError("a sequence parameter set is damaged");
    return id;
}

void SkipScalingLists(Bits& bits) {
    for (int size = 0; size < 4; ++size) {
        for (int matrix = 0; matrix < 6; matrix += size == 3 ? 3 : 1) {
            if (bits.U(1) == 0) {
                bits.Ue();  // predicted from another matrix
                continue;
            }
            int coefficients = std::min(64, 1 << (4 + (size << 1)));
            if (size > 1) bits.Se();
            for (int i = 0; i < coefficients; ++i)
                bits.Se();
        }
    }
}

// The short-term reference sets of an SPS; each may be predicted from the
// one before it, so their sizes are kept.
void SkipShortTermSets(Bits& bits) {
    uint32_t count = bits.Ue();
    if (count > 64) throw StreamError("a sequence parameter set is damaged");
    std::vector<uint32_t> deltas(count);
    for (uint32_t i = 0; i < count; ++i) {
        if (i != 0 && bits.U(1) != 0) {
            bits.U(1);  // sign
            bits.Ue();  // magnitude
            for (uint32_t j = 0; j <= deltas[i - 1]; ++j) {
                bool used = bits.U(1) != 0;
                if (used || bits.U(1) != 0) ++deltas[i];
            }
            continue;
        }
        uint32_t negative = bits.Ue(), positive = bits.Ue();
        if (negative > 16 || positive > 16) throw StreamError("a sequence parameter set is damaged");
        deltas[i] = negative + positive;
        for (uint32_t j = 0; j < deltas[i]; ++j) {
            bits.Ue();
            bits.U(1);
        }
    }
}

// Reads on from the end of ParseSps to the VUI's timing; its bit, or 0.
size_t FindSpsTiming(Bits& bits, const Sps& sps, uint32_t maxSubLayersMinus1) {
    SkipSubLayerOrdering(bits, maxSubLayersMinus1);
    for (int i = 0; i < 6; ++i)
        bits.Ue();  // block sizes, transform depths
    if (bits.U(1) != 0 && bits.U(1) != 0) SkipScalingLists(bits);
    bits.U(2);             // asymmetric partitions, sample adaptive offset
    if (bits.U(1) != 0) {  // PCM
        bits.U(8);
        bits.Ue();
        bits.Ue();
        bits.U(1);
    }
    SkipShortTermSets(bits);
    if (bits.U(1) != 0) {  // long-term reference pictures
        uint32_t count = bits.Ue();
        if (count > 32) throw StreamError("a sequence parameter set is damaged");
        for (uint32_t i = 0; i < count; ++i)
            bits.Skip(sps.log2MaxPocLsb + 1);
    }
    bits.U(2);                     // temporal motion vectors, strong intra smoothing
    if (bits.U(1) == 0) return 0;  // no VUI
    SkipVuiStart(bits);
    bits.U(3);             // neutral chroma, field sequence, frame/field information
    if (bits.U(1) != 0) {  // default display window
        for (int i = 0; i < 4; ++i)
            bits.Ue();
    }
    if (bits.U(1) == 0) return 0;  // no timing
    return bits.Position();
}

size_t FindVpsTiming(Bits& bits) {
    bits.U(4 + 1 + 1 + 6);  // id, base layer flags, layers
    uint32_t maxSubLayersMinus1 = bits.U(3);
    if (maxSubLayersMinus1 > 6) throw StreamError("a video parameter set is damaged");
    bits.U(1 + 16);
    SkipProfileTierLevel(bits, maxSubLayersMinus1);
    SkipSubLayerOrdering(bits, maxSubLayersMinus1);
    uint32_t maxLayerId = bits.U(6);
    uint32_t layerSets = bits.Ue();
    if (layerSets > 1023) throw StreamError("a video parameter set is damaged");
    bits.Skip(static_cast<size_t>(layerSets) * (maxLayerId + 1));
    if (bits.U(1) == 0) return 0;  // no timing
    return bits.Position();
}

}  // namespace

bool SetHevcFrameRate(std::vector<uint8_t>& nal, uint32_t num, uint32_t den) {
    int type = HevcNalType({nal.data(), nal.size()});
    if (type != 32 && type != 33) return false;
    Bits bits(nal, kHeader);
    size_t at = 0;
    if (type == 32) {
        at = FindVpsTiming(bits);
    } else {
        Sps sps;
        uint32_t maxSubLayersMinus1 = 0;
        ParseSps(bits, sps, maxSubLayersMinus1);
        at = FindSpsTiming(bits, sps, maxSubLayersMinus1);
    }
    if (at == 0) return false;
    // One tick a frame.
    return RewriteFields(nal, kHeader, bits, {{at, den}, {at + 32, num}});
}

void HevcPocCounter::Parameters(const tool_args::Piece& nal) {
    int type = HevcNalType(nal);
    if (type == 33) {
        Bits bits(nal.data, nal.size, kHeader);
        Sps sps;
        uint32_t maxSubLayersMinus1 = 0;
        uint32_t id = ParseSps(bits, sps, maxSubLayersMinus1);
        sps_.insert_or_assign(id, sps);
    } else if (type == 34) {
        Bits bits(nal.data, nal.size, kHeader);
        uint32_t id = bits.Ue();
        Pps pps;
        pps.sps = bits.Ue();
        bits.U(1);  // dependent slice segments
        pps.outputFlagPresent = bits.U(1) != 0;
        pps.extraSliceHeaderBits = bits.U(3);
        if (id > 63) throw StreamError("a picture parameter set is damaged");
        pps_.insert_or_assign(id, pps);
    }
}

int64_t HevcPocCounter::Count(const tool_args::Piece& slice, bool afresh) {
    int type = HevcNalType(slice);
    Bits bits(slice.data, slice.size, kHeader, 64);
    if (bits.U(1) == 0) throw StreamError("the HEVC stream is damaged: a picture starts without its first slice");
    if (type >= 16 && type <= 23) bits.U(1);  // no output of prior pictures
    auto pps = pps_.find(bits.Ue());
    if (pps == pps_.end()) throw StreamError("a picture refers to a picture parameter set the stream lacks");
    auto sps = sps_.find(pps->second.sps);
    if (sps == sps_.end()) throw StreamError("a picture refers to a sequence parameter set the stream lacks");
    bits.Skip(pps->second.extraSliceHeaderBits);
    bits.Ue();  // slice type
    if (pps->second.outputFlagPresent) bits.U(1);
    if (sps->second.separateColourPlanes) bits.U(2);
    bool idr = type == 19 || type == 20;
    int64_t max = int64_t{1} << sps->second.log2MaxPocLsb;
    int64_t lsb = idr ? 0 : bits.U(static_cast<int>(sps->second.log2MaxPocLsb));
    int64_t msb = 0;
    if (!afresh) {
        int64_t prevLsb = prevPoc_ & (max - 1);
        msb = prevPoc_ - prevLsb;
        if (lsb < prevLsb && prevLsb - lsb >= max / 2)
            msb += max;
        else if (lsb > prevLsb && lsb - prevLsb > max / 2)
            msb -= max;
    }
    int64_t poc = msb + lsb;
    // Temporal layer 0, not a leading picture (RADL, RASL), not a sub-layer
    // non-reference picture (an even type up to 14): the base for the next.
    int temporalId = (slice.data[1] & 0x07) - 1;
    bool leading = type >= 6 && type <= 9;
    bool subLayerNonReference = type <= 14 && type % 2 == 0;
    if (temporalId == 0 && !leading && !subLayerNonReference) prevPoc_ = poc;
    return poc;
}

}  // namespace fftools
