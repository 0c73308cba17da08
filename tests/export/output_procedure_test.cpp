// AviUtl's output entry and the export procedure under it against recording
// stand-ins of the stages: the order of the stages, what each failure leads
// to, the message, and that no temporary file outlives the call.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "audio/audio_export.h"
#include "audio/mux.h"
#include "encode/video_encoder.h"
#include "platform/file.h"
#include "platform/message.h"
#include "platform/sync.h"
#include "plugin/plugin_entries.h"
#include "core/setting_data.h"
#include "core/temp_name.h"

namespace fs = std::filesystem;

namespace {

// How a stand-in stage ends.
enum class Ends { kWell, kFailing, kCancelled, kThrowing };

// What the stand-ins do and what they saw. Test thread only.
struct Stages {
    bool validate = true;
    Ends startAudio = Ends::kWell;
    Ends encode = Ends::kWell;
    Ends waitAudio = Ends::kWell;
    Ends mux = Ends::kWell;

    std::vector<std::string> calls;
    std::vector<std::string> messages;
    std::string videoPath, wavPath, aacPath;
    bool wavExistedAtMux = false;
    bool videoExistedAtMux = false;
    bool aacPassedToMux = false;
    double muxFrameRate = 0;
    bool encoderRunning = false;
    bool aacDiesDuringVideo = false;  // the encoder's process ends with code 3
    bool aacWritesAac = true;         // what its output looks like
    int muxAsksCancelFor = 0;         // ms the muxer stand-in keeps asking whether to cancel
};

Stages stages;
int encoderProcess;  // its address stands for the process handle

void Touch(const std::string& path) { std::ofstream(path) << "x"; }

// Ends a stand-in stage the way `how` says.
Outcome End(Ends how, const char* stage) {
    switch (how) {
        case Ends::kWell: return Outcome::Done();
        case Ends::kFailing: return Outcome::Failure(Stage::kNone, std::string(stage) + " failed");
        case Ends::kCancelled: return Outcome::Cancelled(Stage::kNone);
        case Ends::kThrowing: throw std::runtime_error(std::string(stage) + " threw");
    }
    return Outcome::Done();
}

platform::ProcessHandle EncoderHandle() { return reinterpret_cast<platform::ProcessHandle>(&encoderProcess); }

}  // namespace

namespace platform {
void ShowWarning(const char* text) { stages.messages.push_back(text); }
void EndProcess(ProcessHandle process) {
    EXPECT_EQ(process, EncoderHandle());
    stages.calls.push_back("end aac");
    stages.encoderRunning = false;
}
void CloseProcess(ProcessHandle process) { EXPECT_EQ(process, EncoderHandle()); }
WaitResult WaitProcessFor(ProcessHandle process, uint32_t, uint32_t* exitCode) {
    EXPECT_EQ(process, EncoderHandle());
    if (!stages.aacDiesDuringVideo) return WaitResult::kRunning;
    *exitCode = 3;
    stages.encoderRunning = false;
    return WaitResult::kEnded;
}
}  // namespace platform

bool LooksLikeAac(const char*) { return stages.aacWritesAac; }

Outcome ValidateEncodeParameters(const ExportJob&) {
    stages.calls.push_back("validate");
    return stages.validate ? Outcome::Done()
                           : Outcome::Failure(Stage::kVideoSetup, "Invalid encode parameter.", "the trial said no");
}

Outcome EncodeVideoToFile(const ExportJob& job, const char* path, VideoEncodeReport*) {
    stages.calls.push_back(stages.encoderRunning ? "encode (aac running)" : "encode");
    stages.videoPath = path;
    Touch(path);
    if (job.isAbort != nullptr && job.isAbort(job.host)) return Outcome::Cancelled(Stage::kVideoEncode);
    Outcome outcome = End(stages.encode, "video");
    if (outcome.failed()) outcome.message = "video failed";
    return outcome;
}

Outcome StartAacEncoder(const ExportJob& job, AacEncoding* encoding) {
    const SettingData* setting = &job.settings;
    stages.calls.push_back("start aac");
    Outcome outcome = End(stages.startAudio, "audio");
    if (!outcome.done()) return outcome;
    std::optional<TempFile> wav = TempFile::Claim("wav", setting->tempFolder);
    std::optional<TempFile> aac = TempFile::Claim("aac", setting->tempFolder);
    EXPECT_TRUE(wav && aac);
    stages.wavPath = wav->path();
    stages.aacPath = aac->path();
    Touch(stages.wavPath);
    Touch(stages.aacPath);
    encoding->wav = std::move(*wav);
    encoding->aac = std::move(*aac);
    encoding->encoder = platform::Process(EncoderHandle());
    stages.encoderRunning = true;
    return outcome;
}

Outcome WaitAacEncoder(platform::Process& encoder, const char*, const platform::CancelCheck&) {
    stages.calls.push_back("wait aac");
    EXPECT_EQ(encoder.get(), EncoderHandle());
    encoder.Release();
    stages.encoderRunning = false;
    return End(stages.waitAudio, "aac");
}

Outcome MuxMp4(const char*, const char*, double frameRate, const char* videoPath, const char* aacPath,
               const platform::CancelCheck& cancel) {
    // As the real wait does: asks every few milliseconds while the program runs.
    for (const uint32_t start = platform::TickCountMs();
         platform::TickCountMs() - start < static_cast<uint32_t>(stages.muxAsksCancelFor);) {
        if (cancel()) return Outcome::Cancelled(Stage::kMuxer);
        platform::SleepMs(10);
    }
    stages.calls.push_back(stages.encoderRunning ? "mux (aac running)" : "mux");
    stages.muxFrameRate = frameRate;
    stages.aacPassedToMux = aacPath != nullptr;
    stages.wavExistedAtMux = !stages.wavPath.empty() && fs::exists(stages.wavPath);
    stages.videoExistedAtMux = videoPath != nullptr && fs::exists(videoPath);
    return End(stages.mux, "mux");
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
        // The stages are stand-ins, but the programs are checked before them.
        std::strcpy(settings.aacEncoderPath, "/bin/true");
        std::strcpy(settings.muxerPath, "/bin/true");
        ASSERT_EQ(SettingsSetEntry(&settings, sizeof settings), 1024);
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
    EXPECT_EQ(stages.messages[0], "Invalid encode parameter.\nthe trial said no");
    EXPECT_TRUE(FolderEmpty());
}

// A stage that gives no frames still shows the host progress, at least every
// 250 ms, at the frame count reached; the log tells the job, each stage's
// time and the outcome.
int restTimeCalls = 0;
std::vector<std::string> logLines;
TEST_F(OutputProcedure, ProgressAndLogReachTheHostInEveryStage) {
    restTimeCalls = 0;
    logLines.clear();
    info_.showRestTime = [](int32_t, int32_t total) -> int32_t {
        ++restTimeCalls;
        EXPECT_EQ(total, 10);
        return 1;
    };
    ExportLogTarget() = [](const char* line) { logLines.emplace_back(line); };
    stages.muxAsksCancelFor = 700;
    EXPECT_EQ(OutputEntry(&info_), 1);
    ExportLogTarget() = nullptr;
    EXPECT_GE(restTimeCalls, 2);
    ASSERT_FALSE(logLines.empty());
    EXPECT_EQ(logLines.front().rfind("job: 320x240 at 30000/1001 fps, 10 frames, audio 48000 Hz, 2 channels", 0), 0u);
    EXPECT_EQ(logLines.back(), "outcome: done");
    EXPECT_NE(std::find_if(logLines.begin(), logLines.end(),
                           [](const std::string& line) { return line.rfind("MP4 muxer: ", 0) == 0; }),
              logLines.end());
}

// During AviUtl's batch output nobody is there to dismiss a box: a failure
// only returns 0; a cancel is still no failure.
TEST_F(OutputProcedure, BatchOutputShowsNoBox) {
    info_.flag |= kOutputInfoFlagBatch;
    stages.validate = false;
    EXPECT_EQ(OutputEntry(&info_), 0);
    stages.validate = true;
    stages.mux = Ends::kFailing;
    EXPECT_EQ(OutputEntry(&info_), 0);
    EXPECT_TRUE(stages.messages.empty());
    stages.mux = Ends::kCancelled;
    EXPECT_EQ(OutputEntry(&info_), 1);
    EXPECT_TRUE(FolderEmpty());
}

// A failure stops the job where it happened: no muxer after a failed video
// or AAC encoder, a running encoder ended, one message, nothing left. A
// cancel stops it the same way, without a word, and is no failure.
TEST_F(OutputProcedure, FailuresAndCancelsStopTheJobWhereTheyHappen) {
    struct Case {
        Ends Stages::* stage;
        std::vector<std::string> calls;
        std::string name;  // the stand-in's word in its message
    };
    const Case cases[] = {
        {&Stages::startAudio, {"validate", "start aac"}, "audio"},
        {&Stages::encode, {"validate", "start aac", "encode (aac running)", "end aac"}, "video"},
        {&Stages::waitAudio, {"validate", "start aac", "encode (aac running)", "wait aac"}, "aac"},
        {&Stages::mux, {"validate", "start aac", "encode (aac running)", "wait aac", "mux"}, "mux"},
    };
    for (const Case& c : cases) {
        for (Ends how : {Ends::kFailing, Ends::kCancelled, Ends::kThrowing}) {
            SCOPED_TRACE(c.name + " " + std::to_string(static_cast<int>(how)));
            stages = Stages{};
            stages.*c.stage = how;
            const bool cancelled = how == Ends::kCancelled;
            EXPECT_EQ(OutputEntry(&info_), cancelled ? 1 : 0);
            EXPECT_EQ(stages.calls, c.calls);
            if (cancelled) {
                EXPECT_TRUE(stages.messages.empty());
            } else {
                ASSERT_EQ(stages.messages.size(), 1u);
                EXPECT_EQ(stages.messages[0], how == Ends::kFailing ? c.name + " failed" : "Export failed: " + c.name + " threw");
            }
            EXPECT_FALSE(stages.encoderRunning);
            EXPECT_TRUE(FolderEmpty());
        }
    }
}

// The AAC encoder is blamed for what it did: dying while the video encodes
// (noticed at the next frame) or writing something that is not AAC.
TEST_F(OutputProcedure, AnAacEncoderThatFailsIsNamedBeforeTheMuxer) {
    struct Case {
        bool Stages::* fault;
        bool value;
        std::vector<std::string> calls;
        const char* message;
    };
    const Case cases[] = {
        {&Stages::aacDiesDuringVideo, true, {"validate", "start aac", "encode (aac running)", "end aac"},
         "AAC encoder failed (exit code 3): /bin/true"},
        {&Stages::aacWritesAac, false, {"validate", "start aac", "encode (aac running)", "wait aac"},
         "AAC encoder wrote no AAC file: /bin/true"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        stages = Stages{};
        stages.*c.fault = c.value;
        EXPECT_EQ(OutputEntry(&info_), 0);
        EXPECT_EQ(stages.calls, c.calls);
        EXPECT_EQ(stages.messages, std::vector<std::string>{c.message});
        EXPECT_TRUE(FolderEmpty());
    }
}

// What can be known before the first frame refuses the job before any stage.
TEST_F(OutputProcedure, RefusesAtOnceWhatCannotSucceed) {
    char quoted[] = "a\"b.mp4";
    char empty[] = "";
    struct Case {
        void (*change)(OutputInfo&, SettingData&, char*, char*);
        const char* cause;
    };
    const Case cases[] = {
        {[](OutputInfo& i, SettingData&, char* q, char*) { i.saveFile = q; }, "MP4 muxer's command line"},
        {[](OutputInfo& i, SettingData&, char*, char* e) { i.saveFile = e; }, "No output file"},
        {[](OutputInfo& i, SettingData&, char*, char*) { i.saveFile = nullptr; }, "No output file"},
        {[](OutputInfo& i, SettingData&, char*, char*) { i.scale = -1; }, "Invalid frame rate: rate 30000, scale -1"},
        {[](OutputInfo& i, SettingData&, char*, char*) { i.rate = 0; }, "Invalid frame rate"},
        {[](OutputInfo&, SettingData& s, char*, char*) { std::strcpy(s.muxerPath, "/no/such/muxer"); },
         "MP4 muxer not found: /no/such/muxer"},
        {[](OutputInfo&, SettingData& s, char*, char*) { std::strcpy(s.aacEncoderPath, "/tmp"); },
         "AAC encoder is not a program: /tmp"},
        {[](OutputInfo&, SettingData& s, char*, char*) { s.aacEncoderPath[0] = '\0'; }, "No AAC encoder is set"},
        {[](OutputInfo&, SettingData& s, char*, char*) { s.aacKbps = -1; }, "Invalid AAC bit rate: -1"},
        {[](OutputInfo& i, SettingData&, char*, char*) { i.audioSampleBytes = 3; }, "Audio format cannot be written"},
    };
    SettingData original;
    ASSERT_EQ(SettingsGetEntry(&original, sizeof original), 1024);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cause);
        stages = Stages{};
        OutputInfo info = info_;
        SettingData settings = original;
        c.change(info, settings, quoted, empty);
        ASSERT_EQ(SettingsSetEntry(&settings, sizeof settings), 1024);
        EXPECT_EQ(OutputEntry(&info), 0);
        EXPECT_TRUE(stages.calls.empty());
        ASSERT_EQ(stages.messages.size(), 1u);
        EXPECT_NE(stages.messages[0].find(c.cause), std::string::npos) << stages.messages[0];
        EXPECT_TRUE(FolderEmpty());
    }
}

TEST_F(OutputProcedure, LeavesTheSettingsAsTheyWere) {
    SettingData before;
    ASSERT_EQ(SettingsGetEntry(&before, sizeof before), 1024);
    stages.mux = Ends::kFailing;
    OutputEntry(&info_);
    SettingData after;
    ASSERT_EQ(SettingsGetEntry(&after, sizeof after), 1024);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
}

TEST_F(OutputProcedure, NoJobNoWork) {
    EXPECT_EQ(OutputEntry(nullptr), 0);
    EXPECT_TRUE(stages.calls.empty());
}

// AviUtl's record becomes the engine's job: the same numbers, and callbacks
// that reach the host's with the same arguments and answers.
std::vector<std::string> hostCalls;
int32_t abortAnswer = 0;
char frameBytes[4];
int16_t sampleBytes[2];
void* HostGetVideo(int32_t frame) {
    hostCalls.push_back("video " + std::to_string(frame));
    return frameBytes;
}
void* HostGetAudio(int32_t start, int32_t length, int32_t* read) {
    hostCalls.push_back("audio " + std::to_string(start) + " " + std::to_string(length));
    *read = 1;
    return sampleBytes;
}
int32_t HostIsAbort() { return abortAnswer; }
int32_t HostShowRestTime(int32_t now, int32_t total) {
    hostCalls.push_back("rest " + std::to_string(now) + "/" + std::to_string(total));
    return 0;
}
int32_t HostUpdatePreview() {
    hostCalls.push_back("preview");
    return 0;
}

TEST(AviUtlJob, CarriesTheRecordAndReachesTheHostsCallbacks) {
    char saveFile[] = "C:\\out.mp4";
    OutputInfo info{kOutputInfoFlagAudio, 640, 480, 30000, 1001, 90, 0, 44100, 2, 3000, 4, saveFile,
                    HostGetVideo, HostGetAudio, HostIsAbort, HostShowRestTime, nullptr, HostUpdatePreview, nullptr};
    SettingData settings = DefaultSettingData();
    settings.aacKbps = 128;
    const ExportJob job = MakeExportJob(info, settings);
    EXPECT_EQ(std::vector<int32_t>({job.width, job.height, job.rate, job.scale, job.frameCount, job.audioRate,
                                    job.audioChannels, job.audioSampleCount, job.audioSampleBytes}),
              std::vector<int32_t>({640, 480, 30000, 1001, 90, 44100, 2, 3000, 4}));
    EXPECT_TRUE(job.hasAudio);
    EXPECT_EQ(job.saveFile, saveFile);
    EXPECT_EQ(job.settings.aacKbps, 128);

    hostCalls.clear();
    EXPECT_EQ(job.getVideo(job.host, 7), frameBytes);
    int32_t read = 0;
    EXPECT_EQ(job.getAudio(job.host, 1000, 500, &read), sampleBytes);
    EXPECT_EQ(read, 1);
    job.showProgress(job.host, 58, 90);
    EXPECT_EQ(hostCalls, (std::vector<std::string>{"video 7", "audio 1000 500", "rest 58/90", "preview"}));
    for (int32_t answer : {0, 1, -1}) {
        abortAnswer = answer;
        EXPECT_EQ(job.isAbort(job.host), answer != 0) << answer;
    }
    info.flag = 1;
    EXPECT_FALSE(MakeExportJob(info, settings).hasAudio);
}

// A callback the host left out stays out, so the engine treats it as before.
TEST(AviUtlJob, MissingCallbacksStayMissing) {
    struct Case {
        void (*give)(OutputInfo&);  // the one callback the host gives
        bool video, audio, abort, progress;
        std::vector<std::string> progressCalls;
    };
    const Case cases[] = {
        {[](OutputInfo&) {}, false, false, false, false, {}},
        {[](OutputInfo& i) { i.getVideo = HostGetVideo; }, true, false, false, false, {}},
        {[](OutputInfo& i) { i.getAudio = HostGetAudio; }, false, true, false, false, {}},
        {[](OutputInfo& i) { i.isAbort = HostIsAbort; }, false, false, true, false, {}},
        {[](OutputInfo& i) { i.showRestTime = HostShowRestTime; }, false, false, false, true, {"rest 1/2"}},
        {[](OutputInfo& i) { i.updatePreview = HostUpdatePreview; }, false, false, false, true, {"preview"}},
    };
    for (const Case& c : cases) {
        OutputInfo info{};
        c.give(info);
        const ExportJob job = MakeExportJob(info, DefaultSettingData());
        EXPECT_EQ(job.getVideo != nullptr, c.video);
        EXPECT_EQ(job.getAudio != nullptr, c.audio);
        EXPECT_EQ(job.isAbort != nullptr, c.abort);
        ASSERT_EQ(job.showProgress != nullptr, c.progress);
        hostCalls.clear();
        if (c.progress) job.showProgress(job.host, 1, 2);
        EXPECT_EQ(hostCalls, c.progressCalls);
    }
}

}  // namespace
