#include "common_services/include/zintal/web_browser.h"

#include <oleauto.h>

#include "platform/mfc/dispatch_invoke.h"

IMPLEMENT_DYNCREATE(CWebBrowser, CWnd)

CWebBrowser::CWebBrowser() {}

CWebBrowser::~CWebBrowser() {}

CLSID const& CWebBrowser::GetClsid() {
  static CLSID const clsid = {
      0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
  return clsid;
}

BOOL CWebBrowser::Create(LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle,
                         const RECT& rect, CWnd* pParentWnd, UINT nID, CCreateContext* pContext) {
  return CreateControl(GetClsid(), lpszWindowName, dwStyle, rect, pParentWnd, nID);
}

BOOL CWebBrowser::Create(LPCSTR lpszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                         UINT nID, CFile* pPersist, BOOL bStorage, BSTR bstrLicKey) {
  return CreateControl(GetClsid(), lpszWindowName, dwStyle, rect, pParentWnd, nID, pPersist,
                       bStorage, bstrLicKey);
}

void CWebBrowser::GoBack() { InvokeHelper(100, DISPATCH_METHOD, VT_EMPTY, nullptr, nullptr); }

void CWebBrowser::GoForward() { InvokeHelper(101, DISPATCH_METHOD, VT_EMPTY, nullptr, nullptr); }

void CWebBrowser::GoHome() { InvokeHelper(102, DISPATCH_METHOD, VT_EMPTY, nullptr, nullptr); }

void CWebBrowser::GoSearch() { InvokeHelper(103, DISPATCH_METHOD, VT_EMPTY, nullptr, nullptr); }

void CWebBrowser::Navigate(LPCSTR URL, VARIANT* Flags, VARIANT* TargetFrameName, VARIANT* PostData,
                           VARIANT* Headers) {
  InvokeHelper(
      104, DISPATCH_METHOD, VT_EMPTY, nullptr,
      reinterpret_cast<const BYTE*>(VTS_BSTR VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT),
      URL, Flags, TargetFrameName, PostData, Headers);
}

void CWebBrowser::Refresh() { InvokeHelper(-550, DISPATCH_METHOD, VT_EMPTY, nullptr, nullptr); }

void CWebBrowser::Refresh2(VARIANT* Level) {
  InvokeHelper(105, DISPATCH_METHOD, VT_EMPTY, nullptr, reinterpret_cast<const BYTE*>(VTS_PVARIANT),
               Level);
}

void CWebBrowser::Stop() { InvokeHelper(106, DISPATCH_METHOD, VT_EMPTY, nullptr, nullptr); }

LPDISPATCH CWebBrowser::get_Application() {
  LPDISPATCH result = nullptr;
  InvokeHelper(200, DISPATCH_PROPERTYGET, VT_DISPATCH, &result, nullptr);
  return result;
}

LPDISPATCH CWebBrowser::get_Parent() {
  LPDISPATCH result = nullptr;
  InvokeHelper(201, DISPATCH_PROPERTYGET, VT_DISPATCH, &result, nullptr);
  return result;
}

LPDISPATCH CWebBrowser::get_Container() {
  LPDISPATCH result = nullptr;
  InvokeHelper(202, DISPATCH_PROPERTYGET, VT_DISPATCH, &result, nullptr);
  return result;
}

LPDISPATCH CWebBrowser::get_Document() {
  LPDISPATCH result = nullptr;
  InvokeHelper(203, DISPATCH_PROPERTYGET, VT_DISPATCH, &result, nullptr);
  return result;
}

BOOL CWebBrowser::get_TopLevelContainer() {
  BOOL result = FALSE;
  InvokeHelper(204, DISPATCH_PROPERTYGET, VT_BOOL, &result, nullptr);
  return result;
}

CString CWebBrowser::get_Type() {
  CString result;
  InvokeHelper(205, DISPATCH_PROPERTYGET, VT_BSTR, &result, nullptr);
  return result;
}

long CWebBrowser::get_Left() {
  long result = 0;
  InvokeHelper(206, DISPATCH_PROPERTYGET, VT_I4, &result, nullptr);
  return result;
}

void CWebBrowser::put_Left(long newValue) {
  InvokeHelper(206, DISPATCH_PROPERTYPUT, VT_EMPTY, nullptr, reinterpret_cast<const BYTE*>(VTS_I4),
               newValue);
}

long CWebBrowser::get_Top() {
  long result = 0;
  InvokeHelper(207, DISPATCH_PROPERTYGET, VT_I4, &result, nullptr);
  return result;
}

void CWebBrowser::put_Top(long newValue) {
  InvokeHelper(207, DISPATCH_PROPERTYPUT, VT_EMPTY, nullptr, reinterpret_cast<const BYTE*>(VTS_I4),
               newValue);
}

long CWebBrowser::get_Width() {
  long result = 0;
  InvokeHelper(208, DISPATCH_PROPERTYGET, VT_I4, &result, nullptr);
  return result;
}

void CWebBrowser::put_Width(long newValue) {
  InvokeHelper(208, DISPATCH_PROPERTYPUT, VT_EMPTY, nullptr, reinterpret_cast<const BYTE*>(VTS_I4),
               newValue);
}

long CWebBrowser::get_Height() {
  long result = 0;
  InvokeHelper(209, DISPATCH_PROPERTYGET, VT_I4, &result, nullptr);
  return result;
}

void CWebBrowser::put_Height(long newValue) {
  InvokeHelper(209, DISPATCH_PROPERTYPUT, VT_EMPTY, nullptr, reinterpret_cast<const BYTE*>(VTS_I4),
               newValue);
}

CString CWebBrowser::get_LocationName() {
  CString result;
  InvokeHelper(210, DISPATCH_PROPERTYGET, VT_BSTR, &result, nullptr);
  return result;
}

CString CWebBrowser::get_LocationURL() {
  CString result;
  InvokeHelper(211, DISPATCH_PROPERTYGET, VT_BSTR, &result, nullptr);
  return result;
}

BOOL CWebBrowser::get_Busy() {
  BOOL result = FALSE;
  InvokeHelper(212, DISPATCH_PROPERTYGET, VT_BOOL, &result, nullptr);
  return result;
}

void CWebBrowser::Quit() { InvokeHelper(300, DISPATCH_METHOD, VT_EMPTY, nullptr, nullptr); }

void CWebBrowser::ClientToWindow(long* pcx, long* pcy) {
  InvokeHelper(301, DISPATCH_METHOD, VT_EMPTY, nullptr,
               reinterpret_cast<const BYTE*>(VTS_PI4 VTS_PI4), pcx, pcy);
}

void CWebBrowser::PutProperty(LPCSTR Property, const VARIANT& vtValue) {
  InvokeHelper(302, DISPATCH_METHOD, VT_EMPTY, nullptr,
               reinterpret_cast<const BYTE*>(VTS_BSTR VTS_VARIANT), Property, &vtValue);
}

VARIANT CWebBrowser::GetProperty(LPCSTR Property) {
  VARIANT result;
  VariantInit(&result);
  InvokeHelper(303, DISPATCH_METHOD, VT_VARIANT, &result, reinterpret_cast<const BYTE*>(VTS_BSTR),
               Property);
  return result;
}

CString CWebBrowser::get_Name() {
  CString result;
  InvokeHelper(0, DISPATCH_PROPERTYGET, VT_BSTR, &result, nullptr);
  return result;
}

long CWebBrowser::get_HWND() {
  long result = 0;
  InvokeHelper(-515, DISPATCH_PROPERTYGET, VT_I4, &result, nullptr);
  return result;
}

CString CWebBrowser::get_FullName() {
  CString result;
  InvokeHelper(400, DISPATCH_PROPERTYGET, VT_BSTR, &result, nullptr);
  return result;
}

CString CWebBrowser::get_Path() {
  CString result;
  InvokeHelper(401, DISPATCH_PROPERTYGET, VT_BSTR, &result, nullptr);
  return result;
}

BOOL CWebBrowser::get_Visible() {
  BOOL result = FALSE;
  InvokeHelper(402, DISPATCH_PROPERTYGET, VT_BOOL, &result, nullptr);
  return result;
}

void CWebBrowser::put_Visible(BOOL newValue) {
  InvokeHelper(402, DISPATCH_PROPERTYPUT, VT_EMPTY, nullptr,
               reinterpret_cast<const BYTE*>(VTS_BOOL), newValue);
}

BOOL CWebBrowser::get_StatusBar() {
  BOOL result = FALSE;
  InvokeHelper(403, DISPATCH_PROPERTYGET, VT_BOOL, &result, nullptr);
  return result;
}

void CWebBrowser::put_StatusBar(BOOL newValue) {
  InvokeHelper(403, DISPATCH_PROPERTYPUT, VT_EMPTY, nullptr,
               reinterpret_cast<const BYTE*>(VTS_BOOL), newValue);
}

CString CWebBrowser::get_StatusText() {
  CString result;
  InvokeHelper(404, DISPATCH_PROPERTYGET, VT_BSTR, &result, nullptr);
  return result;
}

void CWebBrowser::put_StatusText(LPCSTR newValue) {
  InvokeHelper(404, DISPATCH_PROPERTYPUT, VT_EMPTY, nullptr,
               reinterpret_cast<const BYTE*>(VTS_BSTR), newValue);
}

long CWebBrowser::get_ToolBar() {
  long result = 0;
  InvokeHelper(405, DISPATCH_PROPERTYGET, VT_I4, &result, nullptr);
  return result;
}

void CWebBrowser::put_ToolBar(long newValue) {
  InvokeHelper(405, DISPATCH_PROPERTYPUT, VT_EMPTY, nullptr, reinterpret_cast<const BYTE*>(VTS_I4),
               newValue);
}

BOOL CWebBrowser::get_MenuBar() {
  BOOL result = FALSE;
  InvokeHelper(406, DISPATCH_PROPERTYGET, VT_BOOL, &result, nullptr);
  return result;
}

void CWebBrowser::put_MenuBar(BOOL newValue) {
  InvokeHelper(406, DISPATCH_PROPERTYPUT, VT_EMPTY, nullptr,
               reinterpret_cast<const BYTE*>(VTS_BOOL), newValue);
}

BOOL CWebBrowser::get_FullScreen() {
  BOOL result = FALSE;
  InvokeHelper(407, DISPATCH_PROPERTYGET, VT_BOOL, &result, nullptr);
  return result;
}

void CWebBrowser::put_FullScreen(BOOL newValue) {
  InvokeHelper(407, DISPATCH_PROPERTYPUT, VT_EMPTY, nullptr,
               reinterpret_cast<const BYTE*>(VTS_BOOL), newValue);
}

void CWebBrowser::Navigate2(VARIANT* URL, VARIANT* Flags, VARIANT* TargetFrameName,
                            VARIANT* PostData, VARIANT* Headers) {
  InvokeHelper(500, DISPATCH_METHOD, VT_EMPTY, nullptr,
               reinterpret_cast<const BYTE*>(
                   VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT),
               URL, Flags, TargetFrameName, PostData, Headers);
}

long CWebBrowser::QueryStatusWB(long cmdID) {
  long result = 0;
  InvokeHelper(501, DISPATCH_METHOD, VT_I4, &result, reinterpret_cast<const BYTE*>(VTS_I4), cmdID);
  return result;
}

void CWebBrowser::ExecWB(long cmdID, long cmdexecopt, VARIANT* pvaIn, VARIANT* pvaOut) {
  InvokeHelper(502, DISPATCH_METHOD, VT_EMPTY, nullptr,
               reinterpret_cast<const BYTE*>(VTS_I4 VTS_I4 VTS_PVARIANT VTS_PVARIANT), cmdID,
               cmdexecopt, pvaIn, pvaOut);
}

void CWebBrowser::ShowBrowserBar(VARIANT* pvaClsid, VARIANT* pvarShow, VARIANT* pvarSize) {
  InvokeHelper(503, DISPATCH_METHOD, VT_EMPTY, nullptr,
               reinterpret_cast<const BYTE*>(VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT), pvaClsid,
               pvarShow, pvarSize);
}

long CWebBrowser::get_ReadyState() {
  long result = 0;
  InvokeHelper(-525, DISPATCH_PROPERTYGET, VT_I4, &result, nullptr);
  return result;
}

BOOL CWebBrowser::get_Offline() {
  BOOL result = FALSE;
  InvokeHelper(550, DISPATCH_PROPERTYGET, VT_BOOL, &result, nullptr);
  return result;
}

void CWebBrowser::put_Offline(BOOL newValue) {
  InvokeHelper(550, DISPATCH_PROPERTYPUT, VT_EMPTY, nullptr,
               reinterpret_cast<const BYTE*>(VTS_BOOL), newValue);
}

BOOL CWebBrowser::get_Silent() {
  BOOL result = FALSE;
  InvokeHelper(551, DISPATCH_PROPERTYGET, VT_BOOL, &result, nullptr);
  return result;
}

void CWebBrowser::put_Silent(BOOL newValue) {
  InvokeHelper(551, DISPATCH_PROPERTYPUT, VT_EMPTY, nullptr,
               reinterpret_cast<const BYTE*>(VTS_BOOL), newValue);
}

BOOL CWebBrowser::get_RegisterAsBrowser() {
  BOOL result = FALSE;
  InvokeHelper(552, DISPATCH_PROPERTYGET, VT_BOOL, &result, nullptr);
  return result;
}

void CWebBrowser::put_RegisterAsBrowser(BOOL newValue) {
  InvokeHelper(552, DISPATCH_PROPERTYPUT, VT_EMPTY, nullptr,
               reinterpret_cast<const BYTE*>(VTS_BOOL), newValue);
}

BOOL CWebBrowser::get_RegisterAsDropTarget() {
  BOOL result = FALSE;
  InvokeHelper(553, DISPATCH_PROPERTYGET, VT_BOOL, &result, nullptr);
  return result;
}

void CWebBrowser::put_RegisterAsDropTarget(BOOL newValue) {
  InvokeHelper(553, DISPATCH_PROPERTYPUT, VT_EMPTY, nullptr,
               reinterpret_cast<const BYTE*>(VTS_BOOL), newValue);
}

BOOL CWebBrowser::get_TheaterMode() {
  BOOL result = FALSE;
  InvokeHelper(554, DISPATCH_PROPERTYGET, VT_BOOL, &result, nullptr);
  return result;
}

void CWebBrowser::put_TheaterMode(BOOL newValue) {
  InvokeHelper(554, DISPATCH_PROPERTYPUT, VT_EMPTY, nullptr,
               reinterpret_cast<const BYTE*>(VTS_BOOL), newValue);
}

BOOL CWebBrowser::get_AddressBar() {
  BOOL result = FALSE;
  InvokeHelper(555, DISPATCH_PROPERTYGET, VT_BOOL, &result, nullptr);
  return result;
}

void CWebBrowser::put_AddressBar(BOOL newValue) {
  InvokeHelper(555, DISPATCH_PROPERTYPUT, VT_EMPTY, nullptr,
               reinterpret_cast<const BYTE*>(VTS_BOOL), newValue);
}

BOOL CWebBrowser::get_Resizable() {
  BOOL result = FALSE;
  InvokeHelper(556, DISPATCH_PROPERTYGET, VT_BOOL, &result, nullptr);
  return result;
}

void CWebBrowser::put_Resizable(BOOL newValue) {
  InvokeHelper(556, DISPATCH_PROPERTYPUT, VT_EMPTY, nullptr,
               reinterpret_cast<const BYTE*>(VTS_BOOL), newValue);
}
