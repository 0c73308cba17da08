#include "plugin2/output2_entry.h"

#include <windows.h>

#include <cstring>

#include "export/export_run.h"
#include "platform/message.h"
#include "platform/utf16_win32.h"
#include "plugin2/config_text.h"
#include "plugin2/settings_file.h"
#include "ui/dialog_setting.h"

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

// The folder this DLL was loaded from, in UTF-8 and ending in a backslash;
// empty when Windows does not say. The package puts the two programs there.
std::string PluginFolder() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&PluginFolder), &self)) {
        return {};
    }
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) return {};
    path.resize(length);
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::string() : platform::WideToUtf8(path.substr(0, slash + 1).c_str());
}

// The front end's settings, loaded from the settings file on first use.
// Host thread only.
SettingData settings{};
bool settingsLoaded = false;

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
    return job;
}

void EnsureSettingsLoaded() {
    if (settingsLoaded) return;
    settings = LoadSettingsFile(SettingsFilePath(AppData()));
    // A new install finds the programs its package put beside it.
    TakeProgramsBeside(PluginFolder(), settings);
    settingsLoaded = true;
}

bool Output2Entry(OutputInfo2* info) {
    if (info == nullptr) return false;
    // No exception may cross into the editor: RunExport lets none out; the
    // path's and the job's making could only run out of memory.
    try {
        EnsureSettingsLoaded();
        const std::string saveFile = platform::WideToUtf8(info->saveFile);
        const Outcome outcome = RunExport(MakeExportJob2(*info, settings, saveFile));
        if (outcome.failed()) platform::ShowWarning(outcome.Text().c_str());
        return !outcome.failed();
    } catch (...) {
        return false;
    }
}

bool Config2Entry(void*, void*) {
    try {
        EnsureSettingsLoaded();
        if (RunConfiguration(settings, RunSettingDialog) != dialog_id::kOk) return true;
        const std::string appData = AppData();
        if (!SaveSettingsFile(SettingsFolderPath(appData), SettingsFilePath(appData), settings)) {
            // The settings still hold until the editor closes.
            platform::ShowWarning("Cannot save the settings.");
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
        text = platform::Utf8ToWide(ConfigText(settings).c_str());
    } catch (...) {
        return nullptr;  // out of memory: no line rather than a crash
    }
    return text.c_str();
}
