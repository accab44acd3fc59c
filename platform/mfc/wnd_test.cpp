// CWnd's thread rule: a window's operations run on the thread that made the
// window; PostMessage and the state queries may come from any thread.
#include "platform/mfc/wnd.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <thread>

namespace {

HWND MakeStatic() {
  return ::CreateWindowA("STATIC", "x", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
}

// Runs `call` on another thread while this one, the window's, keeps pumping
// its messages: a call that sends to the window is answered, not stuck.
void OnAnotherThread(const std::function<void()>& call) {
  HANDLE done = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(done, nullptr);
  std::thread t([&] {
    call();
    ::SetEvent(done);
  });
  while (::MsgWaitForMultipleObjects(1, &done, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
  }
  t.join();
  ::CloseHandle(done);
}

// The window's own thread may change it; another thread may post to it and
// ask about it, but changing it from there aborts, naming the rule.
TEST(WndThreadDeathTest, ChangingAWindowFromAnotherThreadAborts) {
  HWND h = MakeStatic();
  ASSERT_NE(h, nullptr);
  CWnd w;
  ASSERT_TRUE(w.Attach(h));
  w.SetWindowText("own thread");
  OnAnotherThread([&] {
    EXPECT_TRUE(w.PostMessage(WM_NULL));
    EXPECT_FALSE(w.IsWindowVisible());
    EXPECT_EQ(w.GetWindowTextLength(), 10);
  });
  EXPECT_DEATH(OnAnotherThread([&] { w.SetWindowText("other thread"); }),
               "window thread only: called from another thread");
  EXPECT_DEATH(OnAnotherThread([&] { w.EnableWindow(FALSE); }),
               "window thread only: called from another thread");
  w.Detach();
  ::DestroyWindow(h);
}

}  // namespace
