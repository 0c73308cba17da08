// The soft runtime's session and its two stages.
#pragma once
#include <mfxvideo.h>

#include <atomic>
#include <deque>
#include <memory>
#include <vector>

#include "mfxsoft/codec.h"
#include "mfxsoft/color.h"
#include "mfxsoft/knobs.h"
#include "mfxsoft/tasks.h"
#include "platform/sync.h"

namespace mfxsoft {

// Most tasks a stage queues before it answers MFX_WRN_DEVICE_BUSY.
constexpr size_t kDefaultQueueDepth = 4;

// The pre-processing stage: RGB3 or RGB4 to NV12 or P010. Init and Close on the application's
// set-up thread; Run from any one thread at a time; the conversion itself on
// the stage's runtime thread.
class Vpp {
public:
    explicit Vpp(_mfxSession& session);
    ~Vpp();

    // Parameter checks shared by QueryIOSurf and Init; `runtime` decides
    // whether RGB3 input is taken.
    static mfxStatus Check(const mfxVideoParam& par, RuntimeKind runtime);
    mfxStatus QueryIOSurf(const mfxVideoParam& par, mfxFrameAllocRequest request[2]);
    mfxStatus Init(const mfxVideoParam& par);
    mfxStatus Close();
    bool Initialized();
    mfxStatus Run(mfxFrameSurface1* in, mfxFrameSurface1* out, mfxSyncPoint* syncp);

private:
    _mfxSession& session_;
    platform::CriticalSection lock_;
    bool initialized_ = false;                  // under lock_
    size_t depth_ = kDefaultQueueDepth;         // under lock_
    ColourMatrix matrix_ = ColourMatrix::kBt601;  // under lock_
    mfxU32 outFourCC_ = MFX_FOURCC_NV12;        // under lock_
    int outShift_ = 0;                          // under lock_: P010 only
    std::unique_ptr<TaskQueue> queue_;          // created by Init, destroyed by Close
};

// The encoder (AVC, HEVC, AV1). Init, Close and QueryIOSurf on the application's set-up
// thread; EncodeFrameAsync and GetVideoParam from any one thread at a time
// (they may overlap the pre-processing stage's calls); the coding itself on
// the stage's runtime thread.
// A rate-control value the encoder refuses; Query answers MFX_ERR_UNSUPPORTED
// with that field zeroed in its output.
enum class RefusedField { kNone, kRateControl, kIcqQuality, kQvbrQuality };

class Encoder {
public:
    explicit Encoder(_mfxSession& session);
    ~Encoder();

    // Whether the runtime of `runtime`'s kind has an encoder for `codec`.
    static bool Encodes(RuntimeKind runtime, uint32_t codec);
    // Checks `par` the way Init does on a runtime of `runtime`'s kind and
    // fills `inForce` with the values the encoder would use and `config` with
    // the back end's settings. Returns an error, MFX_WRN_INCOMPATIBLE_VIDEO_PARAM
    // when a value was corrected, or MFX_ERR_NONE.
    // `refused`, when given, names a value refused as Intel's runtimes
    // refuse it: Query zeroes that field in its output.
    static mfxStatus Check(const mfxVideoParam& par, RuntimeKind runtime, mfxVideoParam* inForce, CodecConfig* config,
                           RefusedField* refused = nullptr);
    // MFXVideoENCODE_Query: with `in`, the values Init would use (or
    // MFX_ERR_UNSUPPORTED); without, which fields Init lets the caller set.
    mfxStatus Query(const mfxVideoParam* in, mfxVideoParam* out);
    mfxStatus QueryIOSurf(const mfxVideoParam& par, mfxFrameAllocRequest* request);
    mfxStatus Init(const mfxVideoParam& par);
    mfxStatus Close();
    bool Initialized();
    mfxStatus GetVideoParam(mfxVideoParam* par);
    mfxStatus EncodeFrameAsync(mfxEncodeCtrl* ctrl, mfxFrameSurface1* surface, mfxBitstream* bs, mfxSyncPoint* syncp);

private:
    // Runtime thread: feeds one picture to the back end.
    mfxStatus Feed(mfxFrameSurface1* surface);
    // Runtime thread: writes the next coded frame (flushing the back end when
    // `draining`) into `bs`.
    mfxStatus Deliver(mfxBitstream* bs, bool draining);
    // Runtime thread: takes the back end's output and releases surfaces it no longer holds.
    void Collect(std::vector<CodedFrame>& frames);
    void ReleaseAll();
    uint64_t DecodeTime(int64_t index) const;

    _mfxSession& session_;
    bool nullEncoder_;

    platform::CriticalSection lock_;            // guards the application-side state below
    bool initialized_ = false;
    mfxVideoParam params_{};                    // values in force; ExtParam always null
    CodecConfig config_;                        // the back end's settings (signal, quality, look-ahead) in force
    size_t depth_ = kDefaultQueueDepth;
    uint64_t submitted_ = 0;                    // pictures taken
    uint64_t promised_ = 0;                     // outputs announced with a sync point
    bool draining_ = false;
    int delay_ = 0;
    std::unique_ptr<TaskQueue> queue_;

    // Read by EncodeFrameAsync, raised by the runtime thread when a frame did not fit.
    std::atomic<uint32_t> bufferSizeKB_{0};

    // Runtime thread only (and Close after the queue has stopped):
    std::unique_ptr<Codec> codec_;
    std::deque<CodedFrame> ready_;              // coded, not yet delivered
    std::vector<mfxFrameSurface1*> pending_;    // surfaces fed, not yet coded
    mfxFrameSurface1* reference_ = nullptr;     // last reference picture, kept locked
    std::deque<uint64_t> times_;                // TimeStamp by display order, from timesBase_
    uint64_t timesBase_ = 0;
    uint64_t fed_ = 0;
    uint64_t frameTicks_ = 0;                   // one frame in 90 kHz units
};

}  // namespace mfxsoft

// The session record the SDK's handle points to.
struct _mfxSession {
    _mfxSession(mfxIMPL impl, mfxVersion version, mfxsoft::Knobs knobs);

    const mfxIMPL impl;
    const mfxVersion version;
    const mfxsoft::Knobs knobs;
    mfxsoft::FaultCounters faults;
    mfxsoft::SyncTable syncs;

    // The application's frame allocator; null until set. Set before the
    // stages are initialised and read by their runtime threads afterwards.
    std::atomic<const mfxFrameAllocator*> allocator{nullptr};
    mfxFrameAllocator allocatorCopy{};  // what `allocator` points to once set

    // Destroyed in this order: encoder, pre-processing (their runtime threads stop first).
    mfxsoft::Vpp vpp;
    mfxsoft::Encoder encoder;
};
