// Zintal.dll's registration with the framework as an extension library:
// loading the DLL registers it (its module, resources and run-time classes),
// a failed registration fails the load, and unloading unregisters it.
// DllMain (zintal_module_win32.cpp) calls these; the tests call them too.
// Thread safety: the loader's thread, under the loader lock.
// Ownership: the registration entry belongs to the framework's chain until
// ZintalModuleDetach.
#pragma once

#include "platform/mfc/ext_module.h"

namespace zintal {

// AfxInitExtensionModule, then a new CDynLinkLibrary; false when either fails.
bool ZintalModuleAttach(AFX_EXTENSION_MODULE& state, HMODULE module);
// AfxTermExtensionModule.
void ZintalModuleDetach(AFX_EXTENSION_MODULE& state);

}  // namespace zintal
