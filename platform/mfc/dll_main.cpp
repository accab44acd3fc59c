// The DLL entry of the framework (a regular DLL's behaviour): the C runtime
// has constructed the module's statics, among them its application object;
// attaching runs its InitInstance, detaching its ExitInstance. A DLL without
// an application object loads as it would without the framework. The C
// runtime's start-up of each DLL calls DllMain, so a DLL that links this
// library gets this one unless it defines its own.
#include "platform/mfc/module_state.h"
#include "platform/mfc/win_app.h"

namespace {
bool g_instanceStarted = false;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) return TRUE;
    app->m_hInstance = hInstance;
    if (!app->InitInstance()) {
      app->ExitInstance();
      AfxTermModule(false);
      return FALSE;
    }
    g_instanceStarted = true;
  } else if (reason == DLL_PROCESS_DETACH) {
    CWinApp* app = AfxGetApp();
    if (app != nullptr && g_instanceStarted) app->ExitInstance();
    g_instanceStarted = false;
    AfxTermModule(reserved != nullptr);
  }
  return TRUE;
}
