#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sys/resource.h>

#include "audio/audio_export.h"
#include "platform/process.h"
#include "test_support.h"

using namespace audio_test;

namespace {

TEST(AacEncoderCommandLine, ProfileSwitchFollowsTheBitRate) {
    const char* wav = "C:\\Temp\\KQZMWTA.wav";
    const char* aac = "C:\\Temp\\KQZMWTA.aac";
    const std::string tail = " -if \"C:\\Temp\\KQZMWTA.wav\" -of \"C:\\Temp\\KQZMWTA.aac\"";
    EXPECT_EQ(AacEncoderCommandLine(0, 128, wav, aac), "-2pass -br 128000" + tail);
    EXPECT_EQ(AacEncoderCommandLine(1, 128, wav, aac), "-2pass -br 128000 -lc" + tail);
    EXPECT_EQ(AacEncoderCommandLine(2, 96, wav, aac), "-2pass -br 96000 -he" + tail);
    EXPECT_EQ(AacEncoderCommandLine(3, 24, wav, aac), "-2pass -br 24000 -hev2" + tail);
    EXPECT_EQ(AacEncoderCommandLine(4, 128, wav, aac), "-2pass -br 128000" + tail);
    // The bit rate is a 32-bit unsigned product, never grouped or signed.
    EXPECT_EQ(AacEncoderCommandLine(0, -1, wav, aac), "-2pass -br 4294966296" + tail);
    CommaLocale comma;
    EXPECT_EQ(AacEncoderCommandLine(1, 1280, wav, aac), "-2pass -br 1280000 -lc" + tail);
}

class StartAacEncoderTest : public ::testing::Test {
protected:
    ScratchDir scratch{"tarvo aac"};  // a blank in every path
    std::string folder = scratch.File("temp folder");
    std::string record = scratch.File("record.txt");
    ScopedEnv recordEnv{"TARVO_RECORD", record};
    AudioHost host;
    AacEncoding encoding;

    void SetUp() override {
        ASSERT_EQ(system(("mkdir '" + folder + "'").c_str()), 0);
        host.count = 2500;
    }
    bool EncoderRan() const { return !ReadWholeFile(record).empty(); }
    // Starts the stage into `encoding`; true when it is running.
    bool Start(ExportJob job, const SettingData& setting) {
        job.settings = setting;
        const Outcome started = StartAacEncoder(job, &encoding);
        EXPECT_EQ(started.done(), encoding.encoder.started());
        return started.done();
    }
};

TEST_F(StartAacEncoderTest, StartsTheEncoderOnTheCompleteWavFile) {
    SettingData setting = SettingsFor(folder, TARVO_RECORD_ARGS);
    ExportJob job = host.Job();
    ASSERT_TRUE(Start(job, setting));
    const std::string wav = encoding.wav.path(), aac = encoding.aac.path();
    EXPECT_TRUE(WaitAacEncoder(encoding.encoder, "").done());

    std::string prefix = folder + "/";
    EXPECT_EQ(std::string(wav).rfind(prefix, 0), 0u);
    EXPECT_EQ(std::string(wav).size(), prefix.size() + 7 + 4);
    EXPECT_EQ(std::string(wav).substr(prefix.size() + 7), ".wav");
    EXPECT_EQ(std::string(aac).substr(prefix.size() + 7), ".aac");
    EXPECT_EQ(ReadLines(record),
              (std::vector<std::string>{"-2pass", "-br", "96000", "-he", "-if", wav, "-of", aac,
                                        "input-size=" + std::to_string(44 + 2500 * 4)}));
    EXPECT_EQ(ReadWholeFile(wav).substr(44), host.ExpectedData(2500));
}

TEST_F(StartAacEncoderTest, AnEncoderThatFailsIsNotASuccess) {
    SettingData setting = SettingsFor(folder, TARVO_RECORD_ARGS);
    ExportJob job = host.Job();
    ScopedEnv exitCode("TARVO_EXIT", "3");
    ASSERT_TRUE(Start(job, setting));
    const Outcome failed = WaitAacEncoder(encoding.encoder, "aac");
    EXPECT_EQ(failed.Text(), "AAC encoder failed (exit code 3): aac");
    EXPECT_EQ(WaitAacEncoder(encoding.encoder, "aac").Text(), "The AAC encoder was not running: aac");
}

TEST_F(StartAacEncoderTest, FailuresLeaveNothingBehind) {
    ExportJob job = host.Job();
    {
        SCOPED_TRACE("empty program path");
        SettingData setting = SettingsFor(folder, "");
        EXPECT_FALSE(Start(job, setting));
    }
    {
        SCOPED_TRACE("program that does not exist");
        SettingData setting = SettingsFor(folder, scratch.File("no such encoder"));
        EXPECT_FALSE(Start(job, setting));
    }
    {
        SCOPED_TRACE("temporary folder that does not exist");
        SettingData setting = SettingsFor(scratch.File("missing"), TARVO_RECORD_ARGS);
        EXPECT_FALSE(Start(job, setting));
    }
    {
        SCOPED_TRACE("host that stops delivering");
        SettingData setting = SettingsFor(folder, TARVO_RECORD_ARGS);
        host.deliveries = {1000, 0};
        ExportJob stalling = host.Job();
        EXPECT_FALSE(Start(stalling, setting));
        host.deliveries.clear();
    }
    {
        SCOPED_TRACE("disk full while the WAV file is written");
        SettingData setting = SettingsFor(folder, TARVO_RECORD_ARGS);
        // The file-size limit stands in for a full disk: writes past it fail.
        struct sigaction ignore = {}, previousAction = {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGXFSZ, &ignore, &previousAction);
        rlimit previous;
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit small = previous;
        small.rlim_cur = 1000;
        setrlimit(RLIMIT_FSIZE, &small);
        const bool started = Start(job, setting);
        setrlimit(RLIMIT_FSIZE, &previous);
        sigaction(SIGXFSZ, &previousAction, nullptr);
        EXPECT_FALSE(started);
    }
    EXPECT_TRUE(encoding.wav.empty());
    EXPECT_TRUE(encoding.aac.empty());
    EXPECT_TRUE(ListDir(folder).empty());
    EXPECT_FALSE(EncoderRan());
}

TEST_F(StartAacEncoderTest, RefusesAFolderWhosePathsCannotBeQuoted) {
    std::string quoted = scratch.File("say \"hi\"");
    ASSERT_EQ(system(("mkdir '" + quoted + "'").c_str()), 0);
    SettingData setting = SettingsFor(quoted, TARVO_RECORD_ARGS);
    ExportJob job = host.Job();
    EXPECT_FALSE(Start(job, setting));
    EXPECT_TRUE(encoding.wav.empty());
    EXPECT_FALSE(EncoderRan());
    EXPECT_TRUE(host.requests.empty());
    EXPECT_EQ(system(("rmdir '" + quoted + "'").c_str()), 0);  // it was left empty
}

}  // namespace
