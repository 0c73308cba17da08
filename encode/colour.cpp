#include "encode/colour.h"

#include "encode/encode_pipeline.h"

namespace {

// HD starts where SD's largest frame (720x576) ends.
constexpr int kHdMinWidth = 1280;
constexpr int kSdMaxHeight = 576;

}  // namespace

VideoMatrix MatrixForFrame(int width, int height) {
    return width >= kHdMinWidth || height > kSdMaxHeight ? VideoMatrix::kBt709 : VideoMatrix::kBt601;
}

std::string ColourRuleText() {
    return std::string(MatrixName(VideoMatrix::kBt709)) + " from " + std::to_string(kHdMinWidth) + " wide or " +
           std::to_string(kSdMaxHeight + 1) + " lines, " + MatrixName(VideoMatrix::kBt601) + " below, limited range";
}

ColourCodes ColourCodesOf(VideoMatrix matrix) {
    return matrix == VideoMatrix::kBt709 ? ColourCodes{1, 1, 1} : ColourCodes{6, 6, 6};
}

const char* MatrixName(VideoMatrix matrix) { return matrix == VideoMatrix::kBt709 ? "BT.709" : "BT.601"; }

std::string ColourLine(const EncodePipeline& pipeline, VideoMatrix wanted) {
    std::string line = std::string("colour: ") + MatrixName(pipeline.colourMatrix) + ", limited range";
    if (pipeline.colourMatrix != wanted) line += std::string(" (the runtime refused ") + MatrixName(wanted) + ")";
    if (!pipeline.colourTagged) return line + ", untagged (the runtime refused the colour description)";
    return line + (pipeline.colourMatrix == wanted ? ", tagged in the stream" : std::string(", tagged ") +
                                                                                   MatrixName(pipeline.colourMatrix));
}
