#include "audio/command_text.h"

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
