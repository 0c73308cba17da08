// tarvo-mux: answers the muxer's command line (MP4Box's) by running ffmpeg,
// which copies an H.264 stream and an AAC file into a new MP4.
//   tarvo-mux -add "VIDEO#video:fps=RATE" [-add "AUDIO#audio"] -new OUT
// The bare H.264 stream holds no times, and ffmpeg gives a stream copy of it
// none that respect B-frames, so the video goes to ffmpeg as an MPEG-TS made
// here: one picture a frame at the exact rate, shown in picture order. Where
// the stream's own header states a frame rate, it is set to RATE: ffmpeg
// takes the frames' durations from it.
#include <cstdio>
#include <memory>

#include "tools/common/tool_args.h"
#include "tools/fftools/h264_stream.h"
#include "tools/fftools/mpegts_writer.h"
#include "tools/fftools/tool_main.h"

namespace {

struct FileClose {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileClose>;

File OpenVideo(const std::string& path) {
    File file(fftools::OpenForReading(path));
    if (!file) throw fftools::StreamError("cannot read " + path);
    return file;
}

// Frame `index` at `rate` in 90 kHz ticks, rounded.
int64_t Ticks(int64_t index, const tool_args::FrameRate& rate) {
    return (index * 90000 * rate.den * 2 + rate.num) / (2 * int64_t{rate.num});
}

}  // namespace

int main(int argc, char** argv) {
    return fftools::ToolMain("tarvo-mux", argc, argv, [](const std::vector<std::string>& arguments) {
        auto mux = std::make_shared<tool_args::MuxArguments>(tool_args::ParseMuxArguments(arguments));
        fftools::FfmpegJob job{mux->output, fftools::MuxFfmpegArguments(*mux), nullptr};
        if (mux->video.empty()) return job;
        // Read the whole stream once for its order before ffmpeg starts, so a
        // stream that cannot be ordered fails without a half-written MP4.
        auto presentation = std::make_shared<std::vector<int64_t>>();
        int64_t delay = 0;
        *presentation = fftools::PresentationOrder(OpenVideo(mux->video).get(), delay);
        if (presentation->empty()) throw fftools::StreamError(mux->video + " holds no video frames");
        job.feed = [mux, presentation, delay](const fftools::InputWriter& write) -> std::string {
            try {
                File file = OpenVideo(mux->video);
                fftools::AccessUnitReader reader(file.get());
                reader.SetFrameRate(static_cast<uint32_t>(mux->frameRate.num), static_cast<uint32_t>(mux->frameRate.den));
                fftools::TsWriter ts(write);
                if (!ts.WriteTables()) return {};
                std::vector<uint8_t> unit;
                for (size_t decode = 0; reader.Next(unit); ++decode) {
                    if (decode >= presentation->size()) return mux->video + " changed while it was read";
                    // Decoding runs `delay` frames ahead; times start at 0.
                    int64_t dts = Ticks(static_cast<int64_t>(decode), mux->frameRate);
                    int64_t pts = Ticks((*presentation)[decode] + delay, mux->frameRate);
                    // ffmpeg stopped reading: its exit code tells why.
                    if (!ts.WritePicture(unit, pts, dts)) return {};
                }
            } catch (const std::exception& failure) {
                return failure.what();
            }
            return {};
        };
        return job;
    });
}
