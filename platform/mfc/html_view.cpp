#include "platform/mfc/html_view.h"

#include <cstring>

#include <oleauto.h>

#include "platform/mfc/dispatch_invoke.h"

IMPLEMENT_DYNAMIC(CHtmlView, CWnd)

BEGIN_MESSAGE_MAP(CHtmlView, CWnd)
ON_MESSAGE(WM_SIZE, OnSizeMessage)
END_MESSAGE_MAP()

namespace {

// The WebBrowser control's class id and its Navigate operation.
const CLSID kWebBrowserClsid = {
    0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
constexpr DISPID kDispidNavigate = 104;

BSTR ToBstr(LPCSTR text) {
  if (text == nullptr) return nullptr;
  const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  BSTR b = SysAllocStringLen(nullptr, n > 0 ? static_cast<UINT>(n - 1) : 0);
  if (b != nullptr && n > 0) MultiByteToWideChar(CP_ACP, 0, text, -1, b, n);
  return b;
}

}  // namespace

CHtmlView::CHtmlView() {}

CHtmlView::~CHtmlView() {}

BOOL CHtmlView::Create(LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                       CWnd* pParentWnd, UINT nID, CCreateContext* pContext) {
  if (!CWnd::Create(lpszClassName, lpszWindowName, dwStyle, rect, pParentWnd, nID, pContext)) {
    return FALSE;
  }
  RECT client = {};
  ::GetClientRect(m_hWnd, &client);
  if (!m_wndBrowser.CreateControl(kWebBrowserClsid, lpszWindowName, WS_VISIBLE | WS_CHILD, client,
                                  this, kBrowserId)) {
    DestroyWindow();
    return FALSE;
  }
  return TRUE;
}

void CHtmlView::Navigate(LPCSTR lpszURL, DWORD dwFlags, LPCSTR lpszTargetFrameName,
                         LPCSTR lpszHeaders, LPVOID lpvPostData, DWORD dwPostDataLen) {
  Q_CHECK_WINDOW_THREAD();
  if (m_wndBrowser.GetControlUnknown() == nullptr) return;
  VARIANT flags, target, post, headers;
  VariantInit(&flags);
  flags.vt = VT_I4;
  flags.lVal = static_cast<long>(dwFlags);
  VariantInit(&target);
  target.vt = VT_BSTR;
  target.bstrVal = ToBstr(lpszTargetFrameName);
  VariantInit(&headers);
  headers.vt = VT_BSTR;
  headers.bstrVal = ToBstr(lpszHeaders);
  VariantInit(&post);
  if (lpvPostData != nullptr && dwPostDataLen > 0) {
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, dwPostDataLen);
    void* data = nullptr;
    if (bytes != nullptr && SUCCEEDED(SafeArrayAccessData(bytes, &data))) {
      std::memcpy(data, lpvPostData, dwPostDataLen);
      SafeArrayUnaccessData(bytes);
      post.vt = VT_ARRAY | VT_UI1;
      post.parray = bytes;
    } else if (bytes != nullptr) {
      SafeArrayDestroy(bytes);
    }
  }
  m_wndBrowser.InvokeHelper(
      kDispidNavigate, DISPATCH_METHOD, VT_EMPTY, nullptr,
      reinterpret_cast<const BYTE*>(VTS_BSTR VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT),
      lpszURL, &flags, &target, &post, &headers);
  VariantClear(&target);
  VariantClear(&post);
  VariantClear(&headers);
}

LRESULT CHtmlView::OnSizeMessage(WPARAM wParam, LPARAM lParam) {
  if (m_wndBrowser.GetSafeHwnd() != nullptr) {
    ::MoveWindow(m_wndBrowser.GetSafeHwnd(), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
  }
  return DefWindowProc(WM_SIZE, wParam, lParam);
}
