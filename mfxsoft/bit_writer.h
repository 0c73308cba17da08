// Bit-level writers for the null encoder's streams: MSB-first bits with
// exp-Golomb codes (H.264, HEVC and AV1 headers), NAL unit framing with
// emulation prevention, and HEVC's binary arithmetic coder. Each object
// belongs to the one thread that builds a picture.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace mfxsoft {

class BitWriter {
public:
    // The `count` low bits of `value`, most significant first; count 0..32.
    void Put(uint32_t value, int count);
    void PutBit(bool bit) { Put(bit ? 1 : 0, 1); }
    void PutUe(uint32_t value);  // ue(v): unsigned exp-Golomb
    void PutSe(int32_t value);   // se(v): signed exp-Golomb
    // A 1 bit, then zeros up to the byte boundary (rbsp_trailing_bits).
    void PutTrailingBits();
    // Zeros up to the byte boundary (nothing when aligned).
    void AlignZero();
    bool Aligned() const { return bits_ == 0; }
    size_t BitCount() const { return bytes_.size() * 8 + static_cast<size_t>(bits_); }
    // The bytes written; a partial last byte is padded with zeros.
    std::vector<uint8_t> Bytes() const;

private:
    std::vector<uint8_t> bytes_;  // whole bytes
    uint32_t current_ = 0;        // bits of the partial byte, right-aligned
    int bits_ = 0;                // 0..7
};

// Appends a start code and the NAL unit `nal` (header and payload) with
// emulation prevention bytes: no 00 00 0x (x <= 3) survives inside it.
void AppendNal(std::vector<uint8_t>* out, const std::vector<uint8_t>& nal);

// HEVC's (and H.264's) context-adaptive binary arithmetic coder, writing
// into a BitWriter. A context is one byte: state index << 1 | MPS.
class CabacWriter {
public:
    explicit CabacWriter(BitWriter* out) : out_(out) {}
    // The context of `initValue` at slice QP `qp` (HEVC's context init).
    static uint8_t InitContext(int initValue, int qp);
    // Restarts the coder (after PCM samples, at the start of slice data).
    void Start();
    void EncodeBin(uint8_t* context, bool bin);
    void EncodeBypass(bool bin);
    // A terminating bin; when it is 1, the coder is flushed: the last bit
    // written is a 1 (the stop bit at the slice end) and output is bit-exact
    // up to there, so PCM samples or trailing bits follow directly.
    void EncodeTerminate(bool bin);

private:
    void Renormalize();
    void PutBit(int bit);

    BitWriter* out_;
    uint32_t low_ = 0;
    uint32_t range_ = 510;
    int outstanding_ = 0;
    bool firstBit_ = true;
};

}  // namespace mfxsoft

namespace mfxsoft {

// AV1's multi-symbol arithmetic coder (the encoder side of the decoder's
// symbol process): symbols against fixed CDFs, no adaptation (frames set
// disable_cdf_update). A CDF is given as the cumulative values c[0..n-1] of
// an n-symbol alphabet, c[n-1] = 32768.
class SymbolWriter {
public:
    void Encode(int symbol, const uint16_t* cdf, int symbols);
    // The tile data: the fewest bytes that decode to every symbol coded.
    std::vector<uint8_t> Finish();

private:
    void Normalize(uint64_t low, uint32_t range);

    std::vector<uint16_t> precarry_;  // output bytes before carries are resolved
    uint64_t low_ = 0;
    uint32_t range_ = 0x8000;
    int count_ = -9;
};

}  // namespace mfxsoft
