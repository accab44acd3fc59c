// CWnd: a window of the framework. It wraps an HWND, routes the window's
// messages through its message map (WM_COMMAND to OnCmdMsg, the rest to
// ON_MESSAGE entries) and exchanges data with child controls.
// Thread safety: a window belongs to the thread that created it; call its
// operations there (a call from another thread aborts with a message). From
// other threads only PostMessage, the handle accessors, the state queries
// (IsWindowEnabled, IsWindowVisible, GetWindowTextLength) and
// FromHandlePermanent are safe; a wrapper may be destroyed elsewhere (a
// module unloading), which leaves its window inert.
// Ownership: a CWnd does not destroy its window in the destructor unless it
// created it; the child wrappers GetDlgItem hands out belong to the parent
// wrapper and live as long as it does.
#pragma once

#include <map>
#include <memory>

#include <ole2.h>

#include "platform/mfc/c_string.h"
#include "platform/mfc/cmd_target.h"
#include "platform/mfc/dispatch_invoke.h"
#include "shared/thread_check/thread_check.h"

// Zintal.dll's exported classes derive from and hold these classes, so their
// layout does not follow the includer's packing (see
// common_services/include/zintal/zintal_api.h).
#pragma pack(push, 8)

// Aborts unless the caller runs on the thread of this wrapper's window.
#define Q_CHECK_WINDOW_THREAD() Q_CHECK_THREAD(OnWindowThread(), "window thread")

class CDataExchange;
class CFile;
struct CCreateContext;

class CWnd : public CCmdTarget {
  DECLARE_DYNAMIC(CWnd)

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

  // A child window (WS_CHILD is added) of the class named, or, with no class
  // name, of this module's own class whose messages reach WindowProc.
  virtual BOOL Create(LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                      CWnd* pParentWnd, UINT nID, CCreateContext* pContext = nullptr);

  // ActiveX control hosting (wnd_control.cpp): creates the control of class
  // `clsid` in a window of ATL's control-hosting class (atl.dll) and keeps
  // its IDispatch for InvokeHelper. With `pPersist`, the control's state is
  // loaded from the rest of that file (a stream, or with `bStorage` a
  // compound storage); `bstrLicKey` creates it through IClassFactory2.
  // The calling thread must be able to run OLE (single-threaded apartment);
  // its first control initialises OLE there.
  BOOL CreateControl(REFCLSID clsid, LPCSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                     CWnd* pParentWnd, UINT nID, CFile* pPersist = nullptr, BOOL bStorage = FALSE,
                     BSTR bstrLicKey = nullptr);
  // Calls the hosted control through IDispatch::Invoke; see
  // dispatch_invoke.h for the parameter types and the conversion of the
  // result. Without a control, or when the call fails, the result is the
  // empty value of its type and the failure goes to the debugger output.
  void InvokeHelper(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void* pvRet,
                    const BYTE* pbParamInfo, ...);
  // The hosted control (not AddRef'ed), or null.
  IUnknown* GetControlUnknown() const { return control_dispatch_; }

 protected:
  // Message routing: OnWndMsg through the map, else DefWindowProc.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual void DoDataExchange(CDataExchange* pDX) {}
  // After the window is gone (WM_NCDESTROY); m_hWnd is already null.
  virtual void PostNcDestroy() {}

  // True unless m_hWnd is a window of this process made by another thread
  // (no window, or one of another process, is nobody's to guard here).
  bool OnWindowThread() const;

  // Binds `hWnd` to this wrapper for FromHandlePermanent (window procedures).
  void AttachPermanent(HWND hWnd);
  void DetachPermanent();

 private:
  // Destroys the control window this wrapper created and drops its
  // references to the control and its host.
  void ReleaseControl();
  static LRESULT CALLBACK OwnClassWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

  mutable std::map<int, std::unique_ptr<CWnd>> children_;
  bool permanent_ = false;
  IDispatch* control_dispatch_ = nullptr;  // the hosted control's, owned
  IUnknown* control_host_ = nullptr;       // ATL's host of the control, owned
  bool owns_window_ = false;               // Create or CreateControl made m_hWnd
};

#pragma pack(pop)
