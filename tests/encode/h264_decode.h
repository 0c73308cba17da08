// Decodes a raw H.264 elementary stream with FFmpeg's libraries.
#pragma once
#include <string>
#include <vector>

namespace tarvo_test {

struct DecodedFrame {
    int width = 0;
    int height = 0;
    std::vector<double> rowMeans;  // mean luma of each row
    double mean = 0;               // mean luma of the picture
};

// Every frame of the stream in display order; empty when it cannot be read.
std::vector<DecodedFrame> DecodeH264File(const std::string& path);

}  // namespace tarvo_test
