// CWinApp: a module's application object. Each module (EXE or DLL) that
// uses the framework holds at most one, as a static; constructing it makes
// it the module's AfxGetApp().
//   DLL: when the module is attached its InitInstance runs (from DllMain,
//   under the loader lock); FALSE makes the load fail. ExitInstance runs
//   when it is detached.
//   EXE: WinMain (AfxWinMain) runs InitInstance, then Run (the message loop
//   up to WM_QUIT) and ExitInstance, whose result is the exit code.
// Thread safety: the module's loading thread (DLL) or main thread (EXE).
// Ownership: the object is the module's static; m_pMainWnd is not owned.
#pragma once

#include "platform/mfc/cmd_target.h"

class CWnd;

class CWinApp : public CCmdTarget {
 public:
  explicit CWinApp(const char* lpszAppName = nullptr);
  ~CWinApp() override;
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  virtual BOOL InitInstance();
  // The message loop (dialog keys go to m_pMainWnd); ends at WM_QUIT and
  // returns ExitInstance().
  virtual int Run();
  // The exit code: WM_QUIT's wParam after Run, else 0.
  virtual int ExitInstance();

  HINSTANCE m_hInstance = nullptr;
  const char* m_pszAppName;
  CWnd* m_pMainWnd = nullptr;
  int m_nCmdShow = SW_SHOWNORMAL;

 protected:
  int exitCode_ = 0;
};

// The EXE's start: the module's application object through InitInstance,
// Run and ExitInstance. The library's WinMain calls it (an EXE pulls that
// WinMain in by linking the library whole or with -Wl,-u,_WinMain@16), or
// the EXE's own WinMain does.
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);
