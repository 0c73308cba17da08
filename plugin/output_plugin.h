// The contract between the video editor (the host) and an output plug-in:
// the plug-in table, the job record and the host's callbacks. Every host and
// test builds against this header. All 32-bit integers are int32_t; pointers
// are native; every entry and callback uses the C calling convention.
#pragma once
#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define TARVO_CDECL __cdecl
#else
#define TARVO_CDECL
#endif

#ifdef _WIN32
#define TARVO_EXPORT extern "C" __declspec(dllexport)
#else
#define TARVO_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// OutputInfo.flag: the job has audio; the export is part of a batch output
// (nobody is there to dismiss a message box).
inline constexpr int32_t kOutputInfoFlagAudio = 2;
inline constexpr int32_t kOutputInfoFlagBatch = 4;

// One output job, owned by the host for the duration of the output entry.
struct OutputInfo {
    int32_t flag;              // bit values: 2 the job has audio, 4 batch output
    int32_t width;             // frame size in pixels
    int32_t height;
    int32_t rate;              // frames per second = rate / scale
    int32_t scale;
    int32_t frameCount;
    int32_t frameBytes;        // size of one frame in bytes (not read)
    int32_t audioRate;         // samples per second
    int32_t audioChannels;
    int32_t audioSampleCount;  // sample frames in the job
    int32_t audioSampleBytes;  // bytes per sample frame, all channels
    char* saveFile;            // the path the user chose

    // Frame `frame` as a bottom-up 24-bit BGR image, rows padded to 4 bytes;
    // valid until the next host call.
    void*(TARVO_CDECL* getVideo)(int32_t frame);
    // Up to `length` interleaved 16-bit sample frames from `start`; *read
    // receives how many were delivered.
    void*(TARVO_CDECL* getAudio)(int32_t start, int32_t length, int32_t* read);
    int32_t(TARVO_CDECL* isAbort)();
    int32_t(TARVO_CDECL* showRestTime)(int32_t now, int32_t total);
    int32_t(TARVO_CDECL* getFlag)(int32_t frame);  // not used
    int32_t(TARVO_CDECL* updatePreview)();
    void*(TARVO_CDECL* getVideoEx)(int32_t frame, uint32_t format);  // not used
};

using OutputFunc = int32_t(TARVO_CDECL*)(OutputInfo* info);
using ConfigFunc = int32_t(TARVO_CDECL*)(void* ownerWindow, void* instance);
using ConfigGetFunc = int32_t(TARVO_CDECL*)(void* data, int32_t size);
using ConfigSetFunc = int32_t(TARVO_CDECL*)(void* data, int32_t size);
using InitFunc = int32_t(TARVO_CDECL*)();
using ExitFunc = int32_t(TARVO_CDECL*)();

// The plug-in table; static in the plug-in, alive while it is loaded.
struct OutputPluginTable {
    int32_t flag;
    const char* name;         // Shift-JIS
    const char* fileFilter;   // NUL-separated pairs, ended by an empty string
    const char* information;
    InitFunc init;
    ExitFunc exit;
    OutputFunc output;
    ConfigFunc config;
    ConfigGetFunc configGet;
    ConfigSetFunc configSet;
    int32_t reserved[16];
};

// On the 32-bit editor every field is 4 bytes wide, with no padding.
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(OutputInfo) == 19 * 4);
static_assert(offsetof(OutputInfo, saveFile) == 44 && offsetof(OutputInfo, getVideoEx) == 72);
static_assert(sizeof(OutputPluginTable) == 26 * 4);
static_assert(offsetof(OutputPluginTable, configSet) == 36 && offsetof(OutputPluginTable, reserved) == 40);
#endif

using GetOutputPluginTableFunc = OutputPluginTable*(TARVO_CDECL*)();

TARVO_EXPORT OutputPluginTable* TARVO_CDECL GetOutputPluginTable();
