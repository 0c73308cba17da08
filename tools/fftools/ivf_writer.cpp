#include "tools/fftools/ivf_writer.h"

namespace fftools {
namespace {

void PutLittle(std::vector<uint8_t>& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

bool IvfWriter::WriteHeader(uint32_t frames) {
    std::vector<uint8_t> header = {'D', 'K', 'I', 'F'};
    PutLittle(header, 0, 2);   // version
    PutLittle(header, 32, 2);  // header size
    header.insert(header.end(), {'A', 'V', '0', '1'});
    PutLittle(header, 0, 4);  // width, height
    // The time base, den/num seconds: one frame.
    PutLittle(header, static_cast<uint32_t>(rate_.num), 4);
    PutLittle(header, static_cast<uint32_t>(rate_.den), 4);
    PutLittle(header, frames, 4);
    PutLittle(header, 0, 4);
    return sink_(header.data(), header.size());
}

bool IvfWriter::WriteFrame(const std::vector<uint8_t>& unit, int64_t index) {
    std::vector<uint8_t> frame;
    frame.reserve(12 + unit.size());
    PutLittle(frame, unit.size(), 4);
    PutLittle(frame, static_cast<uint64_t>(index), 8);
    frame.insert(frame.end(), unit.begin(), unit.end());
    return sink_(frame.data(), frame.size());
}

}  // namespace fftools
