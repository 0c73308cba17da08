// Stands in for the AAC encoder and the muxer in tests: writes the arguments
// it received, one a line, to the file named by TARVO_RECORD, notes the size of
// the file after "-if" at its start, creates the file after "-of"/"-new"
// unless TARVO_NO_OUTPUT is set, and exits with TARVO_EXIT (default 0). The
// file after "-new" starts like an MP4 (an 8-byte "ftyp" box) unless
// TARVO_NOT_MP4 is set.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

int main(int argc, char** argv) {
    const char* recordPath = std::getenv("TARVO_RECORD");
    if (recordPath != nullptr) {
        std::FILE* record = std::fopen(recordPath, "w");
        if (record == nullptr) return 100;
        for (int i = 1; i < argc; ++i) std::fprintf(record, "%s\n", argv[i]);
        for (int i = 1; i + 1 < argc; ++i) {
            struct stat info;
            if (std::strcmp(argv[i], "-if") == 0) {
                std::fprintf(record, "input-size=%lld\n",
                             stat(argv[i + 1], &info) == 0 ? static_cast<long long>(info.st_size) : -1LL);
            }
        }
        std::fclose(record);
    }
    if (std::getenv("TARVO_NO_OUTPUT") == nullptr) {
        for (int i = 1; i + 1 < argc; ++i) {
            if (std::strcmp(argv[i], "-of") == 0 || std::strcmp(argv[i], "-new") == 0) {
                std::FILE* output = std::fopen(argv[i + 1], "w");
                if (output == nullptr) return 101;
                if (std::strcmp(argv[i], "-new") == 0 && std::getenv("TARVO_NOT_MP4") == nullptr) {
                    std::fwrite("\0\0\0\x08" "ftyp", 1, 8, output);
                }
                std::fputs("output", output);
                std::fclose(output);
            }
        }
    }
    const char* exitCode = std::getenv("TARVO_EXIT");
    return exitCode != nullptr ? std::atoi(exitCode) : 0;
}
