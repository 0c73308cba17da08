// The crop area of an NV12 or P010 picture as three tightly packed planes,
// the input libx265 and SVT-AV1 take.
#pragma once
#include <cstdint>
#include <vector>

#include "mfxsoft/codec.h"

namespace mfxsoft {

// The area the HEVC and AV1 back ends code: the crop widened to even
// offsets and sizes, because 4:2:0 chroma covers pixel pairs. An odd crop so
// keeps one padded column or row, as the x264 back end does.
struct CodedArea {
    int x, y, width, height;
};
CodedArea CodedAreaOf(const CodecConfig& config);

// Planes of one picture: 8-bit samples, or 16-bit samples holding the value
// in the low bits (what the libraries' 10-bit input takes).
class PlanarPicture {
public:
    explicit PlanarPicture(const CodecConfig& config);

    // Copies the coded area of `picture`, splitting the chroma pairs and, for
    // P010 with Shift 1, moving the 10 bits down.
    void Fill(const PictureView& picture);

    int Width() const { return area_.width; }
    int Height() const { return area_.height; }
    int BytesPerSample() const { return bytes_; }
    // Row strides in bytes.
    int LumaStride() const { return area_.width * bytes_; }
    int ChromaStride() const { return area_.width / 2 * bytes_; }
    uint8_t* Plane(int index) {
        return bytes_ == 1 ? narrow_[index].data() : reinterpret_cast<uint8_t*>(wide_[index].data());
    }

private:
    CodedArea area_;
    int bytes_;
    int shift_;
    std::vector<uint8_t> narrow_[3];   // 8-bit pictures
    std::vector<uint16_t> wide_[3];    // 10-bit pictures
};

}  // namespace mfxsoft
