// Zintal.dll's entry (an extension library's): it takes the place of the
// framework's regular-DLL DllMain, as Zintal.dll has no application object.
#include "common_services/zintal_module.h"

namespace {
AFX_EXTENSION_MODULE g_zintal_module = {FALSE, nullptr, nullptr, nullptr};
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    return zintal::ZintalModuleAttach(g_zintal_module, instance) ? TRUE : FALSE;
  }
  if (reason == DLL_PROCESS_DETACH) zintal::ZintalModuleDetach(g_zintal_module);
  return TRUE;
}
