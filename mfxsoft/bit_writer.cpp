#include "mfxsoft/bit_writer.h"

#include <algorithm>

namespace mfxsoft {

void BitWriter::Put(uint32_t value, int count) {
    if (bits_ == 0 && count == 8) {  // PCM samples: whole bytes
        bytes_.push_back(static_cast<uint8_t>(value));
        return;
    }
    for (int i = count - 1; i >= 0; --i) {
        current_ = current_ << 1 | ((value >> i) & 1u);
        if (++bits_ == 8) {
            bytes_.push_back(static_cast<uint8_t>(current_));
            current_ = 0;
            bits_ = 0;
        }
    }
}

void BitWriter::PutUe(uint32_t value) {
    const uint64_t coded = static_cast<uint64_t>(value) + 1;
    int length = 0;
    while ((coded >> length) > 1) ++length;
    Put(0, length);
    // The value plus one in length + 1 bits, written in two parts for 32-bit values.
    if (length >= 32) {
        Put(1, 1);
        Put(static_cast<uint32_t>(coded), 32);
    } else {
        Put(static_cast<uint32_t>(coded), length + 1);
    }
}

void BitWriter::PutSe(int32_t value) {
    const int64_t v = value;
    PutUe(static_cast<uint32_t>(v > 0 ? 2 * v - 1 : -2 * v));
}

void BitWriter::PutTrailingBits() {
    PutBit(true);
    AlignZero();
}

void BitWriter::AlignZero() {
    if (bits_ != 0) Put(0, 8 - bits_);
}

std::vector<uint8_t> BitWriter::Bytes() const {
    std::vector<uint8_t> bytes = bytes_;
    if (bits_ != 0) bytes.push_back(static_cast<uint8_t>(current_ << (8 - bits_)));
    return bytes;
}

void AppendNal(std::vector<uint8_t>* out, const std::vector<uint8_t>& nal) {
    static const uint8_t kStartCode[] = {0, 0, 0, 1};
    out->insert(out->end(), std::begin(kStartCode), std::end(kStartCode));
    int zeros = 0;
    for (uint8_t byte : nal) {
        if (zeros >= 2 && byte <= 3) {
            out->push_back(3);
            zeros = 0;
        }
        out->push_back(byte);
        zeros = byte == 0 ? zeros + 1 : 0;
    }
    // A NAL unit never ends in a zero byte: the trailing bits put a 1 last.
}

namespace {

const uint8_t kRangeLps[64][4] = {
    {128, 176, 208, 240}, {128, 167, 197, 227}, {128, 158, 187, 216}, {123, 150, 178, 205}, {116, 142, 169, 195},
    {111, 135, 160, 185}, {105, 128, 152, 175}, {100, 122, 144, 166}, {95, 116, 137, 158},  {90, 110, 130, 150},
    {85, 104, 123, 142},  {81, 99, 117, 135},   {77, 94, 111, 128},   {73, 89, 105, 122},   {69, 85, 100, 116},
    {66, 80, 95, 110},    {62, 76, 90, 104},    {59, 72, 86, 99},     {56, 69, 81, 94},     {53, 65, 77, 89},
    {51, 62, 73, 85},     {48, 59, 69, 80},     {46, 56, 66, 76},     {43, 53, 63, 72},     {41, 50, 59, 69},
    {39, 48, 56, 65},     {37, 45, 54, 62},     {35, 43, 51, 59},     {33, 41, 48, 56},     {32, 39, 46, 53},
    {30, 37, 43, 50},     {29, 35, 41, 48},     {27, 33, 39, 45},     {26, 31, 37, 43},     {24, 30, 35, 41},
    {23, 28, 33, 39},     {22, 27, 32, 37},     {21, 26, 30, 35},     {20, 24, 29, 33},     {19, 23, 27, 31},
    {18, 22, 26, 30},     {17, 21, 25, 28},     {16, 20, 23, 27},     {15, 19, 22, 25},     {14, 18, 21, 24},
    {14, 17, 20, 23},     {13, 16, 19, 22},     {12, 15, 18, 21},     {12, 14, 17, 20},     {11, 14, 16, 19},
    {11, 13, 15, 18},     {10, 12, 15, 17},     {10, 12, 14, 16},     {9, 11, 13, 15},      {9, 11, 12, 14},
    {8, 10, 12, 14},      {8, 9, 11, 13},       {7, 9, 11, 12},       {7, 9, 10, 12},       {7, 8, 10, 11},
    {6, 8, 9, 11},        {6, 7, 9, 10},        {6, 7, 8, 9},         {2, 2, 2, 2}};

const uint8_t kNextStateLps[64] = {0,  0,  1,  2,  2,  4,  4,  5,  6,  7,  8,  9,  9,  11, 11, 12,
                                   13, 13, 15, 15, 16, 16, 18, 18, 19, 19, 21, 21, 22, 22, 23, 24,
                                   24, 25, 26, 26, 27, 27, 28, 29, 29, 30, 30, 30, 31, 32, 32, 33,
                                   33, 33, 34, 34, 35, 35, 35, 36, 36, 36, 37, 37, 37, 38, 38, 63};

}  // namespace

uint8_t CabacWriter::InitContext(int initValue, int qp) {
    const int slope = (initValue >> 4) * 5 - 45;
    const int offset = ((initValue & 15) << 3) - 16;
    const int state = std::clamp(((slope * std::clamp(qp, 0, 51)) >> 4) + offset, 1, 126);
    return state <= 63 ? static_cast<uint8_t>((63 - state) << 1) : static_cast<uint8_t>((state - 64) << 1 | 1);
}

void CabacWriter::Start() {
    low_ = 0;
    range_ = 510;
    outstanding_ = 0;
    firstBit_ = true;
}

void CabacWriter::EncodeBin(uint8_t* context, bool bin) {
    int state = *context >> 1;
    int mps = *context & 1;
    const uint32_t lps = kRangeLps[state][(range_ >> 6) & 3];
    range_ -= lps;
    if (static_cast<int>(bin) != mps) {
        low_ += range_;
        range_ = lps;
        if (state == 0) mps = 1 - mps;
        state = kNextStateLps[state];
    } else {
        state = std::min(state + 1, 62);
    }
    *context = static_cast<uint8_t>(state << 1 | mps);
    Renormalize();
}

void CabacWriter::EncodeBypass(bool bin) {
    low_ <<= 1;
    if (bin) low_ += range_;
    if (low_ >= 1024) {
        PutBit(1);
        low_ -= 1024;
    } else if (low_ < 512) {
        PutBit(0);
    } else {
        low_ -= 512;
        ++outstanding_;
    }
}

void CabacWriter::EncodeTerminate(bool bin) {
    range_ -= 2;
    if (!bin) {
        Renormalize();
        return;
    }
    low_ += range_;
    range_ = 2;
    Renormalize();
    PutBit(static_cast<int>((low_ >> 9) & 1));
    out_->Put(((low_ >> 7) & 3) | 1, 2);
}

void CabacWriter::Renormalize() {
    while (range_ < 256) {
        if (low_ < 256) {
            PutBit(0);
        } else if (low_ >= 512) {
            low_ -= 512;
            PutBit(1);
        } else {
            low_ -= 256;
            ++outstanding_;
        }
        range_ <<= 1;
        low_ <<= 1;
    }
}

void CabacWriter::PutBit(int bit) {
    if (firstBit_) {
        firstBit_ = false;
    } else {
        out_->PutBit(bit != 0);
    }
    for (; outstanding_ > 0; --outstanding_) out_->PutBit(bit == 0);
}

}  // namespace mfxsoft

namespace mfxsoft {

void SymbolWriter::Encode(int symbol, const uint16_t* cdf, int symbols) {
    // Inverse CDF values, as the decoder uses them.
    const uint32_t fl = symbol > 0 ? 32768u - cdf[symbol - 1] : 32768u;
    const uint32_t fh = 32768u - cdf[symbol];
    const int n = symbols - 1;
    uint64_t low = low_;
    uint32_t range = range_;
    if (fl < 32768u) {
        const uint32_t u = ((range >> 8) * (fl >> 6) >> 1) + 4u * static_cast<uint32_t>(n - (symbol - 1));
        const uint32_t v = ((range >> 8) * (fh >> 6) >> 1) + 4u * static_cast<uint32_t>(n - symbol);
        low += range - u;
        range = u - v;
    } else {
        range -= ((range >> 8) * (fh >> 6) >> 1) + 4u * static_cast<uint32_t>(n - symbol);
    }
    Normalize(low, range);
}

void SymbolWriter::Normalize(uint64_t low, uint32_t range) {
    int leading = 0;
    while ((range << leading & 0x8000u) == 0) ++leading;
    const int d = leading;  // range < 2^16 after a symbol: shift it back to [2^15, 2^16)
    int c = count_;
    int s = c + d;
    if (s >= 0) {
        c += 16;
        uint64_t mask = (uint64_t{1} << c) - 1;
        if (s >= 8) {
            precarry_.push_back(static_cast<uint16_t>(low >> c));
            low &= mask;
            c -= 8;
            mask >>= 8;
        }
        precarry_.push_back(static_cast<uint16_t>(low >> c));
        s = c + d - 24;
        low &= mask;
    }
    low_ = low << d;
    range_ = range << d;
    count_ = s;
}

std::vector<uint8_t> SymbolWriter::Finish() {
    std::vector<uint16_t> buffer = precarry_;
    uint64_t low = low_;
    int c = count_;
    int s = 10;
    const uint64_t m = 0x3FFF;
    uint64_t e = ((low + m) & ~m) | (m + 1);
    s += c;
    if (s > 0) {
        uint64_t n = (uint64_t{1} << (c + 16)) - 1;
        do {
            buffer.push_back(static_cast<uint16_t>(e >> (c + 16)));
            e &= n;
            s -= 8;
            c -= 8;
            n >>= 8;
        } while (s > 0);
    }
    std::vector<uint8_t> out(buffer.size());
    uint32_t carry = 0;
    for (size_t i = buffer.size(); i-- > 0;) {
        carry = buffer[i] + carry;
        out[i] = static_cast<uint8_t>(carry);
        carry >>= 8;
    }
    return out;
}

}  // namespace mfxsoft
