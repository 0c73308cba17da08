// Small owners for FFmpeg's objects and the error reporting of the stand-ins.
#pragma once
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <cerrno>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/stat.h>

namespace compat {

// A failure that ends the program with its message.
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

inline std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// Throws with `what` and FFmpeg's text when `code` is an error.
inline int Check(int code, const std::string& what) {
    if (code < 0) throw Failure(what + ": " + AvError(code));
    return code;
}

struct InputCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct OutputCloser {
    void operator()(AVFormatContext* context) const {
        if (context->pb != nullptr && !(context->oformat->flags & AVFMT_NOFILE)) avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
struct CodecCloser {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct SwrFree {
    void operator()(SwrContext* context) const { swr_free(&context); }
};
struct FifoFree {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};
struct ParserClose {
    void operator()(AVCodecParserContext* parser) const { av_parser_close(parser); }
};
struct FilterFree {
    void operator()(AVBSFContext* filter) const { av_bsf_free(&filter); }
};

using Input = std::unique_ptr<AVFormatContext, InputCloser>;
using Output = std::unique_ptr<AVFormatContext, OutputCloser>;
using Codec = std::unique_ptr<AVCodecContext, CodecCloser>;
using Packet = std::unique_ptr<AVPacket, PacketFree>;
using Frame = std::unique_ptr<AVFrame, FrameFree>;
using Resampler = std::unique_ptr<SwrContext, SwrFree>;
using Fifo = std::unique_ptr<AVAudioFifo, FifoFree>;
using Parser = std::unique_ptr<AVCodecParserContext, ParserClose>;
using BitstreamFilter = std::unique_ptr<AVBSFContext, FilterFree>;

inline Packet NewPacket() {
    Packet packet(av_packet_alloc());
    if (!packet) throw Failure("out of memory");
    return packet;
}

// Opens `path` for reading, with the demuxer `format` or by probing (null).
inline Input OpenInput(const std::string& path, const char* format, AVDictionary** options = nullptr) {
    const AVInputFormat* inputFormat = nullptr;
    if (format != nullptr) inputFormat = av_find_input_format(format);
    AVFormatContext* context = nullptr;
    Check(avformat_open_input(&context, path.c_str(), inputFormat, options), "cannot read " + path);
    return Input(context);
}

// A new output file of `format` at `path`, whatever its extension.
// True when nothing is at `path` yet: only then may a failure remove what
// is there afterwards (never a file the user had, a device or a pipe).
inline bool NothingAt(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) != 0 && errno == ENOENT;
}

// Removes what a failed run left at `path`, if this run created it: a
// regular file, where there was nothing before.
inline void RemoveCreated(const std::string& path, bool createdHere) {
    struct stat info;
    if (createdHere && lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) std::remove(path.c_str());
}

inline Output CreateOutput(const std::string& path, const char* format) {
    AVFormatContext* context = nullptr;
    Check(avformat_alloc_output_context2(&context, nullptr, format, path.c_str()), "cannot create " + path);
    Output output(context);
    Check(avio_open(&output->pb, path.c_str(), AVIO_FLAG_WRITE), "cannot write " + path);
    return output;
}

}  // namespace compat
