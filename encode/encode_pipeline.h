// One encode job's Media SDK pipeline: a session whose pre-processing stage
// (VPP) converts the host's RGB frames to NV12 and whose encoder (H.264)
// compresses them, both on system-memory frames of the pipeline's allocator.
// VPP gets 24-bit RGB3 frames, or 32-bit RGB4 frames from runtimes that
// refuse RGB3 (the VPL GPU runtime, the open-source Linux runtime).
//
// Calling order. Real encode: construct; OpenEncodePipeline; if it succeeded,
// RunEncodeLoop; ClosePipeline (also after a failed open); destroy.
// Validation: construct; OpenEncodePipeline; destroy (the destructor closes).
// The record must not move while a session exists: the VPP parameters point
// into it. A record is set up at most once.
#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <list>
#include <string>
#include <vector>

#include <mfxvideo.h>

#include "encode/coding_options.h"
#include "encode/colour.h"
#include "encode/frame_allocator.h"
#include "encode/frame_source.h"
#include "platform/cancel.h"
#include "platform/sync.h"
#include "core/setting_data.h"

struct ExportJob;

// What the owner of a pipeline hands to its set-up. `source` and `sink` must
// not be null; `context` is passed back to both untouched. `cancel` may be
// empty: the job then cannot be cancelled, and the end of the frames
// (an abort included) is encoded and drained as usual.
struct PipelineCallbacks {
    void* context;
    FrameSourceFn source;
    BitstreamSinkFn sink;
    // Asked on the thread that runs the encode loop only (it may call the host).
    platform::CancelCheck cancel = {};
};

// How long a stage may make no progress (the runtime busy, a sync still in
// execution, no surface coming back) before the encode fails.
inline constexpr uint32_t kDefaultStallLimitMs = 30000;

// Threads: the job's thread (the host's) constructs, sets up, runs the encode
// loop's pre-processing side, closes and destroys; the encoding worker exists
// only inside RunEncodeLoop. Fields say which thread uses them.
struct EncodePipeline {
    EncodePipeline();
    // Closes the pipeline if it is initialised, then deletes the allocator,
    // which releases every frame it still holds. Surfaces go before frames.
    ~EncodePipeline();
    EncodePipeline(const EncodePipeline&) = delete;
    EncodePipeline& operator=(const EncodePipeline&) = delete;

    // Owns all frame memory; null only if it could not be created.
    CAllocatorFrameSystemMemory* allocator;
    // VPP-input (RGB3 or RGB4) surfaces holding no pending frame. Job's
    // thread only.
    std::deque<mfxFrameSurface1*> vppInFree;
    // Filled VPP-input surfaces waiting for VPP, in frame order; null marks the
    // end of the stream. Job's thread only.
    std::deque<mfxFrameSurface1*> vppInReady;
    mfxFrameAllocResponse vppInResponse;
    // Guards `encInFree` and `encodeQueue`, and nothing else. Held only for a
    // container operation or one walk over `encInFree`; never during an SDK
    // call or a sleep.
    platform::CriticalSection queueLock;
    // NV12 surfaces, VPP outputs and encoder inputs alike; one may be here
    // while the SDK still holds it (Data.Locked). Under `queueLock`.
    std::list<mfxFrameSurface1*> encInFree;
    // VPP outputs waiting for the encoder, in frame order; null marks the end
    // of the stream. Under `queueLock`.
    std::deque<mfxFrameSurface1*> encodeQueue;
    mfxFrameAllocResponse encInResponse;
    // The encoder's output for one frame. Worker only while the loop runs;
    // its buffer is released by ClosePipeline.
    mfxBitstream bitstream;
    bool initialized;
    // Used by both threads during the loop: VPP on the job's thread, the
    // encoder on the worker.
    mfxSession session;
    void* callbackContext;
    FrameSourceFn frameSource;      // job's thread
    BitstreamSinkFn bitstreamSink;  // worker
    platform::CancelCheck cancel;   // job's thread; may be empty
    // The VPP parameters' extension array and what it points at: the
    // do-not-use list, then (when `signalAsked`) the colour conversion.
    mfxExtBuffer* vppExtParam[2];
    mfxExtVPPDoNotUse vppDoNotUse;
    mfxU32 vppDoNotUseAlgs[4];
    mfxExtVPPVideoSignalInfo vppSignal;
    // The encoder's: the SPS's video signal type, when `encodeSignalAsked`;
    // the look-ahead depth and QVBR's quality, when the rate control uses
    // them (filled by OpenEncodePipeline from the settings).
    mfxExtBuffer* encodeExtParam[3];
    mfxExtVideoSignalInfo encodeSignal;
    CodingOptions codingOptions;
    // Colour, job's thread only. Before a set-up: the matrix to ask for and
    // which signal buffers SetupPipeline attaches (VPP's, the encoder's).
    // After it: `colourMatrix` is the matrix of the pixels and `colourTagged`
    // whether the stream says so. A runtime that refuses or changes VPP's
    // buffer converts as BT.601, tagged so if it takes the encoder's (see
    // OpenEncodePipeline).
    VideoMatrix colourMatrix;
    bool signalAsked;
    bool encodeSignalAsked;
    bool colourTagged;

    // An end marker is in `vppInReady`: the frame source is not asked again.
    // Job's thread only.
    bool endQueued;
    // The worker has ended, with `workerStatus` (0 after a full drain). The
    // job's thread stops waiting for surfaces once it sees this.
    std::atomic<bool> workerEnded;
    std::atomic<int32_t> workerStatus;
    // Manual-reset events with which the two threads wake each other instead
    // of polling; made and closed with the record (null if that failed, and
    // then RunEncodeLoop does not start). `queueEvent`: set by the job's
    // thread after it queues a surface or the end marker, cleared by the
    // worker before it looks at `encodeQueue`. `surfaceEvent`: set by the
    // worker after it gives a surface back, after each finished sync (the SDK
    // lets go of surfaces then) and when it ends; cleared by the job's thread
    // before it looks at `encInFree`.
    platform::EventHandle queueEvent;
    platform::EventHandle surfaceEvent;
    // The user cancelled: set by the job's thread when `cancel` says so,
    // read by the worker, which then stops without draining.
    std::atomic<bool> cancelRequested;
    // When the job's thread last asked `cancel` (tick count). Job's thread only.
    uint32_t lastCancelPoll;
    // A stage that makes no progress for this long fails the encode. Set
    // before RunEncodeLoop; read by both threads.
    uint32_t stallLimitMs;
    // Set once by the thread whose stage stalled: the SDK call that made no
    // progress (a static text, null while none stalled) and what it kept
    // answering. The loop then returns MFX_ERR_ABORTED.
    std::atomic<const char*> stallCall;
    std::atomic<int32_t> stallStatus;
    // The VPP-input format of the last set-up: MFX_FOURCC_RGB3 or
    // MFX_FOURCC_RGB4; 0 before any. Job's thread only.
    mfxU32 vppInFourCC;
    // The last set-up failed because VPP's QueryIOSurf or Init refused the
    // input description (MFX_ERR_INVALID_VIDEO_PARAM or MFX_ERR_UNSUPPORTED).
    // Job's thread only.
    bool vppInputRefused;
    // The SDK call that ended the last set-up unsuccessfully and what it
    // answered: an error, or the warning of the encoder's initialisation.
    // Null (and MFX_ERR_NONE) when no call failed. Job's thread only.
    const char* failedCall;
    mfxStatus failedStatus;
    // When the encoder's initialisation answered a warning: the fields it
    // changed (EncoderChanges), e.g. "rate control AVBR to VBR". Job's
    // thread only.
    std::vector<std::string> encoderChanges;
    // The last set-up asked for the signal buffers and VPP answered a warning
    // (it changed them). Job's thread only.
    bool signalChanged;
    // The last set-up asked for the signal buffers and a call that carried
    // them refused (MFX_ERR_INVALID_VIDEO_PARAM or MFX_ERR_UNSUPPORTED), or
    // the runtime changed them. Job's thread only.
    bool signalRefused;
};

// Fills the two signal buffers of `pipeline` for `matrix`: VPP from
// full-range RGB to `matrix` in limited range, the encoder's VUI with video
// format 5 (unspecified), limited range and the matrix's code points.
void FillSignalBuffers(EncodePipeline* pipeline, VideoMatrix matrix);

// The VPP-input frame description of a job: RGB3, the size aligned up to 16
// in 16-bit arithmetic, the crop the size itself, the job's frame rate,
// progressive.
mfxFrameInfo MakeVppInputInfo(const ExportJob& job);

// The same description for 32-bit input: RGB4, chroma format 4:4:4, all
// else as in `rgb3`.
mfxFrameInfo AsRgb4Input(const mfxFrameInfo& rgb3);

// The encoder description of the settings: their codec (SettingsCodec), the
// settings' profile, level, target usage and rate control (their low 16
// bits), the bit rates with BRCParamMultiplier where they exceed 65535 kbps
// (SetBitRates); FrameInfo's format from the bit depth (NV12, or P010 with
// Shift 1), 4:2:0, progressive; everything else 0, left to the SDK. The
// set-up fills in FrameInfo's size and rate.
mfxInfoMFX MakeEncoderInfo(const SettingData& settings);

// Builds the VPP-input and encoder descriptions from the settings and the job
// (width, height, rate and scale only; no host callback) and sets the
// pipeline up with RGB3 input; when VPP refuses that (`vppInputRefused`) it
// releases what the attempt allocated and sets up once more with RGB4 input.
// `vppInFourCC` tells which one is in place. True only when the set-up ended
// with exactly MFX_ERR_NONE; a warning from the encoder's initialisation
// makes it false although the pipeline is then initialised. The caller
// closes the pipeline either way.
// A frame size that the SDK's 16-bit fields cannot hold, or a negative bit
// rate, is refused without a call to the SDK.
bool OpenEncodePipeline(const SettingData& settings, const ExportJob& job, EncodePipeline& pipeline,
                        const PipelineCallbacks& callbacks);

// Opens the session with `impl`, registers the allocator, sizes and
// allocates both surface pools and initialises VPP and the encoder. Stops on
// errors (cleaning up what it opened, the allocator's frames excepted) and
// lets warnings pass; returns MFX_ERR_NONE, a warning of the encoder's
// initialisation, or the failing status. MFX_ERR_UNKNOWN when the pipeline
// is already initialised or has no allocator; MFX_ERR_NULL_PTR for a missing
// description, callbacks record, source or sink. Used by OpenEncodePipeline.
mfxStatus SetupPipeline(const PipelineCallbacks* callbacks, const mfxFrameInfo* vppInInfo, EncodePipeline* pipeline,
                        mfxIMPL impl, const mfxInfoMFX* encodeInfo);

// Closes encoder, VPP and session, releases the bitstream buffer and every
// surface record. MFX_ERR_UNKNOWN, calling nothing, when not initialised.
// No other thread may use the pipeline any more.
mfxStatus ClosePipeline(EncodePipeline* pipeline);

// Releases a bitstream buffer made by the encode loop.
void ReleaseBitstreamBuffer(mfxU8* buffer);
