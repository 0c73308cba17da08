// The demo project: drawn on demand, so it needs no files and any frame can
// be asked for in any order.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "host/input.h"

namespace host {
namespace {

constexpr double kPi = 3.14159265358979323846;

// 5x7 digits, one byte per row, bit 4 the leftmost pixel.
constexpr uint8_t kDigits[10][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
};

uint8_t Wave(double turns) { return static_cast<uint8_t>(128.0 + 96.0 * std::sin(2.0 * kPi * turns)); }

class DemoInput final : public Input {
public:
    explicit DemoInput(const DemoOptions& options) {
        format_.width = options.width;
        format_.height = options.height;
        format_.rate = options.rate;
        format_.scale = options.scale;
        format_.frameCount = options.frameCount;
        format_.hasAudio = options.audio;
        if (options.audio) {
            format_.audioRate = options.audioRate;
            format_.audioChannels = options.audioChannels;
            // Exactly as long as the video, rounded down to whole samples.
            format_.audioSampleCount = static_cast<int>(static_cast<int64_t>(options.frameCount) *
                                                        options.scale * options.audioRate / options.rate);
        }
        columns_.resize(static_cast<size_t>(options.width) * 2);
        rows_.resize(static_cast<size_t>(options.height) * 2);
    }

    const InputFormat& Format() const override { return format_; }

    bool ReadFrame(int index, uint8_t* dib, std::string*) override {
        const int width = format_.width, height = format_.height;
        const size_t stride = DibStride(width);
        // Colour bands that drift with time: red and part of blue follow the
        // column, green and the rest of blue follow the row.
        double t = static_cast<double>(index) / 90.0;
        for (int x = 0; x < width; ++x) {
            double u = static_cast<double>(x) / width;
            columns_[2 * x] = Wave(u + t);
            columns_[2 * x + 1] = Wave(0.5 * u - t);
        }
        for (int y = 0; y < height; ++y) {
            double v = static_cast<double>(y) / height;
            rows_[2 * y] = Wave(v - 0.7 * t);
            rows_[2 * y + 1] = Wave(1.5 * v + t);
        }
        for (int y = 0; y < height; ++y) {
            uint8_t* row = dib + static_cast<size_t>(height - 1 - y) * stride;  // bottom-up
            uint8_t g = rows_[2 * y], bRow = rows_[2 * y + 1];
            for (int x = 0; x < width; ++x) {
                row[3 * x] = static_cast<uint8_t>((columns_[2 * x + 1] + bRow) / 2);
                row[3 * x + 1] = g;
                row[3 * x + 2] = columns_[2 * x];
            }
            std::memset(row + 3 * static_cast<size_t>(width), 0, stride - 3 * static_cast<size_t>(width));
        }
        DrawBox(index, dib);
        DrawCounter(index, dib);
        return true;
    }

    int ReadAudio(int64_t start, int count, int16_t* samples, std::string*) override {
        int64_t end = std::min<int64_t>(start + count, format_.audioSampleCount);
        int n = end > start ? static_cast<int>(end - start) : 0;
        const int channels = format_.audioChannels;
        const double rate = format_.audioRate;
        for (int i = 0; i < n; ++i) {
            int64_t s = start + i;
            // 440 Hz, a fifth higher in every other second; the right
            // channel an octave lower, so the channels can be told apart.
            double frequency = (s / format_.audioRate) % 2 == 0 ? 440.0 : 660.0;
            double phase = 2.0 * kPi * frequency * static_cast<double>(s) / rate;
            for (int c = 0; c < channels; ++c) {
                double value = std::sin(c % 2 == 0 ? phase : phase / 2.0);
                samples[static_cast<size_t>(i) * channels + c] = static_cast<int16_t>(value * 9000.0);
            }
        }
        return n;
    }

private:
    // Image row y, counted from the top, of a bottom-up DIB.
    uint8_t* Pixel(uint8_t* dib, int x, int y) const {
        return dib + static_cast<size_t>(format_.height - 1 - y) * DibStride(format_.width) + 3 * static_cast<size_t>(x);
    }

    void Fill(uint8_t* dib, int x0, int y0, int w, int h, uint8_t b, uint8_t g, uint8_t r) const {
        int x1 = std::min(format_.width, x0 + w), y1 = std::min(format_.height, y0 + h);
        for (int y = std::max(0, y0); y < y1; ++y) {
            for (int x = std::max(0, x0); x < x1; ++x) {
                uint8_t* p = Pixel(dib, x, y);
                p[0] = b;
                p[1] = g;
                p[2] = r;
            }
        }
    }

    // A square that bounces between the left and the right edge.
    void DrawBox(int index, uint8_t* dib) const {
        int side = std::max(2, format_.height / 5);
        int travel = std::max(1, format_.width - side);
        int position = (index * 4) % (2 * travel);
        int x = position < travel ? position : 2 * travel - position;
        int y = format_.height / 2;
        Fill(dib, x, y, side, side, 20, 20, 20);
        Fill(dib, x + side / 6, y + side / 6, side - side / 3, side - side / 3, 235, 235, 235);
    }

    // The frame number in the top-left corner, white on black.
    void DrawCounter(int index, uint8_t* dib) const {
        char digits[16];
        int length = std::snprintf(digits, sizeof digits, "%d", index);
        int cell = std::max(1, format_.height / 48);
        int margin = cell * 2;
        Fill(dib, 0, 0, margin * 2 + length * 6 * cell, margin * 2 + 7 * cell, 16, 16, 16);
        for (int i = 0; i < length; ++i) {
            const uint8_t* glyph = kDigits[digits[i] - '0'];
            for (int gy = 0; gy < 7; ++gy) {
                for (int gx = 0; gx < 5; ++gx) {
                    if ((glyph[gy] >> (4 - gx)) & 1) {
                        Fill(dib, margin + (i * 6 + gx) * cell, margin + gy * cell, cell, cell, 235, 235, 235);
                    }
                }
            }
        }
    }

    InputFormat format_;
    std::vector<uint8_t> columns_;
    std::vector<uint8_t> rows_;
};

}  // namespace

std::unique_ptr<Input> OpenDemoInput(const DemoOptions& options) { return std::make_unique<DemoInput>(options); }

}  // namespace host
