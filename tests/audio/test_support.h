// Shared pieces of the audio tests: a scratch folder, a scripted host, the
// recording stand-in program and a comma-decimal global locale.
#pragma once
#include <cstdint>
#include <locale>
#include <string>
#include <vector>

#include "core/export_job.h"

namespace audio_test {

// A fresh folder under the system's temporary folder, removed with its files.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& nameHint = "tarvo-audio");
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }  // ends without a separator
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::vector<std::string> ListDir(const std::string& path);  // names, sorted
std::string ReadWholeFile(const std::string& path);
std::vector<std::string> ReadLines(const std::string& path);
uint32_t Le32(const std::string& bytes, size_t offset);
uint32_t Le16(const std::string& bytes, size_t offset);

// The host's audio: a job of `count` sample frames whose sample values follow
// from their position, delivered in the amounts the script says (`deliveries`,
// used in turn; the last one repeats; a value above the request is delivered
// as asked by the host regardless). Every request is recorded.
struct AudioHost {
    int32_t channels = 2;
    int32_t rate = 48000;
    int32_t count = 0;
    std::vector<int32_t> deliveries;  // empty: deliver what was asked, up to the count
    struct Request {
        int32_t start;
        int32_t length;
    };
    std::vector<Request> requests;

    ExportJob Job();                                  // a job whose audio comes from this host
    std::string ExpectedData(int32_t frames) const;   // the first `frames` frames as bytes
    static int16_t Sample(int32_t frame, int32_t channel);
};

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();

private:
    std::string name_;
    bool had_ = false;
    std::string old_;
};

// Makes the global locale write 1234.5 as "1.234,5" while it lives.
class CommaLocale {
public:
    CommaLocale();
    ~CommaLocale();

private:
    std::locale previous_;
};

SettingData SettingsFor(const std::string& tempFolder, const std::string& encoder);

}  // namespace audio_test
