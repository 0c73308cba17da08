// Loads Tarvo_output.auo2 the way AviUtl ExEdit2 does (LoadLibraryW,
// GetOutputPluginTable, InitializeConfig and InitializeLogger when this
// editor has them, InitializePlugin) and checks what the editor sees: the
// table read at its x64 offsets, the settings file and its bad cases through
// the config text, the settings dialog in Unicode, whole exports with Unicode
// paths everywhere, also from a copy of the plug-in with the package's
// programs beside it and no paths set, the settings kept in a project, the
// settings file under the editor's folder, the editor's log and the editor's
// translations. The soft runtime, named and behaving as the
// VPL GPU runtime (libmfx64-gen.dll, MFXSOFT_RUNTIME=vpl, null encoder), sits
// beside this program; the recording fakes stand in for the two programs.
//
// Usage: exedit2_host_test <Tarvo_output.auo2> <fake neroAacEnc.exe> <fake MP4Box.exe>
#include <windows.h>

#include <mfxstructures.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "box_watcher.h"
#include "check.h"
#include "core/setting_data.h"
#include "platform/utf16_win32.h"
#include "windows_path.h"

namespace {

using platform::Utf8ToWide;
using platform::WideToUtf8;

// The editor's records, laid out here byte by byte as the editor sees them.
struct Info2 {
    int32_t flag, w, h, rate, scale, n, audioRate, audioCh, audioN;
    const wchar_t* savefile;
    void* (*getVideo)(int32_t, uint32_t);
    void* (*getAudio)(int32_t, int32_t, int32_t*, uint32_t);
    bool (*isAbort)();
    void (*restTimeDisp)(int32_t, int32_t);
    void (*setBufferSize)(int32_t, int32_t);
};
static_assert(sizeof(Info2) == 88);
using OutputFn = bool (*)(Info2*);
using ConfigFn = bool (*)(HWND, HINSTANCE);
using ConfigTextFn = const wchar_t* (*)();

const wchar_t kName[] = L"MP4\u51FA\u529BTarvo";
const char kDefaultText[] = "H.264 Main 4 \xC2\xB7 VBR 1400/1400 kbps \xC2\xB7 TU4 \xC2\xB7 AAC HE 96 kbps";

std::wstring g_pluginPath;
HMODULE g_plugin = nullptr;
const uint8_t* g_table = nullptr;
std::wstring g_work;     // this run's folder
std::wstring g_appData;  // %APPDATA% as the plug-in sees it
std::wstring g_encoder, g_muxer;

// ---- What a newer editor hands over before InitializePlugin ----

// The editor's log: every line with its level (0 log, 1 info, 2 warn,
// 3 error, 4 verbose), in UTF-8.
struct FakeLog {
    void (*write[5])(FakeLog*, const wchar_t*);
};
std::vector<std::pair<int, std::string>> g_log;
size_t g_longestLogLine = 0;
template <int kLevel>
void LogAt(FakeLog*, const wchar_t* message) {
    g_longestLogLine = std::max(g_longestLogLine, std::wcslen(message));
    g_log.emplace_back(kLevel, WideToUtf8(message));
}
FakeLog g_fakeLog{{LogAt<0>, LogAt<1>, LogAt<2>, LogAt<3>, LogAt<4>}};

// The first logged line at `level` that contains `part`; "" when none.
std::string Logged(int level, const std::string& part) {
    for (const auto& [at, line] : g_log) {
        if (at == level && line.find(part) != std::string::npos) return line;
    }
    return "";
}

// The editor's configuration handle; members after the two the plug-in
// reads stay null.
struct FakeConfig {
    const wchar_t* appDataPath;
    const wchar_t* (*translate)(FakeConfig*, const wchar_t*);
    void* more[8];
};
const wchar_t* BracketTranslate(FakeConfig*, const wchar_t* text) {
    static std::wstring answer;  // valid until the next call, as the editor's
    answer = L"[JA]" + std::wstring(text);
    return answer.c_str();
}

struct Editor {
    const wchar_t* appDataPath = nullptr;  // with InitializeConfig; null: an older editor without it
    bool translate = false;
    bool log = false;
};

template <typename T>
T At(int offset) {
    T value;
    std::memcpy(&value, g_table + offset, sizeof value);
    return value;
}

std::wstring SettingsFile() { return g_appData + L"\\Tarvo\\Tarvo_output.auo2.settings"; }

std::string ReadFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteFile(const std::wstring& path, const void* data, size_t size) {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::wstring> FolderEntries(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (std::wcscmp(data.cFileName, L".") != 0 && std::wcscmp(data.cFileName, L"..") != 0) {
            names.push_back(data.cFileName);
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

void RemoveTree(const std::wstring& folder) {
    for (const std::wstring& name : FolderEntries(folder)) {
        const std::wstring path = folder + L"\\" + name;
        if (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveTree(path);
        } else {
            DeleteFileW(path.c_str());
        }
    }
    RemoveDirectoryW(folder.c_str());
}

void SetEnv(const wchar_t* name, const wchar_t* value) {
    // The process environment (the programs inherit it) and the C runtime's
    // copy (the soft runtime reads it with getenv).
    SetEnvironmentVariableW(name, value);
    _wputenv((std::wstring(name) + L"=" + (value != nullptr ? value : L"")).c_str());
}

// Loads the DLL afresh, as a new editor session does: the settings file is
// read again.
bool Load(const Editor& editor = {}) {
    if (g_plugin != nullptr) FreeLibrary(g_plugin);
    g_table = nullptr;
    g_plugin = LoadLibraryW(g_pluginPath.c_str());
    if (g_plugin == nullptr) return false;
    auto get = reinterpret_cast<const uint8_t* (*)()>(reinterpret_cast<void*>(GetProcAddress(g_plugin, "GetOutputPluginTable")));
    auto init = reinterpret_cast<bool (*)(DWORD)>(reinterpret_cast<void*>(GetProcAddress(g_plugin, "InitializePlugin")));
    if (get == nullptr || init == nullptr) return false;
    g_table = get();
    static FakeConfig config;
    config = FakeConfig{editor.appDataPath, editor.translate ? BracketTranslate : nullptr, {}};
    auto initConfig =
        reinterpret_cast<void (*)(FakeConfig*)>(reinterpret_cast<void*>(GetProcAddress(g_plugin, "InitializeConfig")));
    auto initLog =
        reinterpret_cast<void (*)(FakeLog*)>(reinterpret_cast<void*>(GetProcAddress(g_plugin, "InitializeLogger")));
    if (initConfig == nullptr || initLog == nullptr) return false;
    if (editor.appDataPath != nullptr) initConfig(&config);
    if (editor.log) initLog(&g_fakeLog);
    g_log.clear();
    return g_table != nullptr && init(2000000);
}

std::string ConfigText() {
    const wchar_t* text = At<ConfigTextFn>(48)();
    return text != nullptr ? WideToUtf8(text) : "(null)";
}

bool InsidePlugin(const void* address) {
    MEMORY_BASIC_INFORMATION info;
    return address != nullptr && VirtualQuery(address, &info, sizeof info) == sizeof info &&
           info.AllocationBase == g_plugin;
}

// A NUL-separated list of texts, ended by an empty one.
std::vector<std::wstring> Pairs(const wchar_t* filter) {
    std::vector<std::wstring> texts;
    for (const wchar_t* at = filter; at != nullptr && *at != L'\0' && texts.size() < 10; at += std::wcslen(at) + 1) {
        texts.push_back(at);
    }
    return texts;
}

void CheckTable() {
    check::Group("table");
    CHECK(Load());
    if (g_table == nullptr) return;
    CHECK_EQ(At<int32_t>(0), 11);  // video and audio; the settings are in the project
    CHECK(std::wcscmp(At<const wchar_t*>(8), kName) == 0);
    CHECK(Pairs(At<const wchar_t*>(16)) ==
          (std::vector<std::wstring>{L"MP4 File (*.mp4)", L"*.mp4", L"AllFile (*.*)", L"*.*"}));
    const std::wstring information = At<const wchar_t*>(24);
    CHECK(information.rfind(std::wstring(kName) + L" ", 0) == 0 && information.size() > std::wcslen(kName) + 1);
    for (int offset : {32, 40, 48, 56, 64}) CHECK(InsidePlugin(At<const void*>(offset)));
    CHECK(GetProcAddress(g_plugin, "UninitializePlugin") == nullptr);
    CHECK(GetProcAddress(g_plugin, "RequiredVersion") == nullptr);
}

SettingData Record(int32_t targetKbps) {
    SettingData s = DefaultSettingData();
    s.codecProfile = MFX_PROFILE_AVC_HIGH;
    s.codecLevel = MFX_LEVEL_AVC_41;
    s.targetKbps = targetKbps;
    s.maxKbps = 2000;
    s.aacKbps = 64;
    return s;
}

// A missing, short, long, foreign or unreadable file gives the defaults and
// a plug-in that works; a whole record is taken.
void CheckSettingsFile() {
    check::Group("settings file");
    const std::wstring folder = g_appData + L"\\Tarvo";
    const std::wstring file = SettingsFile();
    RemoveTree(folder);
    CHECK(Load());
    CHECK_EQ(ConfigText(), kDefaultText);

    CreateDirectoryW(folder.c_str(), nullptr);
    SettingData whole = Record(1800);
    std::string bytes(reinterpret_cast<const char*>(&whole), sizeof whole);
    SettingData foreign = whole;
    foreign.version = 2;
    std::string v3In820 = bytes.substr(0, kSettingSize2);
    struct Case {
        const char* name;
        std::string content;
    } cases[] = {
        {"empty", ""},
        {"short", bytes.substr(0, kSettingSize - 1)},
        {"long", bytes + "x"},
        {"twice as long", bytes + bytes},
        {"between the sizes", bytes.substr(0, kSettingSize2 + 1)},
        {"other version", std::string(reinterpret_cast<const char*>(&foreign), sizeof foreign)},
        {"820 bytes of version 3", v3In820},
    };
    for (const Case& c : cases) {
        check::Group(c.name);
        WriteFile(file, c.content.data(), c.content.size());
        CHECK(Load());
        CHECK_EQ(ConfigText(), kDefaultText);
    }

    check::Group("a folder where the file goes");
    DeleteFileW(file.c_str());
    CreateDirectoryW(file.c_str(), nullptr);
    CHECK(Load());
    CHECK_EQ(ConfigText(), kDefaultText);
    RemoveDirectoryW(file.c_str());

    check::Group("a file nobody may read");
    WriteFile(file, bytes.data(), bytes.size());
    HANDLE locked = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    CHECK(locked != INVALID_HANDLE_VALUE);
    CHECK(Load());
    CHECK_EQ(ConfigText(), kDefaultText);
    CloseHandle(locked);

    check::Group("a version-2 record, as an older build wrote it");
    std::string v2 = bytes.substr(0, kSettingSize2);
    v2[0] = 2;
    WriteFile(file, v2.data(), v2.size());
    CHECK(Load());
    CHECK_EQ(ConfigText(), "H.264 High 4.1 \xC2\xB7 VBR 1800/2000 kbps \xC2\xB7 TU4 \xC2\xB7 AAC HE 64 kbps");
    WriteFile(file, bytes.data(), bytes.size());

    check::Group("a whole record");
    CHECK(Load());
    CHECK_EQ(ConfigText(), "H.264 High 4.1 \xC2\xB7 VBR 1800/2000 kbps \xC2\xB7 TU4 \xC2\xB7 AAC HE 64 kbps");
    // The text lives until the next call, which gives the same text.
    const std::string first = ConfigText();
    CHECK_EQ(ConfigText(), first);
}

// ---- The settings dialog ----

struct DialogScript {
    const wchar_t* encoderPath = nullptr;  // typed into the AAC encoder's edit
    const wchar_t* targetKbps = nullptr;
    int button = 0;                        // 1001 OK, 1016 Cancel
    bool found = false;
    bool unicode = false;
    std::wstring shownEncoder;  // the edit's text as the dialog opened
    // What the dialog showed: its caption, the labels' and buttons' texts,
    // the first rows of the target-usage and level lists.
    std::wstring caption;
    std::vector<std::wstring> labels;
    std::wstring firstUsage, firstLevel;
};

DialogScript Script(const wchar_t* encoderPath, const wchar_t* targetKbps, int button) {
    DialogScript script;
    script.encoderPath = encoderPath;
    script.targetKbps = targetKbps;
    script.button = button;
    return script;
}

BOOL CALLBACK CollectLabel(HWND control, LPARAM labels) {
    wchar_t className[16] = {};
    GetClassNameW(control, className, 16);
    wchar_t text[100] = {};
    if (lstrcmpiW(className, L"Button") == 0 || lstrcmpiW(className, L"Static") == 0) {
        GetWindowTextW(control, text, 100);
        reinterpret_cast<std::vector<std::wstring>*>(labels)->push_back(text);
    }
    return TRUE;
}

std::wstring ListRow(HWND dialog, int id, int row) {
    wchar_t text[100] = {};
    SendDlgItemMessageW(dialog, id, CB_GETLBTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(text));
    return text;
}

BOOL CALLBACK MatchDialog(HWND window, LPARAM found) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) && std::wcscmp(className, L"#32770") == 0 &&
        GetDlgItem(window, 1009) != nullptr) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI DriveDialog(LPVOID parameter) {
    auto* script = static_cast<DialogScript*>(parameter);
    HWND dialog = nullptr;
    for (int i = 0; i < 600 && dialog == nullptr; ++i) {
        EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&dialog));
        if (dialog == nullptr) Sleep(50);
    }
    if (dialog == nullptr) return 0;
    script->found = true;
    script->unicode = IsWindowUnicode(dialog) != FALSE;
    wchar_t shown[300] = {};
    GetWindowTextW(GetDlgItem(dialog, 1009), shown, 300);
    script->shownEncoder = shown;
    wchar_t caption[100] = {};
    GetWindowTextW(dialog, caption, 100);
    script->caption = caption;
    EnumChildWindows(dialog, CollectLabel, reinterpret_cast<LPARAM>(&script->labels));
    script->firstUsage = ListRow(dialog, 1005, 0);
    script->firstLevel = ListRow(dialog, 1004, 0);
    SendMessageW(GetDlgItem(dialog, 1009), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(script->encoderPath));
    SendMessageW(GetDlgItem(dialog, 1007), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(script->targetKbps));
    PostMessageW(GetDlgItem(dialog, script->button), BM_CLICK, 0, 0);
    return 0;
}

// Runs the config entry with a second thread playing the user.
void RunDialog(DialogScript& script) {
    HANDLE thread = CreateThread(nullptr, 0, DriveDialog, &script, 0, nullptr);
    CHECK(At<ConfigFn>(40)(nullptr, g_plugin));
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CHECK(script.found);
}

void CheckDialog() {
    check::Group("dialog: OK stores and writes the file");
    RemoveTree(g_appData + L"\\Tarvo");
    CHECK(Load());
    const std::wstring typed = g_work + L"\\\U0001F3AC tools \u03A9\\neroAacEnc.exe";
    DialogScript ok = Script(typed.c_str(), L"2500", 1001);
    RunDialog(ok);
    CHECK(ok.unicode);
    CHECK_EQ(ConfigText(), "H.264 Main 4 \xC2\xB7 VBR 2500/1400 kbps \xC2\xB7 TU4 \xC2\xB7 AAC HE 96 kbps");
    const std::string stored = ReadFile(SettingsFile());
    CHECK_EQ(stored.size(), sizeof(SettingData));
    SettingData record{};
    if (stored.size() == sizeof record) std::memcpy(&record, stored.data(), sizeof record);
    CHECK_EQ(std::string(record.aacEncoderPath), WideToUtf8(typed.c_str()));
    CHECK_EQ(record.targetKbps, 2500);
    CHECK(FolderEntries(g_appData + L"\\Tarvo").size() == 1);  // no temporary file left

    check::Group("dialog: the next session reads it back and shows the path");
    CHECK(Load());
    CHECK_EQ(ConfigText(), "H.264 Main 4 \xC2\xB7 VBR 2500/1400 kbps \xC2\xB7 TU4 \xC2\xB7 AAC HE 96 kbps");
    DialogScript cancel = Script(L"C:\\elsewhere.exe", L"900", 1016);
    RunDialog(cancel);
    CHECK(cancel.shownEncoder == typed);
    CHECK_EQ(ConfigText(), "H.264 Main 4 \xC2\xB7 VBR 2500/1400 kbps \xC2\xB7 TU4 \xC2\xB7 AAC HE 96 kbps");
    CHECK(ReadFile(SettingsFile()) == stored);
}

// ---- Whole exports ----

struct Host {
    int frames = 24;
    int width = 160;
    int height = 96;
    int samples = 24000;
    int abortAfter = -1;
    int framesRead = 0;
    bool formatsRight = true;  // every request asked for a 24-bit DIB or 16-bit PCM
    std::vector<uint8_t> image;
    std::vector<int16_t> audio;
};
Host g_host;

void* GetVideo(int32_t frame, uint32_t format) {
    if (format != 0) g_host.formatsRight = false;
    ++g_host.framesRead;
    const size_t stride = (static_cast<size_t>(g_host.width) * 3 + 3) & ~size_t{3};
    g_host.image.assign(stride * g_host.height, static_cast<uint8_t>(frame * 9));
    return g_host.image.data();
}

void* GetAudio(int32_t start, int32_t length, int32_t* read, uint32_t format) {
    if (format != 1) g_host.formatsRight = false;
    const int32_t left = start < g_host.samples ? g_host.samples - start : 0;
    *read = length < left ? length : left;
    return g_host.audio.data() + static_cast<size_t>(start) * 2;
}

bool IsAbort() { return g_host.abortAfter >= 0 && g_host.framesRead >= g_host.abortAfter; }
void RestTime(int32_t, int32_t) {}

struct Paths {
    std::wstring temp;    // with its backslash
    std::wstring record;  // where the fakes write what they got
    std::wstring save;
};

// A job's folders, every one with blanks and characters no code page holds,
// and the settings file that points the plug-in at them.
Paths Prepare(const wchar_t* name, int32_t hardware, const Editor& editor = {}) {
    const std::wstring base = g_work + L"\\" + name;
    Paths paths{base + L"\\\u4E00\u6642 files \u03A9\\", base + L"\\records", base + L"\\\u52D5\u753B \u51FA\u529B"};
    CreateDirectoryW(base.c_str(), nullptr);
    CreateDirectoryW(paths.temp.c_str(), nullptr);
    CreateDirectoryW(paths.record.c_str(), nullptr);
    CreateDirectoryW(paths.save.c_str(), nullptr);
    paths.save += L"\\\U0001F3AC final \u03A9.mp4";
    SetEnv(L"TARVO_FAKE_RECORD_DIR", paths.record.c_str());
    SetEnv(L"MFXSOFT_ENCODER", L"null");
    SetEnv(L"MFXSOFT_RUNTIME", L"vpl");

    SettingData s = DefaultSettingData();
    s.hardwareImpl = hardware;
    std::snprintf(s.aacEncoderPath, sizeof s.aacEncoderPath, "%s", WideToUtf8(g_encoder.c_str()).c_str());
    std::snprintf(s.muxerPath, sizeof s.muxerPath, "%s", WideToUtf8(g_muxer.c_str()).c_str());
    std::snprintf(s.tempFolder, sizeof s.tempFolder, "%s", WideToUtf8(paths.temp.c_str()).c_str());
    // Where this editor's plug-in reads it.
    std::wstring file = SettingsFile();
    if (editor.appDataPath != nullptr) {
        CreateDirectoryW(editor.appDataPath, nullptr);
        CreateDirectoryW((std::wstring(editor.appDataPath) + L"\\Plugin").c_str(), nullptr);
        file = std::wstring(editor.appDataPath) + L"\\Plugin\\Tarvo";
        CreateDirectoryW(file.c_str(), nullptr);
        file += L"\\Tarvo_output.auo2.settings";
    }
    CreateDirectoryW((g_appData + L"\\Tarvo").c_str(), nullptr);
    WriteFile(file, &s, sizeof s);
    CHECK(Load(editor));

    g_host = Host{};
    g_host.audio.assign(static_cast<size_t>(g_host.samples) * 2, 1234);
    return paths;
}

bool Export(const Paths& paths, WatchResult* boxes) {
    Info2 info{3, g_host.width, g_host.height, 30, 1, g_host.frames, 48000, 2, g_host.samples, paths.save.c_str(),
               GetVideo, GetAudio, IsAbort, RestTime, nullptr};
    BoxWatcher watcher(240000);
    const bool result = At<OutputFn>(32)(&info);
    *boxes = watcher.Finish();
    return result;
}

// The first line of a fake's record: the command line it was given, in UTF-8.
std::string CommandLine(const std::wstring& record) {
    std::istringstream in(ReadFile(record));
    std::string line;
    std::getline(in, line);
    return line;
}

// "<folder><7 capital letters>.<extension>"
bool IsTempName(const std::string& path, const std::string& folder, const char* extension) {
    if (path.size() != folder.size() + 8 + std::strlen(extension) || path.compare(0, folder.size(), folder) != 0) {
        return false;
    }
    for (size_t i = folder.size(); i < folder.size() + 7; ++i) {
        if (path[i] < 'A' || path[i] > 'Z') return false;
    }
    return path.compare(folder.size() + 7, std::string::npos, std::string(".") + extension) == 0;
}

// The texts between double quotes in `line`, in order.
std::vector<std::string> Quoted(const std::string& line) {
    std::vector<std::string> texts;
    for (size_t open = line.find('"'); open != std::string::npos; open = line.find('"', open)) {
        const size_t close = line.find('"', open + 1);
        if (close == std::string::npos) break;
        texts.push_back(line.substr(open + 1, close - open - 1));
        open = close + 1;
    }
    return texts;
}

// The two command lines are the .auo's texts, character for character, with
// the Unicode paths whole.
void CheckExportCommandLines(const Paths& paths) {
    const std::string temp = WideToUtf8(paths.temp.c_str());
    const std::string encoder = CommandLine(paths.record + L"\\neroAacEnc.cmdline");
    const std::vector<std::string> files = Quoted(encoder);
    CHECK_EQ(files.size(), 2u);
    if (files.size() != 2) return;
    CHECK(IsTempName(files[0], temp, "wav"));
    CHECK(IsTempName(files[1], temp, "aac"));
    CHECK_EQ(encoder, "-2pass -br 96000 -he -if \"" + files[0] + "\" -of \"" + files[1] + "\"");
    const std::string muxer = CommandLine(paths.record + L"\\MP4Box.cmdline");
    const std::vector<std::string> tracks = Quoted(muxer);
    CHECK_EQ(tracks.size(), 3u);
    if (tracks.size() != 3) return;
    CHECK(IsTempName(tracks[0], temp, "h264"));
    // The muxer writes a sibling of the output, moved over it when done.
    CHECK(IsMuxerSibling(tracks[2], WideToUtf8(paths.save.c_str())));
    CHECK_EQ(muxer, " -add \"" + tracks[0] + "\"#video:fps=30 -add \"" + files[1] + "\"#audio -new \"" +
                        tracks[2] + "\"");
}

void CheckExports() {
    check::Group("export to a Unicode path");
    Paths paths = Prepare(L"whole", MFX_IMPL_HARDWARE);
    WatchResult boxes;
    CHECK(Export(paths, &boxes));
    CHECK_EQ(boxes.count, 0);
    CHECK_EQ(g_host.framesRead, g_host.frames);
    CHECK(g_host.formatsRight);
    // The fake muxer's MP4 header, then the null encoder's stream: one record a frame, after its tag.
    const std::string saved = ReadFile(paths.save);
    CHECK(saved.compare(0, kFakeMp4Header.size(), kFakeMp4Header) == 0);
    int records = 0;
    for (size_t at = saved.find("MFXSoft null.rec"); at != std::string::npos; at = saved.find("MFXSoft null.rec", at + 1)) {
        ++records;
    }
    CHECK_EQ(records, g_host.frames);
    CheckExportCommandLines(paths);
    CHECK(FolderEntries(paths.temp.substr(0, paths.temp.size() - 1)).empty());

    check::Group("abort");
    paths = Prepare(L"abort", MFX_IMPL_HARDWARE);
    g_host.frames = 60;
    g_host.abortAfter = 10;
    CHECK(Export(paths, &boxes));
    CHECK_EQ(boxes.count, 0);
    // A cancel is no failure and leaves nothing: no muxer, no MP4.
    CHECK_EQ(g_host.framesRead, 10);
    CHECK(!Exists(paths.record + L"\\MP4Box.cmdline"));
    CHECK(!Exists(paths.save));
    CHECK(FolderEntries(paths.temp.substr(0, paths.temp.size() - 1)).empty());

    check::Group("refused set-up");
    paths = Prepare(L"refused", MFX_IMPL_HARDWARE2);  // a second adapter does not exist
    CHECK(!Export(paths, &boxes));
    CHECK_EQ(boxes.count, 1);
    // The first line as it always was, then the cause.
    CHECK_EQ(boxes.first.text.substr(0, boxes.first.text.find('\n')), "Invalid encode parameter.");
    CHECK(boxes.first.text.find("\nMFXInit answered MFX_ERR_UNSUPPORTED for HARDWARE2") != std::string::npos);
    CHECK(boxes.first.warningIcon);
    CHECK_EQ(g_host.framesRead, 0);
    CHECK(!Exists(paths.save));
    CHECK(!Exists(paths.record + L"\\neroAacEnc.cmdline"));
    CHECK(FolderEntries(paths.temp.substr(0, paths.temp.size() - 1)).empty());
}

// The package puts tarvo-aac.exe and tarvo-mux.exe beside the plug-in in
// Plugin\Tarvo\: without a settings file, or with one saved without program
// paths, an export runs those two; paths the user entered stay. Each fake
// keeps its record in its own folder, which tells which copy ran.
void CheckProgramsBeside() {
    const std::wstring data = g_work + L"\\aviutl2 \u8A2D\u5B9A";
    const std::wstring folder = data + L"\\Plugin\\Tarvo";
    for (const std::wstring& level : {data, data + L"\\Plugin", folder}) CreateDirectoryW(level.c_str(), nullptr);
    const std::wstring built = g_pluginPath;
    check::Group("programs beside the plug-in");
    CHECK(CopyFileW(built.c_str(), (folder + L"\\Tarvo_output.auo2").c_str(), FALSE));
    CHECK(CopyFileW(g_encoder.c_str(), (folder + L"\\tarvo-aac.exe").c_str(), FALSE));
    CHECK(CopyFileW(g_muxer.c_str(), (folder + L"\\tarvo-mux.exe").c_str(), FALSE));
    g_pluginPath = folder + L"\\Tarvo_output.auo2";
    const std::wstring tools = g_encoder.substr(0, g_encoder.rfind(L'\\'));

    enum class Stored { kNothing, kNoPrograms, kEnteredPrograms };
    const struct {
        const char* name;
        Stored stored;
        const std::wstring& ranIn;
        const std::wstring& notIn;
    } cases[] = {
        {"a new install", Stored::kNothing, folder, tools},
        {"settings saved without program paths", Stored::kNoPrograms, folder, tools},
        {"entered program paths", Stored::kEnteredPrograms, tools, folder},
    };
    int index = 0;
    for (const auto& c : cases) {
        check::Group(c.name);
        Paths paths = Prepare((L"beside " + std::to_wstring(index++)).c_str(), MFX_IMPL_HARDWARE);
        SetEnv(L"TARVO_FAKE_RECORD_DIR", nullptr);
        if (c.stored == Stored::kNothing) {
            DeleteFileW(SettingsFile().c_str());
        } else if (c.stored == Stored::kNoPrograms) {
            SettingData s;
            std::memcpy(&s, ReadFile(SettingsFile()).data(), sizeof s);
            std::memset(s.aacEncoderPath, 0, sizeof s.aacEncoderPath);
            std::memset(s.muxerPath, 0, sizeof s.muxerPath);
            WriteFile(SettingsFile(), &s, sizeof s);
        }
        CHECK(Load());
        for (const std::wstring* place : {&folder, &tools}) {
            DeleteFileW((*place + L"\\neroAacEnc.cmdline").c_str());
            DeleteFileW((*place + L"\\MP4Box.cmdline").c_str());
        }
        WatchResult boxes;
        CHECK(Export(paths, &boxes));
        CHECK_EQ(boxes.count, 0);
        CHECK(Exists(c.ranIn + L"\\neroAacEnc.cmdline") && Exists(c.ranIn + L"\\MP4Box.cmdline"));
        CHECK(!Exists(c.notIn + L"\\neroAacEnc.cmdline") && !Exists(c.notIn + L"\\MP4Box.cmdline"));
        CHECK(Exists(paths.save));
    }
    g_pluginPath = built;
}

// ---- A newer editor: project settings, its folder, its log, its language ----

// The project file of the fake editor: this plug-in's values, kept across
// loads of the DLL as a project file on disk would be.
std::map<std::string, std::string> g_projectStrings, g_projectBinaries;
const char* ProjectGetString(const char* key) {
    const auto found = g_projectStrings.find(key);
    return found != g_projectStrings.end() ? found->second.c_str() : nullptr;
}
void ProjectSetString(const char* key, const char* value) { g_projectStrings[key] = value; }
bool ProjectGetBinary(const char* key, void* data, int32_t size) {
    const auto found = g_projectBinaries.find(key);
    if (found == g_projectBinaries.end() || found->second.size() != static_cast<size_t>(size)) return false;
    std::memcpy(data, found->second.data(), found->second.size());
    return true;
}
void ProjectSetBinary(const char* key, void* data, int32_t size) {
    g_projectBinaries[key].assign(static_cast<const char*>(data), static_cast<size_t>(size));
}
void ProjectClear() {
    g_projectStrings.clear();
    g_projectBinaries.clear();
}
const wchar_t* ProjectPath() { return L"C:\\projects\\a.aup2"; }
struct FakeProject {
    const char* (*getString)(const char*);
    void (*setString)(const char*, const char*);
    bool (*getBinary)(const char*, void*, int32_t);
    void (*setBinary)(const char*, void*, int32_t);
    void (*clear)();
    const wchar_t* (*path)();
} g_project{ProjectGetString, ProjectSetString, ProjectGetBinary, ProjectSetBinary, ProjectClear, ProjectPath};
using ProjectFn = bool (*)(FakeProject*);

const char kProjectText[] = "H.264 Main 4 \xC2\xB7 VBR 1200/1400 kbps \xC2\xB7 TU4 \xC2\xB7 AAC HE 96 kbps";


// The dialog's OK reaches the project; a fresh DLL (the settings file back
// at what it was) takes the project's record and exports with it.
void CheckProjectSettings() {
    check::Group("project: saved, reloaded into a fresh DLL, used by the export");
    Editor editor;
    editor.log = true;
    Paths paths = Prepare(L"project", MFX_IMPL_HARDWARE, editor);
    const std::string defaults = ReadFile(SettingsFile());
    DialogScript ok = Script(g_encoder.c_str(), L"1200", 1001);
    RunDialog(ok);
    CHECK_EQ(ConfigText(), kProjectText);
    ProjectClear();
    CHECK(At<ProjectFn>(64)(&g_project));
    CHECK_EQ(g_projectBinaries["settings"].size(), sizeof(SettingData));
    SettingData stored{};
    std::memcpy(&stored, g_projectBinaries["settings"].data(), std::min(sizeof stored, g_projectBinaries["settings"].size()));
    CHECK_EQ(stored.targetKbps, 1200);

    WriteFile(SettingsFile(), defaults.data(), defaults.size());
    CHECK(Load(editor));
    CHECK_EQ(ConfigText(), "H.264 Main 4 \xC2\xB7 VBR 1400/1400 kbps \xC2\xB7 TU4 \xC2\xB7 AAC HE 96 kbps");
    CHECK(At<ProjectFn>(56)(&g_project));
    CHECK_EQ(ConfigText(), kProjectText);
    WatchResult boxes;
    CHECK(Export(paths, &boxes));
    CHECK_EQ(boxes.count, 0);
    CHECK(Logged(4, "encoder asked: ").find("target kbps 1200, max kbps 1400") != std::string::npos);

    check::Group("project: a value of another size is ignored and logged");
    g_projectBinaries["settings"] = std::string(512, '\x04');
    g_projectStrings["settings_record"] = "version 4, 512 bytes";
    g_log.clear();
    CHECK(At<ProjectFn>(56)(&g_project));
    CHECK_EQ(ConfigText(), kProjectText);
    CHECK(Logged(2, "(version 4, 512 bytes) are not a record this build reads") != "");

    check::Group("project: one without Tarvo's value keeps the current settings");
    ProjectClear();
    g_log.clear();
    CHECK(At<ProjectFn>(56)(&g_project));
    CHECK_EQ(ConfigText(), kProjectText);
    CHECK(g_log.empty());
}

// With the editor's folder the file lives there; the old one is copied once
// and left; without it (an older editor) the old place serves.
void CheckEditorFolder() {
    check::Group("editor folder: the old file is taken over and left as it was");
    const std::wstring editorData = g_work + L"\\editor data \u8A2D\u5B9A";
    RemoveTree(editorData);
    CreateDirectoryW(editorData.c_str(), nullptr);
    const std::wstring newFile = editorData + L"\\Plugin\\Tarvo\\Tarvo_output.auo2.settings";
    RemoveTree(g_appData + L"\\Tarvo");
    CreateDirectoryW((g_appData + L"\\Tarvo").c_str(), nullptr);
    const SettingData old = Record(1800);
    WriteFile(SettingsFile(), &old, sizeof old);
    const std::string oldBytes = ReadFile(SettingsFile());
    Editor editor;
    editor.appDataPath = editorData.c_str();
    editor.log = true;
    CHECK(Load(editor));
    const char kOldText[] = "H.264 High 4.1 \xC2\xB7 VBR 1800/2000 kbps \xC2\xB7 TU4 \xC2\xB7 AAC HE 64 kbps";
    CHECK_EQ(ConfigText(), kOldText);
    CHECK(ReadFile(newFile) == oldBytes);
    CHECK(ReadFile(SettingsFile()) == oldBytes);
    CHECK(Logged(1, "settings taken over from ") != "");

    check::Group("editor folder: OK writes there, the old file stays");
    DialogScript ok = Script(L"C:\\enc.exe", L"2600", 1001);
    RunDialog(ok);
    SettingData written{};
    const std::string bytes = ReadFile(newFile);
    std::memcpy(&written, bytes.data(), std::min(sizeof written, bytes.size()));
    CHECK_EQ(written.targetKbps, 2600);
    CHECK(ReadFile(SettingsFile()) == oldBytes);
    CHECK(Load(editor));  // taken once: the new file rules now
    CHECK(ConfigText().find("VBR 2600/2000") != std::string::npos);

    check::Group("editor folder: an older editor keeps the old place");
    CHECK(Load());
    CHECK_EQ(ConfigText(), kOldText);
}

// The editor's log: the settled parameters as info, the cause of a failure
// as error (the box stays), the stage times as verbose, every line in bounds.
void CheckEditorLog() {
    check::Group("log: an export");
    Editor editor;
    editor.log = true;
    Paths paths = Prepare(L"logged", MFX_IMPL_HARDWARE, editor);
    WatchResult boxes;
    CHECK(Export(paths, &boxes));
    const std::string info = Logged(1, "encoding H.264 8-bit, profile Main (77), level ");
    CHECK(info.find("\\libmfx64-gen.dll (VPL GPU runtime, API 1.255), adapter HARDWARE") != std::string::npos);
    CHECK(Logged(1, "outcome: done") != "");
    CHECK(Logged(4, "trial set-up: ") != "");
    CHECK(Logged(4, "video encode: ") != "");
    CHECK(Logged(3, "") == "");

    check::Group("log: a failed export");
    paths = Prepare(L"logged failure", MFX_IMPL_HARDWARE2, editor);
    CHECK(!Export(paths, &boxes));
    CHECK_EQ(boxes.count, 1);
    CHECK(Logged(3, "Invalid encode parameter. (MFXInit answered MFX_ERR_UNSUPPORTED for HARDWARE2") != "");
    CHECK(g_longestLogLine <= 1024);

    check::Group("log: a line longer than the log takes");
    // The job's line names the save path: 600 characters of two UTF-16
    // units each. The export fails on its rate before the path is used.
    std::wstring longPath = L"C:\\";
    for (int i = 0; i < 600; ++i) longPath += L"\U0001F3AC";
    longPath += L".mp4";
    g_log.clear();
    g_longestLogLine = 0;
    Info2 job{3, 16, 16, 30, 0, 1, 48000, 2, 100, longPath.c_str(), GetVideo, GetAudio, IsAbort, RestTime, nullptr};
    BoxWatcher watcher(240000);
    CHECK(!At<OutputFn>(32)(&job));
    CHECK_EQ(watcher.Finish().count, 1);
    CHECK(g_longestLogLine <= 1024);
    std::string jobLine;
    for (const auto& [level, line] : g_log) {
        CHECK(line.find("\xEF\xBF\xBD") == std::string::npos);  // no pair torn into U+FFFD
        if (level == 4 && line.rfind("job: ", 0) == 0) jobLine = line;
        if (level == 4 && line.rfind("... ", 0) == 0 && !jobLine.empty()) jobLine += line.substr(4);
    }
    CHECK(jobLine.size() > 2400 && jobLine.substr(jobLine.size() - 4) == ".mp4");
    CHECK(Logged(3, "Invalid frame rate: rate 30, scale 0") != "");
}

// The editor's translation reaches the dialog, the config text and the boxes.
void CheckTranslation() {
    check::Group("translation: dialog");
    const std::wstring editorData = g_work + L"\\translated editor";
    RemoveTree(editorData);
    Editor editor;
    editor.appDataPath = editorData.c_str();
    editor.translate = true;
    CHECK(Load(editor));
    DialogScript cancel = Script(L"C:\\x.exe", L"900", 1016);
    RunDialog(cancel);
    CHECK(cancel.caption == L"[JA]Tarvo Plugin");
    const auto shown = [&](const wchar_t* text) {
        return std::find(cancel.labels.begin(), cancel.labels.end(), text) != cancel.labels.end();
    };
    for (const wchar_t* label : {L"[JA]OK", L"[JA]Cancel", L"[JA]TestVideo", L"[JA]Video", L"[JA]Hardware",
                                 L"[JA]path neroAacEnc.exe", L"[JA]path TemporaryFolder", L"..."}) {
        CHECK(shown(label));
    }
    for (const std::wstring& label : cancel.labels) CHECK(label == L"..." || label.rfind(L"[JA]", 0) == 0);
    CHECK(cancel.firstUsage == L"[JA]QUALITY");
    CHECK(cancel.firstLevel == L"[JA]auto");

    check::Group("translation: config text and message box");
    CHECK(ConfigText().rfind("[JA]H.264 ", 0) == 0);
    Paths paths = Prepare(L"translated", MFX_IMPL_HARDWARE2, editor);
    WatchResult boxes;
    CHECK(!Export(paths, &boxes));
    CHECK_EQ(boxes.count, 1);
    CHECK_EQ(boxes.first.text.substr(0, boxes.first.text.find('\n')), "[JA]Invalid encode parameter.");
    CHECK(boxes.first.text.find("\nMFXInit answered MFX_ERR_UNSUPPORTED for HARDWARE2") != std::string::npos);

    check::Group("translation: none without the editor's");
    CHECK(Load());
    CHECK(ConfigText().rfind("H.264 ", 0) == 0);
}

// ctest and the script hand over Unix paths; Wine reaches them through Z:.
std::wstring WindowsPath(const wchar_t* path) {
    std::wstring text = path;
    if (!text.empty() && text[0] == L'/') text = L"Z:" + text;
    for (wchar_t& c : text) {
        if (c == L'/') c = L'\\';
    }
    return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: exedit2_host_test <Tarvo_output.auo2> <fake neroAacEnc.exe> <fake MP4Box.exe>\n");
        return 2;
    }
    g_pluginPath = WindowsPath(argv[1]);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    g_work = std::wstring(temp) + L"tarvo exedit2 " + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(g_work.c_str(), nullptr);
    g_appData = g_work + L"\\app data \u8A2D\u5B9A";
    CreateDirectoryW(g_appData.c_str(), nullptr);
    SetEnv(L"APPDATA", g_appData.c_str());
    // The programs live in a folder of characters outside every code page.
    const std::wstring tools = g_work + L"\\\U0001F3AC tools \u03A9";
    CreateDirectoryW(tools.c_str(), nullptr);
    g_encoder = tools + L"\\neroAacEnc.exe";
    g_muxer = tools + L"\\MP4Box.exe";
    if (!CopyFileW(WindowsPath(argv[2]).c_str(), g_encoder.c_str(), FALSE) ||
        !CopyFileW(WindowsPath(argv[3]).c_str(), g_muxer.c_str(), FALSE)) {
        std::printf("FAILED: cannot copy the fake programs\n");
        return 1;
    }

    CheckTable();
    if (g_table != nullptr) {
        CheckSettingsFile();
        CheckDialog();
        CheckExports();
        CheckProgramsBeside();
        CheckProjectSettings();
        CheckEditorLog();
        CheckTranslation();
        CheckEditorFolder();
    }
    if (g_plugin != nullptr) FreeLibrary(g_plugin);
    if (check::failed == 0) RemoveTree(g_work);
    return check::Summary("exedit2_host");
}
