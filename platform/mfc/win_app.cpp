#include "platform/mfc/win_app.h"

#include "platform/mfc/module_state.h"
#include "platform/mfc/wnd.h"

CWinApp::CWinApp(const char* lpszAppName) : m_pszAppName(lpszAppName) {
  AfxModuleState& state = AfxGetModuleState();
  // One application object a module: the first one constructed stays.
  if (state.app == nullptr) state.app = this;
  m_hInstance = AfxGetInstanceHandle();
}

CWinApp::~CWinApp() {
  AfxModuleState& state = AfxGetModuleState();
  if (state.app == this) state.app = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::Run() {
  MSG msg;
  for (;;) {
    const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      exitCode_ = static_cast<int>(msg.wParam);
      break;
    }
    if (got == -1) break;
    HWND main = m_pMainWnd != nullptr ? m_pMainWnd->GetSafeHwnd() : nullptr;
    if (main != nullptr && ::IsDialogMessageA(main, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  return ExitInstance();
}

int CWinApp::ExitInstance() { return exitCode_; }

int AfxWinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int nCmdShow) {
  CWinApp* app = AfxGetApp();
  if (app == nullptr) return -1;
  app->m_hInstance = hInstance;
  app->m_nCmdShow = nCmdShow;
  int code;
  if (!app->InitInstance()) {
    if (app->m_pMainWnd != nullptr) app->m_pMainWnd->DestroyWindow();
    code = app->ExitInstance();
  } else {
    code = app->Run();
  }
  AfxTermModule(false);
  return code;
}
