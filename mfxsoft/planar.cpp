#include "mfxsoft/planar.h"

#include <cstring>

namespace mfxsoft {

CodedArea CodedAreaOf(const CodecConfig& c) {
    const int x = c.cropX & ~1, y = c.cropY & ~1;
    // The aligned frame is even, so the widened area stays inside it.
    return CodedArea{x, y, ((c.cropX + c.cropW + 1) & ~1) - x, ((c.cropY + c.cropH + 1) & ~1) - y};
}

PlanarPicture::PlanarPicture(const CodecConfig& config)
    : area_(CodedAreaOf(config)), bytes_(config.bitDepth > 8 ? 2 : 1), shift_(config.shift != 0 ? 6 : 0) {
    const size_t luma = static_cast<size_t>(area_.width) * area_.height;
    for (int i = 0; i < 3; ++i) {
        if (bytes_ == 1) {
            narrow_[i].resize(i == 0 ? luma : luma / 4);
        } else {
            wide_[i].resize(i == 0 ? luma : luma / 4);
        }
    }
}

void PlanarPicture::Fill(const PictureView& p) {
    const int w = area_.width, h = area_.height;
    if (bytes_ == 1) {
        for (int row = 0; row < h; ++row) {
            std::memcpy(narrow_[0].data() + static_cast<size_t>(row) * w,
                        p.y + static_cast<size_t>(area_.y + row) * p.yPitch + area_.x, static_cast<size_t>(w));
        }
        for (int row = 0; row < h / 2; ++row) {
            const uint8_t* uv = p.uv + static_cast<size_t>(area_.y / 2 + row) * p.uvPitch + area_.x;
            uint8_t* u = narrow_[1].data() + static_cast<size_t>(row) * (w / 2);
            uint8_t* v = narrow_[2].data() + static_cast<size_t>(row) * (w / 2);
            for (int i = 0; i < w / 2; ++i) {
                u[i] = uv[2 * i];
                v[i] = uv[2 * i + 1];
            }
        }
        return;
    }
    // 16-bit samples; memcpy reads them whatever the surface's alignment.
    const int shift = shift_;
    auto sample = [shift](const uint8_t* at) {
        uint16_t value;
        std::memcpy(&value, at, 2);
        return static_cast<uint16_t>((value >> shift) & 0x3FF);
    };
    for (int row = 0; row < h; ++row) {
        const uint8_t* src = p.y + static_cast<size_t>(area_.y + row) * p.yPitch + 2 * static_cast<size_t>(area_.x);
        uint16_t* dst = wide_[0].data() + static_cast<size_t>(row) * w;
        for (int i = 0; i < w; ++i) dst[i] = sample(src + 2 * i);
    }
    for (int row = 0; row < h / 2; ++row) {
        const uint8_t* uv = p.uv + static_cast<size_t>(area_.y / 2 + row) * p.uvPitch + 2 * static_cast<size_t>(area_.x);
        uint16_t* u = wide_[1].data() + static_cast<size_t>(row) * (w / 2);
        uint16_t* v = wide_[2].data() + static_cast<size_t>(row) * (w / 2);
        for (int i = 0; i < w / 2; ++i) {
            u[i] = sample(uv + 4 * i);
            v[i] = sample(uv + 4 * i + 2);
        }
    }
}

}  // namespace mfxsoft
