#include "encode/video_encoder.h"

#include <cstdio>

#include "encode/bitstream_writer.h"
#include "encode/codec.h"
#include "encode/encode_loop.h"
#include "encode/encode_pipeline.h"
#include "encode/encoder_params.h"
#include "encode/frame_source.h"
#include "encode/mfx_status.h"
#include "encode/runtime_report.h"
#include "encode/setup_cause.h"
#include "platform/file.h"
#include "platform/sync.h"

Outcome ValidateEncodeParameters(const ExportJob& job) {
    // A stored value no list holds is refused, not cut to 16 bits and sent.
    const std::string unlisted = UnlistedSetting(job.settings);
    if (!unlisted.empty()) return Outcome::Failure(Stage::kVideoSetup, "Invalid encode parameter.", unlisted);
    EncodePipeline pipeline;
    // The callbacks are never called during a trial; they have no context.
    const PipelineCallbacks callbacks{nullptr, ReadHostFrame, QueueBitstream};
    if (OpenEncodePipeline(job.settings, job, pipeline, callbacks)) return Outcome::Done();
    Outcome outcome =
        Outcome::Failure(Stage::kVideoSetup, "Invalid encode parameter.", SetupFailureCause(job, pipeline));
    if (pipeline.failedCall != nullptr) {
        outcome.sdkCall = pipeline.failedCall;
        outcome.sdkStatus = pipeline.failedStatus;
    }
    return outcome;
}

namespace {

// The log's account of an opened pipeline: one info line with the runtime and
// what the encoder settled on, a warning for each parameter the runtime
// changed, and the details (what was asked, the input format, the colour).
void LogPipeline(const ExportJob& job, const EncodePipeline& pipeline) {
    if (job.log == nullptr) return;
    const RuntimeReport runtime = DescribeRuntime(pipeline.session);
    char api[24];
    std::snprintf(api, sizeof api, "API %u.%u", runtime.api.Major, runtime.api.Minor);
    const std::string runtimeText = runtime.file + " (" + runtime.kind + ", " + api + "), adapter " + ImplName(runtime.impl);
    LogLine(job, "runtime: " + runtimeText);
    const EncoderParams asked = AskedEncoderParams(job.settings);
    LogLine(job, "encoder asked: " + DescribeEncoder(asked));
    EncoderParams settled;
    const mfxStatus status = GetSettledEncoderParams(pipeline.session, asked, &settled);
    if (status >= MFX_ERR_NONE) {
        LogLine(job, "encoder settled: " + DescribeEncoder(settled));
        LogLine(job, "encoding " + DescribeEncoder(settled) + " with " + runtimeText, LogLevel::kInfo);
        for (const std::string& change : EncoderChanges(asked, settled)) {
            LogLine(job, "encoder changed: " + change, LogLevel::kWarn);
        }
    } else {
        const std::string line = "GetVideoParam answered " + MfxStatusText(status);
        LogLine(job, "encoder settled: " + line);
        LogLine(job, "encoding " + DescribeEncoder(asked) + " with " + runtimeText + " (" + line + ")", LogLevel::kInfo);
    }
    LogLine(job, pipeline.vppInFourCC == MFX_FOURCC_RGB4 ? "VPP input: RGB4 (the runtime takes no RGB3)"
                                                         : "VPP input: RGB3");
    LogLine(job, ColourLine(pipeline, MatrixForFrame(job.width, job.height)));
}

// What the user is told of a failed encode: the stage and the runtime's
// status name, or the path and system error of a failed write.
Outcome VideoFailure(const VideoEncodeReport& report, const char* path) {
    const std::string file = path != nullptr ? path : "";
    auto fail = [&](std::string text) { return Outcome::Failure(Stage::kVideoEncode, std::move(text)); };
    if (!report.fileOpened) {
        Outcome outcome = fail("Cannot create the temporary video file " + file);
        outcome.path = file;
        return outcome;
    }
    if (!report.pipelineOpened) return Outcome::Failure(Stage::kVideoSetup, "Video encoder could not be set up.");
    if (report.stallCall != nullptr) {
        Outcome outcome = fail("Video encoding made no progress for 30 s: " + std::string(report.stallCall) +
                               " kept answering " + MfxStatusText(static_cast<mfxStatus>(report.stallStatus)));
        outcome.sdkCall = report.stallCall;
        outcome.sdkStatus = report.stallStatus;
        return outcome;
    }
    if (report.workerNotStarted) return fail("Video encoding could not start its worker thread.");
    if (report.loopStatus != MFX_ERR_NONE) {
        Outcome outcome = fail("Video encoding failed: " + MfxStatusText(report.loopStatus));
        outcome.sdkStatus = report.loopStatus;
        return outcome;
    }
    if (report.frameMissing) return fail("The editor gave no picture for frame " + std::to_string(report.framesRead));
    if (report.writeError != 0) {
        Outcome outcome = fail("Cannot write the temporary video file " + file + " (error " +
                               std::to_string(report.writeError) + ")");
        outcome.osError = report.writeError;
        outcome.path = file;
        return outcome;
    }
    if (report.bytesLost) return fail("Video encoding lost data: no memory to queue it for " + file);
    return fail("Video encoding failed.");
}

}  // namespace

Outcome EncodeVideoToFile(const ExportJob& job, const char* path, VideoEncodeReport* report) {
    VideoEncodeReport local{};
    VideoEncodeReport& result = report != nullptr ? *report : local;
    result = VideoEncodeReport{};
    // The polls left (a busy runtime, a surface it still holds) then last
    // 1 ms on Windows, not a timer tick.
    const platform::FineTimerResolution fineTimer;

    EncodePipeline pipeline;
    platform::FileHandle file = platform::OpenFileForWrite(path);
    if (file == nullptr) return VideoFailure(result, path);
    result.fileOpened = true;

    BitstreamWriter* writer = StartWriter();
    SetWriterFile(writer, file);
    EncodeJobContext context{&job, writer, 0, false, false};
    const PipelineCallbacks callbacks{&context, ReadHostFrame, QueueBitstream, {HostCancelled, &context}};

    result.pipelineOpened = OpenEncodePipeline(job.settings, job, pipeline, callbacks);
    context.inputFourCC = pipeline.vppInFourCC;
    if (result.pipelineOpened) {
        LogPipeline(job, pipeline);
        const std::optional<mfxStatus> loop = RunEncodeLoop(&pipeline);
        result.workerNotStarted = !loop.has_value();
        result.loopStatus = loop.value_or(MFX_ERR_NONE);
    }
    // The worker has ended: nothing is queued once FinishWriter starts, and
    // the writer thread ends before the file is closed.
    ClosePipeline(&pipeline);
    result.writeError = FinishWriter(writer);
    DestroyWriter(writer);
    if (!platform::CloseFile(file) && result.writeError == 0) {
        result.writeError = platform::LastError() != 0 ? platform::LastError() : kWriterShortWrite;
    }

    result.framesRead = context.frameIndex;
    result.frameMissing = context.frameMissing;
    result.bytesLost = context.bytesLost;
    result.aborted = context.aborted;
    result.stallCall = pipeline.stallCall.load();
    result.stallStatus = pipeline.stallStatus.load();
    if (result.aborted) return Outcome::Cancelled(Stage::kVideoEncode);
    const bool whole = result.pipelineOpened && result.loopStatus == MFX_ERR_NONE && !result.workerNotStarted &&
                       !result.frameMissing && !result.bytesLost && result.writeError == 0;
    return whole ? Outcome::Done() : VideoFailure(result, path);
}
