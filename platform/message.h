// Messages for the user.
#pragma once

namespace platform {

// Shows a warning with no owner and no caption text (MessageBoxA with
// MB_OK | MB_ICONWARNING), returning once the user dismissed it. Elsewhere the
// text goes as one line, exactly as given, to standard error.
void ShowWarning(const char* text);

}  // namespace platform
