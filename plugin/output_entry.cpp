// AviUtl's output entry: its job record becomes the engine's, and the
// outcome becomes one message box (none during a batch output).
#include "core/packaged_programs.h"
#include "export/export_run.h"
#include "platform/file.h"
#include "platform/message.h"
#include "plugin/plugin_entries.h"

namespace {

const OutputInfo& Info(void* host) { return *static_cast<const OutputInfo*>(host); }

const void* GetVideo(void* host, int32_t frame) { return Info(host).getVideo(frame); }

const void* GetAudio(void* host, int32_t start, int32_t length, int32_t* read) {
    return Info(host).getAudio(start, length, read);
}

bool IsAbort(void* host) { return Info(host).isAbort() != 0; }

void ShowProgress(void* host, int32_t now, int32_t total) {
    const OutputInfo& info = Info(host);
    if (info.showRestTime != nullptr) info.showRestTime(now, total);
    if (info.updatePreview != nullptr) info.updatePreview();
}

// tarvo-host's log keeps no levels.
void Log(void*, LogLevel, const char* line) {
    if (ExportLogTarget() != nullptr) ExportLogTarget()(line);
}

}  // namespace

ExportLogSink& ExportLogTarget() {
    static ExportLogSink sink = nullptr;
    return sink;
}

ExportJob MakeExportJob(const OutputInfo& info, const SettingData& settings) {
    ExportJob job;
    CopyJobFormat(info, job);
    job.hasAudio = (info.flag & kOutputInfoFlagAudio) != 0;
    job.audioSampleBytes = info.audioSampleBytes;
    job.saveFile = info.saveFile;
    job.settings = settings;
    job.host = const_cast<OutputInfo*>(&info);
    job.getVideo = info.getVideo != nullptr ? GetVideo : nullptr;
    job.getAudio = info.getAudio != nullptr ? GetAudio : nullptr;
    job.isAbort = info.isAbort != nullptr ? IsAbort : nullptr;
    const bool progress = info.showRestTime != nullptr || info.updatePreview != nullptr;
    job.showProgress = progress ? ShowProgress : nullptr;
    job.log = ExportLogTarget() != nullptr ? Log : nullptr;
    return job;
}

int32_t TARVO_CDECL OutputEntry(OutputInfo* info) {
    if (info == nullptr) return 0;
    // The job works on its own copy of the settings: nothing the host does
    // during the export changes them under the stages' feet. A cancelled
    // export is nonzero too: the editor then shows no error. RunExport lets
    // no exception out; the job's own making could only run out of memory.
    try {
        SettingData settings = PluginSettings();
        // Where no path was entered, the programs the release zip put beside
        // the plug-in serve.
        TakeProgramsBeside(platform::ModuleFolder(), settings);
        const Outcome outcome = RunExport(MakeExportJob(*info, settings));
        if (outcome.failed() && (info->flag & kOutputInfoFlagBatch) == 0) platform::ShowWarning(outcome.Text().c_str());
        return outcome.failed() ? 0 : 1;
    } catch (...) {
        return 0;
    }
}
