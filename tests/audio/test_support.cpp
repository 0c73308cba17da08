#include "test_support.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace audio_test {
namespace {

std::vector<int16_t> deliveryBuffer;

const void* GetAudio(void* context, int32_t start, int32_t length, int32_t* read) {
    AudioHost& host = *static_cast<AudioHost*>(context);
    host.requests.push_back({start, length});
    int32_t amount = std::min(length, host.count - start);
    if (!host.deliveries.empty()) {
        size_t turn = std::min(host.requests.size() - 1, host.deliveries.size() - 1);
        amount = host.deliveries[turn];
    }
    amount = std::max(amount, 0);
    deliveryBuffer.assign(static_cast<size_t>(amount) * host.channels, 0);
    for (int32_t frame = 0; frame < amount; ++frame) {
        for (int32_t channel = 0; channel < host.channels; ++channel) {
            deliveryBuffer[static_cast<size_t>(frame) * host.channels + channel] =
                AudioHost::Sample(start + frame, channel);
        }
    }
    *read = amount;
    return deliveryBuffer.data();
}

void RemoveTree(const std::string& path) {
    if (DIR* dir = opendir(path.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            std::string child = path + "/" + name;
            if (entry->d_type == DT_DIR) {
                RemoveTree(child);
            } else {
                unlink(child.c_str());
            }
        }
        closedir(dir);
    }
    rmdir(path.c_str());
}

class CommaPunct : public std::numpunct<char> {
protected:
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

}  // namespace

ScratchDir::ScratchDir(const std::string& nameHint) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + nameHint + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = buffer.data();
}

ScratchDir::~ScratchDir() { RemoveTree(path_); }

std::vector<std::string> ListDir(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(path.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

uint32_t Le32(const std::string& bytes, size_t offset) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(bytes.at(offset + i));
    return value;
}

uint32_t Le16(const std::string& bytes, size_t offset) {
    return static_cast<uint8_t>(bytes.at(offset)) | static_cast<uint32_t>(static_cast<uint8_t>(bytes.at(offset + 1))) << 8;
}

ExportJob AudioHost::Job() {
    ExportJob info;
    info.hasAudio = true;
    info.host = this;
    info.audioRate = rate;
    info.audioChannels = channels;
    info.audioSampleCount = count;
    info.audioSampleBytes = 2 * channels;
    info.getAudio = GetAudio;
    return info;
}

int16_t AudioHost::Sample(int32_t frame, int32_t channel) {
    return static_cast<int16_t>((frame * 7 + channel * 1000) % 30000 - 15000);
}

std::string AudioHost::ExpectedData(int32_t frames) const {
    std::string bytes;
    for (int32_t frame = 0; frame < frames; ++frame) {
        for (int32_t channel = 0; channel < channels; ++channel) {
            auto value = static_cast<uint16_t>(Sample(frame, channel));
            bytes += static_cast<char>(value & 0xFF);
            bytes += static_cast<char>(value >> 8);
        }
    }
    return bytes;
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) {
        had_ = true;
        old_ = old;
    }
    setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (had_) {
        setenv(name_.c_str(), old_.c_str(), 1);
    } else {
        unsetenv(name_.c_str());
    }
}

CommaLocale::CommaLocale() : previous_(std::locale::global(std::locale(std::locale::classic(), new CommaPunct))) {}

CommaLocale::~CommaLocale() { std::locale::global(previous_); }

SettingData SettingsFor(const std::string& tempFolder, const std::string& encoder) {
    SettingData setting = DefaultSettingData();
    std::memset(setting.tempFolder, 0, sizeof setting.tempFolder);
    std::memset(setting.aacEncoderPath, 0, sizeof setting.aacEncoderPath);
    std::strncpy(setting.tempFolder, tempFolder.c_str(), sizeof setting.tempFolder - 1);
    std::strncpy(setting.aacEncoderPath, encoder.c_str(), sizeof setting.aacEncoderPath - 1);
    setting.aacProfile = 2;
    setting.aacKbps = 96;
    return setting;
}

}  // namespace audio_test
