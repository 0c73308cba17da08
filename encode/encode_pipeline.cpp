#include "encode/encode_pipeline.h"

#include <cstring>
#include <new>

#include "core/export_job.h"
#include "encode/encoder_params.h"
#include "encode/rate_control.h"

namespace {

// The largest frame side that survives the SDK's 16-bit, 16-aligned fields.
constexpr int32_t kMaxFrameSide = 0xFFF0;

mfxU16 Low16(int32_t value) { return static_cast<mfxU16>(value & 0xFFFF); }
mfxU16 Align16(int32_t value) { return static_cast<mfxU16>((Low16(value) + 15) & 0xFFF0); }

void DeleteSurfaces(std::deque<mfxFrameSurface1*>& surfaces) {
    for (mfxFrameSurface1* surface : surfaces) delete surface;  // null end markers included
    surfaces.clear();
}

void DeleteSurfaces(std::list<mfxFrameSurface1*>& surfaces) {
    for (mfxFrameSurface1* surface : surfaces) delete surface;
    surfaces.clear();
}

// How a runtime's VPP says it takes no frames of the input description.
bool RefusesInput(mfxStatus status) { return status == MFX_ERR_INVALID_VIDEO_PARAM || status == MFX_ERR_UNSUPPORTED; }

// Whether the initialised encoder still has the video signal asked for. A
// runtime that cannot say (GetVideoParam fails, or leaves the buffer as it
// was) is taken at its Init's word.
bool EncoderKeptSignal(const EncodePipeline& pipeline) {
    mfxExtVideoSignalInfo reported = pipeline.encodeSignal;
    reported.ColourDescriptionPresent = 0xFFFF;  // changed by any runtime that answers
    mfxExtBuffer* ext[1] = {&reported.Header};
    mfxVideoParam params{};
    params.ExtParam = ext;
    params.NumExtParam = 1;
    if (!pipeline.encodeSignalAsked) return true;
    if (MFXVideoENCODE_GetVideoParam(pipeline.session, &params) != MFX_ERR_NONE) return true;
    if (reported.ColourDescriptionPresent == 0xFFFF) return true;
    const mfxExtVideoSignalInfo& asked = pipeline.encodeSignal;
    return reported.VideoFullRange == asked.VideoFullRange &&
           reported.ColourDescriptionPresent == asked.ColourDescriptionPresent &&
           reported.ColourPrimaries == asked.ColourPrimaries &&
           reported.TransferCharacteristics == asked.TransferCharacteristics &&
           reported.MatrixCoefficients == asked.MatrixCoefficients;
}

}  // namespace

void ReleaseBitstreamBuffer(mfxU8* buffer) { ::operator delete[](buffer, std::align_val_t{32}); }

EncodePipeline::EncodePipeline()
    : allocator(new (std::nothrow) CAllocatorFrameSystemMemory),
      vppInResponse{},
      encInResponse{},
      bitstream{},
      initialized(false),
      session(nullptr),
      callbackContext(nullptr),
      frameSource(nullptr),
      bitstreamSink(nullptr),
      cancel{},
      vppExtParam{},
      vppDoNotUse{},
      vppDoNotUseAlgs{},
      vppSignal{},
      encodeExtParam{},
      encodeSignal{},
      codingOptions{},
      colourMatrix(VideoMatrix::kBt601),
      signalAsked(false),
      encodeSignalAsked(false),
      colourTagged(false),
      endQueued(false),
      workerEnded(false),
      workerStatus(0),
      queueEvent(platform::CreateManualEvent()),
      surfaceEvent(platform::CreateManualEvent()),
      cancelRequested(false),
      lastCancelPoll(0),
      stallLimitMs(kDefaultStallLimitMs),
      stallCall(nullptr),
      stallStatus(0),
      vppInFourCC(0),
      vppInputRefused(false),
      failedCall(nullptr),
      failedStatus(MFX_ERR_NONE),
      signalChanged(false),
      signalRefused(false) {}

EncodePipeline::~EncodePipeline() {
    ClosePipeline(this);
    delete static_cast<IAllocatorFrame*>(allocator);
    platform::CloseEventHandle(queueEvent);
    platform::CloseEventHandle(surfaceEvent);
}

mfxFrameInfo MakeVppInputInfo(const ExportJob& job) {
    mfxFrameInfo vppIn{};
    vppIn.FourCC = MFX_FOURCC_RGB3;
    vppIn.Width = Align16(job.width);
    vppIn.Height = Align16(job.height);
    vppIn.CropX = 0;
    vppIn.CropY = 0;
    vppIn.CropW = Low16(job.width);
    vppIn.CropH = Low16(job.height);
    vppIn.FrameRateExtN = static_cast<mfxU32>(job.rate);
    vppIn.FrameRateExtD = static_cast<mfxU32>(job.scale);
    vppIn.PicStruct = MFX_PICSTRUCT_PROGRESSIVE;
    vppIn.ChromaFormat = 0;
    return vppIn;
}

mfxFrameInfo AsRgb4Input(const mfxFrameInfo& rgb3) {
    mfxFrameInfo rgb4 = rgb3;
    rgb4.FourCC = MFX_FOURCC_RGB4;
    rgb4.ChromaFormat = MFX_CHROMAFORMAT_YUV444;  // how Intel's samples describe RGB4
    return rgb4;
}

bool OpenEncodePipeline(const SettingData& settings, const ExportJob& job, EncodePipeline& pipeline,
                        const PipelineCallbacks& callbacks) {
    // A side beyond the 16-bit fields would leave the surfaces smaller than
    // the host's frames.
    if (job.width <= 0 || job.width > kMaxFrameSide || job.height <= 0 ||
        job.height > kMaxFrameSide) {
        return false;
    }
    // A negative rate would reach the encoder as a huge one.
    if (settings.targetKbps < 0 || settings.maxKbps < 0) return false;

    const mfxIMPL impl = static_cast<mfxIMPL>(settings.hardwareImpl);
    const mfxFrameInfo rgb3 = MakeVppInputInfo(job);
    const mfxFrameInfo rgb4 = AsRgb4Input(rgb3);
    const mfxInfoMFX encode = MakeEncoderInfo(settings);
    const VideoMatrix wanted = MatrixForFrame(job.width, job.height);
    FillCodingOptions(pipeline.codingOptions, settings);
    // With the signal buffers first: RGB3, then RGB4 when the runtime takes
    // no 24-bit input (the VPL GPU runtime, the Linux runtime). When a
    // runtime refuses or changes them, its default conversion (BT.601
    // limited) tagged as such, and failing that untagged. A failed attempt
    // closed its session; its frames would otherwise stay with the allocator.
    struct Attempt {
        bool vppSignal, encodeSignal;
    };
    constexpr Attempt kAttempts[] = {{true, true}, {false, true}, {false, false}};
    for (const Attempt& attempt : kAttempts) {
        bool refused = false;
        for (const mfxFrameInfo* input : {&rgb3, &rgb4}) {
            pipeline.signalAsked = attempt.vppSignal;
            pipeline.encodeSignalAsked = attempt.encodeSignal;
            pipeline.colourMatrix = attempt.vppSignal ? wanted : VideoMatrix::kBt601;
            FillSignalBuffers(&pipeline, pipeline.colourMatrix);
            mfxStatus status = SetupPipeline(&callbacks, input, &pipeline, impl, &encode);
            if (status >= MFX_ERR_NONE && (pipeline.signalChanged || !EncoderKeptSignal(pipeline))) {
                ClosePipeline(&pipeline);
                pipeline.signalRefused = true;
                status = MFX_ERR_UNSUPPORTED;
            }
            if (status >= MFX_ERR_NONE) {
                pipeline.colourTagged = attempt.encodeSignal;
                return status == MFX_ERR_NONE;
            }
            refused = refused || pipeline.signalRefused;
            pipeline.allocator->Free(&pipeline.vppInResponse);
            pipeline.allocator->Free(&pipeline.encInResponse);
            if (!pipeline.vppInputRefused) break;
        }
        if (!refused) break;
    }
    return false;
}

void FillSignalBuffers(EncodePipeline* pipeline, VideoMatrix matrix) {
    mfxExtVPPVideoSignalInfo& vpp = pipeline->vppSignal;
    std::memset(&vpp, 0, sizeof(vpp));
    vpp.Header.BufferId = MFX_EXTBUFF_VPP_VIDEO_SIGNAL_INFO;
    vpp.Header.BufferSz = sizeof(vpp);
    vpp.In.TransferMatrix = MFX_TRANSFERMATRIX_UNKNOWN;  // RGB has none
    vpp.In.NominalRange = MFX_NOMINALRANGE_0_255;
    vpp.Out.TransferMatrix = matrix == VideoMatrix::kBt709 ? MFX_TRANSFERMATRIX_BT709 : MFX_TRANSFERMATRIX_BT601;
    vpp.Out.NominalRange = MFX_NOMINALRANGE_16_235;
    mfxExtVideoSignalInfo& encode = pipeline->encodeSignal;
    std::memset(&encode, 0, sizeof(encode));
    encode.Header.BufferId = MFX_EXTBUFF_VIDEO_SIGNAL_INFO;
    encode.Header.BufferSz = sizeof(encode);
    const ColourCodes codes = ColourCodesOf(matrix);
    encode.VideoFormat = 5;
    encode.VideoFullRange = 0;
    encode.ColourDescriptionPresent = 1;
    encode.ColourPrimaries = codes.primaries;
    encode.TransferCharacteristics = codes.transfer;
    encode.MatrixCoefficients = codes.matrix;
}

mfxStatus SetupPipeline(const PipelineCallbacks* callbacks, const mfxFrameInfo* vppInInfo, EncodePipeline* pipeline,
                        mfxIMPL impl, const mfxInfoMFX* encodeInfo) {
    if (pipeline == nullptr) return MFX_ERR_NULL_PTR;
    if (pipeline->initialized || pipeline->allocator == nullptr) return MFX_ERR_UNKNOWN;
    if (vppInInfo == nullptr || encodeInfo == nullptr || callbacks == nullptr || callbacks->source == nullptr ||
        callbacks->sink == nullptr) {
        return MFX_ERR_NULL_PTR;
    }
    pipeline->vppInputRefused = false;
    pipeline->failedCall = nullptr;
    pipeline->failedStatus = MFX_ERR_NONE;
    pipeline->encoderChanges.clear();
    pipeline->signalChanged = false;
    pipeline->signalRefused = false;
    pipeline->vppInFourCC = vppInInfo->FourCC;
    pipeline->callbackContext = callbacks->context;
    pipeline->frameSource = callbacks->source;
    pipeline->bitstreamSink = callbacks->sink;
    pipeline->cancel = callbacks->cancel;

    mfxVersion version{};
    version.Major = 1;
    version.Minor = 1;
    // Remembers the call that ends the set-up, for the user's cause line.
    auto failed = [pipeline](const char* call, mfxStatus answer) {
        pipeline->failedCall = call;
        pipeline->failedStatus = answer;
        return answer;
    };
    mfxStatus status = MFXInit(impl, &version, &pipeline->session);
    if (status != MFX_ERR_NONE) return failed("MFXInit", status);
    // Every later failure gives up what the set-up made so far: the surface
    // records (the allocator's frames stay with the allocator) and the session,
    // which closes whatever was initialised in it.
    auto abandon = [pipeline](mfxStatus answer) {
        DeleteSurfaces(pipeline->encInFree);
        DeleteSurfaces(pipeline->vppInFree);
        MFXClose(pipeline->session);
        return answer;
    };

    mfxFrameAllocator* allocatorRecord = pipeline->allocator;
    mfxVideoParam vppParams{};
    mfxVideoParam encodeParams{};
    mfxFrameAllocRequest vppRequests[2] = {};
    mfxFrameAllocRequest encodeRequest{};

    status = MFXVideoCORE_SetFrameAllocator(pipeline->session, allocatorRecord);
    if (status != MFX_ERR_NONE) return abandon(failed("MFXVideoCORE_SetFrameAllocator", status));

    vppParams.AsyncDepth = 0;
    vppParams.Protected = 0;
    vppParams.vpp.In = *vppInInfo;
    // VPP gives what the encoder takes: the format of its description, the
    // size and rate of the input.
    vppParams.vpp.Out = encodeInfo->FrameInfo;
    vppParams.vpp.Out.Width = vppInInfo->Width;
    vppParams.vpp.Out.Height = vppInInfo->Height;
    vppParams.vpp.Out.CropW = vppInInfo->CropW;
    vppParams.vpp.Out.CropH = vppInInfo->CropH;
    vppParams.vpp.Out.FrameRateExtN = vppInInfo->FrameRateExtN;
    vppParams.vpp.Out.FrameRateExtD = vppInInfo->FrameRateExtD;
    vppParams.IOPattern = MFX_IOPATTERN_IN_SYSTEM_MEMORY | MFX_IOPATTERN_OUT_SYSTEM_MEMORY;
    pipeline->vppDoNotUseAlgs[0] = MFX_EXTBUFF_VPP_DENOISE;
    pipeline->vppDoNotUseAlgs[1] = MFX_EXTBUFF_VPP_SCENE_ANALYSIS;
    pipeline->vppDoNotUseAlgs[2] = MFX_EXTBUFF_VPP_DETAIL;
    pipeline->vppDoNotUseAlgs[3] = MFX_EXTBUFF_VPP_PROCAMP;
    std::memset(&pipeline->vppDoNotUse, 0, sizeof(pipeline->vppDoNotUse));
    pipeline->vppDoNotUse.Header.BufferId = MFX_EXTBUFF_VPP_DONOTUSE;
    pipeline->vppDoNotUse.Header.BufferSz = sizeof(mfxExtVPPDoNotUse);
    pipeline->vppDoNotUse.NumAlg = 4;
    pipeline->vppDoNotUse.AlgList = pipeline->vppDoNotUseAlgs;
    pipeline->vppExtParam[0] = &pipeline->vppDoNotUse.Header;
    pipeline->vppExtParam[1] = &pipeline->vppSignal.Header;
    vppParams.ExtParam = pipeline->vppExtParam;
    vppParams.NumExtParam = pipeline->signalAsked ? 2 : 1;

    encodeParams.AsyncDepth = 0;
    encodeParams.Protected = 0;
    encodeParams.mfx = *encodeInfo;
    encodeParams.mfx.FrameInfo = vppParams.vpp.Out;
    encodeParams.IOPattern = MFX_IOPATTERN_IN_SYSTEM_MEMORY;
    mfxU16 encodeExtCount = 0;
    if (pipeline->encodeSignalAsked) pipeline->encodeExtParam[encodeExtCount++] = &pipeline->encodeSignal.Header;
    encodeExtCount = AttachCodingOptions(pipeline->codingOptions, pipeline->encodeExtParam, encodeExtCount);
    if (encodeExtCount != 0) {
        encodeParams.ExtParam = pipeline->encodeExtParam;
        encodeParams.NumExtParam = encodeExtCount;
    }
    // Whether the runtime encodes this codec, profile and depth at all,
    // before anything is sized for it: the Media SDK runtime answers
    // MFX_ERR_UNSUPPORTED for AV1, for instance. Without the extension
    // buffers, whose support the later calls settle; corrections (a
    // warning) are left for them to report.
    mfxVideoParam queryIn = encodeParams;
    queryIn.ExtParam = nullptr;
    queryIn.NumExtParam = 0;
    mfxVideoParam queryOut = queryIn;
    status = MFXVideoENCODE_Query(pipeline->session, &queryIn, &queryOut);
    if (status < MFX_ERR_NONE) return abandon(failed("MFXVideoENCODE_Query", status));

    status = MFXVideoVPP_QueryIOSurf(pipeline->session, &vppParams, vppRequests);
    if (status < MFX_ERR_NONE) {
        pipeline->vppInputRefused = RefusesInput(status);
        pipeline->signalRefused = pipeline->signalAsked && RefusesInput(status);
        return abandon(failed("MFXVideoVPP_QueryIOSurf", status));
    }
    // VPP has nothing else to correct: a warning here says it changed the
    // conversion asked for.
    if (status > MFX_ERR_NONE && pipeline->signalAsked) pipeline->signalChanged = true;

    status = MFXVideoENCODE_QueryIOSurf(pipeline->session, &encodeParams, &encodeRequest);
    if (status < MFX_ERR_NONE) {
        pipeline->signalRefused = pipeline->encodeSignalAsked && RefusesInput(status);
        return abandon(failed("MFXVideoENCODE_QueryIOSurf", status));
    }

    // Room for the host to fill ahead and for frames the encoder holds back;
    // VPP's outputs are the encoder's inputs, so they share one pool.
    vppRequests[0].NumFrameSuggested = static_cast<mfxU16>(3 * vppRequests[0].NumFrameSuggested);
    encodeRequest.NumFrameSuggested =
        static_cast<mfxU16>(encodeRequest.NumFrameSuggested + 3 * vppRequests[1].NumFrameSuggested);

    status = allocatorRecord->Alloc(allocatorRecord->pthis, &vppRequests[0], &pipeline->vppInResponse);
    if (status < MFX_ERR_NONE) return abandon(failed("the frame allocator", status));
    for (mfxU16 i = 0; i < pipeline->vppInResponse.NumFrameActual; ++i) {
        auto* surface = new (std::nothrow) mfxFrameSurface1{};
        if (surface == nullptr) return abandon(MFX_ERR_MEMORY_ALLOC);
        surface->Info = vppParams.vpp.In;
        surface->Data.MemId = pipeline->vppInResponse.mids[i];
        pipeline->vppInFree.push_back(surface);
    }

    status = allocatorRecord->Alloc(allocatorRecord->pthis, &encodeRequest, &pipeline->encInResponse);
    if (status < MFX_ERR_NONE) return abandon(failed("the frame allocator", status));
    for (mfxU16 i = 0; i < pipeline->encInResponse.NumFrameActual; ++i) {
        auto* surface = new (std::nothrow) mfxFrameSurface1{};
        if (surface == nullptr) return abandon(MFX_ERR_MEMORY_ALLOC);
        surface->Info = encodeParams.mfx.FrameInfo;
        surface->Data.MemId = pipeline->encInResponse.mids[i];
        pipeline->encInFree.push_back(surface);
    }

    std::memset(&pipeline->bitstream, 0, sizeof(pipeline->bitstream));

    status = MFXVideoVPP_Init(pipeline->session, &vppParams);
    if (status < MFX_ERR_NONE) {
        pipeline->vppInputRefused = RefusesInput(status);
        pipeline->signalRefused = pipeline->signalAsked && RefusesInput(status);
        return abandon(failed("MFXVideoVPP_Init", status));
    }
    if (status > MFX_ERR_NONE && pipeline->signalAsked) pipeline->signalChanged = true;
    status = MFXVideoENCODE_Init(pipeline->session, &encodeParams);
    if (status != MFX_ERR_NONE) failed("MFXVideoENCODE_Init", status);
    if (status > MFX_ERR_NONE) {
        const EncoderParams asked{encodeParams.mfx, pipeline->codingOptions.option2.LookAheadDepth,
                                  pipeline->codingOptions.option3.QVBRQuality};
        EncoderParams settled;
        if (GetSettledEncoderParams(pipeline->session, asked, &settled) >= MFX_ERR_NONE) {
            pipeline->encoderChanges = EncoderChanges(asked, settled);
        }
    }
    if (status < MFX_ERR_NONE) {
        pipeline->signalRefused = pipeline->encodeSignalAsked && RefusesInput(status);
        MFXVideoVPP_Close(pipeline->session);
        return abandon(status);
    }
    pipeline->initialized = true;
    return status;
}

mfxStatus ClosePipeline(EncodePipeline* pipeline) {
    if (pipeline == nullptr || !pipeline->initialized) return MFX_ERR_UNKNOWN;
    MFXVideoENCODE_Close(pipeline->session);
    MFXVideoVPP_Close(pipeline->session);
    MFXClose(pipeline->session);
    if (pipeline->bitstream.Data != nullptr) {
        ReleaseBitstreamBuffer(pipeline->bitstream.Data);
        pipeline->bitstream.Data = nullptr;
        pipeline->bitstream.MaxLength = 0;
    }
    DeleteSurfaces(pipeline->encInFree);
    DeleteSurfaces(pipeline->encodeQueue);
    DeleteSurfaces(pipeline->vppInFree);
    DeleteSurfaces(pipeline->vppInReady);
    pipeline->initialized = false;
    return MFX_ERR_NONE;
}
