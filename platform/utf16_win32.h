// UTF-8 and UTF-16 for the Windows backends that take Unicode paths and
// texts (the 64-bit front end keeps every path in UTF-8; Windows takes them
// in UTF-16). Windows only.
#pragma once
#include <string>

namespace platform {

// The text converted; an invalid sequence becomes U+FFFD. Null gives "".
std::wstring Utf8ToWide(const char* text);
std::string WideToUtf8(const wchar_t* text);

}  // namespace platform
