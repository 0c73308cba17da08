#include "encode/video_encoder.h"

#include "encode/bitstream_writer.h"
#include "encode/encode_loop.h"
#include "encode/encode_pipeline.h"
#include "encode/frame_source.h"
#include "encode/mfx_status.h"
#include "platform/file.h"

bool ValidateEncodeParameters(const ExportJob& job) {
    EncodePipeline pipeline;
    // The callbacks are never called during a trial; they have no context.
    const PipelineCallbacks callbacks{nullptr, ReadHostFrame, QueueBitstream};
    return OpenEncodePipeline(job.settings, job, pipeline, callbacks);
}

bool EncodeVideoToFile(const ExportJob& job, const char* path, VideoEncodeReport* report) {
    VideoEncodeReport local{};
    VideoEncodeReport& result = report != nullptr ? *report : local;
    result = VideoEncodeReport{};

    EncodePipeline pipeline;
    platform::FileHandle file = platform::OpenFileForWrite(path);
    if (file == nullptr) return false;
    result.fileOpened = true;

    BitstreamWriter* writer = StartWriter();
    SetWriterFile(writer, file);
    EncodeJobContext context{&job, writer, 0, false, false};
    const PipelineCallbacks callbacks{&context, ReadHostFrame, QueueBitstream, HostCancelled};

    result.pipelineOpened = OpenEncodePipeline(job.settings, job, pipeline, callbacks);
    context.inputFourCC = pipeline.vppInFourCC;
    result.loopStatus = result.pipelineOpened ? RunEncodeLoop(&pipeline) : 0;
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
    return result.pipelineOpened && result.loopStatus == 0 && !result.frameMissing && !result.bytesLost &&
           result.writeError == 0 && !result.aborted;
}

std::string VideoFailureText(const VideoEncodeReport& report, const char* path) {
    const std::string file = path != nullptr ? path : "";
    if (!report.fileOpened) return "Cannot create the temporary video file " + file;
    if (!report.pipelineOpened) return "Video encoder could not be set up.";
    if (report.stallCall != nullptr) {
        return "Video encoding made no progress for 30 s: " + std::string(report.stallCall) + " kept answering " +
               MfxStatusText(static_cast<mfxStatus>(report.stallStatus));
    }
    if (report.loopStatus == -1) return "Video encoding could not start its worker thread.";
    if (report.loopStatus != 0) {
        return "Video encoding failed: " + MfxStatusText(static_cast<mfxStatus>(report.loopStatus));
    }
    if (report.frameMissing) return "The editor gave no picture for frame " + std::to_string(report.framesRead);
    if (report.writeError != 0) {
        return "Cannot write the temporary video file " + file + " (error " + std::to_string(report.writeError) + ")";
    }
    if (report.bytesLost) return "Video encoding lost data: no memory to queue it for " + file;
    return "Video encoding failed.";
}
