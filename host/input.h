// What tarvo-host feeds the plug-in: a video of a fixed size and rate and,
// optionally, 16-bit PCM audio. Each input (the demo pattern, a media file)
// is a small module behind this interface; the export driver does not know
// which one it drives.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace host {

struct InputFormat {
    int width = 0;
    int height = 0;
    int rate = 0;  // frames per second = rate / scale
    int scale = 1;
    int frameCount = 0;
    bool hasAudio = false;
    int audioRate = 0;
    int audioChannels = 0;
    int audioSampleCount = 0;  // sample frames
};

// Bytes of one row of a bottom-up 24-bit DIB: width * 3 rounded up to 4.
inline size_t DibStride(int width) { return (static_cast<size_t>(width) * 3 + 3) & ~size_t{3}; }
inline size_t DibSize(int width, int height) { return DibStride(width) * static_cast<size_t>(height); }

class Input {
public:
    virtual ~Input() = default;
    virtual const InputFormat& Format() const = 0;
    // Writes frame `index` (0 <= index < frameCount) into `dib` as a
    // bottom-up BGR image of DibSize bytes, padding bytes zero. False when
    // the frame cannot be produced; `error` then says why.
    virtual bool ReadFrame(int index, uint8_t* dib, std::string* error) = 0;
    // Writes up to `count` interleaved 16-bit sample frames starting at
    // sample frame `start` into `samples` and returns how many it wrote
    // (fewer only at the end of the audio), or -1 on a failure.
    virtual int ReadAudio(int64_t start, int count, int16_t* samples, std::string* error) = 0;
};

// Options that shape the built-in demo project.
struct DemoOptions {
    int width = 640;
    int height = 360;
    int rate = 30;
    int scale = 1;
    int frameCount = 150;
    bool audio = true;
    int audioRate = 48000;
    int audioChannels = 2;
};

// The demo project: a moving colour pattern with the frame number drawn in
// it, and a tone whose pitch changes every second. Frame and sample values
// depend only on their index, so any frame can be produced again.
std::unique_ptr<Input> OpenDemoInput(const DemoOptions& options);

// A media file read through FFmpeg's libraries: the first video stream,
// converted to BGR, at its own frame rate; the first audio stream (unless
// `audio` is false) as 16-bit PCM at its own rate, mono or stereo. Null with
// `error` set when the file cannot be used.
std::unique_ptr<Input> OpenMediaInput(const std::string& path, bool audio, std::string* error);

}  // namespace host
