#include "platform/message.h"

#include <windows.h>

#include "platform/utf16_win32.h"

namespace platform {

#ifdef TARVO_UTF8_PATHS
void ShowWarning(const char* text) {
    MessageBoxW(nullptr, Utf8ToWide(text).c_str(), nullptr, MB_OK | MB_ICONWARNING);
}
#else
void ShowWarning(const char* text) { MessageBoxA(nullptr, text, nullptr, MB_OK | MB_ICONWARNING); }
#endif

}  // namespace platform
