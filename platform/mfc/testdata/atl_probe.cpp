// Runs from a folder that also holds a planted atl.dll (testdata/planted_atl.c)
// and is its own current directory: asks CWnd to host a control, which makes
// the framework load atl.dll, and reports through its exit code which one came.
//   0: the system's atl.dll   2: another one (the planted one)   3: none
#include <cstdio>
#include <cstring>

#include <objbase.h>

#include "platform/mfc/wnd.h"

int main() {
  // Any class id: atl.dll is loaded before the control is made.
  static const CLSID kWebBrowser = {
      0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
  CWnd host;
  const RECT rect = {0, 0, 10, 10};
  host.CreateControl(kWebBrowser, nullptr, 0, rect, nullptr, 1);
  host.DestroyWindow();

  HMODULE atl = GetModuleHandleA("atl.dll");
  if (atl == nullptr) return 3;
  char loaded[MAX_PATH] = "";
  char system[MAX_PATH] = "";
  GetModuleFileNameA(atl, loaded, MAX_PATH);
  GetSystemDirectoryA(system, MAX_PATH);
  std::strncat(system, "\\atl.dll", MAX_PATH - std::strlen(system) - 1);
  std::printf("atl.dll: %s\n", loaded);
  return _stricmp(loaded, system) == 0 ? 0 : 2;
}
