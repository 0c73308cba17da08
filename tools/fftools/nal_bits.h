// The payload of an H.264 or HEVC NAL unit read bit by bit (exp-Golomb codes
// too), and fields of it written back.
#pragma once
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace fftools {

class Bits {
public:
    // The payload after `headerBytes` of `nal`, emulation prevention removed,
    // `limit` bytes of it at most.
    Bits(const std::vector<uint8_t>& nal, size_t headerBytes, size_t limit = SIZE_MAX);
    Bits(const uint8_t* nal, size_t size, size_t headerBytes, size_t limit = SIZE_MAX);
    // Throw StreamError past the end.
    uint32_t U(int count);
    uint32_t Ue();
    int32_t Se();
    void Skip(size_t count);
    size_t Position() const { return bit_; }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    size_t bit_ = 0;
};

// The first fields of a VUI, the same in H.264 and HEVC: aspect ratio,
// overscan, video signal type and chroma location.
void SkipVuiStart(Bits& bits);

// `nal` with 32-bit `fields` (bit position in `bits`' payload, value)
// written into that payload, escaped again. Returns whether it changed.
bool RewriteFields(std::vector<uint8_t>& nal, size_t headerBytes, const Bits& bits,
                   const std::vector<std::pair<size_t, uint32_t>>& fields);

}  // namespace fftools
