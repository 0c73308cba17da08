// The SVT-AV1 back end: AV1 Main profile, 8 or 10 bits, as a low-overhead
// OBU stream. Each output is one temporal unit (a temporal delimiter, the
// sequence header before key frames, the frames): SVT-AV1 shows the hidden
// reference frames of its mini-GOPs with show-existing frames, so temporal
// units come out one per picture and in display order.
#include <algorithm>
#include <map>
#include <thread>

#include <EbSvtAv1Enc.h>

#include "mfxsoft/codec.h"
#include "mfxsoft/planar.h"

namespace mfxsoft {
namespace {

// Target usage to SVT-AV1 preset (0 slowest .. 13 fastest).
int PresetFor(int targetUsage) {
    if (targetUsage <= MFX_TARGETUSAGE_2) return 10;
    if (targetUsage <= MFX_TARGETUSAGE_5) return 12;
    return 13;
}

// SVT-AV1 mini-GOPs hold 2^levels pictures, levels 2 to 5; GopRefDist is
// one of 4, 8, 16 here (the front end rounds it), 1 meaning low delay.
uint32_t HierarchicalLevels(int refDist) {
    uint32_t levels = 2;
    while ((1 << levels) < refDist)
        ++levels;
    return levels;
}

uint16_t FrameTypeOf(const EbBufferHeaderType& packet) {
    switch (packet.pic_type) {
        case EB_AV1_KEY_PICTURE: return MFX_FRAMETYPE_I | MFX_FRAMETYPE_REF | MFX_FRAMETYPE_IDR;
        case EB_AV1_INTRA_ONLY_PICTURE: return MFX_FRAMETYPE_I | MFX_FRAMETYPE_REF;
        case EB_AV1_NON_REF_PICTURE: return MFX_FRAMETYPE_B;
        default: return MFX_FRAMETYPE_P | MFX_FRAMETYPE_REF;
    }
}

// SVT-AV1's constant rate factor for an ICQ quality: 1..51 spread over its 1..63.
uint32_t CrfFor(int quality) { return static_cast<uint32_t>(1 + ((quality - 1) * 62 + 25) / 50); }

// Where the rate control modes meet SVT-AV1 (the AV1 encoder takes CBR, VBR,
// CQP and ICQ; AVBR arrives as VBR).
void SetRateControl(const CodecConfig& c, EbSvtAv1EncConfiguration* s) {
    switch (c.rateControl) {
        case MFX_RATECONTROL_CQP: {
            // The SDK's AV1 QPs are quantizer indices (0..255); SVT-AV1 takes
            // a 0..63 scale (a quarter of the index) and offsets in indices.
            s->rate_control_mode = SVT_AV1_RC_MODE_CQP_OR_CRF;
            s->enable_adaptive_quantization = 0;
            s->qp = static_cast<uint32_t>(std::clamp((c.qpP + 2) / 4, 1, 63));
            // Offsets beyond SVT-AV1's -64..63 are held at its bounds.
            s->use_fixed_qindex_offsets = 1;
            s->key_frame_qindex_offset = std::clamp(c.qpI - c.qpP, -64, 63);
            for (int layer = 0; layer < EB_MAX_TEMPORAL_LAYERS; ++layer) {
                s->qindex_offsets[layer] = layer == 0 ? 0 : std::clamp(c.qpB - c.qpP, -64, 63);
            }
            break;
        }
        case MFX_RATECONTROL_ICQ:
            // CRF: adaptive quantization left on.
            s->rate_control_mode = SVT_AV1_RC_MODE_CQP_OR_CRF;
            s->qp = CrfFor(c.quality);
            break;
        default: {  // CBR and VBR
            s->rate_control_mode = c.rateControl == MFX_RATECONTROL_CBR ? SVT_AV1_RC_MODE_CBR : SVT_AV1_RC_MODE_VBR;
            s->target_bit_rate = c.targetKbps * 1000;
            // The HRD buffer in milliseconds at the peak rate.
            const uint64_t peak = std::max<uint32_t>(c.maxKbps, 1);
            auto ms = [peak](uint32_t kb) {
                return static_cast<int64_t>(std::clamp<uint64_t>(kb * 8000ull / peak, 20, 10000));
            };
            s->maximum_buffer_size_ms = ms(c.bufferKB);
            s->starting_buffer_level_ms = std::min(ms(c.initialDelayKB), s->maximum_buffer_size_ms);
            s->optimal_buffer_level_ms = s->starting_buffer_level_ms;
            break;
        }
    }
}

bool Configure(const CodecConfig& c, EbSvtAv1EncConfiguration* s) {
    const CodedArea area = CodedAreaOf(c);
    s->enc_mode = static_cast<int8_t>(PresetFor(c.targetUsage));
    s->source_width = static_cast<uint32_t>(area.width);
    s->source_height = static_cast<uint32_t>(area.height);
    s->frame_rate_numerator = c.rateN;
    s->frame_rate_denominator = c.rateD;
    s->encoder_bit_depth = static_cast<uint32_t>(c.bitDepth);
    s->encoder_color_format = EB_YUV420;
    s->profile = MAIN_PROFILE;
    s->tier = 0;
    s->level = static_cast<uint32_t>(c.level);
    if (c.signal) {
        s->color_range = c.fullRange ? EB_CR_FULL_RANGE : EB_CR_STUDIO_RANGE;
        if (c.colourDescription) {
            s->color_description_present_flag = 1;
            s->color_primaries = static_cast<EbColorPrimaries>(c.primaries);
            s->transfer_characteristics = static_cast<EbTransferCharacteristics>(c.transfer);
            s->matrix_coefficients = static_cast<EbMatrixCoefficients>(c.matrix);
        }
    }
    // A fixed structure like the hardware's: no scene cuts, no temporally
    // filtered reference pictures, no lookahead beyond what the mini-GOP
    // needs. SvtAv1Delay depends on exactly these.
    if (c.refDist <= 1) {
        s->pred_structure = SVT_AV1_PRED_LOW_DELAY_B;
    } else {
        s->pred_structure = SVT_AV1_PRED_RANDOM_ACCESS;
        s->hierarchical_levels = HierarchicalLevels(c.refDist);
    }
    s->intra_period_length = c.gopSize - 1;
    s->intra_refresh_type = SVT_AV1_KF_REFRESH;  // every key frame closes the GOP
    s->scene_change_detection = 0;
    s->look_ahead_distance = 0;
    s->enable_tf = 0;
    s->logical_processors = std::max(1u, std::thread::hardware_concurrency());
    SetRateControl(c, s);
    return true;
}

class SvtAv1Codec final : public Codec {
public:
    SvtAv1Codec(const CodecConfig& config, EbComponentType* handle)
        : handle_(handle), planes_(config), delay_(SvtAv1Delay(config)) {}
    ~SvtAv1Codec() override {
        // SVT-AV1 1.4's deinit waits for the end of the stream, and an
        // encoder that took no picture never ends one: it is started with
        // the first picture (a trial Init and Close never starts it), and a
        // started one is ended and drained, unused, first.
        if (started_) {
            std::vector<CodedFrame> unused;
            while (!finished_ && Flush(&unused))
                unused.clear();
            svt_av1_enc_deinit(handle_);
        }
        svt_av1_enc_deinit_handle(handle_);
    }

    int Delay() const override { return delay_; }

    mfxStatus Encode(const PictureView& picture, uint64_t order, uint64_t timeStamp, void* opaque,
                     std::vector<CodedFrame>* out) override {
        if (!started_) {
            if (svt_av1_enc_init(handle_) != EB_ErrorNone) return MFX_ERR_DEVICE_FAILED;
            started_ = true;
        }
        planes_.Fill(picture);
        EbSvtIOFormat io{};
        io.luma = planes_.Plane(0);
        io.cb = planes_.Plane(1);
        io.cr = planes_.Plane(2);
        // Strides in samples, not bytes.
        io.y_stride = static_cast<uint32_t>(planes_.Width());
        io.cb_stride = io.cr_stride = static_cast<uint32_t>(planes_.Width() / 2);
        EbBufferHeaderType header{};
        header.size = sizeof(header);
        header.p_buffer = reinterpret_cast<uint8_t*>(&io);
        header.n_filled_len =
            static_cast<uint32_t>(planes_.Width() * planes_.Height() * 3 / 2 * planes_.BytesPerSample());
        header.pts = static_cast<int64_t>(order);
        header.pic_type = EB_AV1_INVALID_PICTURE;  // the encoder decides
        // SVT-AV1 copies the picture before it returns.
        if (svt_av1_enc_send_picture(handle_, &header) != EB_ErrorNone) return MFX_ERR_DEVICE_FAILED;
        held_[order] = Held{timeStamp, opaque};
        ++sent_;
        // Whatever is ready, then, blocking, what the delay promises: the
        // encoder emits it without further pictures, so the wait ends.
        while (Receive(false, out)) {
        }
        while (received_ + delay_ < sent_) {
            if (!Receive(true, out)) return MFX_ERR_DEVICE_FAILED;
        }
        return MFX_ERR_NONE;
    }

    bool Flush(std::vector<CodedFrame>* out) override {
        if (!started_) return false;  // no picture, no stream
        if (!eosSent_) {
            EbBufferHeaderType eos{};
            eos.size = sizeof(eos);
            eos.flags = EB_BUFFERFLAG_EOS;
            eos.pic_type = EB_AV1_INVALID_PICTURE;
            if (svt_av1_enc_send_picture(handle_, &eos) != EB_ErrorNone) return false;
            eosSent_ = true;
        }
        const size_t before = out->size();
        while (!finished_ && out->size() == before) {
            if (!Receive(true, out)) return false;
        }
        return out->size() > before;
    }

private:
    struct Held {
        uint64_t timeStamp;
        void* opaque;
    };

    // Takes one packet (waiting for it when `wait`); false when there was
    // none or the encoder failed.
    bool Receive(bool wait, std::vector<CodedFrame>* out) {
        if (finished_) return false;
        EbBufferHeaderType* packet = nullptr;
        if (svt_av1_enc_get_packet(handle_, &packet, wait ? 1 : 0) != EB_ErrorNone || packet == nullptr) return false;
        const bool failed = (packet->flags & EB_BUFFERFLAG_ERROR_MASK) != 0;
        if (!failed && packet->n_filled_len > 0) {
            CodedFrame frame;
            frame.bytes.assign(packet->p_buffer, packet->p_buffer + packet->n_filled_len);
            frame.order = static_cast<uint64_t>(packet->pts);
            if (auto it = held_.find(frame.order); it != held_.end()) {
                frame.timeStamp = it->second.timeStamp;
                frame.opaque = it->second.opaque;
                held_.erase(it);
            }
            // Temporal units come in display order: decode time is the picture's own.
            frame.decodeOrderPts = packet->pts;
            frame.frameType = FrameTypeOf(*packet);
            out->push_back(std::move(frame));
            ++received_;
        }
        if (packet->flags & EB_BUFFERFLAG_EOS) finished_ = true;
        svt_av1_enc_release_out_buffer(&packet);
        return !failed;
    }

    EbComponentType* handle_;
    PlanarPicture planes_;
    int delay_;
    uint64_t sent_ = 0, received_ = 0;
    bool started_ = false, eosSent_ = false, finished_ = false;
    std::map<uint64_t, Held> held_;  // by display order, until its temporal unit is out
};

}  // namespace

int SvtAv1Delay(const CodecConfig& config) {
    // Measured on SVT-AV1 1.4.1 with the settings of Configure (tests/mfxsoft
    // encode every structure): low delay holds one picture, a random-access
    // mini-GOP of N pictures holds N + 3, whatever the rate control and GOP.
    return config.refDist <= 1 ? 1 : (1 << HierarchicalLevels(config.refDist)) + 3;
}

std::unique_ptr<Codec> MakeSvtAv1Codec(const CodecConfig& config) {
    EbComponentType* handle = nullptr;
    EbSvtAv1EncConfiguration settings;
    if (svt_av1_enc_init_handle(&handle, nullptr, &settings) != EB_ErrorNone || handle == nullptr) return nullptr;
    // The parameters are checked here; the encoder starts with its first
    // picture.
    if (!Configure(config, &settings) || svt_av1_enc_set_parameter(handle, &settings) != EB_ErrorNone) {
        svt_av1_enc_deinit_handle(handle);
        return nullptr;
    }
    return std::make_unique<SvtAv1Codec>(config, handle);
}

}  // namespace mfxsoft
