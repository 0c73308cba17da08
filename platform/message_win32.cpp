#include "platform/message.h"

#include <windows.h>

namespace platform {

void ShowWarning(const char* text) { MessageBoxA(nullptr, text, nullptr, MB_OK | MB_ICONWARNING); }

}  // namespace platform
