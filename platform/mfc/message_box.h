// AfxMessageBox: the framework's message box, titled with the application's
// name, for a text or for a string resource of this module.
// Thread safety: any thread (the box is modal to nothing but itself).
// Ownership: nothing.
#pragma once

#include "platform/mfc/mfc_types.h"

int AfxMessageBox(const char* text, UINT nType = MB_OK, UINT nIDHelp = 0);
// The text of string resource `nIDPrompt` (empty when the module lacks it).
int AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK, UINT nIDHelp = static_cast<UINT>(-1));
