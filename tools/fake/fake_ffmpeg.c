/* Recording stand-in for ffmpeg.exe, for tarvo-aac and tarvo-mux under Wine.
 *
 * Each run writes "<own folder>\ffmpeg.record" in UTF-8:
 *   "argc=N", then one "argv[i]=..." line per argument as CommandLineToArgvW
 *   splits the wide command line (argv[0] included), "pid=N", and, when its
 *   arguments hold "pipe:0", "stdin=N" (bytes read from standard input, also
 *   kept as "ffmpeg.stdin" beside the record).
 * Then it acts as %TARVO_FAKE_FFMPEG% says on its output file (its last
 * argument without "file:"):
 *   ok (default)  writes "fakeftyp output" there (it starts like an MP4,
 *                 the type box second), exit 0
 *   fail          writes part of it, two lines on standard error, exit 3
 *   nooutput      writes nothing, exit 0
 *   hang          writes part of it, then waits to be ended */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>
#include <shellapi.h>

static void WriteUtf8(HANDLE file, const wchar_t* text) {
    char buffer[8192];
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, NULL, NULL);
    DWORD written;
    if (size > 1) WriteFile(file, buffer, (DWORD)(size - 1), &written, NULL);
}

static void WriteAscii(HANDLE file, const char* text) {
    DWORD written;
    WriteFile(file, text, (DWORD)strlen(text), &written, NULL);
}

static void WriteOutput(const wchar_t* path, const char* content) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    WriteAscii(file, content);
    CloseHandle(file);
}

int main(void) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    wchar_t folder[MAX_PATH * 4];
    DWORD length = GetModuleFileNameW(NULL, folder, MAX_PATH * 4);
    while (length > 0 && folder[length - 1] != L'\\') --length;
    folder[length] = L'\0';

    wchar_t path[MAX_PATH * 4 + 32];
    swprintf(path, sizeof path / sizeof path[0], L"%lsffmpeg.record", folder);
    HANDLE record = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, 0, NULL);
    char line[64];
    snprintf(line, sizeof line, "argc=%d\n", argc);
    WriteAscii(record, line);
    int fromPipe = 0;
    for (int i = 0; i < argc; ++i) {
        snprintf(line, sizeof line, "argv[%d]=", i);
        WriteAscii(record, line);
        WriteUtf8(record, argv[i]);
        WriteAscii(record, "\n");
        if (wcscmp(argv[i], L"pipe:0") == 0) fromPipe = 1;
    }
    snprintf(line, sizeof line, "pid=%lu\n", (unsigned long)GetCurrentProcessId());
    WriteAscii(record, line);
    if (fromPipe) {
        swprintf(path, sizeof path / sizeof path[0], L"%lsffmpeg.stdin", folder);
        HANDLE copy = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        char buffer[65536];
        DWORD got, written;
        long long total = 0;
        while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, NULL) && got > 0) {
            WriteFile(copy, buffer, got, &written, NULL);
            total += got;
        }
        CloseHandle(copy);
        snprintf(line, sizeof line, "stdin=%lld\n", total);
        WriteAscii(record, line);
    }
    CloseHandle(record);

    const wchar_t* output = argc > 1 ? argv[argc - 1] : L"";
    if (wcsncmp(output, L"file:", 5) == 0) output += 5;
    const char* mode = getenv("TARVO_FAKE_FFMPEG");
    if (mode == NULL) mode = "ok";
    if (strcmp(mode, "ok") == 0) {
        WriteOutput(output, "fakeftyp output");
    } else if (strcmp(mode, "fail") == 0) {
        WriteOutput(output, "fake");
        fputs("first complaint\nlast words\n", stderr);
        return 3;
    } else if (strcmp(mode, "hang") == 0) {
        WriteOutput(output, "fake");
        Sleep(INFINITE);
    }
    return 0;
}
