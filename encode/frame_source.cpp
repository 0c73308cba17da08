#include "encode/frame_source.h"

#include <cmath>
#include <cstring>

#include "encode/bitstream_writer.h"

namespace {

// The SDK's value for an unknown frame order.
constexpr mfxU32 kUnknownFrameOrder = 0xFFFFFFFFu;

// Progress every two seconds' worth of frames; every frame when that comes
// to less than one (below one frame per second, or a rate the host got wrong).
bool IsProgressFrame(const OutputInfo& info, int32_t frame) {
    if (info.scale <= 0) return true;
    const int64_t interval = 2 * (int64_t{info.rate} / info.scale);
    return interval <= 0 || frame % interval == 0;
}

// The presentation time in 90 kHz units, or 0 when the rate gives none.
mfxU64 TimeStampOf(const OutputInfo& info, int32_t frame) {
    const double stamp = static_cast<double>(frame) * info.scale / info.rate * 90000.0;
    if (!std::isfinite(stamp) || std::fabs(stamp) >= 9.2e18) return 0;
    return static_cast<mfxU64>(static_cast<int64_t>(stamp));
}

}  // namespace

void ReadHostFrame(void* context, mfxFrameData* data, bool* endOfStream) {
    auto* job = static_cast<EncodeJobContext*>(context);
    const OutputInfo& info = *job->outputInfo;

    // Once the file can no longer be written, encoding the rest of the job
    // would only keep the user waiting for a failure.
    if (job->frameMissing || job->frameIndex >= info.frameCount || WriterFailed(job->writer)) {
        *endOfStream = true;
        return;
    }
    if (info.isAbort != nullptr && info.isAbort() != 0) {
        job->aborted = true;
        *endOfStream = true;
        return;
    }
    if (IsProgressFrame(info, job->frameIndex)) {
        if (info.showRestTime != nullptr) info.showRestTime(job->frameIndex, info.frameCount);
        if (info.updatePreview != nullptr) info.updatePreview();
    }

    const auto* dib =
        info.getVideo != nullptr ? static_cast<const uint8_t*>(info.getVideo(job->frameIndex)) : nullptr;
    // DIB rows are padded to 4 bytes; a row never exceeds the surface's pitch
    // for a frame the pipeline was set up for. Anything else is a frame we
    // cannot use: end the stream and let the driver see the gap.
    const int64_t stride = (int64_t{info.width} * 3 + 3) & ~int64_t{3};
    if (dib == nullptr || data->Y == nullptr || info.width <= 0 || info.height <= 0 || stride > data->Pitch) {
        job->frameMissing = true;
        *endOfStream = true;
        return;
    }
    for (int32_t row = 0; row < info.height; ++row) {
        std::memcpy(data->Y + static_cast<size_t>(info.height - 1 - row) * data->Pitch,
                    dib + static_cast<size_t>(row) * static_cast<size_t>(stride), static_cast<size_t>(stride));
    }
    data->TimeStamp = TimeStampOf(info, job->frameIndex);
    data->FrameOrder = kUnknownFrameOrder;
    ++job->frameIndex;
}

bool HostCancelled(void* context) {
    auto* job = static_cast<EncodeJobContext*>(context);
    if (!job->aborted && job->outputInfo->isAbort != nullptr && job->outputInfo->isAbort() != 0) job->aborted = true;
    return job->aborted;
}

bool QueueBitstream(void* context, mfxBitstream* bitstream) {
    auto* job = static_cast<EncodeJobContext*>(context);
    // A failed writer still takes blocks but never writes them: keep them
    // out of memory.
    if (WriterFailed(job->writer)) {
        if (bitstream->DataLength != 0) job->bytesLost = true;
        return false;
    }
    const mfxU8* bytes = bitstream->Data != nullptr ? bitstream->Data + bitstream->DataOffset : nullptr;
    const bool queued = EnqueueBlock(job->writer, bytes, bitstream->DataLength);
    if (!queued && bitstream->DataLength != 0) job->bytesLost = true;
    return queued;
}
