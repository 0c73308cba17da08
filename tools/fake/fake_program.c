/* Recording stand-in for neroAacEnc.exe and MP4Box.exe in the Windows tests
 * (no FFmpeg there). Built twice: FAKE_ENCODER for the AAC encoder, otherwise
 * the muxer.
 *
 * Each run writes a record, "<folder>\<name>.cmdline" where <folder> is
 * %TARVO_FAKE_RECORD_DIR% or, when that is unset, the program's own folder:
 *   line 1:  the command line exactly as GetCommandLineA returns it (in the
 *            64-bit build, FAKE_UTF8: GetCommandLineW in UTF-8)
 *   then:    "argc=N", one "argv[i]=..." line per argument as the C runtime
 *            split it, from 0 (the plug-in's lines do not start with the
 *            program, so the runtime takes their first word for argv[0]),
 *            "console=none" or "console=yes", and for each input file
 *            ("-if X", "-add X#...") "input=X size=N" (-1: missing).
 * Then it writes its output file: 8 bytes that start an MP4 file (an empty
 * "ftyp" box), then for the encoder a copy of the WAV file after -if (to the
 * path after -of), for the muxer one of the file of the "#video" track (or,
 * with none, the "#audio" one; to the path after -new). %TARVO_FAKE_NO_OUTPUT% skips
 * that; %TARVO_FAKE_EXIT% sets the exit code (default 0). With
 * %TARVO_FAKE_KEEP_INPUTS% set, each input file is also copied beside the
 * record as "<name>.input1", "<name>.input2", ... in argument order, so a test
 * can read what the program got after the plug-in deleted its temporary files.
 * Files are reached through the wide calls, so any path works; the record's
 * texts are in the ANSI code page, or UTF-8 with FAKE_UTF8. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

#ifdef FAKE_ENCODER
static const wchar_t kName[] = L"neroAacEnc";
#else
static const wchar_t kName[] = L"MP4Box";
#endif

#ifdef FAKE_UTF8
#define RECORD_CODE_PAGE CP_UTF8
#else
#define RECORD_CODE_PAGE CP_ACP
#endif

/* `text` in the record's code page; valid until the next call. */
static const char* Narrow(const wchar_t* text) {
    static char out[MAX_PATH * 8];
    if (WideCharToMultiByte(RECORD_CODE_PAGE, 0, text, -1, out, sizeof out, NULL, NULL) == 0) out[0] = '\0';
    return out;
}

/* The file part of an -add argument: everything before the last '#'. */
static void TrackFile(const wchar_t* argument, wchar_t* file, size_t size) {
    const wchar_t* hash = wcsrchr(argument, L'#');
    size_t length = hash != NULL ? (size_t)(hash - argument) : wcslen(argument);
    if (length >= size) length = size - 1;
    memcpy(file, argument, length * sizeof(wchar_t));
    file[length] = L'\0';
}

static long long FileSize(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return -1;
    return ((long long)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

/* The folder of the record: %TARVO_FAKE_RECORD_DIR%, else the program's own. */
static int RecordFolder(wchar_t* folder, size_t size) {
    const wchar_t* configured = _wgetenv(L"TARVO_FAKE_RECORD_DIR");
    if (configured != NULL && configured[0] != L'\0') {
        _snwprintf(folder, size, L"%ls", configured);
        folder[size - 1] = L'\0';
        return 1;
    }
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 0;
    wchar_t* slash = wcsrchr(self, L'\\');
    if (slash != NULL) *slash = L'\0';
    _snwprintf(folder, size, L"%ls", self);
    folder[size - 1] = L'\0';
    return 1;
}

/* `output` becomes `header` followed by the bytes of `input`. */
static int WriteCopy(const wchar_t* input, const wchar_t* output, const char* header, size_t headerSize) {
    FILE* from = _wfopen(input, L"rb");
    if (from == NULL) return 0;
    FILE* to = _wfopen(output, L"wb");
    if (to == NULL) {
        fclose(from);
        return 0;
    }
    int ok = fwrite(header, 1, headerSize, to) == headerSize;
    char buffer[65536];
    size_t got;
    while (ok && (got = fread(buffer, 1, sizeof buffer, from)) > 0) ok = fwrite(buffer, 1, got, to) == got;
    fclose(from);
    return fclose(to) == 0 && ok;
}

static FILE* OpenRecord(const wchar_t* folder) {
    wchar_t path[MAX_PATH * 2];
    _snwprintf(path, MAX_PATH * 2, L"%ls\\%ls.cmdline", folder, kName);
    path[MAX_PATH * 2 - 1] = L'\0';
    return _wfopen(path, L"wb");
}

int wmain(int argc, wchar_t** argv) {
    wchar_t input[MAX_PATH * 2] = L"";
    const wchar_t* output = NULL;
    wchar_t folder[MAX_PATH];
    if (!RecordFolder(folder, MAX_PATH)) return 100;
    FILE* record = OpenRecord(folder);
    if (record == NULL) return 100;
    int kept = 0;
    fprintf(record, "%s\n", Narrow(GetCommandLineW()));
    fprintf(record, "argc=%d\n", argc);
    for (int i = 0; i < argc; ++i) fprintf(record, "argv[%d]=%s\n", i, Narrow(argv[i]));
    fprintf(record, "console=%s\n", GetConsoleWindow() == NULL ? "none" : "yes");
    for (int i = 1; i + 1 < argc; ++i) {
        wchar_t file[MAX_PATH * 2];
        if (wcscmp(argv[i], L"-if") == 0 || wcscmp(argv[i], L"-add") == 0) {
            TrackFile(argv[i + 1], file, MAX_PATH * 2);
            fprintf(record, "input=%s size=%lld\n", Narrow(file), FileSize(file));
            if (_wgetenv(L"TARVO_FAKE_KEEP_INPUTS") != NULL) {
                wchar_t copy[MAX_PATH * 2];
                _snwprintf(copy, MAX_PATH * 2, L"%ls\\%ls.input%d", folder, kName, ++kept);
                copy[MAX_PATH * 2 - 1] = L'\0';
                CopyFileW(file, copy, FALSE);
            }
            int video = wcsstr(argv[i + 1], L"#video") != NULL;
            if (input[0] == L'\0' || video) _snwprintf(input, MAX_PATH * 2, L"%ls", file);
        } else if (wcscmp(argv[i], L"-of") == 0 || wcscmp(argv[i], L"-new") == 0) {
            output = argv[i + 1];
        }
    }
    fclose(record);

    const char* exitText = getenv("TARVO_FAKE_EXIT");
    int exitCode = exitText != NULL ? atoi(exitText) : 0;
    if (getenv("TARVO_FAKE_NO_OUTPUT") != NULL || output == NULL) return exitCode;
    /* Both outputs start like the MP4 files the real programs write. */
    static const char kHeader[] = "\0\0\0\x08" "ftyp";
    if (input[0] == L'\0' || !WriteCopy(input, output, kHeader, sizeof kHeader - 1)) {
        /* Still leave an output, as a muxer given a missing input might not. */
        FILE* empty = _wfopen(output, L"wb");
        if (empty == NULL) return 101;
        fclose(empty);
    }
    return exitCode;
}
