#include "plugin2/log_message.h"

namespace {

const char kContinued[] = "... ";
constexpr size_t kContinuedUnits = sizeof kContinued - 1;

// The length of the UTF-8 sequence at `at` and the UTF-16 units it becomes;
// a byte that starts no whole sequence is one byte and one unit (U+FFFD).
void NextCharacter(const std::string& text, size_t at, size_t* bytes, size_t* units) {
    const auto lead = static_cast<unsigned char>(text[at]);
    size_t length = lead < 0x80                   ? 1
                    : lead >= 0xC2 && lead < 0xE0 ? 2
                    : lead >= 0xE0 && lead < 0xF0 ? 3
                    : lead >= 0xF0 && lead < 0xF5 ? 4
                                                  : 0;
    for (size_t i = 1; i < length; ++i) {
        if (at + i >= text.size() || (static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) length = 0;
    }
    *bytes = length == 0 ? 1 : length;
    *units = length == 4 ? 2 : 1;
}

}  // namespace

std::vector<std::string> SplitLogMessage(const std::string& line, size_t maxUnits) {
    std::vector<std::string> pieces(1);
    // No room for more than the mark: nothing sensible fits, so the line
    // goes whole rather than in endless pieces.
    if (maxUnits <= kContinuedUnits + 1) {
        pieces[0] = line;
        return pieces;
    }
    size_t units = 0;
    for (size_t at = 0; at < line.size();) {
        size_t bytes;
        size_t characterUnits;
        NextCharacter(line, at, &bytes, &characterUnits);
        if (units + characterUnits > maxUnits) {
            pieces.emplace_back(kContinued);
            units = kContinuedUnits;
        }
        pieces.back().append(line, at, bytes);
        units += characterUnits;
        at += bytes;
    }
    return pieces;
}
