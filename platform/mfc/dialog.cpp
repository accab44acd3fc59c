#include "platform/mfc/dialog.h"

CDialog::~CDialog() {
  if (m_hWnd == nullptr || !::IsWindow(m_hWnd)) return;
  HWND h = m_hWnd;
  // Only the owning thread can destroy the window. Elsewhere (a module
  // unloading on another thread) the window is left inert: no way back to
  // this object and no dialog procedure, whose code may be about to go with
  // the module; the owning thread hides it.
  if (!::DestroyWindow(h) && ::IsWindow(h)) {
    ::SetWindowLongPtrA(h, DWLP_USER, 0);
    ::SetWindowLongPtrA(h, DWLP_DLGPROC, 0);
    ::ShowWindowAsync(h, SW_HIDE);
    Detach();
  }
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd) {
  if (m_hWnd != nullptr) return FALSE;
  if (nIDTemplate != 0) m_nIDHelp = nIDTemplate;
  if (pParentWnd != nullptr) parent_ = pParentWnd;
  HWND h = ::CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDHelp),
                                parent_ != nullptr ? parent_->GetSafeHwnd() : nullptr,
                                &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
  return h != nullptr ? TRUE : FALSE;
}

INT_PTR CDialog::DoModal() {
  if (m_hWnd != nullptr) return -1;
  return ::DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDHelp),
                           parent_ != nullptr ? parent_->GetSafeHwnd() : nullptr,
                           &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

void CDialog::EndDialog(int nResult) {
  Q_CHECK_WINDOW_THREAD();
  if (m_hWnd != nullptr) ::EndDialog(m_hWnd, nResult);
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::OnCmdMsg(UINT nID, int nCode) {
  if (CWnd::OnCmdMsg(nID, nCode)) return TRUE;
  if (nCode != BN_CLICKED) return FALSE;
  if (nID == IDOK) {
    OnOK();
    return TRUE;
  }
  if (nID == IDCANCEL) {
    OnCancel();
    return TRUE;
  }
  return FALSE;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* dlg = reinterpret_cast<CDialog*>(lParam);
    ::SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
    dlg->AttachPermanent(hWnd);
    return dlg->OnInitDialog();
  }
  // Messages before WM_INITDIALOG (WM_SETFONT) have no object yet.
  auto* dlg = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hWnd, DWLP_USER));
  if (dlg == nullptr) return FALSE;
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrA(hWnd, DWLP_USER, 0);
    dlg->Detach();
    dlg->PostNcDestroy();
    return FALSE;
  }
  LRESULT result = 0;
  if (!dlg->OnWndMsg(message, wParam, lParam, &result)) return FALSE;
  ::SetWindowLongPtrA(hWnd, DWLP_MSGRESULT, result);
  return TRUE;
}
