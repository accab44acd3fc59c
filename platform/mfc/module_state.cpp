#include "platform/mfc/module_state.h"

#include <winsock2.h>

AfxModuleState& AfxGetModuleState() {
  static AfxModuleState state;
  return state;
}

CWinApp* AfxGetApp() { return AfxGetModuleState().app; }

HINSTANCE AfxGetInstanceHandle() {
  // The module that holds this code: the EXE or the DLL this copy of the
  // library is linked into.
  HMODULE module = nullptr;
  ::GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&AfxGetModuleState), &module);
  return module;
}

HINSTANCE AfxGetResourceHandle() { return AfxGetInstanceHandle(); }

void AfxTermModule(bool processEnding) {
  AfxModuleState& state = AfxGetModuleState();
  // While the process ends the other threads are gone and Winsock goes with
  // the process; cleaning up then only risks the loader lock.
  if (state.socketsUp && !processEnding) ::WSACleanup();
  state.socketsUp = false;
}
