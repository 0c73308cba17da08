#include "tools/fftools/nal_bits.h"

#include "tools/common/stream_units.h"

namespace fftools {

Bits::Bits(const std::vector<uint8_t>& nal, size_t headerBytes, size_t limit)
    : Bits(nal.data(), nal.size(), headerBytes, limit) {}

Bits::Bits(const uint8_t* nal, size_t size, size_t headerBytes, size_t limit) {
    size_t zeros = 0;
    for (size_t i = headerBytes; i < size && bytes_.size() < limit; ++i) {
        if (zeros >= 2 && nal[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = nal[i] == 0 ? zeros + 1 : 0;
        bytes_.push_back(nal[i]);
    }
}

uint32_t Bits::U(int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
        if (bit_ >= bytes_.size() * 8) throw tool_args::StreamError("a header of the video stream is cut short");
        value = value << 1 | ((bytes_[bit_ / 8] >> (7 - bit_ % 8)) & 1);
        ++bit_;
    }
    return value;
}

uint32_t Bits::Ue() {
    int zeros = 0;
    while (U(1) == 0) {
        if (++zeros > 31) throw tool_args::StreamError("a header of the video stream is damaged");
    }
    return zeros == 0 ? 0 : ((1u << zeros) - 1 + U(zeros));
}

int32_t Bits::Se() {
    uint32_t code = Ue();
    return code % 2 == 1 ? static_cast<int32_t>((code + 1) / 2) : -static_cast<int32_t>(code / 2);
}

void Bits::Skip(size_t count) {
    for (; count > 32; count -= 32)
        U(32);
    U(static_cast<int>(count));
}

void SkipVuiStart(Bits& bits) {
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
}

bool RewriteFields(std::vector<uint8_t>& nal, size_t headerBytes, const Bits& bits,
                   const std::vector<std::pair<size_t, uint32_t>>& fields) {
    std::vector<uint8_t> rbsp = bits.Bytes();
    for (auto [bit, value] : fields) {
        if (bit + 32 > rbsp.size() * 8) throw tool_args::StreamError("a header of the video stream is cut short");
        for (int i = 31; i >= 0; --i, ++bit) {
            uint8_t mask = static_cast<uint8_t>(0x80 >> (bit % 8));
            rbsp[bit / 8] = static_cast<uint8_t>(((value >> i) & 1) ? rbsp[bit / 8] | mask : rbsp[bit / 8] & ~mask);
        }
    }
    if (rbsp == bits.Bytes()) return false;
    // Escape again: no 00 00 0x (x <= 3) inside the payload.
    std::vector<uint8_t> out(nal.begin(), nal.begin() + static_cast<std::ptrdiff_t>(headerBytes));
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

}  // namespace fftools
