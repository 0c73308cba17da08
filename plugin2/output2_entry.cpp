#include "plugin2/output2_entry.h"

#include <windows.h>

#include <cstring>

#include "core/packaged_programs.h"
#include "export/export_run.h"
#include "platform/file.h"
#include "platform/message.h"
#include "platform/utf16_win32.h"
#include "plugin2/config_text.h"
#include "plugin2/log_message.h"
#include "plugin2/project_settings.h"
#include "plugin2/settings_file.h"
#include "ui/dialog_setting.h"
#include "ui/texts.h"

namespace {

const OutputInfo2& Info(void* host) { return *static_cast<const OutputInfo2*>(host); }

const void* GetVideo(void* host, int32_t frame) { return Info(host).getVideo(frame, kOutput2VideoDib24); }

const void* GetAudio(void* host, int32_t start, int32_t length, int32_t* read) {
    return Info(host).getAudio(start, length, read, kOutput2AudioPcm16);
}

bool IsAbort(void* host) { return Info(host).isAbort(); }

void ShowProgress(void* host, int32_t now, int32_t total) { Info(host).restTimeDisplay(now, total); }

// %APPDATA%, in UTF-8; empty when unset.
std::string AppData() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = GetEnvironmentVariableW(L"APPDATA", buffer, MAX_PATH + 1);
    return length == 0 || length > MAX_PATH ? std::string() : platform::WideToUtf8(buffer);
}

// The front end's state, host thread only. `settings` are the current
// project's; the settings file holds the defaults for projects without
// their own. `editorData` and `editorLog` come before InitializePlugin.
SettingData settings{};
bool settingsLoaded = false;
SettingsPlace settingsPlace;
std::string editorData;  // the editor's application-data folder, UTF-8; empty: an older editor
LogHandle2* editorLog = nullptr;

// One line to the editor's log at `level`, in pieces the log takes.
void EditorLog(LogLevel level, const std::string& line) {
    if (editorLog == nullptr) return;
    void (*write)(LogHandle2*, const wchar_t*) = nullptr;
    switch (level) {
        case LogLevel::kInfo: write = editorLog->info; break;
        case LogLevel::kWarn: write = editorLog->warn; break;
        case LogLevel::kError: write = editorLog->error; break;
        case LogLevel::kVerbose: write = editorLog->verbose; break;
    }
    if (write == nullptr) return;
    // The terminator is not counted, but one unit less keeps an editor that
    // counts it within bounds too.
    for (const std::string& piece : SplitLogMessage(line, kLogMessageLength - 1)) {
        write(editorLog, platform::Utf8ToWide(piece.c_str()).c_str());
    }
}

void JobLog(void*, LogLevel level, const char* line) { EditorLog(level, line); }

void ShowWarning(const std::string& text) { platform::ShowWarning(ShownTexts().Message(text).c_str()); }

}  // namespace

ExportJob MakeExportJob2(const OutputInfo2& info, const SettingData& jobSettings, const std::string& saveFile) {
    ExportJob job;
    CopyJobFormat(info, job);
    job.hasAudio = (info.flag & kOutput2Audio) != 0;
    // 16-bit samples; a channel count no WAV header holds gives 0 and the
    // audio stage refuses the job.
    job.audioSampleBytes = info.audioChannels > 0 && info.audioChannels <= 0xFFFF ? 2 * info.audioChannels : 0;
    job.saveFile = saveFile.c_str();
    job.settings = jobSettings;
    job.host = const_cast<OutputInfo2*>(&info);
    job.getVideo = info.getVideo != nullptr ? GetVideo : nullptr;
    job.getAudio = info.getAudio != nullptr ? GetAudio : nullptr;
    job.isAbort = info.isAbort != nullptr ? IsAbort : nullptr;
    job.showProgress = info.restTimeDisplay != nullptr ? ShowProgress : nullptr;
    job.log = editorLog != nullptr ? JobLog : nullptr;
    return job;
}

void TakeEditorConfig(ConfigHandle2* handle) {
    if (handle == nullptr) return;
    editorData = handle->appDataPath != nullptr ? platform::WideToUtf8(handle->appDataPath) : std::string();
    if (handle->translate == nullptr) return;
    ShownTexts().Load([handle](const char* english) {
        const wchar_t* translated = handle->translate(handle, platform::Utf8ToWide(english).c_str());
        return translated != nullptr ? platform::WideToUtf8(translated) : std::string();
    });
}

void TakeEditorLog(LogHandle2* handle) { editorLog = handle; }

void EnsureSettingsLoaded() {
    if (settingsLoaded) return;
    settingsPlace = ChooseSettingsPlace(editorData, AppData());
    SettingsSource source;
    settings = LoadSettingsPlace(settingsPlace, &source);
    // A new install finds the programs its package put beside it.
    TakeProgramsBeside(platform::ModuleFolder(), settings);
    settingsLoaded = true;
    if (source == SettingsSource::kTakenOver) {
        EditorLog(LogLevel::kInfo, "settings taken over from " + settingsPlace.oldFile + " to " + settingsPlace.file);
    } else if (source == SettingsSource::kTakenOverUnsaved) {
        EditorLog(LogLevel::kWarn,
                  "settings taken from " + settingsPlace.oldFile + "; cannot save them to " + settingsPlace.file);
    }
}

bool Output2Entry(OutputInfo2* info) {
    if (info == nullptr) return false;
    // No exception may cross into the editor: RunExport lets none out; the
    // path's and the job's making could only run out of memory.
    try {
        EnsureSettingsLoaded();
        const std::string saveFile = platform::WideToUtf8(info->saveFile);
        const Outcome outcome = RunExport(MakeExportJob2(*info, settings, saveFile));
        if (outcome.failed()) ShowWarning(outcome.Text());
        return !outcome.failed();
    } catch (...) {
        return false;
    }
}

bool Config2Entry(void*, void*) {
    try {
        EnsureSettingsLoaded();
        // OK changes the current project's settings and the defaults for
        // new ones.
        if (RunConfiguration(settings, RunSettingDialog) != dialog_id::kOk) return true;
        if (!SaveSettingsFile(settingsPlace.folder, settingsPlace.file, settings)) {
            // The settings still hold until the editor closes.
            ShowWarning("Cannot save the settings.");
        }
    } catch (...) {
        // Out of memory: the settings are as the dialog left them.
    }
    return true;
}

const wchar_t* ConfigText2Entry() {
    static std::wstring text;  // valid until the next call, as the editor expects
    try {
        EnsureSettingsLoaded();
        text = platform::Utf8ToWide(ConfigText(settings, ShownTexts()).c_str());
    } catch (...) {
        return nullptr;  // out of memory: no line rather than a crash
    }
    return text.c_str();
}

bool LoadProjectConfig2Entry(ProjectFile2* project) {
    if (project == nullptr) return true;
    try {
        EnsureSettingsLoaded();
        std::string note;
        if (LoadProjectSettings(*project, &settings, &note) == ProjectSettings::kIgnored) {
            EditorLog(LogLevel::kWarn, note);
        }
    } catch (...) {
        // Out of memory: the current settings stay.
    }
    return true;
}

bool SaveProjectConfig2Entry(ProjectFile2* project) {
    if (project == nullptr) return true;
    try {
        EnsureSettingsLoaded();
        SaveProjectSettings(*project, settings);
    } catch (...) {
        return false;
    }
    return true;
}
