// A media file as the host's project, read with FFmpeg's libraries. Video
// and audio are read through two demuxer instances, so each is decoded
// front to back whatever order the plug-in asks in; a request behind the
// current position starts that stream over.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "host/input.h"

namespace host {
namespace {

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// One stream of the file with its own demuxer and decoder.
struct StreamReader {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;
    bool inputDone = false;   // the demuxer has no more packets for us
    bool decoderDone = false; // the decoder has given its last frame

    ~StreamReader() {
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }

    bool Open(const std::string& path, AVMediaType type, std::string* error) {
        int result = avformat_open_input(&format, path.c_str(), nullptr, nullptr);
        if (result < 0) return Fail(error, path + ": " + AvError(result));
        result = avformat_find_stream_info(format, nullptr);
        if (result < 0) return Fail(error, path + ": " + AvError(result));
        const AVCodec* decoder = nullptr;
        stream = av_find_best_stream(format, type, -1, -1, &decoder, 0);
        if (stream < 0) return Fail(error, "");  // no such stream: the caller decides
        codec = avcodec_alloc_context3(decoder);
        packet = av_packet_alloc();
        frame = av_frame_alloc();
        if (codec == nullptr || packet == nullptr || frame == nullptr) return Fail(error, "out of memory");
        avcodec_parameters_to_context(codec, format->streams[stream]->codecpar);
        codec->thread_count = 0;  // as many as the decoder likes
        result = avcodec_open2(codec, decoder, nullptr);
        if (result < 0) return Fail(error, path + ": cannot open the decoder: " + AvError(result));
        return true;
    }

    static bool Fail(std::string* error, const std::string& text) {
        if (error != nullptr) *error = text;
        return false;
    }

    AVStream* Stream() const { return format->streams[stream]; }

    // The next decoded frame into `frame`: 1, end of stream: 0, failure: -1.
    int Next(std::string* error) {
        while (!decoderDone) {
            int result = avcodec_receive_frame(codec, frame);
            if (result == 0) return 1;
            if (result == AVERROR_EOF) {
                decoderDone = true;
                break;
            }
            if (result != AVERROR(EAGAIN)) {
                *error = "decoding failed: " + AvError(result);
                return -1;
            }
            if (inputDone) {
                avcodec_send_packet(codec, nullptr);
                continue;
            }
            result = av_read_frame(format, packet);
            if (result < 0) {
                inputDone = true;  // end of file, or a damaged tail: decode what we have
                avcodec_send_packet(codec, nullptr);
                continue;
            }
            if (packet->stream_index == stream) {
                result = avcodec_send_packet(codec, packet);
                // A damaged packet is skipped as players do.
                (void)result;
            }
            av_packet_unref(packet);
        }
        return 0;
    }

    bool Rewind(std::string* error) {
        int result = av_seek_frame(format, stream, Stream()->start_time != AV_NOPTS_VALUE ? Stream()->start_time : 0,
                                   AVSEEK_FLAG_BACKWARD);
        if (result < 0) return Fail(error, "cannot go back to the start: " + AvError(result));
        avcodec_flush_buffers(codec);
        inputDone = decoderDone = false;
        return true;
    }
};

// Start and end of a stream in seconds, from its packets (demuxing only).
struct Extent {
    double start = 0;
    double end = 0;
    bool any = false;
};

bool ScanExtents(const std::string& path, int videoStream, int audioStream, Extent* video, Extent* audio,
                 std::string* error) {
    AVFormatContext* format = nullptr;
    int result = avformat_open_input(&format, path.c_str(), nullptr, nullptr);
    if (result < 0) return StreamReader::Fail(error, path + ": " + AvError(result));
    AVPacket* packet = av_packet_alloc();
    while (packet != nullptr && av_read_frame(format, packet) >= 0) {
        Extent* extent = packet->stream_index == videoStream ? video
                         : packet->stream_index == audioStream ? audio
                                                               : nullptr;
        if (extent != nullptr && packet->pts != AV_NOPTS_VALUE) {
            double base = av_q2d(format->streams[packet->stream_index]->time_base);
            double start = packet->pts * base;
            double end = (packet->pts + std::max<int64_t>(packet->duration, 0)) * base;
            if (!extent->any || start < extent->start) extent->start = start;
            if (!extent->any || end > extent->end) extent->end = end;
            extent->any = true;
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&format);
    return true;
}

// A stream's length: what the container declares (which knows about edit
// lists and encoder priming), else what its packets span.
double StreamSeconds(const AVStream* stream, const Extent& extent) {
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) return stream->duration * av_q2d(stream->time_base);
    return extent.end - extent.start;
}

class MediaInput final : public Input {
public:
    ~MediaInput() override {
        sws_freeContext(scaler_);
        swr_free(&resampler_);
    }

    bool Open(const std::string& path, bool wantAudio, std::string* error) {
        if (!video_.Open(path, AVMEDIA_TYPE_VIDEO, error)) {
            if (error->empty()) *error = path + ": no video stream";
            return false;
        }
        AVCodecParameters* vp = video_.Stream()->codecpar;
        if (vp->width <= 0 || vp->height <= 0 || vp->width > 0x7FFF || vp->height > 0x7FFF) {
            *error = path + ": unusable picture size";
            return false;
        }
        AVRational rate = av_guess_frame_rate(video_.format, video_.Stream(), nullptr);
        if (rate.num <= 0 || rate.den <= 0) rate = AVRational{30, 1};
        format_.width = vp->width;
        format_.height = vp->height;
        format_.rate = rate.num;
        format_.scale = rate.den;

        if (wantAudio) {
            std::string audioError;
            if (audio_.Open(path, AVMEDIA_TYPE_AUDIO, &audioError)) {
                format_.hasAudio = true;
            } else if (!audioError.empty()) {
                *error = audioError;
                return false;
            }
        }

        Extent videoExtent, audioExtent;
        if (!ScanExtents(path, video_.stream, format_.hasAudio ? audio_.stream : -1, &videoExtent, &audioExtent,
                         error)) {
            return false;
        }
        double seconds = StreamSeconds(video_.Stream(), videoExtent);
        videoStart_ = videoExtent.start;
        format_.frameCount = static_cast<int>(std::llround(seconds * format_.rate / format_.scale));

        if (format_.hasAudio) {
            AVCodecParameters* ap = audio_.Stream()->codecpar;
            format_.audioRate = ap->sample_rate;
            format_.audioChannels = ap->ch_layout.nb_channels == 1 ? 1 : 2;
            if (format_.audioRate <= 0) {
                *error = path + ": the audio has no sampling rate";
                return false;
            }
            format_.audioSampleCount =
                static_cast<int>(std::llround(StreamSeconds(audio_.Stream(), audioExtent) * format_.audioRate));
            AVChannelLayout out;
            av_channel_layout_default(&out, format_.audioChannels);
            int result = swr_alloc_set_opts2(&resampler_, &out, AV_SAMPLE_FMT_S16, format_.audioRate,
                                             &audio_.codec->ch_layout, audio_.codec->sample_fmt,
                                             audio_.codec->sample_rate, 0, nullptr);
            av_channel_layout_uninit(&out);
            if (result < 0 || swr_init(resampler_) < 0) {
                *error = path + ": cannot convert the audio";
                return false;
            }
        }
        topStride_ = (3 * static_cast<size_t>(format_.width) + 63) & ~size_t{63};
        top_.resize(topStride_ * format_.height);
        return true;
    }

    const InputFormat& Format() const override { return format_; }

    bool ReadFrame(int index, uint8_t* dib, std::string* error) override {
        if (index < nextIndex_) {
            if (!video_.Rewind(error)) return false;
            haveCurrent_ = havePending_ = false;
        }
        nextIndex_ = index + 1;
        // The frame shown at this frame's time: the last decoded one that
        // starts no later than half a frame after it.
        double frameSeconds = static_cast<double>(format_.scale) / format_.rate;
        double target = videoStart_ + index * frameSeconds + frameSeconds / 2;
        double base = av_q2d(video_.Stream()->time_base);
        for (;;) {
            if (!havePending_) {
                int got = video_.Next(error);
                if (got < 0) return false;
                if (got == 0) break;
                int64_t ts = video_.frame->best_effort_timestamp;
                pendingSeconds_ = ts == AV_NOPTS_VALUE ? target : ts * base;
                havePending_ = true;
            }
            if (haveCurrent_ && pendingSeconds_ > target) break;
            // Take the pending frame as the current one.
            if (!Convert(error)) return false;
            haveCurrent_ = true;
            havePending_ = false;
        }
        if (!haveCurrent_) {
            *error = "the file has no picture for frame " + std::to_string(index);
            return false;
        }
        const size_t stride = DibStride(format_.width), row = 3 * static_cast<size_t>(format_.width);
        for (int y = 0; y < format_.height; ++y) {
            uint8_t* out = dib + static_cast<size_t>(format_.height - 1 - y) * stride;
            std::memcpy(out, top_.data() + y * topStride_, row);
            std::memset(out + row, 0, stride - row);
        }
        return true;
    }

    int ReadAudio(int64_t start, int count, int16_t* samples, std::string* error) override {
        const int channels = format_.audioChannels;
        if (start < bufferStart_) {
            if (!audio_.Rewind(error)) return -1;
            swr_init(resampler_);
            buffer_.clear();
            bufferStart_ = 0;
            audioDone_ = false;
        }
        int64_t end = std::min<int64_t>(start + count, format_.audioSampleCount);
        if (end <= start) return 0;
        while (!audioDone_ && bufferStart_ + BufferedFrames() < end) {
            int got = audio_.Next(error);
            if (got < 0) return -1;
            if (got == 0) {
                audioDone_ = true;
                break;
            }
            AVFrame* frame = audio_.frame;
            int room = swr_get_out_samples(resampler_, frame->nb_samples);
            size_t old = buffer_.size();
            buffer_.resize(old + static_cast<size_t>(room) * channels);
            uint8_t* out = reinterpret_cast<uint8_t*>(buffer_.data() + old);
            int made = swr_convert(resampler_, &out, room, const_cast<const uint8_t**>(frame->extended_data),
                                   frame->nb_samples);
            if (made < 0) {
                *error = "cannot convert the audio: " + AvError(made);
                return -1;
            }
            buffer_.resize(old + static_cast<size_t>(made) * channels);
        }
        // Whatever the decoder did not deliver up to the announced length is silence.
        int n = static_cast<int>(end - start);
        for (int i = 0; i < n; ++i) {
            int64_t at = start + i - bufferStart_;
            for (int c = 0; c < channels; ++c) {
                samples[static_cast<size_t>(i) * channels + c] =
                    at >= 0 && at < BufferedFrames() ? buffer_[static_cast<size_t>(at) * channels + c] : 0;
            }
        }
        // Drop what lies before this request; the host moves forward.
        int64_t drop = std::min<int64_t>(std::max<int64_t>(start - bufferStart_, 0), BufferedFrames());
        buffer_.erase(buffer_.begin(), buffer_.begin() + drop * channels);
        bufferStart_ += drop;
        return n;
    }

private:
    int64_t BufferedFrames() const { return static_cast<int64_t>(buffer_.size()) / format_.audioChannels; }

    bool Convert(std::string* error) {
        AVFrame* frame = video_.frame;
        if (frame->width != format_.width || frame->height != format_.height) {
            *error = "the picture size changes inside the file";
            return false;
        }
        scaler_ = sws_getCachedContext(scaler_, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                       format_.width, format_.height, AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr,
                                       nullptr, nullptr);
        if (scaler_ == nullptr) {
            *error = "cannot convert the picture to BGR";
            return false;
        }
        // swscale's vector code wants aligned rows and may leave the last
        // pixels of a DIB-strided row unwritten, so it gets rows of its own.
        uint8_t* planes[1] = {top_.data()};
        int strides[1] = {static_cast<int>(topStride_)};
        sws_scale(scaler_, frame->data, frame->linesize, 0, frame->height, planes, strides);
        av_frame_unref(frame);
        return true;
    }

    InputFormat format_;
    StreamReader video_;
    StreamReader audio_;
    SwsContext* scaler_ = nullptr;
    SwrContext* resampler_ = nullptr;

    // Video: host thread only, like every call here.
    double videoStart_ = 0;
    int nextIndex_ = 0;          // one past the last frame asked for
    bool haveCurrent_ = false;   // top_ holds the picture shown now
    bool havePending_ = false;   // video_.frame holds the next picture
    double pendingSeconds_ = 0;
    std::vector<uint8_t> top_;   // the current picture, top-down
    size_t topStride_ = 0;

    // Audio: decoded samples from sample frame bufferStart_ on.
    std::vector<int16_t> buffer_;
    int64_t bufferStart_ = 0;
    bool audioDone_ = false;
};

}  // namespace

std::unique_ptr<Input> OpenMediaInput(const std::string& path, bool audio, std::string* error) {
    auto input = std::make_unique<MediaInput>();
    if (!input->Open(path, audio, error)) return nullptr;
    return input;
}

}  // namespace host
