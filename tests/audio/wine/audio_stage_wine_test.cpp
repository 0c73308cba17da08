// The audio stage of the Windows build, run under Wine against the recording
// fakes: the command lines reach the programs byte for byte and split as
// intended, the WAV file is complete when the encoder starts, failures of the
// programs are failures, and nothing is left behind.
// Usage: tarvo_audio_wine_test <fake neroAacEnc.exe> <fake MP4Box.exe>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <locale>
#include <sstream>
#include <string>
#include <vector>

#include "audio/audio_export.h"
#include "audio/mux.h"
#include "tests/wine/windows_path.h"

namespace {

int passed = 0;
int failed = 0;

void Check(bool condition, const char* what, int line) {
    if (condition) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAILED line %d: %s\n", line, what);
    }
}
#define CHECK(condition) Check((condition), #condition, __LINE__)

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool HasLine(const std::vector<std::string>& lines, const std::string& wanted) {
    for (const auto& line : lines) {
        if (line == wanted) return true;
    }
    return false;
}

int CountFiles(const std::string& pattern) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do {
        ++count;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
}

constexpr int32_t kFrames = 2500;
std::vector<int16_t> audioBlock;

int16_t Sample(int32_t frame, int32_t channel) { return static_cast<int16_t>(frame * 3 - channel * 7); }

const void* GetAudio(void*, int32_t start, int32_t length, int32_t* read) {
    int32_t amount = length < kFrames - start ? length : kFrames - start;
    audioBlock.resize(static_cast<size_t>(amount) * 2);
    for (int32_t i = 0; i < amount; ++i) {
        audioBlock[2 * i] = Sample(start + i, 0);
        audioBlock[2 * i + 1] = Sample(start + i, 1);
    }
    *read = amount;
    return audioBlock.data();
}

struct CommaPunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

void CopyField(char (&field)[kSettingPathSize], const std::string& text) {
    std::memset(field, 0, sizeof field);
    std::strncpy(field, text.c_str(), sizeof field - 1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::printf("usage: %s <neroAacEnc fake> <MP4Box fake>\n", argv[0]);
        return 2;
    }
    const std::string encoder = WindowsPath(argv[1]);
    const std::string muxer = WindowsPath(argv[2]);

    char tempRoot[MAX_PATH];
    GetTempPathA(sizeof tempRoot, tempRoot);
    const std::string folder = std::string(tempRoot) + "tarvo audio " + std::to_string(GetTickCount());
    if (!CreateDirectoryA(folder.c_str(), nullptr)) {
        std::printf("cannot create %s\n", folder.c_str());
        return 2;
    }
    SetEnvironmentVariableA("TARVO_FAKE_RECORD_DIR", folder.c_str());
    const std::string encoderRecord = folder + "\\neroAacEnc.cmdline";
    const std::string muxerRecord = folder + "\\MP4Box.cmdline";
    std::locale::global(std::locale(std::locale::classic(), new CommaPunct));

    ExportJob job;
    job.hasAudio = true;
    job.audioRate = 44100;
    job.audioChannels = 2;
    job.audioSampleCount = kFrames;
    job.audioSampleBytes = 4;
    job.getAudio = GetAudio;
    SettingData& setting = job.settings;
    setting = DefaultSettingData();
    CopyField(setting.aacEncoderPath, encoder);
    CopyField(setting.tempFolder, folder);
    setting.aacProfile = 3;
    setting.aacKbps = 64;

    // The encoder gets its line whole, without a console, after the WAV is complete.
    {
        AacEncoding encoding;
        CHECK(StartAacEncoder(job, &encoding).done());
        const std::string wav = encoding.wav.path(), aac = encoding.aac.path();
        CHECK(WaitAacEncoder(encoding.encoder, "").done());
        std::vector<std::string> record = Lines(ReadFile(encoderRecord));
        std::string expected = std::string("-2pass -br 64000 -hev2 -if \"") + wav + "\" -of \"" + aac + "\"";
        CHECK(!record.empty() && record[0] == expected);
        // The line does not repeat the program, so the runtime takes its
        // first word for the program's name.
        CHECK(HasLine(record, "argv[0]=-2pass"));
        CHECK(HasLine(record, std::string("argv[5]=") + wav));
        CHECK(HasLine(record, std::string("argv[7]=") + aac));
        CHECK(HasLine(record, "argc=8"));
        CHECK(HasLine(record, "console=none"));
        CHECK(HasLine(record, std::string("input=") + wav + " size=" + std::to_string(44 + kFrames * 4)));
        std::string copied = ReadFile(aac);  // the fake copies the WAV it read after its header
        CHECK(copied.compare(0, kFakeMp4Header.size(), kFakeMp4Header) == 0);
        copied.erase(0, kFakeMp4Header.size());
        CHECK(copied.size() == 44u + kFrames * 4u);
        CHECK(copied.compare(0, 4, "RIFF") == 0);
        bool samplesMatch = copied.size() == 44u + kFrames * 4u;
        for (int32_t i = 0; samplesMatch && i < kFrames; ++i) {
            int16_t left, right;
            std::memcpy(&left, copied.data() + 44 + 4 * i, 2);
            std::memcpy(&right, copied.data() + 46 + 4 * i, 2);
            samplesMatch = left == Sample(i, 0) && right == Sample(i, 1);
        }
        CHECK(samplesMatch);
    }

    // An encoder that ends with an error is not a success.
    SetEnvironmentVariableA("TARVO_FAKE_EXIT", "2");
    {
        AacEncoding encoding;
        CHECK(StartAacEncoder(job, &encoding).done());
        CHECK(WaitAacEncoder(encoding.encoder, "").failed());
    }
    SetEnvironmentVariableA("TARVO_FAKE_EXIT", nullptr);

    // An empty or wrong encoder path fails with nothing left behind.
    for (const char* program : {"", "C:\\no such folder\\neroAacEnc.exe"}) {
        CopyField(setting.aacEncoderPath, program);
        AacEncoding encoding;
        CHECK(StartAacEncoder(job, &encoding).failed());
        CHECK(encoding.wav.empty() && encoding.aac.empty() && !encoding.encoder.started());
    }
    CHECK(CountFiles(folder + "\\*.wav") == 0);
    CHECK(CountFiles(folder + "\\*.aac") == 0);

    // The muxer: video first, then audio, then the new file, selectors glued on.
    const std::string video = folder + "\\ABCDEFG.h264";
    const std::string audio = folder + "\\HIJKLMN.aac";
    const std::string output = folder + "\\my movie.mp4";
    {
        std::ofstream(video, std::ios::binary) << "video bytes";
        std::ofstream(audio, std::ios::binary) << "audio";
    }
    CHECK(MuxMp4(muxer.c_str(), output.c_str(), 30000.0 / 1001.0, video.c_str(), audio.c_str()).done());
    std::vector<std::string> record = Lines(ReadFile(muxerRecord));
    // The muxer is told to write a sibling of the output, moved over it after.
    const std::string newPrefix = "argv[6]=";
    std::string sibling;
    for (const std::string& line : record) {
        if (line.compare(0, newPrefix.size(), newPrefix) == 0) sibling = line.substr(newPrefix.size());
    }
    CHECK(IsMuxerSibling(sibling, output));
    CHECK(!record.empty() && record[0] == " -add \"" + video + "\"#video:fps=29.97 -add \"" + audio +
                                              "\"#audio -new \"" + sibling + "\"");
    CHECK(HasLine(record, "argv[0]="));
    CHECK(HasLine(record, "argv[2]=" + video + "#video:fps=29.97"));
    CHECK(HasLine(record, "argv[4]=" + audio + "#audio"));
    CHECK(HasLine(record, "console=none"));
    CHECK(ReadFile(output) == kFakeMp4Header + "video bytes");
    CHECK(GetFileAttributesA(sibling.c_str()) == INVALID_FILE_ATTRIBUTES);

    // An old file at the output path is replaced.
    CHECK(MuxMp4(muxer.c_str(), output.c_str(), 25.0, video.c_str(), nullptr).done());
    record = Lines(ReadFile(muxerRecord));
    const std::string videoOnly = " -add \"" + video + "\"#video:fps=25 -new \"";
    CHECK(!record.empty() && record[0].compare(0, videoOnly.size(), videoOnly) == 0 &&
          IsMuxerSibling(record[0].substr(videoOnly.size(), output.size() + 11), output));
    CHECK(ReadFile(output) == kFakeMp4Header + "video bytes");

    // A muxer that fails or writes nothing leaves the old file as it was.
    SetEnvironmentVariableA("TARVO_FAKE_EXIT", "1");
    CHECK(MuxMp4(muxer.c_str(), output.c_str(), 25.0, video.c_str(), audio.c_str()).failed());
    SetEnvironmentVariableA("TARVO_FAKE_EXIT", nullptr);
    CHECK(ReadFile(output) == kFakeMp4Header + "video bytes");
    DeleteFileA(output.c_str());

    SetEnvironmentVariableA("TARVO_FAKE_NO_OUTPUT", "1");
    CHECK(MuxMp4(muxer.c_str(), output.c_str(), 25.0, video.c_str(), audio.c_str()).failed());
    SetEnvironmentVariableA("TARVO_FAKE_NO_OUTPUT", nullptr);
    CHECK(MuxMp4("", output.c_str(), 25.0, video.c_str(), audio.c_str()).failed());

    DeleteFileA(video.c_str());
    DeleteFileA(audio.c_str());
    DeleteFileA(encoderRecord.c_str());
    DeleteFileA(muxerRecord.c_str());
    DeleteFileA(output.c_str());
    CHECK(RemoveDirectoryA(folder.c_str()) != FALSE);  // nothing else was left in it

    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
