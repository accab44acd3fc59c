// CWebBrowser: a window that hosts the system's WebBrowser ActiveX control
// (class id 8856F961-340A-11D0-A96B-00C04FD705A2) and offers the control's
// IWebBrowser2 methods and properties as member functions, each a late-bound
// call (CWnd::InvokeHelper) with the control's DISPID. Dynamically creatable
// (run-time class "CWebBrowser", base CWnd).
// Thread safety: the thread that created the window (the control's
// apartment), as for every window.
// Ownership: the window owns the control. An LPDISPATCH result is the
// caller's reference (Release it); a VARIANT result is the caller's to clear.
// Without a created control every operation answers the empty value of its
// result type (0, FALSE, "", null, VT_EMPTY).
#pragma once

#include "common_services/include/zintal/zintal_api.h"
#include "platform/mfc/c_string.h"
#include "platform/mfc/file.h"
#include "platform/mfc/object.h"
#include "platform/mfc/wnd.h"

// What this header declares has Zintal.dll's layout whatever packing the
// includer has set; the compiler and libstdc++ settings a caller shares:
// zintal_api.h.
#pragma pack(push, 8)

class ZINTAL_API CWebBrowser : public CWnd {
  DECLARE_DYNCREATE(CWebBrowser)

 public:
  CWebBrowser();
  ~CWebBrowser() override;

  static CLSID const& GetClsid();

  // CWnd::CreateControl with the class id, the window name, style,
  // rectangle, parent and id; the class name and the context are not used.
  BOOL Create(LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
              CWnd* pParentWnd, UINT nID, CCreateContext* pContext = nullptr) override;
  // CWnd::CreateControl with the class id and every argument.
  BOOL Create(LPCSTR lpszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID,
              CFile* pPersist = nullptr, BOOL bStorage = FALSE, BSTR bstrLicKey = nullptr);

  // The control's operations (IWebBrowser2), in the control's order.
  void GoBack();
  void GoForward();
  void GoHome();
  void GoSearch();
  void Navigate(LPCSTR URL, VARIANT* Flags, VARIANT* TargetFrameName, VARIANT* PostData,
                VARIANT* Headers);
  void Refresh();
  void Refresh2(VARIANT* Level);
  void Stop();
  LPDISPATCH get_Application();
  LPDISPATCH get_Parent();
  LPDISPATCH get_Container();
  LPDISPATCH get_Document();
  BOOL get_TopLevelContainer();
  CString get_Type();
  long get_Left();
  void put_Left(long newValue);
  long get_Top();
  void put_Top(long newValue);
  long get_Width();
  void put_Width(long newValue);
  long get_Height();
  void put_Height(long newValue);
  CString get_LocationName();
  CString get_LocationURL();
  BOOL get_Busy();
  void Quit();
  void ClientToWindow(long* pcx, long* pcy);
  void PutProperty(LPCSTR Property, const VARIANT& vtValue);
  VARIANT GetProperty(LPCSTR Property);
  CString get_Name();
  long get_HWND();
  CString get_FullName();
  CString get_Path();
  BOOL get_Visible();
  void put_Visible(BOOL newValue);
  BOOL get_StatusBar();
  void put_StatusBar(BOOL newValue);
  CString get_StatusText();
  void put_StatusText(LPCSTR newValue);
  long get_ToolBar();
  void put_ToolBar(long newValue);
  BOOL get_MenuBar();
  void put_MenuBar(BOOL newValue);
  BOOL get_FullScreen();
  void put_FullScreen(BOOL newValue);
  void Navigate2(VARIANT* URL, VARIANT* Flags, VARIANT* TargetFrameName, VARIANT* PostData,
                 VARIANT* Headers);
  long QueryStatusWB(long cmdID);
  void ExecWB(long cmdID, long cmdexecopt, VARIANT* pvaIn, VARIANT* pvaOut);
  void ShowBrowserBar(VARIANT* pvaClsid, VARIANT* pvarShow, VARIANT* pvarSize);
  long get_ReadyState();
  BOOL get_Offline();
  void put_Offline(BOOL newValue);
  BOOL get_Silent();
  void put_Silent(BOOL newValue);
  BOOL get_RegisterAsBrowser();
  void put_RegisterAsBrowser(BOOL newValue);
  BOOL get_RegisterAsDropTarget();
  void put_RegisterAsDropTarget(BOOL newValue);
  BOOL get_TheaterMode();
  void put_TheaterMode(BOOL newValue);
  BOOL get_AddressBar();
  void put_AddressBar(BOOL newValue);
  BOOL get_Resizable();
  void put_Resizable(BOOL newValue);
};

ZINTAL_ABI_SIZE(CWebBrowser, 48);

#pragma pack(pop)
