// CHtmlView: a view window that shows web pages through the system's
// WebBrowser control, hosted (CWnd::CreateControl) as a child filling the
// view. Navigate hands a URL to the control.
// Thread safety: the thread that created the window.
// Ownership: the view owns its browser child; both go with the view.
#pragma once

#include "platform/mfc/wnd.h"

// Zintal.dll's exported classes derive from and hold these classes, so their
// layout does not follow the includer's packing (see
// common_services/include/zintal/zintal_api.h).
#pragma pack(push, 8)

class CHtmlView : public CWnd {
  DECLARE_DYNAMIC(CHtmlView)

 public:
  CHtmlView();
  ~CHtmlView() override;

  // The view window (this module's window class), then the browser inside.
  BOOL Create(LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
              CWnd* pParentWnd, UINT nID, CCreateContext* pContext = nullptr) override;

  // The control's Navigate with the URL, the flags (VT_I4), the target frame
  // and the headers (VT_BSTR each, a null text as an empty one) and the post
  // data (a byte array, or nothing when there is none). Without a browser
  // (no view window yet) nothing happens.
  void Navigate(LPCSTR lpszURL, DWORD dwFlags = 0, LPCSTR lpszTargetFrameName = nullptr,
                LPCSTR lpszHeaders = nullptr, LPVOID lpvPostData = nullptr,
                DWORD dwPostDataLen = 0);

  // The id of the browser child in the view.
  enum : UINT { kBrowserId = 0xE900 };

 protected:
  LRESULT OnSizeMessage(WPARAM wParam, LPARAM lParam);
  DECLARE_MESSAGE_MAP()

  CWnd m_wndBrowser;
};

#pragma pack(pop)
