#include "tools/fftools/mpegts_writer.h"

#include <algorithm>
#include <cstring>

namespace fftools {
namespace {

constexpr size_t kPacket = 188;
constexpr uint16_t kPatPid = 0x0000;
constexpr uint16_t kPmtPid = 0x1000;
constexpr uint16_t kVideoPid = 0x0100;

// CRC-32/MPEG-2 of the program tables.
uint32_t Crc32(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc ^= static_cast<uint32_t>(data[i]) << 24;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000) ? (crc << 1) ^ 0x04C11DB7 : crc << 1;
    }
    return crc;
}

// A section with its pointer field and CRC, from table id to the last field.
std::vector<uint8_t> Section(std::vector<uint8_t> body) {
    uint16_t length = static_cast<uint16_t>(body.size() - 3 + 4);  // after the length field, CRC included
    body[1] = static_cast<uint8_t>(0xB0 | (length >> 8));
    body[2] = static_cast<uint8_t>(length);
    uint32_t crc = Crc32(body.data(), body.size());
    for (int shift = 24; shift >= 0; shift -= 8) body.push_back(static_cast<uint8_t>(crc >> shift));
    body.insert(body.begin(), 0);  // pointer field
    return body;
}

void PutTime(std::vector<uint8_t>& out, uint8_t marker, int64_t ticks) {
    uint64_t t = static_cast<uint64_t>(ticks) & 0x1FFFFFFFFull;  // 33 bits; readers unwrap
    out.push_back(static_cast<uint8_t>(marker << 4 | ((t >> 29) & 0x0E) | 1));
    out.push_back(static_cast<uint8_t>(t >> 22));
    out.push_back(static_cast<uint8_t>(((t >> 14) & 0xFE) | 1));
    out.push_back(static_cast<uint8_t>(t >> 7));
    out.push_back(static_cast<uint8_t>(((t << 1) & 0xFE) | 1));
}

}  // namespace

bool TsWriter::WritePayload(uint16_t pid, const std::vector<uint8_t>& payload) {
    uint8_t& continuity = continuity_[pid == kVideoPid ? 1 : 0];
    size_t offset = 0;
    bool first = true;
    do {
        uint8_t packet[kPacket];
        size_t left = payload.size() - offset;
        size_t room = kPacket - 4;
        packet[0] = 0x47;
        packet[1] = static_cast<uint8_t>((first ? 0x40 : 0) | (pid >> 8));
        packet[2] = static_cast<uint8_t>(pid);
        size_t header = 4;
        if (left < room) {
            // Stuffing in an adaptation field fills the last packet.
            size_t field = room - left;  // bytes of the field, its length byte included
            packet[3] = static_cast<uint8_t>(0x30 | continuity);
            packet[4] = static_cast<uint8_t>(field - 1);
            if (field > 1) {
                packet[5] = 0;  // no flags
                std::memset(packet + 6, 0xFF, field - 2);
            }
            header += field;
        } else {
            packet[3] = static_cast<uint8_t>(0x10 | continuity);
        }
        size_t take = std::min(left, kPacket - header);
        std::memcpy(packet + header, payload.data() + offset, take);
        offset += take;
        continuity = (continuity + 1) & 0x0F;
        first = false;
        if (!sink_(packet, kPacket)) return false;
    } while (offset < payload.size());
    return true;
}

bool TsWriter::WriteTables() {
    std::vector<uint8_t> pat = Section({0x00, 0, 0, 0x00, 0x01, 0xC1, 0x00, 0x00, 0x00, 0x01,
                                        static_cast<uint8_t>(0xE0 | (kPmtPid >> 8)), static_cast<uint8_t>(kPmtPid)});
    std::vector<uint8_t> pmt = Section({0x02, 0, 0, 0x00, 0x01, 0xC1, 0x00, 0x00,
                                        static_cast<uint8_t>(0xE0 | (kVideoPid >> 8)), static_cast<uint8_t>(kVideoPid),
                                        0xF0, 0x00,  // no program descriptors
                                        static_cast<uint8_t>(hevc_ ? 0x24 : 0x1B),  // HEVC, H.264
                                        static_cast<uint8_t>(0xE0 | (kVideoPid >> 8)), static_cast<uint8_t>(kVideoPid),
                                        0xF0, 0x00});
    return WritePayload(kPatPid, pat) && WritePayload(kPmtPid, pmt);
}

bool TsWriter::WritePicture(const std::vector<uint8_t>& unit, int64_t pts, int64_t dts) {
    std::vector<uint8_t> pes = {0x00, 0x00, 0x01, 0xE0, 0x00, 0x00,  // video stream, length left open
                                0x80, 0xC0, 10};                      // both times follow
    PutTime(pes, 3, pts);
    PutTime(pes, 1, dts);
    pes.insert(pes.end(), unit.begin(), unit.end());
    return WritePayload(kVideoPid, pes);
}

}  // namespace fftools
