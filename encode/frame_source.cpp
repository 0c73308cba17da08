#include "encode/frame_source.h"

#include <cmath>
#include <cstring>

#include "encode/bitstream_writer.h"
#include "encode/row_copy.h"

namespace {

// The SDK's value for an unknown frame order.
constexpr mfxU32 kUnknownFrameOrder = 0xFFFFFFFFu;

// Progress every two seconds' worth of frames; every frame when that comes
// to less than one (below one frame per second, or a rate the host got wrong).
bool IsProgressFrame(const ExportJob& info, int32_t frame) {
    if (info.scale <= 0) return true;
    const int64_t interval = 2 * (int64_t{info.rate} / info.scale);
    return interval <= 0 || frame % interval == 0;
}

// The presentation time in 90 kHz units, or 0 when the rate gives none.
mfxU64 TimeStampOf(const ExportJob& info, int32_t frame) {
    const double stamp = static_cast<double>(frame) * info.scale / info.rate * 90000.0;
    if (!std::isfinite(stamp) || std::fabs(stamp) >= 9.2e18) return 0;
    return static_cast<mfxU64>(static_cast<int64_t>(stamp));
}

// Where a packed RGB surface's pixels start: its pointers name the channels
// of the first pixel, and B comes first in memory for the allocator's RGB4.
mfxU8* LowestPlane(const mfxFrameData& data) {
    mfxU8* lowest = nullptr;
    for (mfxU8* plane : {data.R, data.G, data.B, data.A}) {
        if (plane != nullptr && (lowest == nullptr || plane < lowest)) lowest = plane;
    }
    return lowest;
}

}  // namespace

void ReadHostFrame(void* context, mfxFrameData* data, bool* endOfStream) {
    auto* state = static_cast<EncodeJobContext*>(context);
    const ExportJob& info = *state->job;

    // Once the file can no longer be written, encoding the rest of the job
    // would only keep the user waiting for a failure.
    if (state->frameMissing || state->frameIndex >= info.frameCount || WriterFailed(state->writer)) {
        *endOfStream = true;
        return;
    }
    if (info.isAbort != nullptr && info.isAbort(info.host)) {
        state->aborted = true;
        *endOfStream = true;
        return;
    }
    if (IsProgressFrame(info, state->frameIndex)) {
        if (info.showProgress != nullptr) info.showProgress(info.host, state->frameIndex, info.frameCount);
    }

    const auto* dib =
        info.getVideo != nullptr ? static_cast<const uint8_t*>(info.getVideo(info.host, state->frameIndex)) : nullptr;
    // DIB rows are padded to 4 bytes. RGB3 rows are copied whole, padding
    // included; RGB4 rows take the pixels only. A row never exceeds the
    // surface's pitch for a frame the pipeline was set up for. Anything else
    // is a frame we cannot use: end the stream and let the driver see the gap.
    const bool widen = state->inputFourCC == MFX_FOURCC_RGB4;
    const int64_t stride = (int64_t{info.width} * 3 + 3) & ~int64_t{3};
    const int64_t written = widen ? int64_t{info.width} * 4 : stride;
    mfxU8* pixels = LowestPlane(*data);
    if (dib == nullptr || pixels == nullptr || info.width <= 0 || info.height <= 0 || written > data->Pitch) {
        state->frameMissing = true;
        *endOfStream = true;
        return;
    }
    if (widen) {
        FlipExpandRows(dib, static_cast<size_t>(stride), pixels, data->Pitch, info.height, info.width);
    } else {
        FlipCopyRows(dib, static_cast<size_t>(stride), pixels, data->Pitch, info.height, static_cast<size_t>(stride));
    }
    data->TimeStamp = TimeStampOf(info, state->frameIndex);
    data->FrameOrder = kUnknownFrameOrder;
    ++state->frameIndex;
}

bool HostCancelled(void* context) {
    auto* state = static_cast<EncodeJobContext*>(context);
    const ExportJob& info = *state->job;
    if (!state->aborted && info.isAbort != nullptr && info.isAbort(info.host)) state->aborted = true;
    return state->aborted;
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
