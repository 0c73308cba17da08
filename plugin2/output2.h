// AviUtl ExEdit2's output-plug-in interface, as the 64-bit editor lays it
// out: the plug-in table, the job record, the project file's values and the
// handles given at start (configuration and log). Strings are UTF-16, bool is
// one byte, every entry and callback uses the x64 calling convention. The
// layout is pinned for x64; the records compile everywhere, so the rules
// built on them are tested natively too.
#pragma once
#include <cstddef>
#include <cstdint>

// OutputInfo2.flag and OutputPluginTable2.flag bits.
inline constexpr int32_t kOutput2Video = 1;
inline constexpr int32_t kOutput2Audio = 2;
// Table only: the editor calls loadProjectConfig and saveProjectConfig.
inline constexpr int32_t kOutput2ProjectConfig = 8;
// Frame and sample formats the plug-in asks for.
inline constexpr uint32_t kOutput2VideoDib24 = 0;  // 24-bit RGB DIB, bottom-up, rows padded to 4 bytes
inline constexpr uint32_t kOutput2AudioPcm16 = 1;  // interleaved 16-bit PCM

// One output job, owned by the editor for the duration of the output entry.
// A pointer a callback returns stays valid until the next callback or until
// the entry returns.
struct OutputInfo2 {
    int32_t flag;  // kOutput2Video | kOutput2Audio
    int32_t width;
    int32_t height;
    int32_t rate;  // frames per second = rate / scale
    int32_t scale;
    int32_t frameCount;
    int32_t audioRate;
    int32_t audioChannels;
    int32_t audioSampleCount;
    const wchar_t* saveFile;
    void* (*getVideo)(int32_t frame, uint32_t format);
    void* (*getAudio)(int32_t start, int32_t length, int32_t* read, uint32_t format);
    bool (*isAbort)();
    void (*restTimeDisplay)(int32_t now, int32_t total);
    void (*setBufferSize)(int32_t videoFrames, int32_t audioFrames);
};

// The plug-in's values in the project file being loaded or saved, valid
// during that entry only. No handle: each function knows the plug-in and the
// project. Keys and string values are UTF-8.
struct ProjectFile2 {
    // The value of `key`, valid until the entry returns; null when unset.
    const char* (*getParamString)(const char* key);
    void (*setParamString)(const char* key, const char* value);
    // False when `key` is unset or its value is not exactly `size` bytes.
    bool (*getParamBinary)(const char* key, void* data, int32_t size);
    void (*setParamBinary)(const char* key, void* data, int32_t size);  // at most 4096 bytes
    void (*clearParams)();
    const wchar_t* (*getProjectFilePath)();
};

// Given to InitializeConfig before InitializePlugin. More members follow;
// the plug-in reads only these two.
struct ConfigHandle2 {
    const wchar_t* appDataPath;  // the editor's application-data folder
    // `text` in the user's language from the editor's language files, or
    // `text` itself when they have none.
    const wchar_t* (*translate)(ConfigHandle2* handle, const wchar_t* text);
};

// Given to InitializeLogger before InitializePlugin; kept for the session.
// Each function writes one message of at most 1024 characters to the
// editor's log at its level.
struct LogHandle2 {
    void (*log)(LogHandle2* handle, const wchar_t* message);
    void (*info)(LogHandle2* handle, const wchar_t* message);
    void (*warn)(LogHandle2* handle, const wchar_t* message);
    void (*error)(LogHandle2* handle, const wchar_t* message);
    void (*verbose)(LogHandle2* handle, const wchar_t* message);
};
inline constexpr size_t kLogMessageLength = 1024;

// The plug-in table; static in the plug-in, alive while it is loaded. Older
// editors end it after configText; the two project entries are read only
// when flag has bit 8.
struct OutputPluginTable2 {
    int32_t flag;
    const wchar_t* name;
    const wchar_t* fileFilter;  // NUL-separated pairs, ended by an empty string
    const wchar_t* information;
    bool (*output)(OutputInfo2* info);
    bool (*config)(void* window, void* instance);
    const wchar_t* (*configText)();  // valid until the next call; may be null
    bool (*loadProjectConfig)(ProjectFile2* projectFile);
    bool (*saveProjectConfig)(ProjectFile2* projectFile);
};

#ifdef _WIN64
static_assert(offsetof(OutputInfo2, audioSampleCount) == 32 && offsetof(OutputInfo2, saveFile) == 40);
static_assert(offsetof(OutputInfo2, getVideo) == 48 && offsetof(OutputInfo2, setBufferSize) == 80);
static_assert(sizeof(OutputInfo2) == 88);
static_assert(offsetof(OutputPluginTable2, name) == 8 && offsetof(OutputPluginTable2, output) == 32);
static_assert(offsetof(OutputPluginTable2, configText) == 48 && offsetof(OutputPluginTable2, saveProjectConfig) == 64);
static_assert(sizeof(OutputPluginTable2) == 72);
static_assert(offsetof(ProjectFile2, getParamBinary) == 16 && offsetof(ProjectFile2, getProjectFilePath) == 40);
static_assert(offsetof(ConfigHandle2, translate) == 8);
static_assert(offsetof(LogHandle2, warn) == 16 && offsetof(LogHandle2, verbose) == 32);
#endif
