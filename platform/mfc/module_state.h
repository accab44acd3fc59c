// The framework's state of this module: its application object and whether
// its start-up ran. One per module, because each module links its own copy
// of this library (see README.md).
// Thread safety: written while the module loads (constructors, DllMain or
// WinMain), read afterwards.
// Ownership: the application object is the module's static; never freed here.
#pragma once

#include "platform/mfc/mfc_types.h"

struct AfxModuleState {
  CWinApp* app = nullptr;
  bool socketsUp = false;  // AfxSocketInit succeeded: WSACleanup at the end
};

AfxModuleState& AfxGetModuleState();

// The module's end: ExitInstance has run; releases what the framework took.
void AfxTermModule(bool processEnding);
