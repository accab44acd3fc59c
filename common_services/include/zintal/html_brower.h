// CHtmlBrower: a web view (CHtmlView) that can be switched off. While off it
// only remembers the URL it was asked to show; switching it on shows that
// URL once; switching it off forgets it.
// Thread safety: the thread that created the view's window.
// Ownership: the view owns its window and browser (CHtmlView).
#pragma once

#include "common_services/include/zintal/zintal_api.h"
#include "platform/mfc/c_string.h"
#include "platform/mfc/html_view.h"

// What this header declares has Zintal.dll's layout whatever packing the
// includer has set; the compiler and libstdc++ settings a caller shares:
// zintal_api.h.
#pragma pack(push, 8)

class ZINTAL_API CHtmlBrower : public CHtmlView {
 public:
  CHtmlBrower();
  ~CHtmlBrower() override;

  // Remembers the URL; when switched on, also shows it.
  void Navigate(LPCSTR lpszURL);
  // Switches the view on or off and answers the new state; switching on
  // shows the remembered URL when the view's window exists.
  bool EnableBrowser(bool bEnable);

  DECLARE_MESSAGE_MAP()

 private:
  bool enabled_;
  CString url_;
};

ZINTAL_ABI_SIZE(CHtmlBrower, 124);

#pragma pack(pop)
