#include "platform/mfc/data_exchange.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/mfc/wnd.h"

HWND CDataExchange::PrepareCtrl(int nIDC) {
  if (m_pDlgWnd == nullptr) return nullptr;
  return ::GetDlgItem(m_pDlgWnd->GetSafeHwnd(), nIDC);
}

void CDataExchange::Fail(HWND control, const char* message) {
  if (failed_) return;
  failed_ = true;
  ::MessageBoxA(m_pDlgWnd != nullptr ? m_pDlgWnd->GetSafeHwnd() : nullptr, message, nullptr,
                MB_OK | MB_ICONEXCLAMATION);
  if (control != nullptr) ::SetFocus(control);
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& control) {
  if (control.GetSafeHwnd() != nullptr) return;
  HWND h = pDX->PrepareCtrl(nIDC);
  if (h != nullptr) control.Attach(h);
}

void DDX_Text(CDataExchange* pDX, int nIDC, int& value) {
  HWND h = pDX->PrepareCtrl(nIDC);
  if (h == nullptr) return;
  if (!pDX->m_bSaveAndValidate) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%d", value);
    ::SetWindowTextA(h, buf);
    return;
  }
  char buf[64] = {};
  ::GetWindowTextA(h, buf, sizeof buf);
  const char* p = buf;
  while (*p == ' ' || *p == '\t') ++p;
  char* end = nullptr;
  errno = 0;
  const long n = std::strtol(p, &end, 10);
  while (end != nullptr && (*end == ' ' || *end == '\t')) ++end;
  if (end == p || end == nullptr || *end != '\0' || errno == ERANGE || n < INT32_MIN ||
      n > INT32_MAX) {
    pDX->Fail(h, "Please enter an integer.");
    return;
  }
  value = static_cast<int>(n);
}

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value) {
  HWND h = pDX->PrepareCtrl(nIDC);
  if (h == nullptr) return;
  if (!pDX->m_bSaveAndValidate) {
    ::SetWindowTextA(h, value.GetString());
    return;
  }
  CWnd w;
  w.Attach(h);
  w.GetWindowText(value);
  w.Detach();
}
