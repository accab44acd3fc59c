/* A stranger's atl.dll, put beside atl_probe.exe: the control host must never
 * load it. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) { return TRUE; }
