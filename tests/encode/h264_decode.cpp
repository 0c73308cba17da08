#include "tests/encode/h264_decode.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace tarvo_test {
namespace {

void Collect(AVFrame* frame, std::vector<DecodedFrame>* frames) {
    DecodedFrame decoded;
    decoded.width = frame->width;
    decoded.height = frame->height;
    double total = 0;
    for (int y = 0; y < frame->height; ++y) {
        const uint8_t* row = frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0];
        double sum = 0;
        for (int x = 0; x < frame->width; ++x) sum += row[x];
        decoded.rowMeans.push_back(sum / frame->width);
        total += sum;
    }
    decoded.mean = total / (static_cast<double>(frame->width) * frame->height);
    frames->push_back(std::move(decoded));
}

void Drain(AVCodecContext* codec, AVFrame* frame, std::vector<DecodedFrame>* frames) {
    while (avcodec_receive_frame(codec, frame) == 0) Collect(frame, frames);
}

}  // namespace

std::vector<DecodedFrame> DecodeH264File(const std::string& path) {
    std::vector<DecodedFrame> frames;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), av_find_input_format("h264"), nullptr) != 0) return frames;
    const AVCodec* decoder = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext* codec = avcodec_alloc_context3(decoder);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    if (avformat_find_stream_info(format, nullptr) >= 0 &&
        avcodec_parameters_to_context(codec, format->streams[0]->codecpar) >= 0 &&
        avcodec_open2(codec, decoder, nullptr) == 0) {
        while (av_read_frame(format, packet) >= 0) {
            if (avcodec_send_packet(codec, packet) == 0) Drain(codec, frame, &frames);
            av_packet_unref(packet);
        }
        avcodec_send_packet(codec, nullptr);
        Drain(codec, frame, &frames);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    return frames;
}

}  // namespace tarvo_test
