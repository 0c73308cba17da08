// An IVF file (the simplest container ffmpeg reads AV1 from) with one frame
// per temporal unit, its time counted in frames: the time base is one frame
// at the rate, so every time ffmpeg reads is exact.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "tools/common/tool_args.h"

namespace fftools {

class IvfWriter {
public:
    // `sink` takes the bytes; false stops the writer.
    IvfWriter(std::function<bool(const uint8_t*, size_t)> sink, tool_args::FrameRate rate)
        : sink_(std::move(sink)), rate_(rate) {}
    // The file header; once, before the first frame. The picture size is left
    // 0: ffmpeg reads it from the sequence header.
    bool WriteHeader(uint32_t frames);
    // One temporal unit, shown at frame `index`.
    bool WriteFrame(const std::vector<uint8_t>& unit, int64_t index);

private:
    std::function<bool(const uint8_t*, size_t)> sink_;
    tool_args::FrameRate rate_;
};

}  // namespace fftools
