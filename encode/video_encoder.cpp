#include "encode/video_encoder.h"

#include "encode/bitstream_writer.h"
#include "encode/encode_loop.h"
#include "encode/encode_pipeline.h"
#include "encode/frame_source.h"
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
    const PipelineCallbacks callbacks{&context, ReadHostFrame, QueueBitstream};

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
    // The source ends early only for an abort, a missing frame or a failed writer.
    result.aborted = result.pipelineOpened && !context.frameMissing && result.writeError == 0 &&
                     context.frameIndex < job.frameCount && result.loopStatus == 0;
    return result.pipelineOpened && result.loopStatus == 0 && !result.frameMissing && !result.bytesLost &&
           result.writeError == 0;
}
