#include "encode/colour.h"

VideoMatrix MatrixForFrame(int width, int height) {
    return width >= 1280 || height > 576 ? VideoMatrix::kBt709 : VideoMatrix::kBt601;
}

ColourCodes ColourCodesOf(VideoMatrix matrix) {
    return matrix == VideoMatrix::kBt709 ? ColourCodes{1, 1, 1} : ColourCodes{6, 6, 6};
}

const char* MatrixName(VideoMatrix matrix) { return matrix == VideoMatrix::kBt709 ? "BT.709" : "BT.601"; }
