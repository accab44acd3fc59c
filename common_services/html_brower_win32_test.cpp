// CHtmlBrower's switch, observed through a navigation stand-in: the
// recording control registered for the WebBrowser class id records every
// Navigate the view hands to its browser.
#include "common_services/include/zintal/html_brower.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common_services/include/zintal/web_browser.h"
#include "common_services/recording_control_test_util.h"

namespace {

using q_test::RecordingControl;

class HtmlBrowerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    ASSERT_NE(nullptr, parent_.hwnd());
    ASSERT_TRUE(parent_wnd_.Attach(parent_.hwnd()));
    // COM first: the class object is registered with the thread's apartment.
    recording_ = std::make_unique<q_test::ScopedRecordingClass>(CWebBrowser::GetClsid());
    ASSERT_TRUE(recording_->ok());
  }
  void TearDown() override {
    recording_.reset();
    parent_wnd_.Detach();
    OleUninitialize();
  }

  bool CreateView(CHtmlBrower& view) {
    const RECT rect = {0, 0, 400, 300};
    return view.Create(nullptr, "view", WS_CHILD | WS_VISIBLE, rect, &parent_wnd_, 5) != FALSE;
  }

  // The URLs the browser was asked to navigate to, in order.
  std::vector<std::wstring> Navigations() const {
    std::vector<std::wstring> urls;
    RecordingControl* control = recording_->factory().last;
    if (control == nullptr) return urls;
    for (const q_test::RecordedCall& c : control->calls) {
      if (c.id == 104 && !c.args.empty()) urls.push_back(c.args[0].text);
    }
    return urls;
  }

  q_test::TestParentWindow parent_;
  CWnd parent_wnd_;
  std::unique_ptr<q_test::ScopedRecordingClass> recording_;
};

TEST_F(HtmlBrowerTest, DisabledOnlyRemembersEnablingShowsOnce) {
  CHtmlBrower view;
  ASSERT_TRUE(CreateView(view));
  ASSERT_NE(nullptr, recording_->factory().last);
  // The browser fills the view.
  HWND browser = GetDlgItem(view.GetSafeHwnd(), CHtmlView::kBrowserId);
  ASSERT_NE(nullptr, browser);
  RECT r = {};
  GetClientRect(browser, &r);
  EXPECT_EQ(400, r.right);
  EXPECT_EQ(300, r.bottom);

  view.Navigate("http://example.test/first");
  view.Navigate("http://example.test/page");
  EXPECT_TRUE(Navigations().empty());  // off: only remembered

  EXPECT_TRUE(view.EnableBrowser(true));
  EXPECT_TRUE(view.EnableBrowser(true));  // on twice: shown once
  ASSERT_EQ(1u, Navigations().size());
  EXPECT_TRUE(Navigations()[0] == L"http://example.test/page");

  // The view's Navigate: URL, flags 0, no target frame, no headers, no post data.
  const q_test::RecordedCall& call = recording_->factory().last->calls.back();
  EXPECT_EQ(DISPATCH_METHOD, call.flags);
  ASSERT_EQ(5u, call.args.size());
  EXPECT_EQ(VT_BSTR, call.args[0].vt);
  for (size_t i = 1; i < 5; ++i) EXPECT_EQ(VT_VARIANT | VT_BYREF, call.args[i].vt);
  EXPECT_EQ(VT_I4, call.args[1].inner_vt);
  EXPECT_EQ(0, call.args[1].number);
  EXPECT_EQ(VT_BSTR, call.args[2].inner_vt);
  EXPECT_TRUE(call.args[2].text.empty());
  EXPECT_EQ(VT_EMPTY, call.args[3].inner_vt);
  EXPECT_EQ(VT_BSTR, call.args[4].inner_vt);
  EXPECT_TRUE(call.args[4].text.empty());

  view.Navigate("http://example.test/now");  // on: shown at once
  ASSERT_EQ(2u, Navigations().size());
  EXPECT_TRUE(Navigations()[1] == L"http://example.test/now");

  EXPECT_FALSE(view.EnableBrowser(false));  // off forgets the URL
  EXPECT_FALSE(view.EnableBrowser(false));
  EXPECT_TRUE(view.EnableBrowser(true));  // nothing to show
  EXPECT_EQ(2u, Navigations().size());
}

TEST_F(HtmlBrowerTest, WithoutItsWindowEnablingShowsNothing) {
  CHtmlBrower view;  // no window yet
  view.Navigate("http://example.test/later");
  EXPECT_TRUE(view.EnableBrowser(true));
  EXPECT_EQ(0, recording_->factory().made);
  view.Navigate("http://example.test/again");  // on, but no browser: nothing happens
  EXPECT_EQ(0, recording_->factory().made);
}

TEST_F(HtmlBrowerTest, PostDataAndHeadersReachTheBrowser) {
  CHtmlBrower view;
  ASSERT_TRUE(CreateView(view));
  const char body[] = "a=1&b=2";
  view.CHtmlView::Navigate("http://example.test/post", 4, "frame", "X-Test: 1\r\n",
                           const_cast<char*>(body), 7);
  const q_test::RecordedCall& call = recording_->factory().last->calls.back();
  ASSERT_EQ(5u, call.args.size());
  EXPECT_EQ(4, call.args[1].number);
  EXPECT_TRUE(call.args[2].text == L"frame");
  EXPECT_EQ(VT_ARRAY | VT_UI1, call.args[3].inner_vt);
  EXPECT_EQ(7, call.args[3].number);
  EXPECT_TRUE(call.args[4].text == L"X-Test: 1\r\n");
}

TEST_F(HtmlBrowerTest, MessageMapIsEmptyOverTheView) {
  CHtmlBrower view;
  const AFX_MSGMAP* map = static_cast<const CCmdTarget&>(view).GetMessageMap();
  ASSERT_NE(nullptr, map);
  EXPECT_EQ(AfxSig_end, map->lpEntries[0].nSig);  // nothing of its own
  ASSERT_NE(nullptr, map->pfnGetBaseMap);
  const AFX_MSGMAP* base = map->pfnGetBaseMap();
  EXPECT_NE(AfxSig_end, base->lpEntries[0].nSig);  // the view's own (WM_SIZE)
  EXPECT_EQ(WM_SIZE, base->lpEntries[0].nMessage);
}

}  // namespace
