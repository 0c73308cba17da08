// Environment knobs of the soft runtime, read at MFXInit.
#pragma once
#include <mfxvideo.h>

#include <array>
#include <atomic>
#include <string>
#include <vector>

namespace mfxsoft {

enum class EncoderKind { kX264, kNull };

// Which of Intel's runtimes the session behaves like: the Media SDK runtime
// (takes RGB3, API 1.35) or the VPL GPU runtime of GPUs since 2021 (refuses
// RGB3 in VPP, reports API 1.255, no Direct3D 9).
enum class RuntimeKind { kMsdk, kVpl };

// Entries whose results MFXSOFT_FAULTS can replace.
enum class FaultPoint {
    kInit,
    kSetAllocator,
    kVppQuery,
    kEncQuery,
    kVppInit,
    kEncInit,
    kVppRun,
    kVppSync,
    kEncRun,
    kEncSync,
    kEncGetParam,
    kVppSignal,  // VPP set-up calls that carry mfxExtVPPVideoSignalInfo
    kEncSignal,  // encoder set-up calls that carry mfxExtVideoSignalInfo
    kCount
};

// One `point=status[@n]` rule; `call` 0 means every call.
struct FaultRule {
    FaultPoint point;
    mfxStatus status;
    unsigned call;
};

// Parses a MFXSOFT_FAULTS text. Returns false (and leaves `rules` empty) when
// any rule is malformed, so a typo never silently disables the injection.
bool ParseFaults(const std::string& text, std::vector<FaultRule>* rules);

// Which status, if any, the `call`-th call (1-based) of `point` must return.
// MFX_ERR_NONE means: work normally.
mfxStatus FaultFor(const std::vector<FaultRule>& rules, FaultPoint point, unsigned call);

// Everything MFXInit reads from the environment.
struct Knobs {
    int adapters = 1;                         // 1 to 4
    EncoderKind encoder = EncoderKind::kX264;
    RuntimeKind runtime = RuntimeKind::kMsdk;
    std::vector<FaultRule> faults;
    bool valid = true;                        // false: a knob was malformed
};

// Reads the environment. A malformed value makes `valid` false; MFXInit then
// refuses with MFX_ERR_UNSUPPORTED rather than running with a guess.
Knobs ReadKnobs();

// Per-session call counters of the fault points. Atomic: the two stages of a
// session are called from two threads.
class FaultCounters {
public:
    // Counts one call of `point` and returns the status to inject, if any.
    mfxStatus Next(const std::vector<FaultRule>& rules, FaultPoint point) {
        unsigned call = counts_[static_cast<size_t>(point)].fetch_add(1) + 1;
        return FaultFor(rules, point, call);
    }

private:
    std::array<std::atomic<unsigned>, static_cast<size_t>(FaultPoint::kCount)> counts_{};
};

}  // namespace mfxsoft
