// AviUtl ExEdit2's output-plug-in interface, as the 64-bit editor lays it
// out: the plug-in table and the job record. Strings are UTF-16, bool is one
// byte, every entry and callback uses the x64 calling convention. Windows
// (64-bit) only.
#pragma once
#include <cstddef>
#include <cstdint>

// OutputInfo2.flag and OutputPluginTable2.flag bits.
inline constexpr int32_t kOutput2Video = 1;
inline constexpr int32_t kOutput2Audio = 2;
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
    bool (*loadProjectConfig)(void* projectFile);
    bool (*saveProjectConfig)(void* projectFile);
};

#ifdef _WIN64
static_assert(offsetof(OutputInfo2, audioSampleCount) == 32 && offsetof(OutputInfo2, saveFile) == 40);
static_assert(offsetof(OutputInfo2, getVideo) == 48 && offsetof(OutputInfo2, setBufferSize) == 80);
static_assert(sizeof(OutputInfo2) == 88);
static_assert(offsetof(OutputPluginTable2, name) == 8 && offsetof(OutputPluginTable2, output) == 32);
static_assert(offsetof(OutputPluginTable2, configText) == 48 && offsetof(OutputPluginTable2, saveProjectConfig) == 64);
static_assert(sizeof(OutputPluginTable2) == 72);
#endif
