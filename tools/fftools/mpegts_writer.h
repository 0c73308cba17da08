// The smallest MPEG transport stream ffmpeg reads: one program with one H.264
// or HEVC stream, every access unit in one PES packet with its decoding and
// presentation times (90 kHz). It carries the times that a bare stream lacks
// into ffmpeg, which copies the frames into the MP4.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

namespace fftools {

class TsWriter {
public:
    // `sink` takes whole 188-byte packets; false stops the writer.
    // `hevc`: the stream is HEVC, else H.264.
    TsWriter(std::function<bool(const uint8_t*, size_t)> sink, bool hevc) : sink_(std::move(sink)), hevc_(hevc) {}
    // The program tables; once, before the first picture.
    bool WriteTables();
    // One access unit; times in 90 kHz ticks, 0 or more.
    bool WritePicture(const std::vector<uint8_t>& unit, int64_t pts, int64_t dts);

private:
    bool WritePayload(uint16_t pid, const std::vector<uint8_t>& payload);

    std::function<bool(const uint8_t*, size_t)> sink_;
    bool hevc_;
    uint8_t continuity_[2] = {0, 0};  // tables, video
};

}  // namespace fftools
