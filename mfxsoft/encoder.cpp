#include <algorithm>
#include <cstring>
#include <optional>
#include <type_traits>

#include "mfxsoft/level.h"
#include "mfxsoft/session.h"
#include "mfxsoft/surface.h"

namespace mfxsoft {
namespace {

constexpr int kDefaultGopSize = 256;
constexpr int kDefaultRefDist = 3;      // two B-frames between anchors (AVC, HEVC)
constexpr int kDefaultAv1RefDist = 4;   // SVT-AV1's smallest mini-GOP
constexpr int kDefaultQp = 24;          // CQP without a QP (AVC, HEVC)
constexpr int kDefaultAv1Qp = 96;       // the same quality as a quantizer index
constexpr int kDefaultQuality = 26;     // ICQ and QVBR without a quality, as Intel's runtimes default
constexpr int kMaxQuality = 51;
constexpr int kDefaultLookAhead = 40;  // LA and LA_ICQ without a depth
constexpr int kMinLookAhead = 10, kMaxLookAhead = 100;

// How a runtime kind answers a rate-control mode for a codec, after the
// checks of Intel's runtimes (README: "Rate-control modes").
enum class ModeAnswer { kTaken, kAsVbr, kRefused };

ModeAnswer AnswerFor(RuntimeKind runtime, uint32_t codec, int rc) {
    const bool avc = codec == MFX_CODEC_AVC;
    switch (rc) {
        case MFX_RATECONTROL_CBR:
        case MFX_RATECONTROL_VBR:
        case MFX_RATECONTROL_CQP:
        case MFX_RATECONTROL_ICQ: return ModeAnswer::kTaken;
        case MFX_RATECONTROL_QVBR: return codec == MFX_CODEC_AV1 ? ModeAnswer::kRefused : ModeAnswer::kTaken;
        case MFX_RATECONTROL_AVBR:
            // HEVC and AV1 code it as VBR; AVC's needs the VME engine, which
            // the VDEnc-only GPUs of the VPL runtime lack.
            if (!avc) return ModeAnswer::kAsVbr;
            return runtime == RuntimeKind::kMsdk ? ModeAnswer::kTaken : ModeAnswer::kRefused;
        case MFX_RATECONTROL_LA:
        case MFX_RATECONTROL_LA_ICQ:
            return avc && runtime == RuntimeKind::kMsdk ? ModeAnswer::kTaken : ModeAnswer::kRefused;
        default: return ModeAnswer::kRefused;
    }
}

// The extension buffer of `id` in `ext`, if the caller attached one of the right size.
template <typename T>
T* FindBuffer(mfxExtBuffer** ext, mfxU16 count, mfxU32 id) {
    for (mfxU16 i = 0; ext != nullptr && i < count; ++i) {
        if (ext[i] != nullptr && ext[i]->BufferId == id && ext[i]->BufferSz == sizeof(T)) {
            return reinterpret_cast<T*>(ext[i]);
        }
    }
    return nullptr;
}

// Copies a buffer's contents, keeping the destination's header.
template <typename T>
void CopyBuffer(T* to, const T& from) {
    const mfxExtBuffer header = to->Header;
    *to = from;
    to->Header = header;
}

uint32_t Kbps(mfxU16 value, mfxU16 multiplier) {
    return static_cast<uint32_t>(value) * std::max<mfxU16>(multiplier, 1);
}

// Stores a kbps value into a 16-bit field with the multiplier in force.
mfxU16 Field(uint32_t kbps, mfxU16 multiplier) {
    return static_cast<mfxU16>((kbps + std::max<mfxU16>(multiplier, 1) - 1) / std::max<mfxU16>(multiplier, 1));
}

bool IsHigh(int profile) { return (profile & 0xFF) == MFX_PROFILE_AVC_HIGH; }

bool KnownAvcProfile(int profile) {
    switch (profile) {
        case MFX_PROFILE_AVC_BASELINE:
        case MFX_PROFILE_AVC_CONSTRAINED_BASELINE:
        case MFX_PROFILE_AVC_MAIN:
        case MFX_PROFILE_AVC_HIGH:
        case MFX_PROFILE_AVC_PROGRESSIVE_HIGH:
        case MFX_PROFILE_AVC_CONSTRAINED_HIGH: return true;
        default: return false;
    }
}

// The largest picture side each standard's encoder takes, like Intel's
// hardware: 4096 for AVC, 8192 for HEVC and AV1.
int MaxSide(uint32_t codec) { return codec == MFX_CODEC_AVC ? 4096 : 8192; }

// The smallest crop side the library back ends code: x265 needs one 32 x 32
// CTU, SVT-AV1 64 samples. The null encoder keeps the same bounds, so that a
// test with either back end sees the same answers.
int MinSide(uint32_t codec) { return codec == MFX_CODEC_HEVC ? 32 : codec == MFX_CODEC_AV1 ? 64 : 1; }

// Worst-case size of one coded picture: every 16 x 16 block at more than
// its raw size plus room for headers, so a coded frame always fits the
// reported buffer. The null encoder's PCM blocks grow by up to half their
// raw size (384 bytes, 480 at ten bits) through emulation prevention bytes
// when their samples are zeros.
uint32_t FrameBoundKB(int width, int height, int bitDepth) {
    const uint64_t blocks = static_cast<uint64_t>(width / 16) * (height / 16);
    const uint64_t perBlock = bitDepth > 8 ? 800 : 640;
    return static_cast<uint32_t>((blocks * perBlock + 64000 + 999) / 1000);
}

// AV1's distance between anchors is SVT-AV1's mini-GOP: 1 (low delay) or 4,
// 8, 16 pictures; a mini-GOP longer than the GOP becomes low delay.
int Av1RefDist(int asked, int gopSize) {
    if (asked <= 1) return 1;
    int size = 4;
    while (size < asked)
        size *= 2;
    return size <= gopSize ? size : 1;
}

}  // namespace

bool Encoder::Encodes(RuntimeKind runtime, uint32_t codec) {
    switch (codec) {
        case MFX_CODEC_AVC:
        case MFX_CODEC_HEVC: return true;
        case MFX_CODEC_AV1:
            // The Media SDK runtime has no AV1 encoder; the VPL GPU runtime has.
            return runtime == RuntimeKind::kVpl;
        default: return false;
    }
}

Encoder::Encoder(_mfxSession& session) : session_(session), nullEncoder_(session.knobs.encoder == EncoderKind::kNull) {}

Encoder::~Encoder() { Close(); }

mfxStatus Encoder::Check(const mfxVideoParam& par, RuntimeKind runtime, mfxVideoParam* inForce, CodecConfig* config,
                         RefusedField* refused) {
    const mfxInfoMFX& m = par.mfx;
    const mfxFrameInfo& f = m.FrameInfo;
    bool corrected = false;

    // An encoder this runtime does not have is no valid parameter, as Intel's
    // runtimes answer QueryIOSurf and Init when their table has no entry.
    const uint32_t codec = m.CodecId;
    if (!Encodes(runtime, codec)) return MFX_ERR_INVALID_VIDEO_PARAM;
    const bool avc = codec == MFX_CODEC_AVC, hevc = codec == MFX_CODEC_HEVC, av1 = codec == MFX_CODEC_AV1;
    if (par.Protected != 0) return MFX_ERR_UNSUPPORTED;
    const mfxU16 in = par.IOPattern & 0x0F;
    if (in != MFX_IOPATTERN_IN_VIDEO_MEMORY && in != MFX_IOPATTERN_IN_SYSTEM_MEMORY && in != 0x04) {
        return MFX_ERR_INVALID_VIDEO_PARAM;
    }
    if ((par.IOPattern & 0xF0) != 0) return MFX_ERR_INVALID_VIDEO_PARAM;
    if (in != MFX_IOPATTERN_IN_SYSTEM_MEMORY) return MFX_ERR_UNSUPPORTED;
    if (par.NumExtParam != 0 && par.ExtParam == nullptr) return MFX_ERR_NULL_PTR;
    const mfxExtVideoSignalInfo* signal = nullptr;
    const mfxExtCodingOption2* option2 = nullptr;  // LookAheadDepth is read; other fields are not used
    const mfxExtCodingOption3* option3 = nullptr;  // QVBRQuality is read
    // Each buffer at most once, at its own size.
    auto take = [](const mfxExtBuffer* buffer, size_t size, auto** slot) {
        if (buffer->BufferSz != size || *slot != nullptr) return false;
        *slot = reinterpret_cast<std::remove_pointer_t<decltype(slot)>>(buffer);
        return true;
    };
    for (mfxU16 i = 0; i < par.NumExtParam; ++i) {
        const mfxExtBuffer* buffer = par.ExtParam[i];
        if (buffer == nullptr) return MFX_ERR_NULL_PTR;
        bool known = false;
        switch (buffer->BufferId) {
            case MFX_EXTBUFF_VIDEO_SIGNAL_INFO: known = take(buffer, sizeof(mfxExtVideoSignalInfo), &signal); break;
            case MFX_EXTBUFF_CODING_OPTION2: known = take(buffer, sizeof(mfxExtCodingOption2), &option2); break;
            case MFX_EXTBUFF_CODING_OPTION3: known = take(buffer, sizeof(mfxExtCodingOption3), &option3); break;
            default: break;
        }
        if (!known) return MFX_ERR_INVALID_VIDEO_PARAM;
    }
    if (signal != nullptr) {
        // The ranges of the VUI (and AV1 colour config) fields.
        if (signal->VideoFormat > 7 || signal->VideoFullRange > 1 || signal->ColourDescriptionPresent > 1 ||
            signal->ColourPrimaries > 255 || signal->TransferCharacteristics > 255 ||
            signal->MatrixCoefficients > 255) {
            return MFX_ERR_INVALID_VIDEO_PARAM;
        }
    }

    // Input: NV12 is 8 bits, P010 10 bits (AVC codes 8 bits only); the depth
    // fields may be left 0, and P010 samples sit in the high bits (Shift 1)
    // or the low bits (Shift 0).
    const bool p010 = f.FourCC == MFX_FOURCC_P010;
    if (f.FourCC != MFX_FOURCC_NV12 && !(p010 && !avc)) return MFX_ERR_INVALID_VIDEO_PARAM;
    const int bitDepth = p010 ? 10 : 8;
    if ((f.BitDepthLuma != 0 && f.BitDepthLuma != bitDepth) ||
        (f.BitDepthChroma != 0 && f.BitDepthChroma != bitDepth) || f.Shift > (p010 ? 1 : 0)) {
        return MFX_ERR_INVALID_VIDEO_PARAM;
    }
    if (f.ChromaFormat != 0 && f.ChromaFormat != MFX_CHROMAFORMAT_YUV420) return MFX_ERR_INVALID_VIDEO_PARAM;
    if (f.Width == 0 || f.Height == 0 || f.Width % 16 != 0 || f.Height % 16 != 0) return MFX_ERR_INVALID_VIDEO_PARAM;
    if (f.Width > MaxSide(codec) || f.Height > MaxSide(codec)) return MFX_ERR_UNSUPPORTED;
    const int cropW = f.CropW != 0 ? f.CropW : f.Width - f.CropX;
    const int cropH = f.CropH != 0 ? f.CropH : f.Height - f.CropY;
    if (f.CropX + cropW > f.Width || f.CropY + cropH > f.Height || cropW <= 0 || cropH <= 0) {
        return MFX_ERR_INVALID_VIDEO_PARAM;
    }
    if (cropW < MinSide(codec) || cropH < MinSide(codec)) return MFX_ERR_UNSUPPORTED;
    if (f.FrameRateExtN == 0 || f.FrameRateExtD == 0) return MFX_ERR_INVALID_VIDEO_PARAM;
    if (f.PicStruct != MFX_PICSTRUCT_UNKNOWN && f.PicStruct != MFX_PICSTRUCT_PROGRESSIVE) return MFX_ERR_UNSUPPORTED;

    // Profile: 0 asks for the default, which follows the input's depth.
    int profile = m.CodecProfile;
    bool noBFrames = false;
    if (avc) {
        if (profile == 0) profile = MFX_PROFILE_AVC_HIGH;
        if (!KnownAvcProfile(profile)) return MFX_ERR_INVALID_VIDEO_PARAM;
        // Baseline and Constrained High have no B slices.
        noBFrames = (profile & 0xFF) == MFX_PROFILE_AVC_BASELINE || profile == MFX_PROFILE_AVC_CONSTRAINED_HIGH;
    } else if (hevc) {
        const int fitting = p010 ? MFX_PROFILE_HEVC_MAIN10 : MFX_PROFILE_HEVC_MAIN;
        if (profile == MFX_PROFILE_HEVC_MAINSP || profile == MFX_PROFILE_HEVC_REXT || profile == MFX_PROFILE_HEVC_SCC) {
            return MFX_ERR_UNSUPPORTED;
        }
        if (profile != 0 && profile != MFX_PROFILE_HEVC_MAIN && profile != MFX_PROFILE_HEVC_MAIN10) {
            return MFX_ERR_INVALID_VIDEO_PARAM;
        }
        // Main cannot carry 10 bits; Main 10 is not asked of 8-bit input here.
        if (profile != 0 && profile != fitting) corrected = true;
        profile = fitting;
    } else {
        if (profile == MFX_PROFILE_AV1_HIGH || profile == MFX_PROFILE_AV1_PRO) return MFX_ERR_UNSUPPORTED;
        if (profile != 0 && profile != MFX_PROFILE_AV1_MAIN) return MFX_ERR_INVALID_VIDEO_PARAM;
        profile = MFX_PROFILE_AV1_MAIN;  // 8 and 10 bits alike
    }

    // Rate control: the modes this runtime kind has for the codec, and the
    // fields each one reads.
    int rc = m.RateControlMethod != 0 ? m.RateControlMethod : static_cast<int>(MFX_RATECONTROL_CBR);
    switch (AnswerFor(runtime, codec, rc)) {
        case ModeAnswer::kRefused:
            if (refused != nullptr) *refused = RefusedField::kRateControl;
            return MFX_ERR_INVALID_VIDEO_PARAM;
        case ModeAnswer::kAsVbr:
            rc = MFX_RATECONTROL_VBR;
            corrected = true;
            break;
        case ModeAnswer::kTaken: break;
    }
    const bool icq = rc == MFX_RATECONTROL_ICQ || rc == MFX_RATECONTROL_LA_ICQ;
    const bool lookAheadMode = rc == MFX_RATECONTROL_LA || rc == MFX_RATECONTROL_LA_ICQ;
    // AVBR has no buffer: its union fields are Accuracy and Convergence.
    const bool hrd = rc == MFX_RATECONTROL_CBR || rc == MFX_RATECONTROL_VBR || rc == MFX_RATECONTROL_LA ||
                     rc == MFX_RATECONTROL_QVBR;
    const mfxU16 multiplier = std::max<mfxU16>(m.BRCParamMultiplier, 1);
    uint32_t target = 0, maximum = 0, bufferKB = 0, initialKB = 0;
    int qpI = 0, qpP = 0, qpB = 0;
    if (rc == MFX_RATECONTROL_CQP) {
        // AV1's QPs are quantizer indices, 1..255.
        const int qpMax = av1 ? 255 : 51;
        const int qpDefault = av1 ? kDefaultAv1Qp : kDefaultQp;
        auto qp = [&corrected, qpMax, qpDefault](mfxU16 value) {
            if (value == 0) return qpDefault;
            if (value > qpMax) {
                corrected = true;
                return qpMax;
            }
            return static_cast<int>(value);
        };
        qpI = qp(m.QPI);
        qpP = qp(m.QPP);
        qpB = qp(m.QPB);
    } else if (!icq) {
        target = Kbps(m.TargetKbps, multiplier);
        if (target == 0) return MFX_ERR_INVALID_VIDEO_PARAM;
        maximum = hrd ? Kbps(m.MaxKbps, multiplier) : target;
        if (rc == MFX_RATECONTROL_CBR) {
            if (maximum != 0 && maximum < target) corrected = true;
            maximum = target;
        } else if (maximum == 0) {
            maximum = target;
        } else if (maximum < target) {
            maximum = target;
            corrected = true;
        }
        if (hrd) {
            // Buffer of one second at the peak rate unless the caller chose one.
            bufferKB = Kbps(m.BufferSizeInKB, multiplier);
            if (bufferKB == 0) bufferKB = std::max<uint32_t>(maximum / 8, 1);
            initialKB = Kbps(m.InitialDelayInKB, multiplier);
            if (initialKB == 0 || initialKB > bufferKB) initialKB = bufferKB / 2;
        }
    }
    // ICQ's quality and QVBR's: 0 is the runtime's default; above 51 the
    // HEVC encoder refuses, the AV1 encoder (and here AVC's) holds it at 51.
    int quality = 0;
    if (icq || rc == MFX_RATECONTROL_QVBR) {
        const int asked = icq ? m.ICQQuality : option3 != nullptr ? option3->QVBRQuality : 0;
        quality = asked != 0 ? asked : kDefaultQuality;
        if (quality > kMaxQuality) {
            if (hevc) {
                if (refused != nullptr) *refused = icq ? RefusedField::kIcqQuality : RefusedField::kQvbrQuality;
                return MFX_ERR_INVALID_VIDEO_PARAM;
            }
            quality = kMaxQuality;
            corrected = true;
        }
    }

    // Target usage: 0 is the default, balanced.
    int usage = m.TargetUsage != 0 ? m.TargetUsage : static_cast<int>(MFX_TARGETUSAGE_BALANCED);
    if (usage > MFX_TARGETUSAGE_7) {
        usage = MFX_TARGETUSAGE_BALANCED;
        corrected = true;
    }

    // GOP. SVT-AV1 codes an intra period of 0 as one key frame followed by
    // intra-only frames, where no player can start: AV1 GOPs have two
    // pictures at least.
    int gopSize = m.GopPicSize != 0 ? m.GopPicSize : kDefaultGopSize;
    if (av1 && gopSize < 2) {
        gopSize = 2;
        corrected = true;
    }
    int refDist = m.GopRefDist != 0 ? m.GopRefDist : (noBFrames ? 1 : av1 ? kDefaultAv1RefDist : kDefaultRefDist);
    if (noBFrames && refDist > 1) {
        refDist = 1;
        corrected = true;
    }
    if (refDist > 16) {
        refDist = 16;
        corrected = true;
    }
    if (refDist > gopSize) refDist = std::max(gopSize, 1);
    if (av1) {
        const int miniGop = Av1RefDist(refDist, gopSize);
        if (m.GopRefDist != 0 && miniGop != m.GopRefDist) corrected = true;
        refDist = miniGop;
    }

    // Level: the lowest one that admits the picture, rate and bit rate; a
    // level named too low (or not a level at all) is raised to it.
    const int widthMbs = f.Width / 16, heightMbs = f.Height / 16;
    const double fps = static_cast<double>(f.FrameRateExtN) / f.FrameRateExtD;
    int level = m.CodecLevel;
    int numRefLimit = 16;
    if (avc) {
        const int minimal = MinimalAvcLevel(widthMbs, heightMbs, fps, maximum, IsHigh(profile));
        if (minimal == 0) return MFX_ERR_INVALID_VIDEO_PARAM;  // beyond the highest level
        if (level == 0) {
            level = minimal;
        } else if (!IsKnownAvcLevel(level) || CompareAvcLevels(level, minimal) < 0) {
            level = minimal;
            corrected = true;
        }
        if (level == MFX_LEVEL_AVC_1b && (profile & 0xFF) != MFX_PROFILE_AVC_BASELINE &&
            profile != MFX_PROFILE_AVC_MAIN) {
            level = MFX_LEVEL_AVC_11;
        }
        numRefLimit = MaxDpbFrames(level, widthMbs * heightMbs);
    } else if (hevc) {
        const int minimal = MinimalHevcLevel(f.Width, f.Height, fps, maximum);
        if (minimal == 0) return MFX_ERR_INVALID_VIDEO_PARAM;
        // Main tier only: a high-tier level is taken as its main-tier level.
        if (level & MFX_TIER_HEVC_HIGH) {
            level &= ~MFX_TIER_HEVC_HIGH;
            corrected = true;
        }
        if (level == 0) {
            level = minimal;
        } else if (!IsKnownHevcLevel(level) || level < minimal) {
            level = minimal;
            corrected = true;
        }
        numRefLimit = HevcMaxReferences(level, f.Width, f.Height);
    } else {
        const int minimal = MinimalAv1Level(f.Width, f.Height, fps, maximum);
        if (minimal == 0) return MFX_ERR_INVALID_VIDEO_PARAM;
        if (level == 0) {
            level = minimal;
        } else if (!IsKnownAv1Level(level) || level < minimal) {
            level = minimal;
            corrected = true;
        }
        numRefLimit = 7;  // AV1 frames name at most seven references
    }

    int numRef = m.NumRefFrame != 0 ? m.NumRefFrame : (usage <= MFX_TARGETUSAGE_2 ? 2 : 1);
    if (numRef > numRefLimit) {
        numRef = numRefLimit;
        if (m.NumRefFrame != 0) corrected = true;
    }
    // Slices: AVC by macroblock rows, HEVC by the back end's 32-row CTUs; AV1
    // has tiles instead, one here.
    const int sliceLimit = avc ? heightMbs : hevc ? (f.Height + 31) / 32 : 1;
    int numSlice = m.NumSlice != 0 ? m.NumSlice : 1;
    if (numSlice > sliceLimit) {
        numSlice = sliceLimit;
        corrected = true;
    }

    // Look-ahead depth (LA, LA_ICQ): 10 to 100, and at least two GOP
    // distances and two reference counts, as the Media SDK's AVC encoder
    // corrects it; a depth given with another mode is dropped.
    int lookAhead = 0;
    const int askedDepth = option2 != nullptr ? option2->LookAheadDepth : 0;
    if (lookAheadMode) {
        const int least = std::max({kMinLookAhead, 2 * refDist, 2 * numRef});
        lookAhead = askedDepth != 0 ? std::clamp(askedDepth, least, kMaxLookAhead) : std::max(kDefaultLookAhead, least);
        if (askedDepth != 0 && lookAhead != askedDepth) corrected = true;
    } else if (askedDepth != 0) {
        corrected = true;
    }

    const uint32_t bound = FrameBoundKB(f.Width, f.Height, bitDepth);
    const uint32_t reportedBufferKB = std::max(bufferKB, bound);

    if (inForce != nullptr) {
        *inForce = mfxVideoParam{};
        inForce->AsyncDepth = par.AsyncDepth;
        inForce->IOPattern = MFX_IOPATTERN_IN_SYSTEM_MEMORY;
        mfxInfoMFX& o = inForce->mfx;
        o.FrameInfo = f;
        o.FrameInfo.CropW = static_cast<mfxU16>(cropW);
        o.FrameInfo.CropH = static_cast<mfxU16>(cropH);
        o.FrameInfo.PicStruct = MFX_PICSTRUCT_PROGRESSIVE;
        o.FrameInfo.ChromaFormat = MFX_CHROMAFORMAT_YUV420;
        o.FrameInfo.BitDepthLuma = o.FrameInfo.BitDepthChroma = static_cast<mfxU16>(bitDepth);
        o.CodecId = codec;
        o.CodecProfile = static_cast<mfxU16>(profile);
        o.CodecLevel = static_cast<mfxU16>(level);
        o.TargetUsage = static_cast<mfxU16>(usage);
        o.NumThread = m.NumThread;
        o.GopPicSize = static_cast<mfxU16>(gopSize);
        o.GopRefDist = static_cast<mfxU16>(refDist);
        o.GopOptFlag = m.GopOptFlag;
        o.IdrInterval = m.IdrInterval;
        o.RateControlMethod = static_cast<mfxU16>(rc);
        o.BRCParamMultiplier = m.BRCParamMultiplier;
        if (rc == MFX_RATECONTROL_CQP) {
            o.QPI = static_cast<mfxU16>(qpI);
            o.QPP = static_cast<mfxU16>(qpP);
            o.QPB = static_cast<mfxU16>(qpB);
        } else if (icq) {
            o.ICQQuality = static_cast<mfxU16>(quality);
        } else if (rc == MFX_RATECONTROL_AVBR) {
            o.Accuracy = m.Accuracy;
            o.TargetKbps = Field(target, multiplier);
            o.Convergence = m.Convergence;
        } else {
            o.InitialDelayInKB = Field(initialKB, multiplier);
            o.TargetKbps = Field(target, multiplier);
            o.MaxKbps = Field(maximum, multiplier);
        }
        o.BufferSizeInKB = Field(reportedBufferKB, multiplier);
        o.NumSlice = static_cast<mfxU16>(numSlice);
        o.NumRefFrame = static_cast<mfxU16>(numRef);
        o.EncodedOrder = 0;
    }
    if (config != nullptr) {
        *config = CodecConfig{};
        config->codec = codec;
        config->bitDepth = bitDepth;
        config->shift = p010 ? f.Shift : 0;
        config->width = f.Width;
        config->height = f.Height;
        config->cropX = f.CropX;
        config->cropY = f.CropY;
        config->cropW = cropW;
        config->cropH = cropH;
        config->rateN = f.FrameRateExtN;
        config->rateD = f.FrameRateExtD;
        config->profile = profile;
        config->level = level;
        config->targetUsage = usage;
        config->rateControl = rc;
        config->targetKbps = target;
        config->maxKbps = hrd ? maximum : 0;
        config->bufferKB = bufferKB;
        config->initialDelayKB = initialKB;
        config->qpI = qpI;
        config->qpP = qpP;
        config->qpB = qpB;
        config->quality = quality;
        config->lookAhead = lookAhead;
        config->gopSize = gopSize;
        config->refDist = refDist;
        config->idrInterval = m.IdrInterval;
        config->closedGop = (m.GopOptFlag & MFX_GOP_CLOSED) != 0;
        config->numRef = numRef;
        if (signal != nullptr) {
            config->signal = true;
            config->videoFormat = signal->VideoFormat;
            config->fullRange = signal->VideoFullRange != 0;
            config->colourDescription = signal->ColourDescriptionPresent != 0;
            config->primaries = signal->ColourPrimaries;
            config->transfer = signal->TransferCharacteristics;
            config->matrix = signal->MatrixCoefficients;
        }
        config->numSlice = numSlice;
    }
    return corrected ? MFX_WRN_INCOMPATIBLE_VIDEO_PARAM : MFX_ERR_NONE;
}

mfxStatus Encoder::Query(const mfxVideoParam* in, mfxVideoParam* out) {
    if (out == nullptr) return MFX_ERR_NULL_PTR;
    const RuntimeKind runtime = session_.knobs.runtime;
    // As Intel's runtimes do, the encoder is looked up by the output's codec.
    if (!Encodes(runtime, out->mfx.CodecId)) return MFX_ERR_UNSUPPORTED;
    mfxExtBuffer** outExt = out->ExtParam;
    const mfxU16 outNumExt = out->NumExtParam;
    if (outNumExt != 0 && outExt == nullptr) return MFX_ERR_NULL_PTR;
    auto* outSignal = FindBuffer<mfxExtVideoSignalInfo>(outExt, outNumExt, MFX_EXTBUFF_VIDEO_SIGNAL_INFO);
    auto* outOption2 = FindBuffer<mfxExtCodingOption2>(outExt, outNumExt, MFX_EXTBUFF_CODING_OPTION2);
    auto* outOption3 = FindBuffer<mfxExtCodingOption3>(outExt, outNumExt, MFX_EXTBUFF_CODING_OPTION3);

    if (in == nullptr) {
        // What Init lets the caller choose: every such field set to 1.
        const mfxU32 codec = out->mfx.CodecId;
        *out = mfxVideoParam{};
        out->ExtParam = outExt;
        out->NumExtParam = outNumExt;
        out->AsyncDepth = 1;
        out->IOPattern = 1;
        mfxInfoMFX& o = out->mfx;
        o.CodecId = codec;
        o.CodecProfile = o.CodecLevel = o.TargetUsage = o.GopPicSize = o.GopRefDist = o.IdrInterval = 1;
        o.RateControlMethod = o.InitialDelayInKB = o.BufferSizeInKB = o.TargetKbps = o.MaxKbps = 1;
        o.BRCParamMultiplier = o.NumSlice = o.NumRefFrame = 1;
        mfxFrameInfo& fi = o.FrameInfo;
        fi.FourCC = 1;
        fi.Width = fi.Height = fi.CropX = fi.CropY = fi.CropW = fi.CropH = 1;
        fi.FrameRateExtN = fi.FrameRateExtD = 1;
        fi.PicStruct = fi.ChromaFormat = 1;
        fi.BitDepthLuma = fi.BitDepthChroma = fi.Shift = 1;
        if (outSignal != nullptr) {
            const mfxExtBuffer header = outSignal->Header;
            std::memset(outSignal, 0, sizeof(*outSignal));
            outSignal->Header = header;
            outSignal->VideoFormat = outSignal->VideoFullRange = outSignal->ColourDescriptionPresent = 1;
            outSignal->ColourPrimaries = outSignal->TransferCharacteristics = outSignal->MatrixCoefficients = 1;
        }
        if (outOption2 != nullptr) {
            CopyBuffer(outOption2, mfxExtCodingOption2{});
            outOption2->LookAheadDepth = 1;
        }
        if (outOption3 != nullptr) {
            CopyBuffer(outOption3, mfxExtCodingOption3{});
            outOption3->QVBRQuality = 1;
        }
        return MFX_ERR_NONE;
    }

    // `in` and `out` may be the same record: work from copies.
    const mfxVideoParam asked = *in;
    auto copyOf = [](auto* found) { return found != nullptr ? std::optional(*found) : std::nullopt; };
    const auto askedSignal =
        copyOf(FindBuffer<mfxExtVideoSignalInfo>(in->ExtParam, in->NumExtParam, MFX_EXTBUFF_VIDEO_SIGNAL_INFO));
    const auto askedOption2 =
        copyOf(FindBuffer<mfxExtCodingOption2>(in->ExtParam, in->NumExtParam, MFX_EXTBUFF_CODING_OPTION2));
    const auto askedOption3 =
        copyOf(FindBuffer<mfxExtCodingOption3>(in->ExtParam, in->NumExtParam, MFX_EXTBUFF_CODING_OPTION3));
    // Out's buffers carry what in's did, then the values in force.
    auto echo = [&] {
        if (outSignal != nullptr && askedSignal) CopyBuffer(outSignal, *askedSignal);
        if (outOption2 != nullptr && askedOption2) CopyBuffer(outOption2, *askedOption2);
        if (outOption3 != nullptr && askedOption3) CopyBuffer(outOption3, *askedOption3);
    };
    mfxVideoParam inForce;
    CodecConfig config;
    RefusedField refused = RefusedField::kNone;
    const mfxStatus status = Check(asked, runtime, &inForce, &config, &refused);
    if (status < MFX_ERR_NONE) {
        // Query reports what cannot be done as unsupported, whatever the
        // reason; a refused rate-control value comes back zeroed, the rest
        // as asked, as Intel's runtimes answer.
        if (refused != RefusedField::kNone) {
            *out = asked;
            out->ExtParam = outExt;
            out->NumExtParam = outNumExt;
            echo();
            if (refused == RefusedField::kRateControl) out->mfx.RateControlMethod = 0;
            if (refused == RefusedField::kIcqQuality) out->mfx.ICQQuality = 0;
            if (refused == RefusedField::kQvbrQuality && outOption3 != nullptr) outOption3->QVBRQuality = 0;
        }
        return MFX_ERR_UNSUPPORTED;
    }
    *out = inForce;
    out->AsyncDepth = asked.AsyncDepth;
    out->ExtParam = outExt;
    out->NumExtParam = outNumExt;
    echo();
    if (outOption2 != nullptr) outOption2->LookAheadDepth = static_cast<mfxU16>(config.lookAhead);
    if (outOption3 != nullptr) {
        outOption3->QVBRQuality = static_cast<mfxU16>(config.rateControl == MFX_RATECONTROL_QVBR ? config.quality : 0);
    }
    return status;
}

mfxStatus Encoder::QueryIOSurf(const mfxVideoParam& par, mfxFrameAllocRequest* request) {
    mfxVideoParam inForce;
    CodecConfig config;
    mfxStatus status = Check(par, session_.knobs.runtime, &inForce, &config);
    if (status < MFX_ERR_NONE) return status;
    const int delay = nullEncoder_ ? config.refDist - 1 : LibraryDelay(config);
    // Held at most: the pictures the back end delays, the newest reference,
    // and the one being submitted.
    const int minimum = delay + 2;
    *request = mfxFrameAllocRequest{};
    request->Info = inForce.mfx.FrameInfo;
    request->Type = MFX_MEMTYPE_SYSTEM_MEMORY | MFX_MEMTYPE_FROM_ENCODE | MFX_MEMTYPE_EXTERNAL_FRAME;
    request->NumFrameMin = static_cast<mfxU16>(minimum);
    request->NumFrameSuggested = static_cast<mfxU16>(minimum + std::max<int>(par.AsyncDepth, 1));
    return status;
}

mfxStatus Encoder::Init(const mfxVideoParam& par) {
    platform::ScopedLock hold(lock_);
    if (initialized_) return MFX_ERR_UNDEFINED_BEHAVIOR;
    mfxVideoParam inForce;
    CodecConfig config;
    mfxStatus status = Check(par, session_.knobs.runtime, &inForce, &config);
    if (status < MFX_ERR_NONE) return status;
    std::unique_ptr<Codec> codec = nullEncoder_ ? MakeNullCodec(config) : MakeLibraryCodec(config);
    if (!codec) return MFX_ERR_UNSUPPORTED;
    auto queue = std::make_unique<TaskQueue>(session_.syncs);
    if (!queue->Start()) return MFX_ERR_MEMORY_ALLOC;
    delay_ = codec->Delay();
    codec_ = std::move(codec);
    queue_ = std::move(queue);
    params_ = inForce;
    config_ = config;
    bufferSizeKB_.store(static_cast<uint32_t>(inForce.mfx.BufferSizeInKB) *
                        std::max<mfxU16>(inForce.mfx.BRCParamMultiplier, 1));
    // By default the queue takes every picture the back end holds back (they
    // give no sync point to wait on) and the one that brings output: a caller
    // that fills the delay is never told the device is busy.
    depth_ = par.AsyncDepth != 0 ? std::max<size_t>(par.AsyncDepth, 2)
                                 : std::max<size_t>(kDefaultQueueDepth, static_cast<size_t>(delay_) + 2);
    submitted_ = promised_ = 0;
    draining_ = false;
    ready_.clear();
    pending_.clear();
    reference_ = nullptr;
    times_.clear();
    timesBase_ = fed_ = 0;
    frameTicks_ =
        static_cast<uint64_t>(90000) * inForce.mfx.FrameInfo.FrameRateExtD / inForce.mfx.FrameInfo.FrameRateExtN;
    initialized_ = true;
    return status;
}

mfxStatus Encoder::Close() {
    std::unique_ptr<TaskQueue> queue;
    {
        platform::ScopedLock hold(lock_);
        if (!initialized_) return MFX_ERR_NOT_INITIALIZED;
        initialized_ = false;
        queue = std::move(queue_);
    }
    queue->Stop();  // the runtime thread has ended: its state is ours now
    ReleaseAll();
    codec_.reset();
    ready_.clear();
    return MFX_ERR_NONE;
}

bool Encoder::Initialized() {
    platform::ScopedLock hold(lock_);
    return initialized_;
}

void Encoder::ReleaseAll() {
    for (mfxFrameSurface1* surface : pending_)
        LowerLocked(surface);
    pending_.clear();
    if (reference_ != nullptr) LowerLocked(reference_);
    reference_ = nullptr;
}

mfxStatus Encoder::GetVideoParam(mfxVideoParam* par) {
    if (par == nullptr) return MFX_ERR_NULL_PTR;
    platform::ScopedLock hold(lock_);
    if (!initialized_) return MFX_ERR_NOT_INITIALIZED;
    mfxExtBuffer** ext = par->ExtParam;
    mfxU16 numExt = par->NumExtParam;
    *par = params_;
    const mfxU16 multiplier = std::max<mfxU16>(params_.mfx.BRCParamMultiplier, 1);
    par->mfx.BufferSizeInKB = Field(bufferSizeKB_.load(), multiplier);
    par->ExtParam = ext;
    par->NumExtParam = numExt;
    if (numExt != 0 && ext == nullptr) return MFX_ERR_NULL_PTR;
    for (mfxU16 i = 0; i < numExt; ++i) {
        if (ext[i] == nullptr) return MFX_ERR_NULL_PTR;
        }
        if (auto* signal = FindBuffer<mfxExtVideoSignalInfo>(ext, numExt, MFX_EXTBUFF_VIDEO_SIGNAL_INFO)) {
            // What the SPS carries; unspecified values when no signal was asked for.
            const bool asked = config_.signal;
            signal->VideoFormat = static_cast<mfxU16>(asked ? config_.videoFormat : 5);
            signal->VideoFullRange = static_cast<mfxU16>(asked && config_.fullRange ? 1 : 0);
            signal->ColourDescriptionPresent = static_cast<mfxU16>(asked && config_.colourDescription ? 1 : 0);
            signal->ColourPrimaries = static_cast<mfxU16>(asked ? config_.primaries : 2);
            signal->TransferCharacteristics = static_cast<mfxU16>(asked ? config_.transfer : 2);
            signal->MatrixCoefficients = static_cast<mfxU16>(asked ? config_.matrix : 2);
        }
        if (auto* option2 = FindBuffer<mfxExtCodingOption2>(ext, numExt, MFX_EXTBUFF_CODING_OPTION2)) {
            option2->LookAheadDepth = static_cast<mfxU16>(config_.lookAhead);
        }
        if (auto* option3 = FindBuffer<mfxExtCodingOption3>(ext, numExt, MFX_EXTBUFF_CODING_OPTION3)) {
            option3->QVBRQuality =
                static_cast<mfxU16>(config_.rateControl == MFX_RATECONTROL_QVBR ? config_.quality : 0);
        }
    return MFX_ERR_NONE;
}

mfxStatus Encoder::EncodeFrameAsync(mfxEncodeCtrl* ctrl, mfxFrameSurface1* surface, mfxBitstream* bs,
                                    mfxSyncPoint* syncp) {
    (void)ctrl;  // per-frame control (forced frame types) is not implemented
    platform::ScopedLock hold(lock_);
    if (!initialized_) return MFX_ERR_NOT_INITIALIZED;
    if (bs == nullptr || syncp == nullptr) return MFX_ERR_NULL_PTR;
    if (bs->Data == nullptr && bs->MaxLength != 0) return MFX_ERR_NULL_PTR;
    if (bs->DataOffset > bs->MaxLength || bs->DataLength > bs->MaxLength - bs->DataOffset) {
        return MFX_ERR_UNDEFINED_BEHAVIOR;
    }
    // Like the hardware: the room must hold the largest frame the encoder may write.
    const uint64_t room = static_cast<uint64_t>(bs->MaxLength) - bs->DataOffset - bs->DataLength;
    if (room < static_cast<uint64_t>(bufferSizeKB_.load()) * 1000) return MFX_ERR_NOT_ENOUGH_BUFFER;

    const mfxFrameAllocator* allocator = session_.allocator.load();
    if (surface != nullptr) {
        if (draining_) return MFX_ERR_UNDEFINED_BEHAVIOR;  // no new pictures once the drain began
        const mfxFrameInfo& fi = surface->Info;
        const mfxFrameInfo& pi = params_.mfx.FrameInfo;
        if (fi.FourCC != pi.FourCC || fi.Width < pi.Width || fi.Height < pi.Height) {
            return MFX_ERR_INVALID_VIDEO_PARAM;
        }
        if (!((allocator != nullptr && surface->Data.MemId != nullptr) || surface->Data.Y != nullptr)) {
            return MFX_ERR_NULL_PTR;
        }
    } else {
        draining_ = true;
        if (promised_ == submitted_) return MFX_ERR_MORE_DATA;
    }
    if (queue_->Pending() >= depth_) return MFX_WRN_DEVICE_BUSY;

    const bool output = surface == nullptr || submitted_ + 1 > static_cast<uint64_t>(delay_) + promised_;
    if (surface != nullptr) {
        RaiseLocked(surface);
        ++submitted_;
    }
    auto task = std::make_shared<Task>();
    task->kind = TaskKind::kEncode;
    const bool draining = surface == nullptr;
    task->work = [this, surface, bs, output, draining]() -> mfxStatus {
        if (surface != nullptr) {
            if (mfxStatus s = Feed(surface); s != MFX_ERR_NONE) return s;
        }
        return output ? Deliver(bs, draining) : MFX_ERR_NONE;
    };
    if (!output) {
        queue_->Post(std::move(task));  // nobody waits for a picture that yields no frame yet
        return MFX_ERR_MORE_DATA;
    }
    ++promised_;
    *syncp = session_.syncs.Add(task);
    queue_->Post(std::move(task));
    return MFX_ERR_NONE;
}

mfxStatus Encoder::Feed(mfxFrameSurface1* surface) {
    const mfxFrameAllocator* allocator = session_.allocator.load();
    const uint64_t order = fed_++;
    const uint64_t timeStamp = surface->Data.TimeStamp;
    times_.push_back(timeStamp);
    while (times_.size() > 512) {  // decode times only look a few pictures back
        times_.pop_front();
        ++timesBase_;
    }
    pending_.push_back(surface);
    std::vector<CodedFrame> frames;
    mfxStatus status;
    {
        SurfaceAccess access(allocator, surface);
        const mfxFrameData& d = surface->Data;
        if (access.Status() != MFX_ERR_NONE) {
            status = MFX_ERR_LOCK_MEMORY;
        } else if (d.Y == nullptr || d.UV == nullptr || PitchOf(d) == 0) {
            status = MFX_ERR_NULL_PTR;
        } else {
            const size_t pitch = PitchOf(d);
            PictureView picture{d.Y, pitch, d.UV, pitch};
            status = codec_->Encode(picture, order, timeStamp, surface, &frames);
        }
    }
    if (status != MFX_ERR_NONE) {
        // The picture never reached the back end: give the surface back now.
        pending_.pop_back();
        LowerLocked(surface);
    }
    Collect(frames);
    return status;
}

void Encoder::Collect(std::vector<CodedFrame>& frames) {
    for (CodedFrame& frame : frames) {
        auto* surface = static_cast<mfxFrameSurface1*>(frame.opaque);
        auto it = std::find(pending_.begin(), pending_.end(), surface);
        if (it != pending_.end()) {
            pending_.erase(it);
            if (frame.frameType & MFX_FRAMETYPE_REF) {
                // The newest reference stays locked until the next one replaces it.
                if (reference_ != nullptr) LowerLocked(reference_);
                reference_ = surface;
            } else {
                LowerLocked(surface);
            }
        }
        frame.opaque = nullptr;
        ready_.push_back(std::move(frame));
    }
    frames.clear();
}

uint64_t Encoder::DecodeTime(int64_t index) const {
    const int64_t base = static_cast<int64_t>(timesBase_);
    if (!times_.empty() && index >= base && index < base + static_cast<int64_t>(times_.size())) {
        return times_[static_cast<size_t>(index - base)];
    }
    // Before the first picture (B-frame delay) or out of the window: extrapolate.
    if (times_.empty()) return static_cast<uint64_t>(MFX_TIMESTAMP_UNKNOWN);
    const int64_t nearest = index < base ? base : base + static_cast<int64_t>(times_.size()) - 1;
    const uint64_t known = times_[static_cast<size_t>(nearest - base)];
    if (known == static_cast<uint64_t>(MFX_TIMESTAMP_UNKNOWN)) return known;
    return known + static_cast<uint64_t>((index - nearest) * static_cast<int64_t>(frameTicks_));
}

mfxStatus Encoder::Deliver(mfxBitstream* bs, bool draining) {
    if (ready_.empty() && draining) {
        std::vector<CodedFrame> frames;
        while (frames.empty() && codec_->Flush(&frames)) {
        }
        Collect(frames);
    }
    if (ready_.empty()) return MFX_ERR_UNKNOWN;  // the back end broke its delay promise
    CodedFrame frame = std::move(ready_.front());
    ready_.pop_front();
    const uint64_t room = static_cast<uint64_t>(bs->MaxLength) - bs->DataOffset - bs->DataLength;
    if (frame.bytes.size() > room) {
        // Cannot happen within the reported buffer size; if it does, say so and
        // ask for a buffer that holds this frame next time.
        const uint32_t needKB = static_cast<uint32_t>((frame.bytes.size() + 999) / 1000);
        uint32_t current = bufferSizeKB_.load();
        while (current < needKB && !bufferSizeKB_.compare_exchange_weak(current, needKB)) {
        }
        return MFX_ERR_NOT_ENOUGH_BUFFER;
    }
    std::memcpy(bs->Data + bs->DataOffset + bs->DataLength, frame.bytes.data(), frame.bytes.size());
    bs->DataLength += static_cast<mfxU32>(frame.bytes.size());
    bs->TimeStamp = frame.timeStamp;
    bs->DecodeTimeStamp = static_cast<mfxI64>(DecodeTime(frame.decodeOrderPts));
    bs->FrameType = frame.frameType;
    bs->PicStruct = MFX_PICSTRUCT_PROGRESSIVE;
    return MFX_ERR_NONE;
}

}  // namespace mfxsoft
