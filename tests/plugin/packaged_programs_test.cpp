// The programs the release zip and ExEdit2's package put beside the plug-in.
#include "core/packaged_programs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "platform/test_support.h"

namespace {

bool Same(const SettingData& a, const SettingData& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A program file of `name` in `folder` (made with its parents).
void PutProgram(const std::string& folder, const char* name, bool executable = true) {
    std::filesystem::create_directories(folder);
    test::WriteFile(folder + name, "MZ");
    std::filesystem::permissions(folder + name, executable ? std::filesystem::perms::owner_all
                                                           : std::filesystem::perms::owner_read);
}

SettingData WithPaths(const std::string& encoder, const std::string& muxer) {
    SettingData settings = DefaultSettingData();
    settings.targetKbps = 2500;
    std::memset(settings.aacEncoderPath, 0, kSettingPathSize);
    std::memset(settings.muxerPath, 0, kSettingPathSize);
    std::memcpy(settings.aacEncoderPath, encoder.c_str(), encoder.size());
    std::memcpy(settings.muxerPath, muxer.c_str(), muxer.size());
    return settings;
}

TEST(PackagedPrograms, EmptyProgramPathsTakeThoseBesideThePlugin) {
    test::TempDir dir;
    const std::string both = dir / "Plugin/Tarvo/";
    PutProgram(both, kPackagedAacEncoder);
    PutProgram(both, kPackagedMuxer);
    const std::string encoderOnly = dir / "encoder only/";
    PutProgram(encoderOnly, kPackagedAacEncoder);
    // A folder where the encoder's name is taken by a folder and the muxer
    // cannot be started.
    const std::string neither = dir / "neither/";
    std::filesystem::create_directories(neither + kPackagedAacEncoder);
    PutProgram(neither, kPackagedMuxer, false);
    // Folders whose programs' paths take 259 bytes (the most a field holds)
    // and 260.
    const size_t name = std::strlen(kPackagedAacEncoder);
    ASSERT_EQ(name, std::strlen(kPackagedMuxer));
    const std::string base = dir.path() + "/";
    const std::string fits = base + std::string(kSettingPathSize - 1 - name - base.size() - 1, 'f') + "/";
    const std::string tooLong = base + std::string(kSettingPathSize - name - base.size() - 1, 'l') + "/";
    for (const std::string& folder : {fits, tooLong}) {
        PutProgram(folder, kPackagedAacEncoder);
        PutProgram(folder, kPackagedMuxer);
    }
    const std::string entered = "C:\\Tools\\neroAacEnc.exe";
    struct Case {
        const char* name;
        std::string folder;
        SettingData settings;
        SettingData expected;
    } cases[] = {
        {"a new install", both, WithPaths("", ""),
         WithPaths(both + kPackagedAacEncoder, both + kPackagedMuxer)},
        {"an entered encoder stays", both, WithPaths(entered, ""), WithPaths(entered, both + kPackagedMuxer)},
        {"entered paths stay", both, WithPaths(entered, "/usr/bin/mp4box"), WithPaths(entered, "/usr/bin/mp4box")},
        {"only the encoder beside", encoderOnly, WithPaths("", ""),
         WithPaths(encoderOnly + kPackagedAacEncoder, "")},
        {"no programs beside", neither, WithPaths("", ""), WithPaths("", "")},
        {"no folder known", "", WithPaths("", ""), WithPaths("", "")},
        {"paths of 259 bytes", fits, WithPaths("", ""),
         WithPaths(fits + kPackagedAacEncoder, fits + kPackagedMuxer)},
        {"paths of 260 bytes", tooLong, WithPaths("", ""), WithPaths("", "")},
    };
    for (Case& c : cases) {
        TakeProgramsBeside(c.folder, c.settings);
        EXPECT_TRUE(Same(c.settings, c.expected))
            << c.name << ": " << c.settings.aacEncoderPath << " | " << c.settings.muxerPath;
    }
}

}  // namespace
