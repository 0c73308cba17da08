#include "audio/command_text.h"

#include <cstdio>
#include <cstring>
#include <locale>

namespace audio_detail {

std::ostringstream ClassicStream() {
    std::ostringstream stream;
    stream.imbue(std::locale::classic());
    return stream;
}

bool IsQuotablePath(const char* path) {
    if (path == nullptr) return false;
    size_t length = std::strlen(path);
    if (std::strchr(path, '"') != nullptr) return false;
    return length == 0 || path[length - 1] != '\\';
}

}  // namespace audio_detail

std::string ExitCodeText(uint32_t exitCode) {
    // A crash on Windows (an NTSTATUS) or a signal on POSIX (0x80000000 | n)
    // reads better in hexadecimal.
    if ((exitCode & 0x80000000u) == 0) return std::to_string(exitCode);
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(exitCode));
    return text;
}
