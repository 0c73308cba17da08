#include "host/export_job.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>
#include <vector>

#include "host/progress.h"

namespace host {
namespace {

std::atomic<bool> interrupted{false};

// Ctrl-C, SIGTERM and SIGHUP all cancel the export the way the editor's
// cancel button does, so the plug-in ends its programs and removes its files.
// Every later one asks the same again: ending the host the usual way would
// leave the programs running and their files behind.
const int kCancelSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void OnInterrupt(int) { interrupted.store(true); }

// One export's host side; lives on DriveExport's stack, used on its thread.
struct Job {
    Job(Input& source, const ExportOptions& opts)
        : input(&source), options(&opts), progress(opts.progress), thread(std::this_thread::get_id()) {}

    Input* input;
    const ExportOptions* options;
    ExportStats stats;
    ProgressLine progress;
    std::thread::id thread;  // the thread that called the output entry
    int nextFrame = 0;
    std::vector<uint8_t> frame;  // the picture handed out last
    std::vector<int16_t> audio;  // the samples handed out last

    void CheckThread() {
        if (std::this_thread::get_id() != thread) ++stats.foreignThreadCalls;
    }
    void InputError(const std::string& text) {
        if (!stats.inputFailed) std::fprintf(stderr, "tarvo-host: %s\n", text.c_str());
        stats.inputFailed = true;
    }
};

Job* current = nullptr;

void* TARVO_CDECL GetVideo(int32_t index) {
    Job& job = *current;
    job.CheckThread();
    const InputFormat& format = job.input->Format();
    if (index < 0 || index >= format.frameCount) {
        ++job.stats.badRequests;
        return nullptr;
    }
    if (index != job.nextFrame) ++job.stats.framesOutOfOrder;
    job.nextFrame = index + 1;
    std::string error;
    if (!job.input->ReadFrame(index, job.frame.data(), &error)) {
        job.InputError("frame " + std::to_string(index) + ": " + error);
        return nullptr;
    }
    ++job.stats.framesDelivered;
    return job.frame.data();
}

void* TARVO_CDECL GetAudio(int32_t start, int32_t length, int32_t* read) {
    Job& job = *current;
    job.CheckThread();
    ++job.stats.audioCalls;
    if (read != nullptr) *read = 0;
    const InputFormat& format = job.input->Format();
    if (!format.hasAudio || read == nullptr || start < 0 || length < 0) {
        ++job.stats.badRequests;
        return nullptr;
    }
    if (length > job.stats.audioLengthAsked) job.stats.audioLengthAsked = length;
    job.audio.resize(static_cast<size_t>(length) * format.audioChannels + 1);
    std::string error;
    int n = job.input->ReadAudio(start, length, job.audio.data(), &error);
    if (n < 0) {
        job.InputError("audio at sample " + std::to_string(start) + ": " + error);
        return nullptr;
    }
    *read = n;
    job.stats.audioSamples += n;
    return job.audio.data();
}

int32_t TARVO_CDECL IsAbort() {
    Job& job = *current;
    job.CheckThread();
    ++job.stats.abortPolls;
    if (interrupted.load()) job.stats.userAbort = true;
    int after = job.options->abortAfter;
    const bool abort = job.stats.userAbort || (after >= 0 && job.stats.framesDelivered >= after);
    if (abort) job.stats.abortAnswered = true;
    return abort ? 1 : 0;
}

int32_t TARVO_CDECL ShowRestTime(int32_t now, int32_t total) {
    Job& job = *current;
    job.CheckThread();
    ++job.stats.progressCalls;
    job.progress.Update(now, total);
    return 1;
}

int32_t TARVO_CDECL UpdatePreview() {
    Job& job = *current;
    job.CheckThread();
    ++job.stats.previewCalls;
    return 1;
}

int32_t TARVO_CDECL GetFlag(int32_t) { return 0; }
void* TARVO_CDECL GetVideoEx(int32_t index, uint32_t) { return GetVideo(index); }

}  // namespace

ExportStats DriveExport(OutputFunc output, Input& input, const ExportOptions& options) {
    const InputFormat& format = input.Format();
    Job job(input, options);
    job.frame.resize(DibSize(format.width, format.height));

    std::string saveFile = options.saveFile;
    OutputInfo info{};
    info.flag = format.hasAudio ? kOutputInfoFlagAudio : 0;
    info.width = format.width;
    info.height = format.height;
    info.rate = format.rate;
    info.scale = format.scale;
    info.frameCount = format.frameCount;
    info.frameBytes = static_cast<int32_t>(job.frame.size());
    if (format.hasAudio) {
        info.audioRate = format.audioRate;
        info.audioChannels = format.audioChannels;
        info.audioSampleCount = format.audioSampleCount;
        info.audioSampleBytes = 2 * format.audioChannels;
    }
    info.saveFile = saveFile.data();
    info.getVideo = GetVideo;
    info.getAudio = GetAudio;
    info.isAbort = IsAbort;
    info.showRestTime = ShowRestTime;
    info.getFlag = GetFlag;
    info.updatePreview = UpdatePreview;
    info.getVideoEx = GetVideoEx;

    interrupted.store(false);
    void (*previous[3])(int);
    for (int i = 0; i < 3; ++i) previous[i] = std::signal(kCancelSignals[i], OnInterrupt);
    current = &job;
    auto start = std::chrono::steady_clock::now();
    job.stats.result = output(&info);
    job.stats.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    current = nullptr;
    for (int i = 0; i < 3; ++i) std::signal(kCancelSignals[i], previous[i]);
    job.progress.Finish();
    return job.stats;
}

}  // namespace host
