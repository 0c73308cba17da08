// neroaacenc-compat: a stand-in for neroAacEnc.exe with the command line the
// plug-in uses. Reads a 16-bit PCM WAV file and writes AAC LC at the asked bit
// rate into an MP4 (M4A) file, whatever the output's extension.
//   neroaacenc-compat [-2pass] [-br BITS] [-lc|-he|-hev2] -if IN.wav -of OUT
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ffmpeg_util.h"
#include "tools/common/tool_args.h"

namespace {

using namespace compat;

// True when nothing was at the output path before this run, so that a
// failure removes only what this program made.
bool outputCreated = false;

struct Options {
    long long bitRate = 128000;
    std::string input;
    std::string output;
};

Options ParseArguments(int argc, char** argv) {
    tool_args::AacArguments parsed =
        tool_args::ParseAacArguments(tool_args::ArgumentsOf(std::vector<std::string>(argv, argv + argc)));
    if (!parsed.profileAsked.empty()) {
        std::fprintf(stderr, "neroaacenc-compat: %s asked, writing AAC LC (FFmpeg's encoder makes LC only)\n",
                     parsed.profileAsked.c_str());
    }
    return Options{parsed.bitRate, parsed.input, parsed.output};
}

class Encoder {
public:
    Encoder(const Options& options, const AVCodecParameters& pcm) : options_(options) {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (codec == nullptr) throw Failure("no AAC encoder in this FFmpeg");
        codec_.reset(avcodec_alloc_context3(codec));
        if (!codec_) throw Failure("out of memory");
        codec_->sample_fmt = AV_SAMPLE_FMT_FLTP;
        codec_->sample_rate = pcm.sample_rate;
        av_channel_layout_default(&codec_->ch_layout, pcm.ch_layout.nb_channels);
        codec_->bit_rate = options.bitRate;
        codec_->profile = FF_PROFILE_AAC_LOW;
        codec_->time_base = AVRational{1, pcm.sample_rate};

        outputCreated = NothingAt(options.output);
        output_ = CreateOutput(options.output, "ipod");
        if (output_->oformat->flags & AVFMT_GLOBALHEADER) codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        Check(avcodec_open2(codec_.get(), codec, nullptr), "cannot open the AAC encoder");
        stream_ = avformat_new_stream(output_.get(), nullptr);
        if (stream_ == nullptr) throw Failure("out of memory");
        Check(avcodec_parameters_from_context(stream_->codecpar, codec_.get()), "encoder parameters");
        stream_->time_base = codec_->time_base;
        Check(avformat_write_header(output_.get(), nullptr), "cannot write " + options.output);

        SwrContext* resampler = nullptr;
        AVChannelLayout inputLayout;
        av_channel_layout_default(&inputLayout, pcm.ch_layout.nb_channels);
        Check(swr_alloc_set_opts2(&resampler, &codec_->ch_layout, AV_SAMPLE_FMT_FLTP, pcm.sample_rate, &inputLayout,
                                  AV_SAMPLE_FMT_S16, pcm.sample_rate, 0, nullptr),
              "sample conversion");
        av_channel_layout_uninit(&inputLayout);
        resampler_.reset(resampler);
        Check(swr_init(resampler_.get()), "sample conversion");
        fifo_.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, codec_->ch_layout.nb_channels, codec_->frame_size));
        frame_.reset(av_frame_alloc());
        packet_ = NewPacket();
        if (!fifo_ || !frame_) throw Failure("out of memory");
    }

    // Interleaved 16-bit sample frames from the WAV file.
    void Add(const uint8_t* samples, int count) {
        Frame converted(av_frame_alloc());
        if (!converted) throw Failure("out of memory");
        converted->format = AV_SAMPLE_FMT_FLTP;
        converted->nb_samples = count;
        converted->sample_rate = codec_->sample_rate;
        Check(av_channel_layout_copy(&converted->ch_layout, &codec_->ch_layout), "out of memory");
        Check(av_frame_get_buffer(converted.get(), 0), "out of memory");
        int done = Check(swr_convert(resampler_.get(), converted->data, count, &samples, count), "sample conversion");
        if (av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(converted->data), done) < done) {
            throw Failure("out of memory");
        }
        while (av_audio_fifo_size(fifo_.get()) >= codec_->frame_size) EncodeFromFifo(codec_->frame_size);
    }

    void Finish() {
        // The last frame may be short; the encoder pads it and the container's
        // edit list keeps the duration exact.
        if (int left = av_audio_fifo_size(fifo_.get()); left > 0) EncodeFromFifo(left);
        Check(avcodec_send_frame(codec_.get(), nullptr), "encoding");
        Drain();
        Check(av_write_trailer(output_.get()), "cannot finish " + options_.output);
        Check(avio_closep(&output_->pb), "cannot close " + options_.output);
    }

private:
    void EncodeFromFifo(int count) {
        av_frame_unref(frame_.get());
        frame_->format = AV_SAMPLE_FMT_FLTP;
        frame_->nb_samples = count;
        frame_->sample_rate = codec_->sample_rate;
        Check(av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout), "out of memory");
        Check(av_frame_get_buffer(frame_.get(), 0), "out of memory");
        if (av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame_->data), count) < count) {
            throw Failure("sample queue");
        }
        frame_->pts = samplesSent_;
        samplesSent_ += count;
        Check(avcodec_send_frame(codec_.get(), frame_.get()), "encoding");
        Drain();
    }

    void Drain() {
        for (;;) {
            int result = avcodec_receive_packet(codec_.get(), packet_.get());
            if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return;
            Check(result, "encoding");
            av_packet_rescale_ts(packet_.get(), codec_->time_base, stream_->time_base);
            packet_->stream_index = stream_->index;
            Check(av_interleaved_write_frame(output_.get(), packet_.get()), "cannot write " + options_.output);
        }
    }

    const Options& options_;
    Codec codec_;
    Output output_;
    AVStream* stream_ = nullptr;  // owned by output_
    Resampler resampler_;
    Fifo fifo_;
    Frame frame_;
    Packet packet_;
    int64_t samplesSent_ = 0;
};

void Convert(const Options& options) {
    Input input = OpenInput(options.input, "wav");
    Check(avformat_find_stream_info(input.get(), nullptr), "cannot read " + options.input);
    if (input->nb_streams != 1 || input->streams[0]->codecpar->codec_id != AV_CODEC_ID_PCM_S16LE) {
        throw Failure(options.input + " is not a 16-bit PCM WAV file");
    }
    const AVCodecParameters& pcm = *input->streams[0]->codecpar;
    int channels = pcm.ch_layout.nb_channels;
    if (channels < 1 || channels > 8 || pcm.sample_rate <= 0) throw Failure(options.input + ": unsupported format");

    Encoder encoder(options, pcm);
    Packet packet = NewPacket();
    const int frameBytes = 2 * channels;
    for (;;) {
        int result = av_read_frame(input.get(), packet.get());
        if (result == AVERROR_EOF) break;
        Check(result, "cannot read " + options.input);
        encoder.Add(packet->data, packet->size / frameBytes);
        av_packet_unref(packet.get());
    }
    encoder.Finish();
}

}  // namespace

int main(int argc, char** argv) {
    av_log_set_level(AV_LOG_ERROR);
    Options options;
    try {
        options = ParseArguments(argc, argv);
        Convert(options);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "neroaacenc-compat: %s\n", failure.what());
        // Nobody should take a half-written file for the result.
        RemoveCreated(options.output, outputCreated);
        return 1;
    }
    return 0;
}
