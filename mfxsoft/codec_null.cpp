// The null encoder: the same frame types, reordering and delay as the real
// back end with B-frames; the pictures become the minimal stream of
// null_stream.h (intra pictures stored as they are, the others skipped).
#include <deque>

#include "mfxsoft/codec.h"
#include "mfxsoft/null_stream.h"

namespace mfxsoft {
namespace {

class NullCodec final : public Codec {
public:
    explicit NullCodec(const CodecConfig& config) : config_(config), stream_(MakeNullStream(config)) {}

    int Delay() const override { return config_.refDist - 1; }

    mfxStatus Encode(const PictureView& picture, uint64_t order, uint64_t timeStamp, void* opaque,
                     std::vector<CodedFrame>* out) override {
        Held held{order, timeStamp, opaque, Checksum(picture)};
        const uint64_t position = config_.gopSize > 0 ? order % static_cast<uint64_t>(config_.gopSize) : order;
        if (position == 0) {
            // An I picture: the IDR rule decides whether it starts a new stream.
            const bool idr = IntraIsIdr(config_, gops_);
            ++gops_;
            Emit(held, MFX_FRAMETYPE_I | MFX_FRAMETYPE_REF | (idr ? MFX_FRAMETYPE_IDR : 0), out, &picture);
            EmitHeld(out);
        } else if (position % static_cast<uint64_t>(config_.refDist) == 0) {
            Emit(held, MFX_FRAMETYPE_P | MFX_FRAMETYPE_REF, out);
            EmitHeld(out);
        } else {
            held_.push_back(held);
        }
        return MFX_ERR_NONE;
    }

    bool Flush(std::vector<CodedFrame>* out) override {
        if (held_.empty()) return false;
        if (!anchored_) {
            // The stream ends inside a group: its last picture becomes the anchor.
            Held last = held_.back();
            held_.pop_back();
            Emit(last, MFX_FRAMETYPE_P | MFX_FRAMETYPE_REF, out);
            anchored_ = true;
            return true;
        }
        Held first = held_.front();
        held_.pop_front();
        Emit(first, MFX_FRAMETYPE_B, out);
        return true;
    }

private:
    struct Held {
        uint64_t order;
        uint64_t timeStamp;
        void* opaque;
        uint32_t checksum;
    };

    // Sums samples: bytes of NV12, 16-bit values (as stored) of P010.
    uint32_t Checksum(const PictureView& picture) const {
        const size_t bytes = config_.bitDepth > 8 ? 2 : 1;
        uint32_t sum = 0;
        for (int row = 0; row < config_.cropH; row += 8) {
            const uint8_t* line = picture.y + static_cast<size_t>(config_.cropY + row) * picture.yPitch + config_.cropX * bytes;
            uint32_t rowSum = 0;
            for (int x = 0; x < config_.cropW; ++x) {
                rowSum += bytes == 1 ? line[x] : static_cast<uint32_t>(line[2 * x] | line[2 * x + 1] << 8);
            }
            sum = sum * 31u + rowSum;
        }
        return sum;
    }

    void EmitHeld(std::vector<CodedFrame>* out) {
        for (const Held& held : held_) Emit(held, MFX_FRAMETYPE_B, out);
        held_.clear();
    }

    // `picture`: the samples of an intra picture, which is emitted as it arrives.
    void Emit(const Held& held, uint16_t type, std::vector<CodedFrame>* out, const PictureView* picture = nullptr) {
        CodedFrame frame;
        const NullRecord record{held.order, type, held.timeStamp, held.checksum};
        frame.bytes = stream_->Picture(record, picture, static_cast<int>(held_.size()));
        frame.order = held.order;
        frame.timeStamp = held.timeStamp;
        // One picture of reordering when B-frames are used: decode times run one frame behind.
        frame.decodeOrderPts = static_cast<int64_t>(emitted_) - (config_.refDist > 1 ? 1 : 0);
        frame.frameType = type;
        frame.opaque = held.opaque;
        ++emitted_;
        out->push_back(std::move(frame));
    }

    CodecConfig config_;
    std::unique_ptr<NullStream> stream_;
    std::deque<Held> held_;
    uint64_t gops_ = 0;
    uint64_t emitted_ = 0;
    bool anchored_ = false;
};

}  // namespace

bool IntraIsIdr(const CodecConfig& config, uint64_t intraIndex) {
    const auto interval = static_cast<uint64_t>(config.idrInterval);
    switch (config.codec) {
        case MFX_CODEC_HEVC:
            return intraIndex == 0 || (interval != 0 && intraIndex % interval == 0);
        case MFX_CODEC_AV1:
            return true;
        default:
            return intraIndex % (interval + 1) == 0;
    }
}

std::unique_ptr<Codec> MakeNullCodec(const CodecConfig& config) { return std::make_unique<NullCodec>(config); }

}  // namespace mfxsoft
