#include "encode/setup_cause.h"

#include "core/export_job.h"
#include "encode/mfx_status.h"

namespace {

// The largest frame side that survives the SDK's 16-bit, 16-aligned fields.
constexpr int32_t kMaxFrameSide = 0xFFF0;

std::string ImplText(int32_t impl) { return "implementation " + std::to_string(impl); }

}  // namespace

std::string SetupFailureCause(const ExportJob& job, const EncodePipeline& pipeline) {
    if (job.width <= 0 || job.width > kMaxFrameSide || job.height <= 0 || job.height > kMaxFrameSide) {
        return "Frame size " + std::to_string(job.width) + "x" + std::to_string(job.height) +
               ": each side must be 1 to " + std::to_string(kMaxFrameSide) + " pixels";
    }
    const SettingData& settings = job.settings;
    if (settings.targetKbps < 0 || settings.maxKbps < 0) {
        return "Bit rates " + std::to_string(settings.targetKbps) + "/" + std::to_string(settings.maxKbps) +
               " kbps: a bit rate cannot be negative";
    }
    if (pipeline.failedCall == nullptr) return "The video pipeline could not be set up (out of memory).";
    std::string cause = std::string(pipeline.failedCall) + " answered " + MfxStatusText(pipeline.failedStatus);
    if (std::string_view(pipeline.failedCall) == "MFXInit") return cause + " for " + ImplText(settings.hardwareImpl);
    return cause;
}
