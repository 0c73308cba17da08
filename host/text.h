// Texts between the plug-in (system code page: Shift-JIS) and the terminal.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace host {

// Converts Shift-JIS (code page 932) to UTF-8. Bytes that do not convert are
// shown as \xNN escapes, so nothing is lost from view.
std::string ShiftJisToUtf8(const std::string& text);

// Reads a filter list: NUL-terminated description and pattern texts, ended by
// an empty text. Reads at most `maxPairs` pairs; a description without a
// pattern gets an empty one.
std::vector<std::pair<std::string, std::string>> ReadFilterList(const char* list, size_t maxPairs = 64);

}  // namespace host
