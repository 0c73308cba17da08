#include <cstdint>
#include <cstring>

#include "audio/audio_export.h"
#include "platform/file.h"

namespace {

// Every request asks the host for this many sample frames, the last one too.
constexpr int32_t kBlockFrames = 1000;
constexpr uint32_t kHeaderBytesAfterRiffSize = 36;

void PutLe16(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value);
    out[1] = static_cast<uint8_t>(value >> 8);
}

void PutLe32(uint8_t* out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Writes all of `size` bytes; a write that makes no progress is a failure, so
// a full disk ends the export instead of leaving a short file.
bool WriteAll(platform::FileHandle file, const void* data, uint32_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        uint32_t written = 0;
        if (!platform::WriteToFile(file, bytes, size, &written) || written == 0) return false;
        bytes += written;
        size -= written;
    }
    return true;
}

bool WriteLe32(platform::FileHandle file, uint32_t value) {
    uint8_t bytes[4];
    PutLe32(bytes, value);
    return WriteAll(file, bytes, sizeof bytes);
}

// The header's sizes are 32 bits and fixed before any sample is read, so a job
// they cannot describe is refused up front.
bool IsDescribable(const ExportJob& info) {
    if (info.audioSampleCount < 0 || info.audioChannels <= 0 || info.audioChannels > 0xFFFF) return false;
    if (info.audioRate <= 0) return false;
    if (static_cast<int64_t>(info.audioSampleBytes) != 2 * static_cast<int64_t>(info.audioChannels)) return false;
    uint64_t dataSize = static_cast<uint64_t>(info.audioSampleCount) * static_cast<uint64_t>(info.audioSampleBytes);
    if (dataSize + kHeaderBytesAfterRiffSize > UINT32_MAX) return false;
    return info.audioSampleCount == 0 || info.getAudio != nullptr;
}

bool WriteHeader(platform::FileHandle file, const ExportJob& info) {
    uint32_t dataSize = static_cast<uint32_t>(info.audioSampleCount) * static_cast<uint32_t>(info.audioSampleBytes);
    uint32_t channels = static_cast<uint32_t>(info.audioChannels);
    uint32_t rate = static_cast<uint32_t>(info.audioRate);
    uint8_t format[16];
    PutLe16(format + 0, 1);  // PCM
    PutLe16(format + 2, channels);
    PutLe32(format + 4, rate);
    PutLe32(format + 8, rate * channels * 2);  // bytes per second
    PutLe16(format + 12, channels * 2);        // bytes per sample frame
    PutLe16(format + 14, 16);                  // bits per sample
    return WriteAll(file, "RIFF", 4) && WriteLe32(file, dataSize + kHeaderBytesAfterRiffSize) &&
           WriteAll(file, "WAVE", 4) && WriteAll(file, "fmt ", 4) && WriteLe32(file, sizeof format) &&
           WriteAll(file, format, sizeof format) && WriteAll(file, "data", 4) && WriteLe32(file, dataSize);
}

bool WriteSamples(platform::FileHandle file, const ExportJob& info, bool* cancelled) {
    int32_t start = 0;
    while (start < info.audioSampleCount) {
        // A block is a few milliseconds of work: asking before each one keeps
        // a cancel well within 100 ms of the user's click.
        if (info.isAbort != nullptr && info.isAbort(info.host)) {
            if (cancelled != nullptr) *cancelled = true;
            return false;
        }
        int32_t read = 0;
        const void* samples = info.getAudio(info.host, start, kBlockFrames, &read);
        // A host that delivers nothing would never reach the count.
        if (read <= 0 || samples == nullptr) return false;
        int32_t left = info.audioSampleCount - start;
        if (read > kBlockFrames) read = kBlockFrames;
        if (read > left) read = left;
        if (!WriteAll(file, samples, static_cast<uint32_t>(read) * static_cast<uint32_t>(info.audioSampleBytes))) {
            return false;
        }
        start += read;
    }
    return true;
}

}  // namespace

bool IsWavDescribable(const ExportJob& info) { return IsDescribable(info); }

bool WriteWavFile(const char* path, const ExportJob* info, bool* cancelled) {
    if (cancelled != nullptr) *cancelled = false;
    if (path == nullptr || info == nullptr || !IsDescribable(*info)) return false;
    platform::FileHandle file = platform::OpenFileForWrite(path);
    if (file == nullptr) return false;
    bool written = WriteHeader(file, *info) && WriteSamples(file, *info, cancelled);
    // A delayed write error surfaces at close.
    bool closed = platform::CloseFile(file);
    return written && closed;
}
