// A picture of a window's client area as the screen shows it, saved as a
// 24-bit BMP file: the script mode's snapshot step. The window must not be
// covered (the scripted lobby keeps to the bottom of the screen, away from
// the consoles the games open at the top).
// Thread safety: the window's own thread.
#pragma once

#include <string>

#include "platform/mfc/mfc_types.h"

namespace korvel {

// False when the window cannot be read or the file cannot be written.
bool SaveWindowSnapshot(HWND window, const std::string& path);

}  // namespace korvel
