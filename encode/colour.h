// Which YCbCr matrix an export uses and how the stream says so. Players that
// find no colour description guess from the picture size: BT.709 for HD,
// BT.601 for SD. Tarvo converts with the matrix they would guess and says it
// too, so that players that read the tags and players that guess agree.
#pragma once
#include <cstdint>
#include <string>

enum class VideoMatrix : uint8_t { kBt601, kBt709 };

// BT.709 when the frame is at least 1280 wide or more than 576 lines tall,
// BT.601 (SMPTE 170M) otherwise. Always limited range (16-235 / 16-240).
VideoMatrix MatrixForFrame(int width, int height);

// The rule in words, for TestVideo and the config text: "BT.709 from 1280
// wide or 577 lines, BT.601 below, limited range".
std::string ColourRuleText();

// The H.264 VUI code points of a matrix: colour primaries, transfer
// characteristics and matrix coefficients (1/1/1 for BT.709, 6/6/6 for
// SMPTE 170M), as also written in an MP4 `colr` box.
struct ColourCodes {
    uint16_t primaries, transfer, matrix;
};
ColourCodes ColourCodesOf(VideoMatrix matrix);

// "BT.709" or "BT.601", for logs and TestVideo's result.
const char* MatrixName(VideoMatrix matrix);

struct EncodePipeline;

// One line on the colour of an opened pipeline's pixels and tags, for the
// export log and TestVideo, e.g. "colour: BT.709, limited range, tagged in
// the stream" or "colour: BT.601, limited range (the runtime refused
// BT.709), tagged BT.601".
std::string ColourLine(const EncodePipeline& pipeline, VideoMatrix wanted);
