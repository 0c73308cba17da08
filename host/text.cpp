#include "host/text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iconv.h>

namespace host {

std::string ShiftJisToUtf8(const std::string& text) {
    iconv_t converter = iconv_open("UTF-8", "CP932");
    if (converter == reinterpret_cast<iconv_t>(-1)) converter = iconv_open("UTF-8", "SHIFT_JIS");
    std::string out;
    size_t done = 0;
    while (done < text.size()) {
        char buffer[256];
        char* in = const_cast<char*>(text.data() + done);
        size_t inLeft = text.size() - done;
        char* next = buffer;
        size_t outLeft = sizeof buffer;
        size_t result = converter == reinterpret_cast<iconv_t>(-1)
                            ? (errno = EILSEQ, static_cast<size_t>(-1))
                            : iconv(converter, &in, &inLeft, &next, &outLeft);
        out.append(buffer, next);
        done = text.size() - inLeft;
        if (result == static_cast<size_t>(-1) && errno != E2BIG) {
            // An invalid or cut-off sequence: show the byte and go on after it.
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(text[done]));
            out += escape;
            ++done;
        }
    }
    if (converter != reinterpret_cast<iconv_t>(-1)) iconv_close(converter);
    return out;
}

std::vector<std::pair<std::string, std::string>> ReadFilterList(const char* list, size_t maxPairs) {
    std::vector<std::pair<std::string, std::string>> pairs;
    if (list == nullptr) return pairs;
    while (*list != '\0' && pairs.size() < maxPairs) {
        std::string description = list;
        list += description.size() + 1;
        std::string pattern = list;
        if (!pattern.empty()) list += pattern.size() + 1;
        pairs.emplace_back(std::move(description), std::move(pattern));
    }
    return pairs;
}

}  // namespace host
