#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform.h"

namespace q_platform {

uint32_t TickCountMs() { return ::GetTickCount(); }

void DebugOutput(const char* text) {
  if (text != nullptr) ::OutputDebugStringA(text);
}

}  // namespace q_platform
