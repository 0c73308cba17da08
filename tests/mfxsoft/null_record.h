// Reads the null encoder's record back out of one coded frame.
#pragma once
#include <cstring>
#include <optional>
#include <vector>

#include "mfxsoft/null_stream.h"

namespace mfxsoft_test {

// The record after the tag in `bytes`; in H.264 and HEVC the SEI's emulation
// prevention bytes are taken out first. Nothing when there is no whole record.
inline std::optional<mfxsoft::NullRecord> FindNullRecord(const uint8_t* data, size_t size, mfxU32 codec) {
    std::vector<uint8_t> bytes;
    int zeros = 0;
    for (size_t i = 0; i < size; ++i) {
        if (codec != MFX_CODEC_AV1 && zeros >= 2 && data[i] == 3) {
            zeros = 0;
            continue;
        }
        bytes.push_back(data[i]);
        zeros = data[i] == 0 ? zeros + 1 : 0;
    }
    const auto& tag = mfxsoft::kNullRecordTag;
    for (size_t at = 0; at + tag.size() + mfxsoft::kNullBlockSize <= bytes.size(); ++at) {
        if (std::memcmp(bytes.data() + at, tag.data(), tag.size()) != 0) continue;
        const uint8_t* b = bytes.data() + at + tag.size();
        if (std::memcmp(b, "MFXSNULL", 8) != 0) return std::nullopt;
        auto le = [b](int offset, int count) {
            uint64_t value = 0;
            for (int i = count - 1; i >= 0; --i) value = value << 8 | b[offset + i];
            return value;
        };
        mfxsoft::NullRecord record;
        record.order = le(8, 4);
        record.frameType = static_cast<uint16_t>(le(12, 2));
        record.timeStamp = le(16, 8);
        record.checksum = static_cast<uint32_t>(le(24, 4));
        return record;
    }
    return std::nullopt;
}

}  // namespace mfxsoft_test
