// CWnd: a window of the framework. It wraps an HWND, routes the window's
// messages through its message map (WM_COMMAND to OnCmdMsg, the rest to
// ON_MESSAGE entries) and exchanges data with child controls.
// Thread safety: a window belongs to the thread that created it; call its
// operations there. From other threads only PostMessage is safe.
// Ownership: a CWnd does not destroy its window in the destructor unless it
// created it; the child wrappers GetDlgItem hands out belong to the parent
// wrapper and live as long as it does.
#pragma once

#include <map>
#include <memory>

#include "platform/mfc/c_string.h"
#include "platform/mfc/cmd_target.h"

class CDataExchange;

class CWnd : public CCmdTarget {
 public:
  CWnd() = default;
  ~CWnd() override;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND m_hWnd = nullptr;

  HWND GetSafeHwnd() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }  // NOLINT: as MFC

  // Wraps an existing window without taking its life over.
  BOOL Attach(HWND hWnd);
  HWND Detach();

  // The wrapper of child `nID`, owned by this wrapper; null when no such child.
  CWnd* GetDlgItem(int nID) const;

  void SetWindowText(const char* text);
  int GetWindowText(CString& text) const;
  int GetWindowTextLength() const;
  void SetDlgItemText(int nID, const char* text);
  BOOL EnableWindow(BOOL enable = TRUE);
  BOOL IsWindowEnabled() const;
  BOOL ShowWindow(int nCmdShow);
  BOOL IsWindowVisible() const;
  void SetFocus();
  void UpdateWindow();
  virtual BOOL DestroyWindow();
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  int MessageBox(const char* text, const char* caption = nullptr, UINT type = MB_OK);

  // Moves data between the controls and the members (DoDataExchange):
  // TRUE reads the controls, FALSE fills them. False when a value did not
  // validate (the user was told and the control has the focus).
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

  // The wrapper that a window procedure of this module registered for
  // `hWnd`, or null.
  static CWnd* FromHandlePermanent(HWND hWnd);

 protected:
  // Message routing: OnWndMsg through the map, else DefWindowProc.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual void DoDataExchange(CDataExchange* pDX) {}
  // After the window is gone (WM_NCDESTROY); m_hWnd is already null.
  virtual void PostNcDestroy() {}

  // Binds `hWnd` to this wrapper for FromHandlePermanent (window procedures).
  void AttachPermanent(HWND hWnd);
  void DetachPermanent();

 private:
  mutable std::map<int, std::unique_ptr<CWnd>> children_;
  bool permanent_ = false;
};
