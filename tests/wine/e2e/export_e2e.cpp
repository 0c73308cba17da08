// Whole exports through Tarvo_output.auo under Wine, the way AviUtl drives
// them: the soft runtime (null encoder) sits beside this program, where the
// plug-in's loader looks last, and the recording fakes stand in for
// neroAacEnc.exe and MP4Box.exe. Every job checks what the programs received
// (command lines as they split them, the WAV, the video stream block by
// block), the messages shown, the result, which runtime DLL served it, and
// that no temporary file is left.
//
// Usage: export_e2e <Tarvo_output.auo> <fake neroAacEnc.exe> <fake MP4Box.exe> [--vpl | --both]
// Without a mode the soft runtime beside it is libmfxhw32.dll and behaves
// like the Media SDK runtime. --vpl: only libmfx32-gen.dll is beside it and
// behaves like the VPL GPU runtime (RGB3 refused, Direct3D 11 only), so
// every export goes through the RGB4 input and the loader's Direct3D 11
// value. --both: both DLLs are beside it; the VPL one must serve.
#include <windows.h>

#include <mfxstructures.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "box_watcher.h"
#include "plugin/output_plugin.h"
#include "core/setting_data.h"
#include "windows_path.h"

namespace {

int g_passed = 0;
int g_failed = 0;
std::string g_job;  // name of the running job, for failure lines

void Check(bool condition, const std::string& what, int line) {
  if (condition) {
    ++g_passed;
  } else {
    ++g_failed;
    std::printf("FAILED [%s] line %d: %s\n", g_job.c_str(), line, what.c_str());
    std::fflush(stdout);
  }
}
#define CHECK(condition) Check((condition), #condition, __LINE__)

std::string Text(const std::string& s) { return s; }
template <typename T>
std::string Text(T value) {
  return std::to_string(value);
}

// Evaluates each side once: a side may be a whole export.
template <typename A, typename B>
void CheckEqual(const A& a, const B& b, const char* what, int line) {
  Check(a == b, std::string(what) + ": got '" + Text(a) + "'", line);
}
#define CHECK_EQ(a, b) CheckEqual((a), (b), #a " == " #b, __LINE__)

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Names in a folder, without "." and "..".
std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if (std::strcmp(data.cFileName, ".") != 0 && std::strcmp(data.cFileName, "..") != 0) {
      names.push_back(data.cFileName);
    }
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return names;
}

void SetEnv(const char* name, const char* value) {
  // Both the process environment (inherited by the programs) and the C
  // runtime's copy (read by the soft runtime's getenv).
  SetEnvironmentVariableA(name, value);
  std::string assignment = std::string(name) + "=" + (value != nullptr ? value : "");
  _putenv(assignment.c_str());
}

// ---- The host side of one job ----

struct Job {
  int width = 170;  // rows of 510 bytes: padded to 512 in the host's images
  int height = 100;
  int rate = 30;
  int scale = 1;
  int frames = 30;
  bool audio = true;
  int audioRate = 48000;
  int channels = 2;
  int samples = 48000;
  int abortAfter = -1;  // isAbort answers true once this many frames were read
};

Job g_host;
std::vector<uint8_t> g_image;
std::vector<int16_t> g_samples;
// How the soft runtime behaves (MFXSOFT_RUNTIME), and which runtime DLLs
// were loaded while the host was asked for its first frame.
std::string g_runtimeKind = "msdk";
std::string g_runtimesLoaded;
int g_framesRead = 0;
int g_lastFrame = -1;
bool g_framesInOrder = true;
std::string g_requests;  // the frames asked for, for failure reports

// Frame k, upright: its first 8 * (1 + k % 11) rows white, the rest black.
int WhiteRows(int frame) { return 8 * (1 + frame % 11); }

int16_t Sample(int index, int channel) {
  return static_cast<int16_t>((index * 37 + channel * 12345) % 65536 - 32768);
}

std::string LoadedRuntimes() {
  std::string names;
  for (const char* name : {"libmfx32-gen.dll", "libmfxhw32.dll"}) {
    if (GetModuleHandleA(name) != nullptr) names += std::string(names.empty() ? "" : " ") + name;
  }
  return names;
}

void* TARVO_CDECL GetVideo(int32_t frame) {
  if (g_framesRead == 0) g_runtimesLoaded = LoadedRuntimes();
  ++g_framesRead;
  if (frame != g_lastFrame + 1) g_framesInOrder = false;
  g_requests += " " + std::to_string(frame);
  g_lastFrame = frame;
  const int stride = (g_host.width * 3 + 3) & ~3;
  g_image.assign(static_cast<size_t>(stride) * g_host.height, 0x5a);  // padding bytes: noise
  for (int row = 0; row < g_host.height; ++row) {
    // Bottom-up: the first stored row is the bottom of the picture.
    int upright = g_host.height - 1 - row;
    uint8_t value = upright < WhiteRows(frame) ? 255 : 0;
    std::memset(&g_image[static_cast<size_t>(row) * stride], value, static_cast<size_t>(g_host.width) * 3);
  }
  return g_image.data();
}

void* TARVO_CDECL GetAudio(int32_t start, int32_t length, int32_t* read) {
  int32_t available = start < g_host.samples ? g_host.samples - start : 0;
  *read = length < available ? length : available;
  return g_samples.data() + static_cast<size_t>(start) * g_host.channels;
}

int32_t TARVO_CDECL IsAbort() { return g_host.abortAfter >= 0 && g_framesRead >= g_host.abortAfter ? 1 : 0; }
int32_t TARVO_CDECL ShowRestTime(int32_t, int32_t) { return 1; }
int32_t TARVO_CDECL GetFlag(int32_t) { return 0; }
int32_t TARVO_CDECL UpdatePreview() { return 1; }
void* TARVO_CDECL GetVideoEx(int32_t, uint32_t) { return nullptr; }

// ---- What the programs received ----

struct Record {
  bool present = false;
  std::string commandLine;
  std::vector<std::string> argv;  // as the program's C runtime split them, from argv[0]
};

Record ReadRecord(const std::string& path) {
  Record record;
  if (!Exists(path)) return record;
  record.present = true;
  std::istringstream in(ReadFile(path));
  std::getline(in, record.commandLine);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("argv[", 0) == 0) record.argv.push_back(line.substr(line.find("]=") + 2));
  }
  return record;
}

// A temporary name of the plug-in: the folder, seven capital letters, the extension.
bool IsTempName(const std::string& path, const std::string& folder, const std::string& extension) {
  if (path.size() != folder.size() + 7 + 1 + extension.size() || path.compare(0, folder.size(), folder) != 0) {
    return false;
  }
  for (size_t i = folder.size(); i < folder.size() + 7; ++i) {
    if (path[i] < 'A' || path[i] > 'Z') return false;
  }
  return path.compare(folder.size() + 7, std::string::npos, "." + extension) == 0;
}

uint32_t Le(const std::string& bytes, size_t at, int size) {
  uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

uint64_t Le64(const std::string& bytes, size_t at) {
  return Le(bytes, at, 4) | (static_cast<uint64_t>(Le(bytes, at + 4, 4)) << 32);
}

// The null encoder's checksum of frame k's luma (BT.601 limited range: black
// 16, white 235), every eighth row of the picture from the top. In 10 bits
// the samples are four times those, stored in the high bits (P010, Shift 1).
uint32_t ExpectedChecksum(int frame, int bitDepth) {
  uint32_t sum = 0;
  for (int row = 0; row < g_host.height; row += 8) {
    uint32_t luma = row < WhiteRows(frame) ? 235 : 16;
    if (bitDepth == 10) luma = (luma * 4) << 6;
    sum = sum * 31u + luma * static_cast<uint32_t>(g_host.width);
  }
  return sum;
}

// The tag before each picture's record in the null encoder's stream (the SEI's
// UUID in H.264 and HEVC, the T.35 payload's start in AV1).
const char kRecordTag[] = "MFXSoft null.rec";

// The stream without H.264/HEVC emulation prevention bytes: what follows
// each 00 00 03 as it was written.
std::string Unescaped(const std::string& stream) {
  std::string bytes;
  int zeros = 0;
  for (char c : stream) {
    if (zeros >= 2 && c == 3) {
      zeros = 0;
      continue;
    }
    bytes += c;
    zeros = c == 0 ? zeros + 1 : 0;
  }
  return bytes;
}

// With TARVO_E2E_STREAMS naming a folder, each checked stream is kept there
// for the native checks of run-wine-tests.sh (FFmpeg muxes and probes it), and
// a line for it goes to streams.txt: file, codec, profile, pixel format, frames.
void KeepStream(const std::string& stream, int count, int bitDepth, mfxU32 codec) {
  char folder[MAX_PATH];
  DWORD length = GetEnvironmentVariableA("TARVO_E2E_STREAMS", folder, sizeof folder);
  if (length == 0 || length >= sizeof folder) return;
  const bool av1 = codec == MFX_CODEC_AV1, hevc = codec == MFX_CODEC_HEVC;
  const std::string file = g_job + (av1 ? ".obu" : hevc ? ".hevc" : ".h264");
  std::ofstream(std::string(folder) + "\\" + file, std::ios::binary) << stream;
  const char* profile = av1 ? "Main" : hevc ? (bitDepth > 8 ? "Main_10" : "Main") : "High";
  std::ofstream(std::string(folder) + "\\streams.txt", std::ios::app)
      << file << " " << (av1 ? "av1" : hevc ? "hevc" : "h264") << " " << profile << " "
      << (bitDepth > 8 ? "yuv420p10le" : "yuv420p") << " " << count << "\n";
}

// The video stream as the muxer received it: the null encoder's H.264, HEVC
// or AV1 stream, one coded picture a frame in decode order, each with its
// 32-byte record after kRecordTag. Checks that frames 0..count-1 each appear
// once, with their own picture and time stamp.
void CheckVideoStream(const std::string& stream, int count, int bitDepth = 8, mfxU32 codec = MFX_CODEC_AVC) {
  KeepStream(stream, count, bitDepth, codec);
  const std::string bytes = codec == MFX_CODEC_AV1 ? stream : Unescaped(stream);
  const std::string tag(kRecordTag, 16);
  std::vector<int> seen(static_cast<size_t>(count), 0);
  bool blocksGood = true, picturesGood = true, stampsGood = true, ordersGood = true, keyFirst = false;
  int records = 0;
  for (size_t at = bytes.find(tag); at != std::string::npos; at = bytes.find(tag, at + 1)) {
    const size_t record = at + tag.size();
    if (record + 32 > bytes.size() || bytes.compare(record, 8, "MFXSNULL") != 0 || Le(bytes, record + 28, 4) != 32) {
      blocksGood = false;
      continue;
    }
    if (records++ == 0) keyFirst = (Le(bytes, record + 12, 2) & MFX_FRAMETYPE_I) != 0;
    uint32_t order = Le(bytes, record + 8, 4);
    if (order >= static_cast<uint32_t>(count)) {
      ordersGood = false;
      continue;
    }
    ++seen[order];
    auto stamp = static_cast<uint64_t>(static_cast<double>(order) * g_host.scale / g_host.rate * 90000);
    if (Le64(bytes, record + 16) != stamp) stampsGood = false;
    if (Le(bytes, record + 24, 4) != ExpectedChecksum(static_cast<int>(order), bitDepth)) picturesGood = false;
  }
  for (int n : seen) {
    if (n != 1) ordersGood = false;
  }
  CHECK_EQ(records, count);
  CHECK(blocksGood);
  CHECK(ordersGood);
  CHECK(stampsGood);
  CHECK(picturesGood);
  CHECK(keyFirst);  // the stream opens with a key frame
}

// The WAV file the encoder received: the 44-byte header and every sample.
void CheckWav(const std::string& wav) {
  const uint32_t dataSize = static_cast<uint32_t>(g_host.samples) * g_host.channels * 2;
  CHECK_EQ(wav.size(), 44 + static_cast<size_t>(dataSize));
  if (wav.size() < 44) return;
  CHECK(wav.compare(0, 4, "RIFF") == 0 && wav.compare(8, 8, "WAVEfmt ") == 0 && wav.compare(36, 4, "data") == 0);
  CHECK_EQ(Le(wav, 4, 4), 36 + dataSize);
  CHECK_EQ(Le(wav, 16, 4), 16u);
  CHECK_EQ(Le(wav, 20, 2), 1u);  // PCM
  CHECK_EQ(Le(wav, 22, 2), static_cast<uint32_t>(g_host.channels));
  CHECK_EQ(Le(wav, 24, 4), static_cast<uint32_t>(g_host.audioRate));
  CHECK_EQ(Le(wav, 28, 4), static_cast<uint32_t>(g_host.audioRate * g_host.channels * 2));
  CHECK_EQ(Le(wav, 32, 2), static_cast<uint32_t>(g_host.channels * 2));
  CHECK_EQ(Le(wav, 34, 2), 16u);
  CHECK_EQ(Le(wav, 40, 4), dataSize);
  CHECK(wav.size() == 44 + dataSize && std::memcmp(wav.data() + 44, g_samples.data(), dataSize) == 0);
}

// ---- Running one job ----

struct Folders {
  std::string temp;    // the settings' temporary folder, with its backslash
  std::string record;  // where the fakes write what they received
  std::string save;    // the MP4 file the host asks for
};

std::string g_work;
OutputPluginTable* g_table = nullptr;
std::string g_encoder, g_muxer;

Folders PrepareJob(const std::string& name, const Job& job, const char* faults) {
  g_job = name;
  Folders folders;
  std::string base = g_work + "\\" + name;
  CreateDirectoryA(base.c_str(), nullptr);
  // Blanks in every path: each must reach the programs as one argument.
  folders.temp = base + "\\temp files\\";
  folders.record = base + "\\records";
  std::string out = base + "\\out dir";
  CreateDirectoryA(folders.temp.c_str(), nullptr);
  CreateDirectoryA(folders.record.c_str(), nullptr);
  CreateDirectoryA(out.c_str(), nullptr);
  folders.save = out + "\\my movie.mp4";

  SetEnv("TARVO_FAKE_RECORD_DIR", folders.record.c_str());
  SetEnv("TARVO_FAKE_KEEP_INPUTS", "1");
  SetEnv("MFXSOFT_ENCODER", "null");
  SetEnv("MFXSOFT_ADAPTERS", "1");
  SetEnv("MFXSOFT_FAULTS", faults);
  SetEnv("MFXSOFT_RUNTIME", g_runtimeKind.c_str());
  g_runtimesLoaded.clear();

  g_host = job;
  g_framesRead = 0;
  g_lastFrame = -1;
  g_framesInOrder = true;
  g_requests.clear();
  g_samples.resize(static_cast<size_t>(job.samples) * job.channels);
  for (int i = 0; i < job.samples; ++i) {
    for (int c = 0; c < job.channels; ++c) g_samples[static_cast<size_t>(i) * job.channels + c] = Sample(i, c);
  }
  return folders;
}

SettingData Settings(const Folders& folders) {
  SettingData s{};
  s.version = kSettingVersion;
  s.codec = MFX_CODEC_AVC;
  s.bitDepth = 8;
  s.hardwareImpl = MFX_IMPL_HARDWARE;
  s.codecProfile = MFX_PROFILE_AVC_HIGH;
  s.codecLevel = MFX_LEVEL_AVC_41;
  s.targetUsage = MFX_TARGETUSAGE_BALANCED;
  s.rateControl = MFX_RATECONTROL_VBR;
  s.targetKbps = 1400;
  s.maxKbps = 2000;
  s.aacProfile = 2;
  s.aacKbps = 96;
  std::snprintf(s.aacEncoderPath, sizeof s.aacEncoderPath, "%s", g_encoder.c_str());
  std::snprintf(s.muxerPath, sizeof s.muxerPath, "%s", g_muxer.c_str());
  std::snprintf(s.tempFolder, sizeof s.tempFolder, "%s", folders.temp.c_str());
  return s;
}

// Runs one export as the editor does; the message boxes it shows are read
// and dismissed, and returned in *boxes.
int32_t RunExport(const Folders& folders, SettingData settings, WatchResult* boxes, int32_t extraFlags = 0) {
  CHECK_EQ(g_table->configSet(&settings, sizeof settings), static_cast<int32_t>(sizeof settings));
  OutputInfo info{};
  info.flag = (g_host.audio ? kOutputInfoFlagAudio : 0) | extraFlags;
  info.width = g_host.width;
  info.height = g_host.height;
  info.rate = g_host.rate;
  info.scale = g_host.scale;
  info.frameCount = g_host.frames;
  info.frameBytes = ((g_host.width * 3 + 3) & ~3) * g_host.height;
  info.audioRate = g_host.audioRate;
  info.audioChannels = g_host.channels;
  info.audioSampleCount = g_host.audio ? g_host.samples : 0;
  info.audioSampleBytes = g_host.channels * 2;
  std::string save = folders.save;
  info.saveFile = save.data();
  info.getVideo = GetVideo;
  info.getAudio = GetAudio;
  info.isAbort = IsAbort;
  info.showRestTime = ShowRestTime;
  info.getFlag = GetFlag;
  info.updatePreview = UpdatePreview;
  info.getVideoEx = GetVideoEx;
  // A hung export fails the run instead of stalling it.
  BoxWatcher watcher(240000);
  int32_t result = g_table->output(&info);
  *boxes = watcher.Finish();
  return result;
}

// The one message of a refused export, shown the plug-in's way: the first
// line as it always was, then the cause, which starts with `cause`.
void CheckRefusalBox(const WatchResult& boxes, const std::string& cause) {
  CHECK_EQ(boxes.count, 1);
  const std::string firstLine = "Invalid encode parameter.\n";
  CHECK_EQ(boxes.first.text.substr(0, firstLine.size()), firstLine);
  CHECK_EQ(boxes.first.text.substr(firstLine.size(), cause.size()), cause);
  CHECK(boxes.first.warningIcon);
  CHECK(boxes.first.okOnly);
  CHECK(!boxes.first.hasOwner);
}

// The encoder's command line and its split; returns the WAV and AAC paths.
// The text begins with the first switch, not with the program, so the C
// runtime takes "-2pass" for argv[0].
void CheckEncoderRecord(const Record& encoder, const Folders& folders, std::string* wav, std::string* aac) {
  CHECK(encoder.present);
  if (!encoder.present) return;
  const std::vector<std::string>& argv = encoder.argv;
  CHECK_EQ(argv.size(), 8u);
  if (argv.size() != 8) {
    std::printf("  encoder command line: %s\n", encoder.commandLine.c_str());
    return;
  }
  CHECK_EQ(argv[0], "-2pass");
  CHECK_EQ(argv[1], "-br");
  CHECK_EQ(argv[2], "96000");
  CHECK_EQ(argv[3], "-he");
  CHECK_EQ(argv[4], "-if");
  CHECK_EQ(argv[6], "-of");
  *wav = argv[5];
  *aac = argv[7];
  CHECK(IsTempName(*wav, folders.temp, "wav"));
  CHECK(IsTempName(*aac, folders.temp, "aac"));
  CHECK_EQ(encoder.commandLine, "-2pass -br 96000 -he -if \"" + *wav + "\" -of \"" + *aac + "\"");
}

// The muxer's command line and its split; returns the video stream's path.
// The text begins with a blank, so argv[0] is empty and every switch arrives.
std::string CheckMuxerRecord(const Record& muxer, const Folders& folders, const std::string& fps,
                             const std::string& aac, const char* extension = "h264") {
  CHECK(muxer.present);
  if (!muxer.present) return {};
  const std::vector<std::string>& argv = muxer.argv;
  size_t expected = aac.empty() ? 5 : 7;
  CHECK_EQ(argv.size(), expected);
  if (argv.size() != expected) {
    std::printf("  muxer command line: %s\n", muxer.commandLine.c_str());
    return {};
  }
  CHECK_EQ(argv[0], "");
  CHECK_EQ(argv[1], "-add");
  const std::string videoSuffix = "#video:fps=" + fps;
  std::string video;
  if (argv[2].size() > videoSuffix.size() &&
      argv[2].compare(argv[2].size() - videoSuffix.size(), std::string::npos, videoSuffix) == 0) {
    video = argv[2].substr(0, argv[2].size() - videoSuffix.size());
  }
  CHECK(IsTempName(video, folders.temp, extension));
  std::string expectedLine = " -add \"" + video + "\"" + videoSuffix;
  if (!aac.empty()) {
    CHECK_EQ(argv[3], "-add");
    CHECK_EQ(argv[4], aac + "#audio");
    expectedLine += " -add \"" + aac + "\"#audio";
  }
  CHECK_EQ(argv[expected - 2], "-new");
  // The muxer writes a sibling of the output, moved over it when done.
  CHECK(IsMuxerSibling(argv[expected - 1], folders.save));
  expectedLine += " -new \"" + argv[expected - 1] + "\"";
  CHECK_EQ(muxer.commandLine, expectedLine);
  return video;
}

void CheckNoTemporaryFiles(const Folders& folders) {
  std::vector<std::string> left = FolderEntries(folders.temp.substr(0, folders.temp.size() - 1));
  CHECK_EQ(left.size(), 0u);
  for (const std::string& name : left) std::printf("  left behind: %s\n", name.c_str());
}

void ExportWithAudio(const char* runtime) {
  Job job;
  Folders folders = PrepareJob("audio-and-video", job, "");
  WatchResult boxes;
  CHECK_EQ(RunExport(folders, Settings(folders), &boxes), 1);
  CHECK_EQ(boxes.count, 0);
  CHECK_EQ(g_runtimesLoaded, runtime);
  CHECK(g_framesInOrder);
  CHECK_EQ(g_framesRead, job.frames);
  if (!g_framesInOrder || g_framesRead != job.frames) std::printf("  frames asked for:%s\n", g_requests.c_str());

  std::string wav, aac;
  CheckEncoderRecord(ReadRecord(folders.record + "\\neroAacEnc.cmdline"), folders, &wav, &aac);
  CheckMuxerRecord(ReadRecord(folders.record + "\\MP4Box.cmdline"), folders, "30", aac);
  CheckWav(ReadFile(folders.record + "\\neroAacEnc.input1"));
  // The muxer's first input is the video stream; the fake also copied it, after an MP4 header, to the MP4 path.
  std::string stream = ReadFile(folders.record + "\\MP4Box.input1");
  CheckVideoStream(stream, job.frames);
  CHECK(ReadFile(folders.save) == kFakeMp4Header + stream);
  CheckNoTemporaryFiles(folders);
}

// A picture of odd size through the RGB4 input: rows of 1923 bytes padded to
// 1924 in the host's images, 4 bytes a pixel in the runtime's.
void ExportOddSize(const char* runtime) {
  Job job;
  job.width = 641;
  job.height = 359;
  job.frames = 14;
  job.audio = false;
  Folders folders = PrepareJob("odd-size", job, "");
  WatchResult boxes;
  CHECK_EQ(RunExport(folders, Settings(folders), &boxes), 1);
  CHECK_EQ(boxes.count, 0);
  CHECK_EQ(g_runtimesLoaded, runtime);
  CheckVideoStream(ReadFile(folders.record + "\\MP4Box.input1"), job.frames);
  CheckNoTemporaryFiles(folders);
}

// Direct3D 9 asked for in the settings reaches the VPL runtime as it is,
// which has no such device: the export is refused like any other set-up.
void RefusedDirect3D9() {
  Job job;
  Folders folders = PrepareJob("refused-d3d9", job, "");
  SettingData settings = Settings(folders);
  settings.hardwareImpl = MFX_IMPL_HARDWARE | MFX_IMPL_VIA_D3D9;
  WatchResult boxes;
  CHECK_EQ(RunExport(folders, settings, &boxes), 0);
  CheckRefusalBox(boxes, "MFXInit answered MFX_ERR_UNSUPPORTED for HARDWARE|VIA_D3D9");
  CHECK_EQ(g_framesRead, 0);
  CheckNoTemporaryFiles(folders);
}

void ExportVideoOnly(const char* runtime) {
  Job job;
  job.audio = false;
  job.rate = 30000;
  job.scale = 1001;
  job.frames = 17;
  Folders folders = PrepareJob("video-only", job, "");
  WatchResult boxes;
  CHECK_EQ(RunExport(folders, Settings(folders), &boxes), 1);
  CHECK_EQ(boxes.count, 0);
  CHECK_EQ(g_runtimesLoaded, runtime);
  CHECK(!Exists(folders.record + "\\neroAacEnc.cmdline"));  // no encoder started
  CheckMuxerRecord(ReadRecord(folders.record + "\\MP4Box.cmdline"), folders, "29.97", "");
  CheckVideoStream(ReadFile(folders.record + "\\MP4Box.input1"), job.frames);
  CheckNoTemporaryFiles(folders);
}

// HEVC and AV1 in 8 and 10 bits: the stream goes to the muxer in a file of
// the codec's extension, on the command line it always had, with the
// pictures converted to the depth (P010 from the 10-bit VPP). The Media SDK
// runtime has no AV1 encoder: the user is told which GPUs have one.
void ExportCodecs(const char* runtime, bool av1) {
  struct Case {
    mfxU32 codec;
    int bitDepth;
    mfxU16 profile;
    const char* extension;
  };
  const Case cases[] = {{MFX_CODEC_HEVC, 8, MFX_PROFILE_HEVC_MAIN, "hevc"},
                        {MFX_CODEC_HEVC, 10, MFX_PROFILE_HEVC_MAIN10, "hevc"},
                        {MFX_CODEC_AV1, 8, MFX_PROFILE_AV1_MAIN, "obu"},
                        {MFX_CODEC_AV1, 10, MFX_PROFILE_AV1_MAIN, "obu"}};
  for (const Case& c : cases) {
    Job job;
    job.audio = false;
    job.frames = 13;
    Folders folders = PrepareJob(std::string(c.extension) + "-" + std::to_string(c.bitDepth), job, "");
    SettingData settings = Settings(folders);
    settings.codec = static_cast<int32_t>(c.codec);
    settings.bitDepth = c.bitDepth;
    settings.codecProfile = c.profile;
    settings.codecLevel = MFX_LEVEL_UNKNOWN;
    WatchResult boxes;
    if (c.codec == MFX_CODEC_AV1 && !av1) {
      CHECK_EQ(RunExport(folders, settings, &boxes), 0);
      CheckRefusalBox(boxes, "This runtime does not encode AV1 Main in " + std::to_string(c.bitDepth) +
                                 " bits; AV1 needs an Intel Arc");
      CHECK_EQ(g_framesRead, 0);
      CheckNoTemporaryFiles(folders);
      continue;
    }
    CHECK_EQ(RunExport(folders, settings, &boxes), 1);
    CHECK_EQ(boxes.count, 0);
    CHECK_EQ(g_runtimesLoaded, runtime);
    CheckMuxerRecord(ReadRecord(folders.record + "\\MP4Box.cmdline"), folders, "30", "", c.extension);
    CheckVideoStream(ReadFile(folders.record + "\\MP4Box.input1"), job.frames, c.bitDepth, c.codec);
    CheckNoTemporaryFiles(folders);
  }
}

void AbortDuringVideo() {
  Job job;
  job.frames = 60;
  job.abortAfter = 12;
  Folders folders = PrepareJob("abort", job, "");
  // A cancel is no failure (nonzero, no message) and leaves nothing: no
  // muxer run, no MP4, no temporary file, the AAC encoder ended.
  WatchResult boxes;
  CHECK_EQ(RunExport(folders, Settings(folders), &boxes), 1);
  CHECK_EQ(boxes.count, 0);
  CHECK_EQ(g_framesRead, job.abortAfter);
  CHECK(Exists(folders.record + "\\neroAacEnc.cmdline"));
  CHECK(!Exists(folders.record + "\\MP4Box.cmdline"));
  CHECK(!Exists(folders.save));
  CheckNoTemporaryFiles(folders);
}

void RefusedTrialSetUp() {
  Job job;
  Folders folders = PrepareJob("refused", job, "");
  // The second adapter does not exist: the trial set-up fails at MFXInit.
  SettingData settings = Settings(folders);
  settings.hardwareImpl = MFX_IMPL_HARDWARE2;
  WatchResult boxes;
  CHECK_EQ(RunExport(folders, settings, &boxes), 0);
  CheckRefusalBox(boxes, "MFXInit answered MFX_ERR_UNSUPPORTED for HARDWARE2");
  CHECK_EQ(g_framesRead, 0);
  CHECK(!Exists(folders.record + "\\neroAacEnc.cmdline"));
  CHECK(!Exists(folders.record + "\\MP4Box.cmdline"));
  CHECK(!Exists(folders.save));
  CheckNoTemporaryFiles(folders);

  // During AviUtl's batch output the failure shows no box: nobody would
  // dismiss it, and the batch would stop there.
  folders = PrepareJob("refused-in-batch", job, "");
  CHECK_EQ(RunExport(folders, settings, &boxes, kOutputInfoFlagBatch), 0);
  CHECK_EQ(boxes.count, 0);
  CheckNoTemporaryFiles(folders);

  // The same for parameters the encoder refuses.
  folders = PrepareJob("refused-by-encoder", job, "enc_init=-15");
  CHECK_EQ(RunExport(folders, Settings(folders), &boxes), 0);
  CheckRefusalBox(boxes, "MFXVideoENCODE_Init answered MFX_ERR_INVALID_VIDEO_PARAM");
  CHECK(!Exists(folders.record + "\\neroAacEnc.cmdline"));
  CheckNoTemporaryFiles(folders);
}

void MissingMuxer() {
  Job job;
  job.frames = 8;
  Folders folders = PrepareJob("missing-muxer", job, "");
  SettingData settings = Settings(folders);
  std::snprintf(settings.muxerPath, sizeof settings.muxerPath, "%s\\nowhere\\MP4Box.exe", g_work.c_str());
  // Found before the first frame, and said in one line naming the program.
  WatchResult boxes;
  CHECK_EQ(RunExport(folders, settings, &boxes), 0);
  CHECK_EQ(boxes.count, 1);
  CHECK_EQ(boxes.first.text, std::string("MP4 muxer not found: ") + settings.muxerPath);
  CHECK(boxes.first.warningIcon);
  CHECK(!Exists(folders.record + "\\neroAacEnc.cmdline"));
  CHECK_EQ(g_framesRead, 0);
  CHECK(!Exists(folders.save));
  CheckNoTemporaryFiles(folders);
}

// Loads the plug-in at `path` and takes its table; false when it cannot.
bool LoadPlugin(const std::string& path, HMODULE* module) {
  *module = LoadLibraryA(path.c_str());
  if (*module == nullptr) {
    std::printf("FAILED: cannot load %s (%lu)\n", path.c_str(), GetLastError());
    return false;
  }
  auto get = reinterpret_cast<GetOutputPluginTableFunc>(
      reinterpret_cast<void*>(GetProcAddress(*module, "GetOutputPluginTable")));
  g_table = get != nullptr ? get() : nullptr;
  if (g_table == nullptr || g_table->output == nullptr || g_table->configSet == nullptr) {
    std::printf("FAILED: no plug-in table in %s\n", path.c_str());
    return false;
  }
  return true;
}

// The release zip holds tarvo-aac.exe and tarvo-mux.exe: put beside the
// plug-in, they serve an export whose settings name no programs; entered
// paths stay. Each fake keeps its record in its own folder (no record
// folder set), which tells which copy ran.
void ProgramsBesideThePlugin(const std::string& built) {
  g_job = "programs beside the plug-in";
  const std::string folder = g_work + "\\AviUtl plugins";
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string plugin = folder + "\\Tarvo_output.auo";
  CHECK(CopyFileA(built.c_str(), plugin.c_str(), FALSE));
  CHECK(CopyFileA(g_encoder.c_str(), (folder + "\\tarvo-aac.exe").c_str(), FALSE));
  CHECK(CopyFileA(g_muxer.c_str(), (folder + "\\tarvo-mux.exe").c_str(), FALSE));
  HMODULE module = nullptr;
  CHECK(LoadPlugin(plugin, &module));
  if (module == nullptr || g_table == nullptr) return;
  const std::string tools = g_encoder.substr(0, g_encoder.rfind('\\'));
  const struct {
    const char* name;
    bool entered;
    const std::string& ranIn;
    const std::string& notIn;
  } cases[] = {
      {"beside: no paths entered", false, folder, tools},
      {"beside: entered paths stay", true, tools, folder},
  };
  for (const auto& c : cases) {
    Job job;
    job.frames = 8;
    Folders folders = PrepareJob(c.name, job, "");
    SetEnv("TARVO_FAKE_RECORD_DIR", nullptr);
    SetEnv("TARVO_FAKE_KEEP_INPUTS", nullptr);
    SettingData settings = Settings(folders);
    if (!c.entered) {
      std::memset(settings.aacEncoderPath, 0, sizeof settings.aacEncoderPath);
      std::memset(settings.muxerPath, 0, sizeof settings.muxerPath);
    }
    WatchResult boxes;
    CHECK_EQ(RunExport(folders, settings, &boxes), 1);
    CHECK_EQ(boxes.count, 0);
    CHECK(Exists(c.ranIn + "\\neroAacEnc.cmdline") && Exists(c.ranIn + "\\MP4Box.cmdline"));
    CHECK(!Exists(c.notIn + "\\neroAacEnc.cmdline") && !Exists(c.notIn + "\\MP4Box.cmdline"));
    CHECK(Exists(folders.save));
    CheckNoTemporaryFiles(folders);
    for (const std::string* place : {&folder, &tools}) {
      for (const char* record : {"\\neroAacEnc.cmdline", "\\MP4Box.cmdline"}) DeleteFileA((*place + record).c_str());
    }
  }
  FreeLibrary(module);
}

void RemoveTree(const std::string& folder) {
  for (const std::string& name : FolderEntries(folder)) {
    std::string path = folder + "\\" + name;
    if (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
      RemoveTree(path);
    } else {
      DeleteFileA(path.c_str());
    }
  }
  RemoveDirectoryA(folder.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 5 ? argv[4] : "";
  if ((argc != 4 && argc != 5) || (argc == 5 && mode != "--vpl" && mode != "--both")) {
    std::fprintf(stderr,
                 "usage: export_e2e <Tarvo_output.auo> <fake neroAacEnc.exe> <fake MP4Box.exe> [--vpl | --both]\n");
    return 2;
  }
  if (!mode.empty()) g_runtimeKind = "vpl";

  std::string plugin = WindowsPath(argv[1]);
  g_encoder = WindowsPath(argv[2]);
  g_muxer = WindowsPath(argv[3]);
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  g_work = std::string(temp) + "tarvo-e2e-" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(g_work.c_str(), nullptr);

  HMODULE module = nullptr;
  if (!LoadPlugin(plugin, &module)) return 1;

  if (mode.empty()) {
    ExportWithAudio("libmfxhw32.dll");
    ExportVideoOnly("libmfxhw32.dll");
    ExportCodecs("libmfxhw32.dll", false);
    AbortDuringVideo();
    RefusedTrialSetUp();
    MissingMuxer();
  } else if (mode == "--vpl") {
    ExportWithAudio("libmfx32-gen.dll");
    ExportOddSize("libmfx32-gen.dll");
    ExportCodecs("libmfx32-gen.dll", true);
    AbortDuringVideo();
    RefusedDirect3D9();
  } else {
    ExportVideoOnly("libmfx32-gen.dll");  // and libmfxhw32.dll not loaded at all
  }

  FreeLibrary(module);
  // A copy of the plug-in of the same name, loaded once the first is gone.
  if (mode.empty()) ProgramsBesideThePlugin(plugin);
  if (g_failed == 0) RemoveTree(g_work);
  std::printf("export_e2e%s: %d passed, %d failed\n", mode.empty() ? "" : ("_" + mode.substr(2)).c_str(), g_passed,
              g_failed);
  std::fflush(stdout);
  return g_failed == 0 ? 0 : 1;
}
