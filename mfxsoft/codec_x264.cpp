// The libx264 back end: H.264 in Annex B with SPS and PPS before every IDR.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <thread>

extern "C" {
#include <x264.h>
}

#include "mfxsoft/codec.h"

namespace mfxsoft {
namespace {

// Target usage to x264 speed preset; chosen so that 1080p stays faster than
// real time at 25-30 fps on two cores at the balanced setting.
const char* PresetFor(int targetUsage) {
    if (targetUsage <= MFX_TARGETUSAGE_2) return "faster";
    if (targetUsage <= MFX_TARGETUSAGE_5) return "veryfast";
    return "superfast";
}

const char* ProfileFor(int profile) {
    switch (profile & 0xFF) {
        case MFX_PROFILE_AVC_BASELINE: return "baseline";
        case MFX_PROFILE_AVC_MAIN: return "main";
        default: return "high";
    }
}

// Frame threads: each adds one picture of delay, so a few are enough. Two a
// core: the worker hands x264 one picture at a time and waits for its
// output, so with one thread a core a core idles while the next picture is
// handed over (on 2 cores, 4 threads export 720p about 20 % faster than 2).
int FrameThreads() {
    unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(2 * cores, 1u, 4u));
}

constexpr int kMaxLookAhead = 250;  // x264's X264_LOOKAHEAD_MAX

// The look-ahead x264 keeps for `c`: the depth asked, held (as x264 holds it)
// to the longer of the GOP and the VBV buffer's duration.
int LookAheadOf(const CodecConfig& c) {
    if (c.lookAhead == 0) return 0;
    const double fps = static_cast<double>(c.rateN) / c.rateD;
    const double bufferFrames = c.maxKbps != 0 ? static_cast<double>(c.bufferKB) * 8 / c.maxKbps * fps : 0;
    return std::min(std::min(c.lookAhead, kMaxLookAhead), std::max(c.gopSize, static_cast<int>(bufferFrames)));
}

// Rate control: a lower QP or quality value always gives a larger, better stream.
void SetRateControl(const CodecConfig& c, x264_param_t* p) {
    switch (c.rateControl) {
        case MFX_RATECONTROL_CQP:
            p->rc.i_rc_method = X264_RC_CQP;
            p->rc.i_qp_constant = c.qpP;
            p->rc.f_ip_factor = static_cast<float>(std::pow(2.0, (c.qpP - c.qpI) / 6.0));
            p->rc.f_pb_factor = static_cast<float>(std::pow(2.0, (c.qpB - c.qpP) / 6.0));
            return;
        case MFX_RATECONTROL_ICQ:
        case MFX_RATECONTROL_LA_ICQ:
        case MFX_RATECONTROL_QVBR:  // capped by the VBV below
            p->rc.i_rc_method = X264_RC_CRF;
            p->rc.f_rf_constant = static_cast<float>(c.quality);
            break;
        default:  // CBR, VBR, LA (held by the VBV) and AVBR (the average only)
            p->rc.i_rc_method = X264_RC_ABR;
            p->rc.i_bitrate = static_cast<int>(c.targetKbps);
            break;
    }
    if (c.maxKbps != 0) {
        p->rc.i_vbv_max_bitrate = static_cast<int>(c.maxKbps);
        p->rc.i_vbv_buffer_size = static_cast<int>(c.bufferKB * 8);
        p->rc.f_vbv_buffer_init = c.bufferKB != 0 ? static_cast<float>(c.initialDelayKB) / c.bufferKB : 0.9f;
    }
    // The look-ahead (LA, LA_ICQ) drives MB-tree, which x264 needs to keep a
    // look-ahead at all without a VBV.
    p->rc.i_lookahead = LookAheadOf(c);
    p->rc.b_mb_tree = p->rc.i_lookahead > 0 ? 1 : 0;
}

bool BuildParams(const CodecConfig& c, x264_param_t* p) {
    if (x264_param_default_preset(p, PresetFor(c.targetUsage), nullptr) < 0) return false;
    p->i_log_level = X264_LOG_NONE;
    p->i_csp = X264_CSP_NV12;
    p->i_width = c.width;
    p->i_height = c.height;
    // The crop goes into the SPS; 4:2:0 crops in pairs, so an odd picture
    // keeps one padded column or row.
    p->crop_rect.i_left = static_cast<unsigned>(c.cropX);
    p->crop_rect.i_top = static_cast<unsigned>(c.cropY);
    p->crop_rect.i_right = static_cast<unsigned>((c.width - c.cropX - c.cropW) & ~1);
    p->crop_rect.i_bottom = static_cast<unsigned>((c.height - c.cropY - c.cropH) & ~1);
    p->i_fps_num = c.rateN;
    p->i_fps_den = c.rateD;
    p->i_timebase_num = c.rateD;
    p->i_timebase_den = c.rateN;
    p->b_vfr_input = 0;
    p->b_annexb = 1;
    p->b_repeat_headers = 1;
    p->b_aud = 0;
    // The conversion averages each 2x2 block: chroma sits in its centre.
    p->vui.i_chroma_loc = 1;
    if (c.signal) {
        p->vui.i_vidformat = c.videoFormat;
        p->vui.b_fullrange = c.fullRange ? 1 : 0;
        if (c.colourDescription) {
            p->vui.i_colorprim = c.primaries;
            p->vui.i_transfer = c.transfer;
            p->vui.i_colmatrix = c.matrix;
        }
    }

    p->i_threads = FrameThreads();
    p->b_sliced_threads = 0;
    p->i_sync_lookahead = 0;
    p->rc.i_lookahead = 0;  // a hardware-like delay: only the B-frames are held (LA modes: see SetRateControl)
    p->rc.b_mb_tree = 0;

    p->i_keyint_max = c.gopSize;
    p->i_keyint_min = std::max(1, std::min(c.gopSize / 2, 25));
    p->b_open_gop = 0;
    p->i_scenecut_threshold = 0;  // a fixed GOP, as the hardware keeps without lookahead
    p->i_bframe = c.refDist - 1;
    p->i_bframe_adaptive = X264_B_ADAPT_NONE;
    p->i_bframe_pyramid = X264_B_PYRAMID_NONE;
    p->i_frame_reference = std::max(1, c.numRef);
    p->i_slice_count = c.numSlice;
    p->i_level_idc = c.level == MFX_LEVEL_AVC_1b ? 9 : c.level;

    SetRateControl(c, p);
    return x264_param_apply_profile(p, ProfileFor(c.profile)) == 0;
}

uint16_t FrameTypeOf(int x264Type) {
    switch (x264Type) {
        case X264_TYPE_IDR: return MFX_FRAMETYPE_I | MFX_FRAMETYPE_REF | MFX_FRAMETYPE_IDR;
        case X264_TYPE_I: return MFX_FRAMETYPE_I | MFX_FRAMETYPE_REF;
        case X264_TYPE_P: return MFX_FRAMETYPE_P | MFX_FRAMETYPE_REF;
        case X264_TYPE_BREF: return MFX_FRAMETYPE_B | MFX_FRAMETYPE_REF;
        default: return MFX_FRAMETYPE_B;
    }
}

class X264Codec final : public Codec {
public:
    X264Codec(const CodecConfig& config, x264_t* encoder) : config_(config), encoder_(encoder) {}
    ~X264Codec() override { x264_encoder_close(encoder_); }

    int Delay() const override { return x264_encoder_maximum_delayed_frames(encoder_); }

    mfxStatus Encode(const PictureView& picture, uint64_t order, uint64_t timeStamp, void* opaque,
                     std::vector<CodedFrame>* out) override {
        x264_picture_t in;
        x264_picture_init(&in);
        in.img.i_csp = X264_CSP_NV12;
        in.img.i_plane = 2;
        in.img.plane[0] = const_cast<uint8_t*>(picture.y);
        in.img.i_stride[0] = static_cast<int>(picture.yPitch);
        in.img.plane[1] = const_cast<uint8_t*>(picture.uv);
        in.img.i_stride[1] = static_cast<int>(picture.uvPitch);
        in.i_pts = static_cast<int64_t>(order);
        in.opaque = opaque;
        times_[in.i_pts] = timeStamp;
        return Run(&in, out) < 0 ? MFX_ERR_DEVICE_FAILED : MFX_ERR_NONE;
    }

    bool Flush(std::vector<CodedFrame>* out) override {
        if (x264_encoder_delayed_frames(encoder_) == 0) return false;
        return Run(nullptr, out) >= 0;
    }

private:
    int Run(x264_picture_t* in, std::vector<CodedFrame>* out) {
        x264_nal_t* nals = nullptr;
        int count = 0;
        x264_picture_t coded;
        int size = x264_encoder_encode(encoder_, &nals, &count, in, &coded);
        if (size <= 0) return size;
        CodedFrame frame;
        // The payloads of one frame are contiguous.
        frame.bytes.assign(nals[0].p_payload, nals[0].p_payload + size);
        frame.order = static_cast<uint64_t>(coded.i_pts);
        auto it = times_.find(coded.i_pts);
        if (it != times_.end()) {
            frame.timeStamp = it->second;
            times_.erase(it);
        }
        frame.decodeOrderPts = coded.i_dts;
        frame.frameType = FrameTypeOf(coded.i_type);
        frame.opaque = coded.opaque;
        out->push_back(std::move(frame));
        return size;
    }

    CodecConfig config_;
    x264_t* encoder_;
    std::map<int64_t, uint64_t> times_;  // TimeStamp by pts, until the frame is out
};

}  // namespace

int X264Delay(const CodecConfig& config) {
    // x264: the longer of the B-frames and the look-ahead, plus one picture
    // per extra frame thread.
    const int threads = FrameThreads();
    return std::max(config.refDist - 1, LookAheadOf(config)) + threads - 1;
}

std::unique_ptr<Codec> MakeX264Codec(const CodecConfig& config) {
    x264_param_t params;
    if (!BuildParams(config, &params)) return nullptr;
    x264_t* encoder = x264_encoder_open(&params);
    if (encoder == nullptr) return nullptr;
    return std::make_unique<X264Codec>(config, encoder);
}

}  // namespace mfxsoft
