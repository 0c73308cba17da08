// mp4box-compat: a stand-in for MP4Box.exe with the command line the plug-in
// uses. Writes a new MP4 file from an H.264 Annex B elementary stream at a
// given frame rate and an AAC file (M4A or ADTS).
//   mp4box-compat -add "VIDEO#video:fps=RATE" [-add "AUDIO#audio"] -new OUT
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "ffmpeg_util.h"
#include "tools/common/picture_order.h"
#include "tools/common/tool_args.h"

namespace {

using namespace compat;

struct Options {
    std::string video;
    AVRational frameRate{25, 1};
    std::string audio;
    std::string output;
};

Options ParseArguments(int argc, char** argv) {
    tool_args::MuxArguments parsed =
        tool_args::ParseMuxArguments(tool_args::ArgumentsOf(std::vector<std::string>(argv, argv + argc)));
    return Options{parsed.video, AVRational{parsed.frameRate.num, parsed.frameRate.den}, parsed.audio, parsed.output};
}

bool HoldsIdrSlice(const AVPacket& packet) {
    for (int i = 0; i + 3 < packet.size; ++i) {
        if (packet.data[i] == 0 && packet.data[i + 1] == 0 && packet.data[i + 2] == 1 &&
            (packet.data[i + 3] & 0x1F) == 5) {
            return true;
        }
    }
    return false;
}

Input OpenVideo(const Options& options) {
    AVDictionary* demuxerOptions = nullptr;
    av_dict_set(&demuxerOptions, "framerate", (std::to_string(options.frameRate.num) + "/" +
                                               std::to_string(options.frameRate.den)).c_str(), 0);
    Input input = OpenInput(options.video, "h264", &demuxerOptions);
    av_dict_free(&demuxerOptions);
    return input;
}

// The elementary stream carries no timestamps. Frames come in decoding order;
// their presentation order follows the picture order count, which starts
// again at each IDR picture. Returns each frame's presentation index and sets
// `delay` to the most frames any picture is shown before its decoding index:
// decoding times start that far below zero, so that presentation starts at 0.
std::vector<int64_t> PresentationOrder(const Options& options, int64_t& delay) {
    Input input = OpenVideo(options);
    Parser parser(av_parser_init(AV_CODEC_ID_H264));
    Codec context(avcodec_alloc_context3(nullptr));
    if (!parser || !context) throw Failure("out of memory");
    parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;

    tool_args::PictureOrder order;
    Packet packet = NewPacket();
    for (;;) {
        int result = av_read_frame(input.get(), packet.get());
        if (result == AVERROR_EOF) break;
        Check(result, "cannot read " + options.video);
        bool idr = HoldsIdrSlice(*packet);
        uint8_t* out = nullptr;
        int outSize = 0;
        av_parser_parse2(parser.get(), context.get(), &out, &outSize, packet->data, packet->size, AV_NOPTS_VALUE,
                         AV_NOPTS_VALUE, 0);
        order.Add(parser->output_picture_number, idr);
        av_packet_unref(packet.get());
    }
    return order.Finish(delay);
}

// One input track: its packets in order, with timestamps in the output
// stream's time base.
class Track {
public:
    virtual ~Track() = default;
    // Fills `packet` with the next packet; false at the end.
    virtual bool Next(AVPacket* packet) = 0;
    AVStream* stream = nullptr;  // the output stream, owned by the output
};

class VideoTrack : public Track {
public:
    VideoTrack(const Options& options, AVFormatContext* output)
        : options_(options), presentation_(PresentationOrder(options, delay_)), input_(OpenVideo(options)) {
        if (presentation_.empty()) throw Failure(options.video + " holds no video frames");
        Check(avformat_find_stream_info(input_.get(), nullptr), "cannot read " + options.video);
        AVStream* source = input_->streams[0];
        stream = avformat_new_stream(output, nullptr);
        if (stream == nullptr) throw Failure("out of memory");
        // The stream information holds the SPS's VUI colours (primaries,
        // transfer, matrix, range); with them the MP4 muxer writes the same
        // in the track's nclx colr box.
        Check(avcodec_parameters_copy(stream->codecpar, source->codecpar), "video parameters");
        stream->codecpar->codec_tag = 0;
        // One tick per frame: every timestamp is exact.
        stream->time_base = av_inv_q(options.frameRate);
        stream->avg_frame_rate = options.frameRate;
        stream->r_frame_rate = options.frameRate;
    }

    bool Next(AVPacket* packet) override {
        int result = av_read_frame(input_.get(), packet);
        if (result == AVERROR_EOF) return false;
        Check(result, "cannot read " + options_.video);
        if (next_ >= presentation_.size()) throw Failure(options_.video + " changed while it was read");
        // Decoding and presentation times in frames; the muxer scales them
        // from the stream's time base, one frame per tick.
        packet->dts = static_cast<int64_t>(next_) - delay_;
        packet->pts = presentation_[next_];
        packet->duration = 1;
        packet->stream_index = stream->index;
        ++next_;
        return true;
    }
    AVRational TimeBase() const { return av_inv_q(options_.frameRate); }

private:
    const Options& options_;
    int64_t delay_ = 0;  // frames of reordering; set by presentation_'s initialiser
    std::vector<int64_t> presentation_;
    Input input_;
    size_t next_ = 0;
};

class AudioTrack : public Track {
public:
    AudioTrack(const Options& options, AVFormatContext* output) : options_(options), input_(OpenInput(options.audio, nullptr)) {
        Check(avformat_find_stream_info(input_.get(), nullptr), "cannot read " + options.audio);
        int index = av_find_best_stream(input_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (index < 0 || input_->streams[index]->codecpar->codec_id != AV_CODEC_ID_AAC) {
            throw Failure(options.audio + " holds no AAC audio");
        }
        source_ = input_->streams[index];
        stream = avformat_new_stream(output, nullptr);
        if (stream == nullptr) throw Failure("out of memory");
        Check(avcodec_parameters_copy(stream->codecpar, source_->codecpar), "audio parameters");
        stream->codecpar->codec_tag = 0;
        stream->time_base = source_->time_base;
    }

    bool Next(AVPacket* packet) override {
        for (;;) {
            int result = av_read_frame(input_.get(), packet);
            if (result == AVERROR_EOF) return false;
            Check(result, "cannot read " + options_.audio);
            if (packet->stream_index == source_->index) break;
            av_packet_unref(packet);
        }
        // Raw ADTS may come without timestamps: count them on.
        if (packet->dts == AV_NOPTS_VALUE) packet->dts = packet->pts != AV_NOPTS_VALUE ? packet->pts : nextDts_;
        if (packet->pts == AV_NOPTS_VALUE) packet->pts = packet->dts;
        nextDts_ = packet->dts + packet->duration;
        packet->stream_index = stream->index;
        return true;
    }
    AVRational TimeBase() const { return source_->time_base; }

private:
    const Options& options_;
    Input input_;
    AVStream* source_ = nullptr;  // owned by input_
    int64_t nextDts_ = 0;
};

// True when nothing was at the output path before this run: only then does
// a failure remove what is there.
bool outputCreated = false;

void Mux(const Options& options) {
    outputCreated = NothingAt(options.output);
    Output output = CreateOutput(options.output, "mp4");
    std::optional<VideoTrack> video;
    std::optional<AudioTrack> audio;
    if (!options.video.empty()) video.emplace(options, output.get());
    if (!options.audio.empty()) audio.emplace(options, output.get());
    Check(avformat_write_header(output.get(), nullptr), "cannot write " + options.output);

    struct Pending {
        Track* track;
        AVRational timeBase;
        Packet packet;
        bool ready;
    };
    std::vector<Pending> pending;
    if (video) pending.push_back({&*video, video->TimeBase(), NewPacket(), false});
    if (audio) pending.push_back({&*audio, audio->TimeBase(), NewPacket(), false});
    for (Pending& source : pending) source.ready = source.track->Next(source.packet.get());
    // Interleave by decoding time so that the muxer never has to hold much.
    for (;;) {
        Pending* earliest = nullptr;
        for (Pending& source : pending) {
            if (source.ready && (earliest == nullptr || av_compare_ts(source.packet->dts, source.timeBase,
                                                                      earliest->packet->dts, earliest->timeBase) < 0)) {
                earliest = &source;
            }
        }
        if (earliest == nullptr) break;
        av_packet_rescale_ts(earliest->packet.get(), earliest->timeBase, earliest->track->stream->time_base);
        Check(av_interleaved_write_frame(output.get(), earliest->packet.get()), "cannot write " + options.output);
        earliest->ready = earliest->track->Next(earliest->packet.get());
    }
    Check(av_write_trailer(output.get()), "cannot finish " + options.output);
    Check(avio_closep(&output->pb), "cannot close " + options.output);
}

}  // namespace

int main(int argc, char** argv) {
    av_log_set_level(AV_LOG_ERROR);
    Options options;
    try {
        options = ParseArguments(argc, argv);
        Mux(options);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "mp4box-compat: %s\n", failure.what());
        RemoveCreated(options.output, outputCreated);
        return 1;
    }
    return 0;
}
