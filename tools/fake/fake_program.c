/* Recording stand-in for neroAacEnc.exe and MP4Box.exe in the Windows tests
 * (no FFmpeg there). Built twice: FAKE_ENCODER for the AAC encoder, otherwise
 * the muxer.
 *
 * Each run writes a record, "<folder>\<name>.cmdline" where <folder> is
 * %TARVO_FAKE_RECORD_DIR% or, when that is unset, the program's own folder:
 *   line 1:  the command line exactly as GetCommandLineA returns it
 *   then:    "argc=N", one "argv[i]=..." line per argument as the C runtime
 *            split it, from 0 (the plug-in's lines do not start with the
 *            program, so the runtime takes their first word for argv[0]),
 *            "console=none" or "console=yes", and for each input file
 *            ("-if X", "-add X#...") "input=X size=N" (-1: missing).
 * Then it writes its output file: the encoder copies the WAV file after -if to
 * the path after -of; the muxer copies the file of the "#video" track (or, with
 * none, the "#audio" one) to the path after -new. %TARVO_FAKE_NO_OUTPUT% skips
 * that; %TARVO_FAKE_EXIT% sets the exit code (default 0). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#ifdef FAKE_ENCODER
static const char kName[] = "neroAacEnc";
#else
static const char kName[] = "MP4Box";
#endif

/* The file part of an -add argument: everything before the last '#'. */
static void TrackFile(const char* argument, char* file, size_t size) {
    const char* hash = strrchr(argument, '#');
    size_t length = hash != NULL ? (size_t)(hash - argument) : strlen(argument);
    if (length >= size) length = size - 1;
    memcpy(file, argument, length);
    file[length] = '\0';
}

static long long FileSize(const char* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return -1;
    return ((long long)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

static FILE* OpenRecord(void) {
    char path[MAX_PATH * 2];
    const char* folder = getenv("TARVO_FAKE_RECORD_DIR");
    if (folder != NULL && folder[0] != '\0') {
        snprintf(path, sizeof path, "%s\\%s.cmdline", folder, kName);
    } else {
        char self[MAX_PATH];
        DWORD length = GetModuleFileNameA(NULL, self, sizeof self);
        if (length == 0 || length >= sizeof self) return NULL;
        char* slash = strrchr(self, '\\');
        if (slash != NULL) *slash = '\0';
        snprintf(path, sizeof path, "%s\\%s.cmdline", self, kName);
    }
    return fopen(path, "wb");
}

int main(int argc, char** argv) {
    char input[MAX_PATH * 2] = "";
    const char* output = NULL;
    FILE* record = OpenRecord();
    if (record == NULL) return 100;
    fprintf(record, "%s\n", GetCommandLineA());
    fprintf(record, "argc=%d\n", argc);
    for (int i = 0; i < argc; ++i) fprintf(record, "argv[%d]=%s\n", i, argv[i]);
    fprintf(record, "console=%s\n", GetConsoleWindow() == NULL ? "none" : "yes");
    for (int i = 1; i + 1 < argc; ++i) {
        char file[MAX_PATH * 2];
        if (strcmp(argv[i], "-if") == 0 || strcmp(argv[i], "-add") == 0) {
            TrackFile(argv[i + 1], file, sizeof file);
            fprintf(record, "input=%s size=%lld\n", file, FileSize(file));
            int video = strstr(argv[i + 1], "#video") != NULL;
            if (input[0] == '\0' || video) snprintf(input, sizeof input, "%s", file);
        } else if (strcmp(argv[i], "-of") == 0 || strcmp(argv[i], "-new") == 0) {
            output = argv[i + 1];
        }
    }
    fclose(record);

    const char* exitText = getenv("TARVO_FAKE_EXIT");
    int exitCode = exitText != NULL ? atoi(exitText) : 0;
    if (getenv("TARVO_FAKE_NO_OUTPUT") != NULL || output == NULL) return exitCode;
    if (input[0] == '\0' || !CopyFileA(input, output, FALSE)) {
        /* Still leave an output, as a muxer given a missing input might not. */
        FILE* empty = fopen(output, "wb");
        if (empty == NULL) return 101;
        fclose(empty);
    }
    return exitCode;
}
