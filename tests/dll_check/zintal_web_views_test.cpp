// A module of its own that uses the version reader and the web views of
// Zintal.dll through its import library, as the platform's modules do: the
// objects come from the DLL (constructors, run-time class, virtual Create and
// destructor through the DLL's tables), the WebBrowser control is the
// recording stand-in this process registers.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common_services/include/zintal/html_brower.h"
#include "common_services/include/zintal/web_browser.h"
#include "common_services/include/zintal/win_file_info.h"
#include "common_services/recording_control_test_util.h"

namespace {

TEST(ZintalWebViews, VersionReaderReadsTheDllItself) {
  CWinFileInfo info;
  ASSERT_TRUE(info.OpenWinFile("Zintal.dll"));
  EXPECT_STREQ("Zintal", info.GetInternalName());
  EXPECT_STREQ("Zintal.dll", info.GetOriginalFilename());
  CWinFileInfo copy(info);
  EXPECT_STREQ("Zintal common services", copy.GetFileDescription());
  DWORD ms = 0, ls = 0;
  EXPECT_TRUE(copy.GetFileVersion(ms, ls));
  EXPECT_EQ(info.GetFixedFileInfo()->dwFileVersionMS, ms);
}

class ZintalWebViewsWindows : public ::testing::Test {
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

  q_test::TestParentWindow parent_;
  CWnd parent_wnd_;
  std::unique_ptr<q_test::ScopedRecordingClass> recording_;
};

TEST_F(ZintalWebViewsWindows, WebBrowserMadeByItsRunTimeClass) {
  CRuntimeClass* rc = RUNTIME_CLASS(CWebBrowser);  // the DLL's descriptor
  ASSERT_STREQ("CWebBrowser", rc->m_lpszClassName);
  CObject* made = rc->CreateObject();
  ASSERT_NE(nullptr, made);
  EXPECT_EQ(rc, made->GetRuntimeClass());
  EXPECT_TRUE(made->IsKindOf(RUNTIME_CLASS(CWnd)));  // this module's CWnd
  CWnd* wnd = static_cast<CWebBrowser*>(made);
  const RECT rect = {0, 0, 200, 100};
  // The CWnd overload of Create, through the DLL's virtual table.
  ASSERT_TRUE(wnd->Create(nullptr, "web", WS_CHILD, rect, &parent_wnd_, 9));
  q_test::RecordingControl* control = recording_->factory().last;
  ASSERT_NE(nullptr, control);

  VARIANT answer;
  VariantInit(&answer);
  answer.vt = VT_I4;
  answer.lVal = 321;
  control->Answer(208, answer);  // Width
  auto* browser = static_cast<CWebBrowser*>(made);
  EXPECT_EQ(321, browser->get_Width());
  browser->put_Silent(TRUE);
  ASSERT_EQ(2u, control->calls.size());
  EXPECT_EQ(551, control->calls[1].id);
  EXPECT_EQ(DISPATCH_PROPERTYPUT, control->calls[1].flags);
  delete made;  // the DLL's destructor, through CObject's slot
}

TEST_F(ZintalWebViewsWindows, HtmlBrowerShowsTheRememberedPageOnce) {
  CHtmlBrower view;
  CWnd& as_wnd = view;
  const RECT rect = {0, 0, 300, 200};
  ASSERT_TRUE(as_wnd.Create(nullptr, "view", WS_CHILD | WS_VISIBLE, rect, &parent_wnd_, 4));
  q_test::RecordingControl* control = recording_->factory().last;
  ASSERT_NE(nullptr, control);
  view.Navigate("http://example.test/a");
  EXPECT_TRUE(control->calls.empty());
  EXPECT_TRUE(view.EnableBrowser(true));
  EXPECT_TRUE(view.EnableBrowser(true));
  ASSERT_EQ(1u, control->calls.size());
  EXPECT_EQ(104, control->calls[0].id);
  EXPECT_TRUE(control->calls[0].args[0].text == L"http://example.test/a");
}

}  // namespace
