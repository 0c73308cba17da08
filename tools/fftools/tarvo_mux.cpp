// tarvo-mux: answers the muxer's command line (MP4Box's) by running ffmpeg,
// which copies an H.264, HEVC or AV1 stream and an AAC file into a new MP4.
//   tarvo-mux -add "VIDEO#video:fps=RATE" [-add "AUDIO#audio"] -new OUT
// The bare video stream holds no times, and ffmpeg gives a stream copy of it
// none that respect B-frames, so the video goes to ffmpeg in a container made
// here: one picture a frame at the exact rate, shown in picture order (an
// MPEG-TS for H.264 and HEVC), or in the order stored (an IVF file for AV1).
// Where an H.264 or HEVC stream's own header states a frame rate, it is set to
// RATE: ffmpeg takes the frames' durations from it.
#include <cstdio>
#include <memory>

#include "tools/common/tool_args.h"
#include "tools/fftools/annexb_stream.h"
#include "tools/fftools/av1_stream.h"
#include "tools/fftools/ivf_writer.h"
#include "tools/fftools/mpegts_writer.h"
#include "tools/fftools/tool_main.h"

namespace {

using tool_args::MuxArguments;
using tool_args::VideoCodec;

struct FileClose {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileClose>;

File OpenVideo(const std::string& path) {
    File file(fftools::OpenForReading(path));
    if (!file) throw fftools::StreamError("cannot read " + path);
    return file;
}

// The first reading of the stream, its failures naming the file.
template <typename Read>
auto ReadWhole(const std::string& path, Read read) {
    File file = OpenVideo(path);
    try {
        return read(file.get());
    } catch (const fftools::StreamError& failure) {
        throw fftools::StreamError(path + ": " + failure.what());
    }
}

// Frame `index` at `rate` in 90 kHz ticks, rounded.
int64_t Ticks(int64_t index, const tool_args::FrameRate& rate) {
    return (index * 90000 * rate.den * 2 + rate.num) / (2 * int64_t{rate.num});
}

// The feed's failures become its cause; ffmpeg having stopped reading is
// none (its exit code tells why).
fftools::Feed Guarded(std::function<void(const fftools::InputWriter&)> feed) {
    return [feed](const fftools::InputWriter& write) -> std::string {
        try {
            feed(write);
        } catch (const std::exception& failure) {
            return failure.what();
        }
        return {};
    };
}

// H.264 and HEVC: read the whole stream once for its order before ffmpeg
// starts, so a stream that cannot be ordered fails without a half-written MP4.
fftools::Feed AnnexBFeed(std::shared_ptr<const MuxArguments> mux) {
    auto presentation = std::make_shared<std::vector<int64_t>>();
    int64_t delay = 0;
    *presentation = ReadWhole(
        mux->video, [&](std::FILE* file) { return fftools::PresentationOrder(file, mux->videoCodec, delay); });
    if (presentation->empty()) throw fftools::StreamError(mux->video + " holds no video frames");
    return Guarded([mux, presentation, delay](const fftools::InputWriter& write) {
        File file = OpenVideo(mux->video);
        fftools::AccessUnitReader reader(file.get(), mux->videoCodec);
        reader.SetFrameRate(static_cast<uint32_t>(mux->frameRate.num), static_cast<uint32_t>(mux->frameRate.den));
        fftools::TsWriter ts(write, mux->videoCodec == VideoCodec::Hevc);
        if (!ts.WriteTables()) return;
        std::vector<uint8_t> unit;
        for (size_t decode = 0; reader.Next(unit); ++decode) {
            if (decode >= presentation->size()) throw fftools::StreamError(mux->video + " changed while it was read");
            // Decoding runs `delay` frames ahead; times start at 0.
            int64_t dts = Ticks(static_cast<int64_t>(decode), mux->frameRate);
            int64_t pts = Ticks((*presentation)[decode] + delay, mux->frameRate);
            if (!ts.WritePicture(unit, pts, dts)) return;
        }
    });
}

// AV1: every temporal unit is checked before ffmpeg starts, then each goes
// out as one frame.
fftools::Feed Av1Feed(std::shared_ptr<const MuxArguments> mux) {
    int64_t frames = ReadWhole(mux->video, fftools::CountTemporalUnits);
    if (frames == 0) throw fftools::StreamError(mux->video + " holds no video frames");
    if (frames > UINT32_MAX) throw fftools::StreamError(mux->video + " holds too many frames");
    return Guarded([mux, frames](const fftools::InputWriter& write) {
        File file = OpenVideo(mux->video);
        fftools::TemporalUnitReader reader(file.get());
        fftools::IvfWriter ivf(write, mux->frameRate);
        if (!ivf.WriteHeader(static_cast<uint32_t>(frames))) return;
        std::vector<uint8_t> unit;
        for (int64_t index = 0; reader.Next(unit); ++index) {
            if (index >= frames) throw fftools::StreamError(mux->video + " changed while it was read");
            if (!ivf.WriteFrame(unit, index)) return;
        }
    });
}

}  // namespace

int main(int argc, char** argv) {
    return fftools::ToolMain("tarvo-mux", argc, argv, [](const std::vector<std::string>& arguments) {
        auto mux = std::make_shared<const MuxArguments>(tool_args::ParseMuxArguments(arguments));
        fftools::FfmpegJob job{mux->output, fftools::MuxFfmpegArguments(*mux), nullptr};
        if (!mux->video.empty()) job.feed = mux->videoCodec == VideoCodec::Av1 ? Av1Feed(mux) : AnnexBFeed(mux);
        return job;
    });
}
