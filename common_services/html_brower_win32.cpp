#include "common_services/include/zintal/html_brower.h"

BEGIN_MESSAGE_MAP(CHtmlBrower, CHtmlView)
END_MESSAGE_MAP()

CHtmlBrower::CHtmlBrower() : enabled_(false) {}

CHtmlBrower::~CHtmlBrower() {}

void CHtmlBrower::Navigate(LPCSTR lpszURL) {
  url_ = lpszURL;
  if (enabled_) CHtmlView::Navigate(url_, 0, nullptr, nullptr, nullptr, 0);
}

bool CHtmlBrower::EnableBrowser(bool bEnable) {
  if (bEnable == enabled_) return enabled_;
  enabled_ = bEnable;
  if (!enabled_) {
    url_.Empty();
  } else if (GetSafeHwnd() != nullptr && !url_.IsEmpty()) {
    CHtmlView::Navigate(url_, 0, nullptr, nullptr, nullptr, 0);
  }
  return enabled_;
}
