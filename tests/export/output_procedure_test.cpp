// The output entry against recording stand-ins of its stages: the order of
// the stages, what each failure leads to, the message, and that no temporary
// file outlives the call.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>
#include <fstream>
#include <string>
#include <vector>

#include "audio/audio_export.h"
#include "audio/mux.h"
#include "encode/video_encoder.h"
#include "platform/file.h"
#include "platform/message.h"
#include "plugin/plugin_entries.h"
#include "plugin/setting_data.h"
#include "plugin/temp_name.h"

namespace fs = std::filesystem;

namespace {

// What the stand-ins do and what they saw. Test thread only.
struct Stages {
    bool validate = true;
    bool startAudio = true;
    bool encode = true;
    bool encoderEndsWell = true;
    bool mux = true;

    std::vector<std::string> calls;
    std::vector<std::string> messages;
    std::string videoPath, wavPath, aacPath;
    bool wavExistedAtMux = false;
    bool videoExistedAtMux = false;
    bool aacPassedToMux = false;
    double muxFrameRate = 0;
    bool encoderRunning = false;
};

Stages stages;
int encoderProcess;  // its address stands for the process handle

void Touch(const std::string& path) { std::ofstream(path) << "x"; }

}  // namespace

namespace platform {
void ShowWarning(const char* text) { stages.messages.push_back(text); }
}  // namespace platform

bool ValidateEncodeParameters(const OutputInfo&, const SettingData&) {
    stages.calls.push_back("validate");
    return stages.validate;
}

bool EncodeVideoToFile(const OutputInfo&, const SettingData&, const char* path, VideoEncodeReport*) {
    stages.calls.push_back(stages.encoderRunning ? "encode (aac running)" : "encode");
    stages.videoPath = path;
    Touch(path);
    return stages.encode;
}

platform::ProcessHandle StartAacEncoder(const OutputInfo*, const SettingData* setting, char** wavPath,
                                        char** aacPath) {
    stages.calls.push_back("start aac");
    if (!stages.startAudio) return platform::kNoProcess;
    EXPECT_TRUE(MakeTempName("wav", setting->tempFolder, wavPath));
    EXPECT_TRUE(MakeTempName("aac", setting->tempFolder, aacPath));
    stages.wavPath = *wavPath;
    stages.aacPath = *aacPath;
    Touch(*wavPath);
    Touch(*aacPath);
    stages.encoderRunning = true;
    return &encoderProcess;
}

bool WaitAacEncoder(platform::ProcessHandle encoder) {
    stages.calls.push_back("wait aac");
    EXPECT_EQ(encoder, &encoderProcess);
    stages.encoderRunning = false;
    return stages.encoderEndsWell;
}

bool MuxMp4(const char*, const char*, double frameRate, const char* videoPath, const char* aacPath) {
    stages.calls.push_back(stages.encoderRunning ? "mux (aac running)" : "mux");
    stages.muxFrameRate = frameRate;
    stages.aacPassedToMux = aacPath != nullptr;
    stages.wavExistedAtMux = !stages.wavPath.empty() && fs::exists(stages.wavPath);
    stages.videoExistedAtMux = videoPath != nullptr && fs::exists(videoPath);
    return stages.mux;
}

namespace {

class OutputProcedure : public ::testing::Test {
protected:
    void SetUp() override {
        stages = Stages{};
        folder_ = fs::temp_directory_path() / ("tarvo-output-" + std::to_string(::getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        SettingData settings = DefaultSettingData();
        std::string text = folder_.string() + "/";
        std::memcpy(settings.tempFolder, text.c_str(), text.size() + 1);
        ASSERT_EQ(SettingsSetEntry(&settings, sizeof settings), 820);
        stages.messages.clear();

        info_.flag = kOutputInfoFlagAudio;
        info_.width = 320;
        info_.height = 240;
        info_.rate = 30000;
        info_.scale = 1001;
        info_.frameCount = 10;
        info_.audioRate = 48000;
        info_.audioChannels = 2;
        info_.audioSampleBytes = 4;
        info_.saveFile = saveFile_;
    }
    void TearDown() override { fs::remove_all(folder_); }

    bool FolderEmpty() const { return fs::is_empty(folder_); }
    std::vector<std::string> Calls(std::initializer_list<const char*> names) {
        return std::vector<std::string>(names.begin(), names.end());
    }

    fs::path folder_;
    char saveFile_[16] = "out.mp4";
    OutputInfo info_{};
};

TEST_F(OutputProcedure, RunsTheStagesInOrderAndCleansUp) {
    EXPECT_EQ(OutputEntry(&info_), 1);
    // The AAC encoder runs beside the video and has ended before the muxer starts.
    EXPECT_EQ(stages.calls, Calls({"validate", "start aac", "encode (aac running)", "wait aac", "mux"}));
    EXPECT_FALSE(stages.wavExistedAtMux);
    EXPECT_TRUE(stages.videoExistedAtMux);
    EXPECT_TRUE(stages.aacPassedToMux);
    EXPECT_DOUBLE_EQ(stages.muxFrameRate, 30000.0 / 1001.0);
    EXPECT_EQ(fs::path(stages.videoPath).extension(), ".h264");
    EXPECT_EQ(fs::path(stages.videoPath).parent_path(), folder_);
    EXPECT_TRUE(stages.messages.empty());
    EXPECT_TRUE(FolderEmpty());
}

TEST_F(OutputProcedure, JobWithoutAudioNeverStartsTheEncoder) {
    info_.flag = 0;
    EXPECT_EQ(OutputEntry(&info_), 1);
    EXPECT_EQ(stages.calls, Calls({"validate", "encode", "mux"}));
    EXPECT_FALSE(stages.aacPassedToMux);
    EXPECT_TRUE(FolderEmpty());
}

TEST_F(OutputProcedure, RefusedTrialShowsTheMessageOnceAndStops) {
    stages.validate = false;
    EXPECT_EQ(OutputEntry(&info_), 0);
    EXPECT_EQ(stages.calls, Calls({"validate"}));
    ASSERT_EQ(stages.messages.size(), 1u);
    EXPECT_EQ(stages.messages[0], "Invalid encode parameter.");
    EXPECT_TRUE(FolderEmpty());
}

TEST_F(OutputProcedure, FailedAudioStageEndsTheJobBeforeTheVideo) {
    stages.startAudio = false;
    EXPECT_EQ(OutputEntry(&info_), 0);
    EXPECT_EQ(stages.calls, Calls({"validate", "start aac"}));
    EXPECT_TRUE(stages.messages.empty());
    EXPECT_TRUE(FolderEmpty());
}

// Each later failure still waits for the encoder, runs the muxer and deletes
// every temporary file, and the job is not a success.
TEST_F(OutputProcedure, LaterFailuresStillFinishTheJobAndFail) {
    for (int failure = 0; failure < 3; ++failure) {
        SCOPED_TRACE(failure);
        stages = Stages{};
        stages.encode = failure != 0;
        stages.encoderEndsWell = failure != 1;
        stages.mux = failure != 2;
        EXPECT_EQ(OutputEntry(&info_), 0);
        EXPECT_EQ(stages.calls, Calls({"validate", "start aac", "encode (aac running)", "wait aac", "mux"}));
        EXPECT_FALSE(stages.wavExistedAtMux);
        EXPECT_TRUE(stages.messages.empty());
        EXPECT_TRUE(FolderEmpty());
    }
}

TEST_F(OutputProcedure, LeavesTheSettingsAsTheyWere) {
    SettingData before;
    ASSERT_EQ(SettingsGetEntry(&before, sizeof before), 820);
    stages.mux = false;
    OutputEntry(&info_);
    SettingData after;
    ASSERT_EQ(SettingsGetEntry(&after, sizeof after), 820);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
}

TEST_F(OutputProcedure, NoJobNoWork) {
    EXPECT_EQ(OutputEntry(nullptr), 0);
    EXPECT_TRUE(stages.calls.empty());
}

// A zero frame-rate denominator reaches the muxer as no rate at all, never
// as a division by zero.
TEST_F(OutputProcedure, ZeroScaleGivesNoFrameRate) {
    info_.scale = 0;
    OutputEntry(&info_);
    EXPECT_EQ(stages.muxFrameRate, 0.0);
}

}  // namespace
