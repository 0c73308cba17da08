// The libx265 back end: HEVC Main or Main 10 in Annex B, VPS, SPS and PPS
// before every IRAP picture. Debian's libx265 carries the 8-, 10- and 12-bit
// encoders; x265_api_get picks the one of the stream's bit depth.
#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <thread>

extern "C" {
#include <x265.h>
}

#include "mfxsoft/codec.h"
#include "mfxsoft/planar.h"

namespace mfxsoft {
namespace {

// Target usage to x265 speed preset, a step faster than the x264 back end's
// because HEVC costs several times the work per picture.
const char* PresetFor(int targetUsage) {
    if (targetUsage <= MFX_TARGETUSAGE_2) return "veryfast";
    if (targetUsage <= MFX_TARGETUSAGE_5) return "superfast";
    return "ultrafast";
}

// Frame threads: each adds a picture of delay; the wavefront pool keeps the
// cores busy within a picture, so one per core is enough.
int FrameThreads() { return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 3u)); }

// x265 keeps one CTU size per process for all its encoders of a bit depth:
// every session uses 32, which also lets pictures down to 32 x 32 through.
constexpr uint32_t kCtuSize = 32;

uint16_t FrameTypeOf(int sliceType) {
    switch (sliceType) {
        case X265_TYPE_IDR: return MFX_FRAMETYPE_I | MFX_FRAMETYPE_REF | MFX_FRAMETYPE_IDR;
        case X265_TYPE_I: return MFX_FRAMETYPE_I | MFX_FRAMETYPE_REF;
        case X265_TYPE_P: return MFX_FRAMETYPE_P | MFX_FRAMETYPE_REF;
        case X265_TYPE_BREF: return MFX_FRAMETYPE_B | MFX_FRAMETYPE_REF;
        default: return MFX_FRAMETYPE_B;
    }
}

// Where the rate control modes meet x265 (HEVC has no look-ahead modes: the
// front end refuses LA and LA_ICQ, and AVBR arrives as VBR).
void SetRateControl(const CodecConfig& c, x265_param* p) {
    switch (c.rateControl) {
        case MFX_RATECONTROL_CQP:
            p->rc.rateControlMode = X265_RC_CQP;
            p->rc.qp = c.qpP;
            p->rc.ipFactor = std::pow(2.0, (c.qpP - c.qpI) / 6.0);
            p->rc.pbFactor = std::pow(2.0, (c.qpB - c.qpP) / 6.0);
            return;
        case MFX_RATECONTROL_ICQ:
        case MFX_RATECONTROL_QVBR:  // capped by the VBV below
            p->rc.rateControlMode = X265_RC_CRF;
            p->rc.rfConstant = c.quality;
            break;
        default:  // CBR and VBR: average bit rate held by the VBV
            p->rc.rateControlMode = X265_RC_ABR;
            p->rc.bitrate = static_cast<int>(c.targetKbps);
            p->rc.bStrictCbr = c.rateControl == MFX_RATECONTROL_CBR ? 1 : 0;
            break;
    }
    if (c.maxKbps != 0) {
        p->rc.vbvMaxBitrate = static_cast<int>(c.maxKbps);
        p->rc.vbvBufferSize = static_cast<int>(c.bufferKB * 8);
        p->rc.vbvBufferInit = c.bufferKB != 0 ? static_cast<double>(c.initialDelayKB) / c.bufferKB : 0.9;
    }
}

struct ParamDeleter {
    const x265_api* api;
    void operator()(x265_param* p) const { api->param_free(p); }
};
using ParamPtr = std::unique_ptr<x265_param, ParamDeleter>;

ParamPtr BuildParams(const x265_api* api, const CodecConfig& c, std::string* pools) {
    ParamPtr p(api->param_alloc(), ParamDeleter{api});
    if (!p || api->param_default_preset(p.get(), PresetFor(c.targetUsage), nullptr) < 0) return nullptr;
    x265_param* q = p.get();
    q->logLevel = X265_LOG_ERROR;  // like SVT-AV1: a refused configuration says why on stderr
    q->internalCsp = X265_CSP_I420;
    q->internalBitDepth = c.bitDepth;
    q->maxCUSize = kCtuSize;
    const CodedArea area = CodedAreaOf(c);
    // x265 pads to its smallest coding block and writes the conformance window.
    q->sourceWidth = area.width;
    q->sourceHeight = area.height;
    q->fpsNum = c.rateN;
    q->fpsDenom = c.rateD;
    q->bAnnexB = 1;
    q->bRepeatHeaders = 1;
    q->bEmitInfoSEI = 0;
    q->bEnableAccessUnitDelimiters = 0;

    q->vui.bEnableChromaLocInfoPresentFlag = 1;  // the conversion averages 2x2 blocks: chroma in the centre
    q->vui.chromaSampleLocTypeTopField = 1;
    q->vui.chromaSampleLocTypeBottomField = 1;
    if (c.signal) {
        q->vui.bEnableVideoSignalTypePresentFlag = 1;
        q->vui.videoFormat = c.videoFormat;
        q->vui.bEnableVideoFullRangeFlag = c.fullRange ? 1 : 0;
        if (c.colourDescription) {
            q->vui.bEnableColorDescriptionPresentFlag = 1;
            q->vui.colorPrimaries = c.primaries;
            q->vui.transferCharacteristics = c.transfer;
            q->vui.matrixCoeffs = c.matrix;
        }
    }

    q->frameNumThreads = FrameThreads();
    *pools = std::to_string(std::max(1u, std::thread::hardware_concurrency()));
    q->numaPools = pools->c_str();
    q->lookaheadSlices = 0;
    q->lookaheadThreads = 0;
    // A fixed GOP and B pattern like the hardware's: no adaptive B-frames,
    // no pyramid, no scene cuts, no CU-tree; the lookahead only as deep as
    // x265 requires for the B-frames.
    q->bframes = c.refDist - 1;
    q->bFrameAdaptive = X265_B_ADAPT_NONE;
    q->bBPyramid = 0;
    q->lookaheadDepth = q->bframes > 0 ? q->bframes + 1 : 0;
    q->rc.cuTree = 0;
    q->scenecutThreshold = 0;
    q->keyframeMax = c.gopSize;
    q->keyframeMin = std::max(1, std::min(c.gopSize / 2, 25));
    // HEVC's IdrInterval other than 1 asks for I pictures that are not IDRs
    // (0: only the first is): x265's open GOP starts every GOP after the
    // first with a CRA picture, its nearest. x265 has no closed GOP of CRA
    // pictures: MFX_GOP_CLOSED makes every I an IDR.
    q->bOpenGOP = c.idrInterval != 1 && !c.closedGop ? 1 : 0;
    q->maxNumReferences = std::clamp(c.numRef, 1, 16);
    q->maxSlices = static_cast<unsigned>(std::max(1, c.numSlice));
    // x265 refuses a level with constant QP (no bit rate to hold to it) and
    // would impose the level's VBV on ICQ; without a VBV it writes the lowest
    // level its picture size and rate fit.
    q->levelIdc = c.maxKbps == 0 ? 0 : c.level;
    q->bHighTier = 0;
    SetRateControl(c, q);
    if (api->param_apply_profile(q, c.bitDepth > 8 ? "main10" : "main") != 0) return nullptr;
    return p;
}

class X265Codec final : public Codec {
public:
    X265Codec(const CodecConfig& config, const x265_api* api, ParamPtr params, x265_encoder* encoder)
        : api_(api), params_(std::move(params)), encoder_(encoder), planes_(config), delay_(X265Delay(config)) {
        picture_ = api_->picture_alloc();
        api_->picture_init(params_.get(), picture_);
    }
    ~X265Codec() override {
        api_->encoder_close(encoder_);
        api_->picture_free(picture_);
    }

    int Delay() const override { return delay_; }

    mfxStatus Encode(const PictureView& picture, uint64_t order, uint64_t timeStamp, void* opaque,
                     std::vector<CodedFrame>* out) override {
        if (picture_ == nullptr) return MFX_ERR_MEMORY_ALLOC;
        planes_.Fill(picture);
        for (int i = 0; i < 3; ++i)
            picture_->planes[i] = planes_.Plane(i);
        picture_->stride[0] = planes_.LumaStride();
        picture_->stride[1] = picture_->stride[2] = planes_.ChromaStride();
        picture_->bitDepth = params_->internalBitDepth;
        picture_->colorSpace = X265_CSP_I420;
        picture_->pts = static_cast<int64_t>(order);
        picture_->userData = opaque;
        picture_->sliceType = X265_TYPE_AUTO;
        times_[picture_->pts] = timeStamp;
        return Run(picture_, out) < 0 ? MFX_ERR_DEVICE_FAILED : MFX_ERR_NONE;
    }

    bool Flush(std::vector<CodedFrame>* out) override { return Run(nullptr, out) > 0; }

private:
    int Run(x265_picture* in, std::vector<CodedFrame>* out) {
        x265_nal* nals = nullptr;
        uint32_t count = 0;
        x265_picture coded;
        api_->picture_init(params_.get(), &coded);
        const int result = api_->encoder_encode(encoder_, &nals, &count, in, &coded);
        if (result <= 0 || count == 0) return result;
        CodedFrame frame;
        // x265 lays the payloads of one picture out one after the other.
        size_t size = 0;
        for (uint32_t i = 0; i < count; ++i)
            size += nals[i].sizeBytes;
        frame.bytes.assign(nals[0].payload, nals[0].payload + size);
        frame.order = static_cast<uint64_t>(coded.pts);
        if (auto it = times_.find(coded.pts); it != times_.end()) {
            frame.timeStamp = it->second;
            times_.erase(it);
        }
        frame.decodeOrderPts = coded.dts;
        frame.frameType = FrameTypeOf(coded.sliceType);
        frame.opaque = coded.userData;
        out->push_back(std::move(frame));
        return result;
    }

    const x265_api* api_;
    ParamPtr params_;
    x265_encoder* encoder_;
    x265_picture* picture_ = nullptr;
    PlanarPicture planes_;
    int delay_;
    std::map<int64_t, uint64_t> times_;  // TimeStamp by pts, until the frame is out
};

}  // namespace

int X265Delay(const CodecConfig& config) {
    // Measured on x265 3.5 with the settings above over B-frames 0..7 and
    // 1..4 frame threads (tests/mfxsoft check it for every configuration they
    // encode): without B-frames a single frame thread returns each picture at
    // once and more threads hold one picture each; with B-frames the
    // lookahead holds two per B-frame and four more, plus one per extra
    // frame thread, and one more besides: on a busy machine the lookahead's
    // worker now and then decides its first mini-GOP a call late, and the
    // stream stays a picture behind from then on (seen in about one run in
    // five at 2 frame threads and 3 or more B-frames; never two).
    const int bFrames = config.refDist - 1;
    const int threads = FrameThreads();
    if (bFrames == 0) return threads == 1 ? 0 : threads;
    return 2 * bFrames + 4 + threads;
}

std::unique_ptr<Codec> MakeX265Codec(const CodecConfig& config) {
    const x265_api* api = x265_api_get(config.bitDepth);
    if (api == nullptr || api->bit_depth != config.bitDepth) return nullptr;
    std::string pools;
    ParamPtr params = BuildParams(api, config, &pools);
    if (!params) return nullptr;
    x265_encoder* encoder = api->encoder_open(params.get());
    // The thread pools are made by encoder_open; nothing reads the text later.
    params->numaPools = nullptr;
    if (encoder == nullptr) return nullptr;
    return std::make_unique<X265Codec>(config, api, std::move(params), encoder);
}

}  // namespace mfxsoft
