// tarvo-aac.exe and tarvo-mux.exe under Wine, with a recording fake
// ffmpeg.exe beside them in a folder with a Unicode name: the plug-in's own
// command texts (no program name in them) come in as a wide command line,
// ffmpeg gets exactly the arguments meant, by its full path; exit codes, the
// failure line, the output deleted on failure, the search (beside, PATH,
// never the current folder), and ffmpeg ending with the program when the
// plug-in ends it.
// Usage: fftools_wine <tarvo-aac.exe> <tarvo-mux.exe> <fake ffmpeg.exe> <video.h264 with 12 frames>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "audio/audio_export.h"
#include "audio/mux.h"
#include "audio/run_process.h"
#include "check.h"
#include "windows_path.h"

namespace {

std::wstring Wide(const std::string& text) {
    int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), length);
    wide.pop_back();
    return wide;
}

std::string ReadAll(const std::string& path) {
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string content;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) content.append(buffer, got);
    CloseHandle(file);
    return content;
}

bool Exists(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }
void Remove(const std::string& path) { DeleteFileW(Wide(path).c_str()); }
void Copy(const std::string& from, const std::string& to) { CopyFileW(Wide(from).c_str(), Wide(to).c_str(), FALSE); }

void SetEnv(const char* name, const std::string& value) {
    SetEnvironmentVariableW(Wide(name).c_str(), value.empty() ? nullptr : Wide(value).c_str());
}

struct Run {
    DWORD exitCode = 0xFFFFFFFF;
    std::string errors;  // standard error
};

// Starts `program` the way the plug-in starts its programs: the program by
// its path, the command text alone as the command line, no window. Runs in
// `folder` when given. Waits for it unless `started` takes the process.
Run Start(const std::string& program, const std::string& text, const std::string& folder = "",
          HANDLE* started = nullptr) {
    Run run;
    static int runs = 0;
    std::string errorsFile = program + "." + std::to_string(++runs) + ".stderr";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE errors = CreateFileW(Wide(errorsFile).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdError = errors;
    PROCESS_INFORMATION info = {};
    std::wstring line = Wide(text);
    BOOL ok = CreateProcessW(Wide(program).c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                             folder.empty() ? nullptr : Wide(folder).c_str(), &startup, &info);
    CloseHandle(errors);
    if (!ok) return run;
    CloseHandle(info.hThread);
    if (started != nullptr) {
        *started = info.hProcess;
        return run;
    }
    if (WaitForSingleObject(info.hProcess, 60000) != WAIT_OBJECT_0) TerminateProcess(info.hProcess, 99);
    GetExitCodeProcess(info.hProcess, &run.exitCode);
    CloseHandle(info.hProcess);
    run.errors = ReadAll(errorsFile);
    while (!run.errors.empty() && (run.errors.back() == '\n' || run.errors.back() == '\r')) run.errors.pop_back();
    return run;
}

// The fake's record: its argument lines, in order, and the other fields.
struct Record {
    std::vector<std::string> argv;
    std::string pid, stdinBytes;
};

Record ReadRecord(const std::string& folder) {
    Record record;
    std::istringstream lines(ReadAll(folder + "\\ffmpeg.record"));
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("argv[", 0) == 0) record.argv.push_back(line.substr(line.find("]=") + 2));
        if (line.rfind("pid=", 0) == 0) record.pid = line.substr(4);
        if (line.rfind("stdin=", 0) == 0) record.stdinBytes = line.substr(6);
    }
    return record;
}

// Deletes a folder with everything in it.
void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(Wide(folder + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            char utf8[MAX_PATH * 4];
            WideCharToMultiByte(CP_UTF8, 0, name.c_str(), -1, utf8, sizeof utf8, nullptr, nullptr);
            std::string path = folder + "\\" + utf8;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                DeleteFileW(Wide(path).c_str());
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryW(Wide(folder).c_str());
}

std::vector<std::string> Head() { return {"-nostdin", "-hide_banner", "-nostats", "-loglevel", "error", "-y"}; }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::printf("usage: fftools_wine <tarvo-aac.exe> <tarvo-mux.exe> <fake ffmpeg.exe> <video.h264>\n");
        return 2;
    }
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    wchar_t tempW[MAX_PATH];
    GetTempPathW(MAX_PATH, tempW);
    char temp[MAX_PATH * 4];
    WideCharToMultiByte(CP_UTF8, 0, tempW, -1, temp, sizeof temp, nullptr, nullptr);
    std::string root = std::string(temp) + "tarvo ツール é " + std::to_string(GetCurrentProcessId());
    std::string bin = root + "\\道具 bin";
    CreateDirectoryW(Wide(root).c_str(), nullptr);
    CreateDirectoryW(Wide(bin).c_str(), nullptr);
    std::string aac = bin + "\\tarvo-aac.exe", mux = bin + "\\tarvo-mux.exe", ffmpeg = bin + "\\ffmpeg.exe";
    Copy(WindowsPath(argv[1]), aac);
    Copy(WindowsPath(argv[2]), mux);
    Copy(WindowsPath(argv[3]), ffmpeg);
    std::string video = root + "\\映像 #1.h264";
    Copy(WindowsPath(argv[4]), video);
    SetEnv("PATH", "C:\\windows\\system32;C:\\windows");

    std::string wav = root + "\\音声 ファイル.wav", m4a = root + "\\音声 ファイル.aac";
    std::string mp4 = root + "\\出力 (final).mp4";

    check::Group("tarvo-aac: the plug-in's encoder line");
    SetEnv("TARVO_FAKE_FFMPEG", "ok");
    Run run = Start(aac, AacEncoderCommandLine(2, 96, wav.c_str(), m4a.c_str()));
    CHECK_EQ(run.exitCode, 0ul);
    CHECK_EQ(run.errors, std::string("tarvo-aac: -he asked, writing AAC LC (FFmpeg's encoder makes LC only)"));
    std::vector<std::string> expected = {ffmpeg};
    for (const std::string& word : Head()) expected.push_back(word);
    for (const char* word : {"-f", "wav", "-i"}) expected.push_back(word);
    expected.push_back("file:" + wav);
    for (const char* word : {"-map", "0:a:0", "-c:a", "aac", "-profile:a", "aac_low", "-b:a", "96000", "-f", "ipod"}) {
        expected.push_back(word);
    }
    expected.push_back("file:" + m4a);
    Record record = ReadRecord(bin);
    CHECK(record.argv == expected);
    CHECK_EQ(record.argv.size(), expected.size());
    for (size_t i = 0; i < record.argv.size() && i < expected.size(); ++i) CHECK_EQ(record.argv[i], expected[i]);
    CHECK_EQ(ReadAll(m4a), std::string("fakeftyp output"));

    check::Group("tarvo-aac: ffmpeg fails");
    Remove(m4a);
    SetEnv("TARVO_FAKE_FFMPEG", "fail");
    run = Start(aac, AacEncoderCommandLine(1, 128, wav.c_str(), m4a.c_str()));
    CHECK_EQ(run.exitCode, 1ul);
    CHECK_EQ(run.errors, std::string("tarvo-aac: ffmpeg exited with code 3: last words"));
    CHECK(!Exists(m4a));

    check::Group("tarvo-aac: ffmpeg writes nothing");
    SetEnv("TARVO_FAKE_FFMPEG", "nooutput");
    run = Start(aac, AacEncoderCommandLine(1, 128, wav.c_str(), m4a.c_str()));
    CHECK_EQ(run.exitCode, 1ul);
    CHECK_EQ(run.errors, std::string("tarvo-aac: ffmpeg wrote no output file"));

    check::Group("tarvo-mux: the plug-in's muxer line, video through standard input");
    SetEnv("TARVO_FAKE_FFMPEG", "ok");
    Copy(ffmpeg, m4a);  // any file serves as the audio
    run = Start(mux, MuxerCommandLine(mp4.c_str(), 30000.0 / 1001.0, video.c_str(), m4a.c_str()));
    CHECK_EQ(run.exitCode, 0ul);
    CHECK_EQ(run.errors, std::string());
    expected = {ffmpeg};
    for (const std::string& word : Head()) expected.push_back(word);
    for (const char* word : {"-f", "mpegts", "-i", "pipe:0", "-i"}) expected.push_back(word);
    expected.push_back("file:" + m4a);
    for (const char* word : {"-map", "0:v:0", "-map", "1:a:0", "-c", "copy", "-video_track_timescale", "30000",
                             "-movflags", "+faststart", "-f", "mp4"}) {
        expected.push_back(word);
    }
    expected.push_back("file:" + mp4);
    record = ReadRecord(bin);
    CHECK_EQ(record.argv.size(), expected.size());
    for (size_t i = 0; i < record.argv.size() && i < expected.size(); ++i) CHECK_EQ(record.argv[i], expected[i]);
    // The transport stream: whole packets, one picture starting in each of 12.
    std::string ts = ReadAll(bin + "\\ffmpeg.stdin");
    CHECK_EQ(record.stdinBytes, std::to_string(ts.size()));
    CHECK(!ts.empty() && ts.size() % 188 == 0);
    int pictures = 0;
    for (size_t at = 0; at + 188 <= ts.size(); at += 188) {
        if (ts[at] != 0x47) break;
        if ((ts[at + 1] & 0x40) && (ts[at + 1] & 0x1F) == 0x01 && ts[at + 2] == 0x00) ++pictures;
    }
    CHECK_EQ(pictures, 12);
    CHECK_EQ(ReadAll(mp4), std::string("fakeftyp output"));

    check::Group("tarvo-mux: ffmpeg fails, the MP4 goes");
    Remove(mp4);
    SetEnv("TARVO_FAKE_FFMPEG", "fail");
    run = Start(mux, MuxerCommandLine(mp4.c_str(), 25.0, video.c_str(), nullptr));
    CHECK_EQ(run.exitCode, 1ul);
    CHECK_EQ(run.errors, std::string("tarvo-mux: ffmpeg exited with code 3: last words"));
    CHECK(!Exists(mp4));

    check::Group("tarvo-mux: a file that was there stays");
    std::string kept = root + "\\kept.mp4";
    Copy(ffmpeg, kept);
    run = Start(mux, MuxerCommandLine(kept.c_str(), 25.0, video.c_str(), nullptr));
    CHECK_EQ(run.exitCode, 1ul);
    CHECK(Exists(kept));

    check::Group("search: never the current folder, then PATH");
    std::string lone = root + "\\lone", other = root + "\\other ffmpeg";
    CreateDirectoryW(Wide(lone).c_str(), nullptr);
    CreateDirectoryW(Wide(other).c_str(), nullptr);
    Copy(WindowsPath(argv[1]), lone + "\\tarvo-aac.exe");
    Copy(ffmpeg, other + "\\ffmpeg.exe");
    SetEnv("TARVO_FAKE_FFMPEG", "ok");
    run = Start(lone + "\\tarvo-aac.exe", AacEncoderCommandLine(1, 128, wav.c_str(), m4a.c_str()), bin);
    CHECK_EQ(run.exitCode, 1ul);
    CHECK_EQ(run.errors, std::string("tarvo-aac: ffmpeg not found: put ffmpeg.exe beside tarvo-aac or in a folder on PATH"));
    SetEnv("PATH", "C:\\windows\\system32;.;\"" + other + "\"");
    Remove(other + "\\ffmpeg.record");
    run = Start(lone + "\\tarvo-aac.exe", AacEncoderCommandLine(1, 128, wav.c_str(), m4a.c_str()), bin);
    CHECK_EQ(run.exitCode, 0ul);
    record = ReadRecord(other);
    CHECK(!record.argv.empty() && record.argv[0] == other + "\\ffmpeg.exe");
    SetEnv("PATH", "C:\\windows\\system32;C:\\windows");

    check::Group("cancel: ending tarvo-aac ends ffmpeg");
    Remove(bin + "\\ffmpeg.record");
    SetEnv("TARVO_FAKE_FFMPEG", "hang");
    HANDLE process = nullptr;
    Start(aac, AacEncoderCommandLine(1, 128, wav.c_str(), m4a.c_str()), "", &process);
    CHECK(process != nullptr);
    for (int i = 0; i < 200 && ReadRecord(bin).pid.empty(); ++i) Sleep(50);
    DWORD pid = std::strtoul(ReadRecord(bin).pid.c_str(), nullptr, 10);
    HANDLE child = pid != 0 ? OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid) : nullptr;
    CHECK(child != nullptr);
    if (process != nullptr) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 10000);
        CloseHandle(process);
    }
    if (child != nullptr) {
        bool ended = WaitForSingleObject(child, 10000) == WAIT_OBJECT_0;
        CHECK(ended);
        if (!ended) TerminateProcess(child, 1);
        CloseHandle(child);
    }

    check::Group("the plug-in's own start (CreateProcessA) and checks");
    std::string plain = std::string(temp) + "tarvo-plain-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryW(Wide(plain).c_str(), nullptr);
    for (const char* name : {"tarvo-aac.exe", "tarvo-mux.exe", "ffmpeg.exe"}) Copy(bin + "\\" + name, plain + "\\" + name);
    std::string plainVideo = plain + "\\v #1.h264";
    Copy(video, plainVideo);
    SetEnv("TARVO_FAKE_FFMPEG", "ok");
    std::string plainAac = plain + "\\a b.aac", plainMp4 = plain + "\\out put.mp4";
    std::string text = AacEncoderCommandLine(1, 128, (plain + "\\a b.wav").c_str(), plainAac.c_str());
    platform::Process encoder(RunProcess((plain + "\\tarvo-aac.exe").c_str(), text.c_str()));
    CHECK(WaitAacEncoder(encoder, "").done());
    CHECK(Exists(plainAac));
    CHECK(MuxMp4((plain + "\\tarvo-mux.exe").c_str(), plainMp4.c_str(), 24000.0 / 1001.0, plainVideo.c_str(),
                 plainAac.c_str())
              .done());
    record = ReadRecord(plain);
    CHECK(record.argv.size() > 20 && record.argv[20] == "24000");  // -video_track_timescale
    SetEnv("TARVO_FAKE_FFMPEG", "fail");
    Remove(plainMp4);
    CHECK(MuxMp4((plain + "\\tarvo-mux.exe").c_str(), plainMp4.c_str(), 25.0, plainVideo.c_str(), nullptr).failed());
    CHECK(!Exists(plainMp4));

    SetEnv("TARVO_FAKE_FFMPEG", "");
    RemoveTree(plain);
    RemoveTree(root);
    CHECK(!Exists(root));
    return check::Summary("fftools_wine");
}
