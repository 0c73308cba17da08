#include "encode/colour.h"

#include "encode/encode_pipeline.h"

VideoMatrix MatrixForFrame(int width, int height) {
    return width >= 1280 || height > 576 ? VideoMatrix::kBt709 : VideoMatrix::kBt601;
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
