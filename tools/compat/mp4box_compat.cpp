// mp4box-compat: a stand-in for MP4Box.exe with the command line the plug-in
// uses. Writes a new MP4 file from an H.264 or HEVC Annex B elementary stream
// or an AV1 OBU stream at a given frame rate and an AAC file (M4A or ADTS).
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
#include "tools/common/stream_units.h"
#include "tools/common/tool_args.h"

namespace {

using namespace compat;

using tool_args::VideoCodec;

struct Options {
    std::string video;
    VideoCodec videoCodec = VideoCodec::H264;
    AVRational frameRate{25, 1};
    std::string audio;
    std::string output;
};

Options ParseArguments(int argc, char** argv) {
    tool_args::MuxArguments parsed =
        tool_args::ParseMuxArguments(tool_args::ArgumentsOf(std::vector<std::string>(argv, argv + argc)));
    return Options{parsed.video, parsed.videoCodec, AVRational{parsed.frameRate.num, parsed.frameRate.den},
                   parsed.audio, parsed.output};
}

struct CodecFacts {
    const char* demuxer;  // splits the file into access or temporal units
    AVCodecID id;
    uint32_t tag;  // the MP4 sample entry; 0: the muxer's default
};

CodecFacts FactsOf(VideoCodec codec) {
    switch (codec) {
        case VideoCodec::Hevc: return {"hevc", AV_CODEC_ID_HEVC, MKTAG('h', 'v', 'c', '1')};
        case VideoCodec::Av1: return {"obu", AV_CODEC_ID_AV1, 0};
        case VideoCodec::H264: break;
    }
    return {"h264", AV_CODEC_ID_H264, 0};
}

Input OpenVideo(const Options& options) {
    AVDictionary* demuxerOptions = nullptr;
    av_dict_set(&demuxerOptions, "framerate", (std::to_string(options.frameRate.num) + "/" +
                                               std::to_string(options.frameRate.den)).c_str(), 0);
    Input input = OpenInput(options.video, FactsOf(options.videoCodec).demuxer, &demuxerOptions);
    av_dict_free(&demuxerOptions);
    return input;
}

// The pictures' order counts, in decoding order, from FFmpeg's parser; which
// of them start the count again, from the units themselves.
class OrderCounts {
public:
    explicit OrderCounts(VideoCodec codec) : codec_(codec) {
        if (codec == VideoCodec::Av1) return;
        parser_.reset(av_parser_init(FactsOf(codec).id));
        context_.reset(avcodec_alloc_context3(nullptr));
        if (!parser_ || !context_) throw Failure("out of memory");
        parser_->flags |= PARSER_FLAG_COMPLETE_FRAMES;
    }

    // Adds the unit in `packet` to `order`; throws for one the track cannot hold.
    void Add(const AVPacket& packet, tool_args::PictureOrder& order) {
        bool afresh = false;
        if (codec_ == VideoCodec::Av1) {
            // Shown in the order stored, one picture a unit.
            tool_args::TemporalUnitObus(packet.data, static_cast<size_t>(packet.size), units_++ == 0);
            order.Add(units_, false);
            return;
        }
        if (codec_ == VideoCodec::Hevc) {
            afresh = hevc_.Next(packet.data, static_cast<size_t>(packet.size)).afresh;
        } else {
            for (const tool_args::Piece& nal : tool_args::NalUnits(packet.data, static_cast<size_t>(packet.size))) {
                afresh = afresh || (nal.data[0] & 0x1F) == 5;  // an IDR slice
            }
        }
        uint8_t* out = nullptr;
        int outSize = 0;
        av_parser_parse2(parser_.get(), context_.get(), &out, &outSize, packet.data, packet.size, AV_NOPTS_VALUE,
                         AV_NOPTS_VALUE, 0);
        order.Add(parser_->output_picture_number, afresh);
    }

private:
    VideoCodec codec_;
    Parser parser_;
    Codec context_;
    tool_args::HevcUnits hevc_;
    int64_t units_ = 0;
};

// The elementary stream carries no timestamps. Frames come in decoding order;
// their presentation order follows the picture order count, which starts
// again at each IDR picture (HEVC: see HevcUnits; AV1 shows them as stored).
// Returns each frame's presentation index and sets `delay` to the most frames
// any picture is shown before its decoding index: decoding times start that
// far below zero, so that presentation starts at 0.
std::vector<int64_t> PresentationOrder(const Options& options, int64_t& delay) {
    Input input = OpenVideo(options);
    OrderCounts counts(options.videoCodec);
    tool_args::PictureOrder order;
    Packet packet = NewPacket();
    for (;;) {
        int result = av_read_frame(input.get(), packet.get());
        if (result == AVERROR_EOF) break;
        Check(result, "cannot read " + options.video);
        try {
            counts.Add(*packet, order);
        } catch (const tool_args::StreamError& failure) {
            throw Failure(options.video + ": " + failure.what());
        }
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
        const CodecFacts facts = FactsOf(options.videoCodec);
        AVStream* source = input_->streams[0];
        if (source->codecpar->codec_id != facts.id || source->codecpar->extradata_size == 0 ||
            source->codecpar->width <= 0 || source->codecpar->height <= 0) {
            throw Failure(options.video + " is not a usable " + tool_args::VideoCodecName(options.videoCodec) +
                          " stream");
        }
        const AVCodecParameters* parameters = source->codecpar;
        if (options.videoCodec == VideoCodec::Hevc) {
            // hvc1: the parameter sets live in the track's configuration
            // alone; the stream's copies repeat them (HevcUnits made sure).
            filter_.reset(NewFilter("filter_units"));
            Check(avcodec_parameters_copy(filter_->par_in, parameters), "video parameters");
            filter_->time_base_in = source->time_base;
            Check(av_opt_set(filter_->priv_data, "remove_types", "32-34", 0), "video filter");
            Check(av_bsf_init(filter_.get()), "video filter");
            parameters = filter_->par_out;
        }
        stream = avformat_new_stream(output, nullptr);
        if (stream == nullptr) throw Failure("out of memory");
        // The stream information holds the SPS's VUI colours (primaries,
        // transfer, matrix, range); with them the MP4 muxer writes the same
        // in the track's nclx colr box.
        Check(avcodec_parameters_copy(stream->codecpar, parameters), "video parameters");
        stream->codecpar->codec_tag = facts.tag;
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
        if (filter_) {
            Check(av_bsf_send_packet(filter_.get(), packet), "video filter");
            Check(av_bsf_receive_packet(filter_.get(), packet), "video filter");
        }
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
    static AVBSFContext* NewFilter(const char* name) {
        const AVBitStreamFilter* filter = av_bsf_get_by_name(name);
        AVBSFContext* context = nullptr;
        if (filter == nullptr || av_bsf_alloc(filter, &context) < 0) {
            throw Failure(std::string("no ") + name + " filter");
        }
        return context;
    }

    const Options& options_;
    int64_t delay_ = 0;  // frames of reordering; set by presentation_'s initialiser
    std::vector<int64_t> presentation_;
    Input input_;
    BitstreamFilter filter_;
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
    // One line says why a run failed; FFmpeg's own complaints would come first.
    av_log_set_level(AV_LOG_QUIET);
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
