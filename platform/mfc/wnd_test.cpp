// CWnd's thread rule: a window's operations run on the thread that made the
// window; PostMessage and the state queries may come from any thread.
#include "platform/mfc/wnd.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

namespace {

HWND MakeStatic() {
  return ::CreateWindowA("STATIC", "x", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
}

// The window's own thread may change it; another thread may post to it and
// ask whether it is visible, but changing it from there aborts, naming the
// rule. (A query that sends to the window would wait on this thread, which
// does not pump while it joins.)
TEST(WndThreadDeathTest, ChangingAWindowFromAnotherThreadAborts) {
  HWND h = MakeStatic();
  ASSERT_NE(h, nullptr);
  CWnd w;
  ASSERT_TRUE(w.Attach(h));
  w.SetWindowText("own thread");
  std::thread([&] {
    EXPECT_TRUE(w.PostMessage(WM_NULL));
    EXPECT_FALSE(w.IsWindowVisible());
  }).join();
  EXPECT_DEATH(std::thread([&] { w.SetWindowText("other thread"); }).join(),
               "window thread only: called from another thread");
  EXPECT_DEATH(std::thread([&] { w.EnableWindow(FALSE); }).join(),
               "window thread only: called from another thread");
  w.Detach();
  ::DestroyWindow(h);
}

}  // namespace
