#include "platform/mfc/message_box.h"

#include "platform/mfc/c_string.h"
#include "platform/mfc/win_app.h"
#include "platform/mfc/wnd.h"

int AfxMessageBox(const char* text, UINT nType, UINT) {
  CWinApp* app = AfxGetApp();
  const char* title = app != nullptr && app->m_pszAppName != nullptr ? app->m_pszAppName : "";
  HWND owner =
      app != nullptr && app->m_pMainWnd != nullptr ? app->m_pMainWnd->GetSafeHwnd() : nullptr;
  return ::MessageBoxA(owner, text != nullptr ? text : "", title, nType);
}

int AfxMessageBox(UINT nIDPrompt, UINT nType, UINT nIDHelp) {
  CString text;
  text.LoadString(nIDPrompt);
  return AfxMessageBox(text.GetString(), nType, nIDHelp);
}
