#include "platform/mfc/wnd.h"

#include <mutex>
#include <vector>

#include "platform/mfc/data_exchange.h"

namespace {

// The HWND -> wrapper map of this module's windows. Windows of one thread
// are looked up on that thread, but the map is shared by every thread of
// the module, hence the lock.
std::mutex& MapLock() {
  static std::mutex m;
  return m;
}
std::map<HWND, CWnd*>& Map() {
  static std::map<HWND, CWnd*> m;
  return m;
}

}  // namespace

bool CWnd::OnWindowThread() const {
  if (m_hWnd == nullptr) return true;
  DWORD process = 0;
  const DWORD thread = ::GetWindowThreadProcessId(m_hWnd, &process);
  return thread == 0 || process != ::GetCurrentProcessId() || thread == ::GetCurrentThreadId();
}

CWnd::~CWnd() {
  ReleaseControl();
  if (permanent_) DetachPermanent();
}

BOOL CWnd::Attach(HWND hWnd) {
  if (hWnd == nullptr || m_hWnd != nullptr) return FALSE;
  m_hWnd = hWnd;
  return TRUE;
}

HWND CWnd::Detach() {
  HWND h = m_hWnd;
  if (permanent_) DetachPermanent();
  m_hWnd = nullptr;
  children_.clear();
  return h;
}

void CWnd::AttachPermanent(HWND hWnd) {
  m_hWnd = hWnd;
  permanent_ = true;
  std::lock_guard<std::mutex> lock(MapLock());
  Map()[hWnd] = this;
}

void CWnd::DetachPermanent() {
  std::lock_guard<std::mutex> lock(MapLock());
  auto it = Map().find(m_hWnd);
  if (it != Map().end() && it->second == this) Map().erase(it);
  permanent_ = false;
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
  std::lock_guard<std::mutex> lock(MapLock());
  auto it = Map().find(hWnd);
  return it == Map().end() ? nullptr : it->second;
}

CWnd* CWnd::GetDlgItem(int nID) const {
  Q_CHECK_WINDOW_THREAD();
  HWND child = ::GetDlgItem(m_hWnd, nID);
  if (child == nullptr) return nullptr;
  std::unique_ptr<CWnd>& slot = children_[nID];
  if (!slot) slot.reset(new CWnd());
  slot->m_hWnd = child;
  return slot.get();
}

void CWnd::SetWindowText(const char* text) {
  Q_CHECK_WINDOW_THREAD();
  ::SetWindowTextA(m_hWnd, text != nullptr ? text : "");
}

int CWnd::GetWindowText(CString& text) const {
  Q_CHECK_WINDOW_THREAD();
  const int n = ::GetWindowTextLengthA(m_hWnd);
  if (n <= 0) {
    text.Empty();
    return 0;
  }
  std::vector<char> buf(static_cast<size_t>(n) + 1);
  const int got = ::GetWindowTextA(m_hWnd, buf.data(), n + 1);
  text = CString(buf.data(), got > 0 ? got : 0);
  return text.GetLength();
}

int CWnd::GetWindowTextLength() const { return ::GetWindowTextLengthA(m_hWnd); }

void CWnd::SetDlgItemText(int nID, const char* text) {
  Q_CHECK_WINDOW_THREAD();
  ::SetDlgItemTextA(m_hWnd, nID, text != nullptr ? text : "");
}

BOOL CWnd::EnableWindow(BOOL enable) {
  Q_CHECK_WINDOW_THREAD();
  return ::EnableWindow(m_hWnd, enable);
}
BOOL CWnd::IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
BOOL CWnd::ShowWindow(int nCmdShow) {
  Q_CHECK_WINDOW_THREAD();
  return ::ShowWindow(m_hWnd, nCmdShow);
}
BOOL CWnd::IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
void CWnd::SetFocus() {
  Q_CHECK_WINDOW_THREAD();
  ::SetFocus(m_hWnd);
}
void CWnd::UpdateWindow() {
  Q_CHECK_WINDOW_THREAD();
  ::UpdateWindow(m_hWnd);
}

BOOL CWnd::DestroyWindow() {
  Q_CHECK_WINDOW_THREAD();
  if (m_hWnd == nullptr) return FALSE;
  if (control_host_ != nullptr || control_dispatch_ != nullptr) {
    const BOOL destroyed = ::DestroyWindow(m_hWnd);
    if (destroyed) ReleaseControl();
    return destroyed;
  }
  return ::DestroyWindow(m_hWnd);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  Q_CHECK_WINDOW_THREAD();
  return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::PostMessageA(m_hWnd, message, wParam, lParam);
}

int CWnd::MessageBox(const char* text, const char* caption, UINT type) {
  Q_CHECK_WINDOW_THREAD();
  return ::MessageBoxA(m_hWnd, text, caption, type);
}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate) {
  Q_CHECK_WINDOW_THREAD();
  CDataExchange dx(this, bSaveAndValidate);
  DoDataExchange(&dx);
  return dx.Ok() ? TRUE : FALSE;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (OnWndMsg(message, wParam, lParam, &result)) return result;
  return DefWindowProc(message, wParam, lParam);
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (message == WM_COMMAND) {
    if (OnCommand(wParam, lParam)) {
      *pResult = 0;
      return TRUE;
    }
    return FALSE;
  }
  const AFX_MSGMAP_ENTRY* e = FindMessageEntry(message, 0, 0);
  if (e == nullptr || e->nSig != AfxSig_lwl) return FALSE;
  *pResult = (this->*(e->pfnW))(wParam, lParam);
  return TRUE;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
  return OnCmdMsg(LOWORD(wParam), HIWORD(wParam));
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}
