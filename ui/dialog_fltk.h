// The settings dialog on FLTK: the Win32 template's layout with dialog units
// mapped to pixels. Exposed for the tests that drive the real window.
#pragma once

namespace fltk_dialog {

// Pixels per dialog unit, both directions, at kFontSize.
inline constexpr int kPixelsPerUnit = 2;
inline constexpr int kFontSize = 13;

// Every control's user_data() holds its template id; labels and group boxes
// hold -1. The message box of the video test is a window of its own whose
// user_data() is kMessageBoxTag.
inline constexpr long kMessageBoxTag = 0x7e57;

// Opens the X display for FLTK unless it is open. False when there is none:
// FLTK itself would end the process then.
bool OpenDisplay();

}  // namespace fltk_dialog
