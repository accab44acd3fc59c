// CWebBrowser through the real hosting path (CWnd::CreateControl, atl.dll's
// host window): against a recording stand-in registered in this process for
// the WebBrowser class id, every operation must reach the control with its
// DISPID, kind and argument types, and its result must come back converted;
// and once against the system's own WebBrowser control.
#include "common_services/include/zintal/web_browser.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common_services/recording_control_test_util.h"
#include "platform/mfc/file.h"

#include <exdisp.h>

namespace {

using q_test::RecordedArg;
using q_test::RecordingControl;

RecordedArg Bstr(const wchar_t* text) {
  RecordedArg a;
  a.vt = VT_BSTR;
  a.text = text;
  return a;
}
RecordedArg Long(long n) {
  RecordedArg a;
  a.vt = VT_I4;
  a.number = n;
  return a;
}
RecordedArg Bool(VARIANT_BOOL b) {
  RecordedArg a;
  a.vt = VT_BOOL;
  a.number = b;
  return a;
}
RecordedArg ByRef(VARTYPE vt, const void* p) {
  RecordedArg a;
  a.vt = vt | VT_BYREF;
  a.ref = p;
  return a;
}

// Results shown as text, so one table can say what each must be.
RecordingControl* g_control = nullptr;
std::string Show(long n) { return "L:" + std::to_string(n); }
std::string Show(BOOL b) { return "B:" + std::to_string(b); }
std::string Show(const CString& s) { return "S:" + s.str(); }
std::string Show(LPDISPATCH d) {
  if (d == nullptr) return "D:null";
  const bool self = d == static_cast<IDispatch*>(g_control);
  d->Release();
  return self ? "D:self" : "D:other";
}
std::string Show(VARIANT v) {
  std::string s = "V:" + std::to_string(v.vt);
  if (v.vt == VT_BSTR) s += ":" + CString(v.bstrVal).str();
  VariantClear(&v);
  return s;
}

struct Case {
  const char* name;
  DISPID id;
  WORD kind;
  VARTYPE result;
  std::function<std::string(CWebBrowser&)> call;
  std::vector<RecordedArg> args;
};

class WebBrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    ASSERT_NE(nullptr, parent_.hwnd());
    ASSERT_TRUE(parent_wnd_.Attach(parent_.hwnd()));
  }
  void TearDown() override {
    parent_wnd_.Detach();
    OleUninitialize();
  }
  RECT Rect() const { return RECT{0, 0, 320, 240}; }

  q_test::TestParentWindow parent_;
  CWnd parent_wnd_;
};

TEST_F(WebBrowserTest, RunTimeClassCreatesInstances) {
  CRuntimeClass* rc = RUNTIME_CLASS(CWebBrowser);
  EXPECT_STREQ("CWebBrowser", rc->m_lpszClassName);
  EXPECT_EQ(0xFFFFu, rc->m_wSchema);
  EXPECT_EQ(RUNTIME_CLASS(CWnd), rc->m_pfnGetBaseClass());
  EXPECT_EQ(rc, CRuntimeClass::FromName("CWebBrowser"));
  CObject* made = rc->CreateObject();
  ASSERT_NE(nullptr, made);
  EXPECT_EQ(rc, made->GetRuntimeClass());
  EXPECT_TRUE(made->IsKindOf(RUNTIME_CLASS(CWnd)));
  EXPECT_FALSE(RUNTIME_CLASS(CWnd)->IsDerivedFrom(rc));
  delete made;                                              // through CObject's virtual destructor
  EXPECT_EQ(nullptr, RUNTIME_CLASS(CWnd)->CreateObject());  // not dynamically creatable

  const CLSID& id = CWebBrowser::GetClsid();
  wchar_t text[40] = {};
  StringFromGUID2(id, text, 40);
  EXPECT_STREQ(L"{8856F961-340A-11D0-A96B-00C04FD705A2}", text);
}

TEST_F(WebBrowserTest, EveryOperationReachesTheControlAsDeclared) {
  q_test::ScopedRecordingClass recording(CWebBrowser::GetClsid());
  ASSERT_TRUE(recording.ok());
  CWebBrowser browser;
  ASSERT_TRUE(browser.Create(nullptr, "web", WS_CHILD | WS_VISIBLE, Rect(), &parent_wnd_, 7));
  ASSERT_EQ(1, recording.factory().made);
  RecordingControl* control = recording.factory().last;
  g_control = control;
  ASSERT_NE(nullptr, browser.GetSafeHwnd());
  EXPECT_EQ(parent_.hwnd(), GetParent(browser.GetSafeHwnd()));
  EXPECT_EQ(7, GetDlgCtrlID(browser.GetSafeHwnd()));
  EXPECT_NE(nullptr, control->site);  // hosted: the container gave it a site
  EXPECT_TRUE(control->init_new);

  VARIANT v[5];
  for (VARIANT& x : v) VariantInit(&x);
  long l[2] = {1, 2};
  VARIANT seventy_seven;
  VariantInit(&seventy_seven);
  seventy_seven.vt = VT_I4;
  seventy_seven.lVal = 77;

  // One line an operation: name, DISPID, kind, result type, the call, and
  // the arguments the control must see in call order.
  // clang-format off
  const std::vector<Case> cases = {
      {"GoBack", 100, DISPATCH_METHOD, VT_EMPTY, [&](CWebBrowser& b) { b.GoBack(); return std::string(); }, {}},
      {"GoForward", 101, DISPATCH_METHOD, VT_EMPTY, [&](CWebBrowser& b) { b.GoForward(); return std::string(); }, {}},
      {"GoHome", 102, DISPATCH_METHOD, VT_EMPTY, [&](CWebBrowser& b) { b.GoHome(); return std::string(); }, {}},
      {"GoSearch", 103, DISPATCH_METHOD, VT_EMPTY, [&](CWebBrowser& b) { b.GoSearch(); return std::string(); }, {}},
      {"Navigate", 104, DISPATCH_METHOD, VT_EMPTY, [&](CWebBrowser& b) { b.Navigate("http://example.test/104", &v[0], &v[1], &v[2], &v[3]); return std::string(); }, {Bstr(L"http://example.test/104"), ByRef(VT_VARIANT, &v[0]), ByRef(VT_VARIANT, &v[1]), ByRef(VT_VARIANT, &v[2]), ByRef(VT_VARIANT, &v[3])}},
      {"Refresh", -550, DISPATCH_METHOD, VT_EMPTY, [&](CWebBrowser& b) { b.Refresh(); return std::string(); }, {}},
      {"Refresh2", 105, DISPATCH_METHOD, VT_EMPTY, [&](CWebBrowser& b) { b.Refresh2(&v[0]); return std::string(); }, {ByRef(VT_VARIANT, &v[0])}},
      {"Stop", 106, DISPATCH_METHOD, VT_EMPTY, [&](CWebBrowser& b) { b.Stop(); return std::string(); }, {}},
      {"get_Application", 200, DISPATCH_PROPERTYGET, VT_DISPATCH, [&](CWebBrowser& b) { return Show(b.get_Application()); }, {}},
      {"get_Parent", 201, DISPATCH_PROPERTYGET, VT_DISPATCH, [&](CWebBrowser& b) { return Show(b.get_Parent()); }, {}},
      {"get_Container", 202, DISPATCH_PROPERTYGET, VT_DISPATCH, [&](CWebBrowser& b) { return Show(b.get_Container()); }, {}},
      {"get_Document", 203, DISPATCH_PROPERTYGET, VT_DISPATCH, [&](CWebBrowser& b) { return Show(b.get_Document()); }, {}},
      {"get_TopLevelContainer", 204, DISPATCH_PROPERTYGET, VT_BOOL, [&](CWebBrowser& b) { return Show(b.get_TopLevelContainer()); }, {}},
      {"get_Type", 205, DISPATCH_PROPERTYGET, VT_BSTR, [&](CWebBrowser& b) { return Show(b.get_Type()); }, {}},
      {"get_Left", 206, DISPATCH_PROPERTYGET, VT_I4, [&](CWebBrowser& b) { return Show(b.get_Left()); }, {}},
      {"put_Left", 206, DISPATCH_PROPERTYPUT, VT_EMPTY, [&](CWebBrowser& b) { b.put_Left(217L); return std::string(); }, {Long(217)}},
      {"get_Top", 207, DISPATCH_PROPERTYGET, VT_I4, [&](CWebBrowser& b) { return Show(b.get_Top()); }, {}},
      {"put_Top", 207, DISPATCH_PROPERTYPUT, VT_EMPTY, [&](CWebBrowser& b) { b.put_Top(218L); return std::string(); }, {Long(218)}},
      {"get_Width", 208, DISPATCH_PROPERTYGET, VT_I4, [&](CWebBrowser& b) { return Show(b.get_Width()); }, {}},
      {"put_Width", 208, DISPATCH_PROPERTYPUT, VT_EMPTY, [&](CWebBrowser& b) { b.put_Width(219L); return std::string(); }, {Long(219)}},
      {"get_Height", 209, DISPATCH_PROPERTYGET, VT_I4, [&](CWebBrowser& b) { return Show(b.get_Height()); }, {}},
      {"put_Height", 209, DISPATCH_PROPERTYPUT, VT_EMPTY, [&](CWebBrowser& b) { b.put_Height(220L); return std::string(); }, {Long(220)}},
      {"get_LocationName", 210, DISPATCH_PROPERTYGET, VT_BSTR, [&](CWebBrowser& b) { return Show(b.get_LocationName()); }, {}},
      {"get_LocationURL", 211, DISPATCH_PROPERTYGET, VT_BSTR, [&](CWebBrowser& b) { return Show(b.get_LocationURL()); }, {}},
      {"get_Busy", 212, DISPATCH_PROPERTYGET, VT_BOOL, [&](CWebBrowser& b) { return Show(b.get_Busy()); }, {}},
      {"Quit", 300, DISPATCH_METHOD, VT_EMPTY, [&](CWebBrowser& b) { b.Quit(); return std::string(); }, {}},
      {"ClientToWindow", 301, DISPATCH_METHOD, VT_EMPTY, [&](CWebBrowser& b) { b.ClientToWindow(&l[0], &l[1]); return std::string(); }, {ByRef(VT_I4, &l[0]), ByRef(VT_I4, &l[1])}},
      {"PutProperty", 302, DISPATCH_METHOD, VT_EMPTY, [&](CWebBrowser& b) { b.PutProperty("text-302", seventy_seven); return std::string(); }, {Bstr(L"text-302"), Long(77)}},
      {"GetProperty", 303, DISPATCH_METHOD, VT_VARIANT, [&](CWebBrowser& b) { return Show(b.GetProperty("text-303")); }, {Bstr(L"text-303")}},
      {"get_Name", 0, DISPATCH_PROPERTYGET, VT_BSTR, [&](CWebBrowser& b) { return Show(b.get_Name()); }, {}},
      {"get_HWND", -515, DISPATCH_PROPERTYGET, VT_I4, [&](CWebBrowser& b) { return Show(b.get_HWND()); }, {}},
      {"get_FullName", 400, DISPATCH_PROPERTYGET, VT_BSTR, [&](CWebBrowser& b) { return Show(b.get_FullName()); }, {}},
      {"get_Path", 401, DISPATCH_PROPERTYGET, VT_BSTR, [&](CWebBrowser& b) { return Show(b.get_Path()); }, {}},
      {"get_Visible", 402, DISPATCH_PROPERTYGET, VT_BOOL, [&](CWebBrowser& b) { return Show(b.get_Visible()); }, {}},
      {"put_Visible", 402, DISPATCH_PROPERTYPUT, VT_EMPTY, [&](CWebBrowser& b) { b.put_Visible(TRUE); return std::string(); }, {Bool(VARIANT_TRUE)}},
      {"get_StatusBar", 403, DISPATCH_PROPERTYGET, VT_BOOL, [&](CWebBrowser& b) { return Show(b.get_StatusBar()); }, {}},
      {"put_StatusBar", 403, DISPATCH_PROPERTYPUT, VT_EMPTY, [&](CWebBrowser& b) { b.put_StatusBar(TRUE); return std::string(); }, {Bool(VARIANT_TRUE)}},
      {"get_StatusText", 404, DISPATCH_PROPERTYGET, VT_BSTR, [&](CWebBrowser& b) { return Show(b.get_StatusText()); }, {}},
      {"put_StatusText", 404, DISPATCH_PROPERTYPUT, VT_EMPTY, [&](CWebBrowser& b) { b.put_StatusText("text-404"); return std::string(); }, {Bstr(L"text-404")}},
      {"get_ToolBar", 405, DISPATCH_PROPERTYGET, VT_I4, [&](CWebBrowser& b) { return Show(b.get_ToolBar()); }, {}},
      {"put_ToolBar", 405, DISPATCH_PROPERTYPUT, VT_EMPTY, [&](CWebBrowser& b) { b.put_ToolBar(416L); return std::string(); }, {Long(416)}},
      {"get_MenuBar", 406, DISPATCH_PROPERTYGET, VT_BOOL, [&](CWebBrowser& b) { return Show(b.get_MenuBar()); }, {}},
      {"put_MenuBar", 406, DISPATCH_PROPERTYPUT, VT_EMPTY, [&](CWebBrowser& b) { b.put_MenuBar(TRUE); return std::string(); }, {Bool(VARIANT_TRUE)}},
      {"get_FullScreen", 407, DISPATCH_PROPERTYGET, VT_BOOL, [&](CWebBrowser& b) { return Show(b.get_FullScreen()); }, {}},
      {"put_FullScreen", 407, DISPATCH_PROPERTYPUT, VT_EMPTY, [&](CWebBrowser& b) { b.put_FullScreen(TRUE); return std::string(); }, {Bool(VARIANT_TRUE)}},
      {"Navigate2", 500, DISPATCH_METHOD, VT_EMPTY, [&](CWebBrowser& b) { b.Navigate2(&v[0], &v[1], &v[2], &v[3], &v[4]); return std::string(); }, {ByRef(VT_VARIANT, &v[0]), ByRef(VT_VARIANT, &v[1]), ByRef(VT_VARIANT, &v[2]), ByRef(VT_VARIANT, &v[3]), ByRef(VT_VARIANT, &v[4])}},
      {"QueryStatusWB", 501, DISPATCH_METHOD, VT_I4, [&](CWebBrowser& b) { return Show(b.QueryStatusWB(512L)); }, {Long(512)}},
      {"ExecWB", 502, DISPATCH_METHOD, VT_EMPTY, [&](CWebBrowser& b) { b.ExecWB(513L, 524L, &v[0], &v[1]); return std::string(); }, {Long(513), Long(524), ByRef(VT_VARIANT, &v[0]), ByRef(VT_VARIANT, &v[1])}},
      {"ShowBrowserBar", 503, DISPATCH_METHOD, VT_EMPTY, [&](CWebBrowser& b) { b.ShowBrowserBar(&v[0], &v[1], &v[2]); return std::string(); }, {ByRef(VT_VARIANT, &v[0]), ByRef(VT_VARIANT, &v[1]), ByRef(VT_VARIANT, &v[2])}},
      {"get_ReadyState", -525, DISPATCH_PROPERTYGET, VT_I4, [&](CWebBrowser& b) { return Show(b.get_ReadyState()); }, {}},
      {"get_Offline", 550, DISPATCH_PROPERTYGET, VT_BOOL, [&](CWebBrowser& b) { return Show(b.get_Offline()); }, {}},
      {"put_Offline", 550, DISPATCH_PROPERTYPUT, VT_EMPTY, [&](CWebBrowser& b) { b.put_Offline(TRUE); return std::string(); }, {Bool(VARIANT_TRUE)}},
      {"get_Silent", 551, DISPATCH_PROPERTYGET, VT_BOOL, [&](CWebBrowser& b) { return Show(b.get_Silent()); }, {}},
      {"put_Silent", 551, DISPATCH_PROPERTYPUT, VT_EMPTY, [&](CWebBrowser& b) { b.put_Silent(TRUE); return std::string(); }, {Bool(VARIANT_TRUE)}},
      {"get_RegisterAsBrowser", 552, DISPATCH_PROPERTYGET, VT_BOOL, [&](CWebBrowser& b) { return Show(b.get_RegisterAsBrowser()); }, {}},
      {"put_RegisterAsBrowser", 552, DISPATCH_PROPERTYPUT, VT_EMPTY, [&](CWebBrowser& b) { b.put_RegisterAsBrowser(TRUE); return std::string(); }, {Bool(VARIANT_TRUE)}},
      {"get_RegisterAsDropTarget", 553, DISPATCH_PROPERTYGET, VT_BOOL, [&](CWebBrowser& b) { return Show(b.get_RegisterAsDropTarget()); }, {}},
      {"put_RegisterAsDropTarget", 553, DISPATCH_PROPERTYPUT, VT_EMPTY, [&](CWebBrowser& b) { b.put_RegisterAsDropTarget(TRUE); return std::string(); }, {Bool(VARIANT_TRUE)}},
      {"get_TheaterMode", 554, DISPATCH_PROPERTYGET, VT_BOOL, [&](CWebBrowser& b) { return Show(b.get_TheaterMode()); }, {}},
      {"put_TheaterMode", 554, DISPATCH_PROPERTYPUT, VT_EMPTY, [&](CWebBrowser& b) { b.put_TheaterMode(TRUE); return std::string(); }, {Bool(VARIANT_TRUE)}},
      {"get_AddressBar", 555, DISPATCH_PROPERTYGET, VT_BOOL, [&](CWebBrowser& b) { return Show(b.get_AddressBar()); }, {}},
      {"put_AddressBar", 555, DISPATCH_PROPERTYPUT, VT_EMPTY, [&](CWebBrowser& b) { b.put_AddressBar(TRUE); return std::string(); }, {Bool(VARIANT_TRUE)}},
      {"get_Resizable", 556, DISPATCH_PROPERTYGET, VT_BOOL, [&](CWebBrowser& b) { return Show(b.get_Resizable()); }, {}},
      {"put_Resizable", 556, DISPATCH_PROPERTYPUT, VT_EMPTY, [&](CWebBrowser& b) { b.put_Resizable(TRUE); return std::string(); }, {Bool(VARIANT_TRUE)}},
  };
  // clang-format on
  ASSERT_EQ(64u, cases.size());

  // Each property get answers with a value of its type; the wrapper must
  // hand it on converted.
  for (const Case& c : cases) {
    if (c.result == VT_EMPTY) continue;
    VARIANT a;
    VariantInit(&a);
    switch (c.result) {
      case VT_I4:
        a.vt = VT_I4;
        a.lVal = 1000 + c.id;
        break;
      case VT_BOOL:
        a.vt = VT_BOOL;
        a.boolVal = VARIANT_TRUE;
        break;
      case VT_BSTR:
        a.vt = VT_BSTR;
        a.bstrVal = SysAllocString((L"answer" + std::to_wstring(c.id)).c_str());
        break;
      case VT_DISPATCH:
        a.vt = VT_DISPATCH;
        a.pdispVal = control;
        control->AddRef();
        break;
      case VT_VARIANT:
        a.vt = VT_BSTR;
        a.bstrVal = SysAllocString(L"property");
        break;
    }
    control->Answer(c.id, a);
    VariantClear(&a);
  }

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    control->calls.clear();
    const std::string got = c.call(browser);
    ASSERT_EQ(1u, control->calls.size());
    const q_test::RecordedCall& call = control->calls[0];
    EXPECT_EQ(c.id, call.id);
    EXPECT_EQ(c.kind, call.flags);
    EXPECT_EQ(c.result != VT_EMPTY, call.wants_result);
    if (c.kind == DISPATCH_PROPERTYPUT) {
      ASSERT_EQ(1u, call.named.size());
      EXPECT_EQ(DISPID_PROPERTYPUT, call.named[0]);
    } else {
      EXPECT_TRUE(call.named.empty());
    }
    ASSERT_EQ(c.args.size(), call.args.size());
    for (size_t i = 0; i < c.args.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(c.args[i].vt, call.args[i].vt);
      EXPECT_TRUE(c.args[i].text == call.args[i].text);
      EXPECT_EQ(c.args[i].number, call.args[i].number);
      EXPECT_EQ(c.args[i].ref, call.args[i].ref);
    }
    std::string want;
    switch (c.result) {
      case VT_I4:
        want = "L:" + std::to_string(1000 + c.id);
        break;
      case VT_BOOL:
        want = "B:1";
        break;
      case VT_BSTR:
        want = "S:answer" + std::to_string(c.id);
        break;
      case VT_DISPATCH:
        want = "D:self";
        break;
      case VT_VARIANT:
        want = "V:8:property";
        break;
    }
    EXPECT_EQ(want, got);
  }
  g_control = nullptr;
}

TEST_F(WebBrowserTest, ResultsOfAnotherTypeAreConverted) {
  q_test::ScopedRecordingClass recording(CWebBrowser::GetClsid());
  ASSERT_TRUE(recording.ok());
  CWebBrowser browser;
  ASSERT_TRUE(browser.Create(nullptr, "web", WS_CHILD, Rect(), &parent_wnd_, 1));
  RecordingControl* control = recording.factory().last;

  VARIANT a;
  VariantInit(&a);
  a.vt = VT_I2;
  a.iVal = -12;
  control->Answer(206, a);  // Left
  EXPECT_EQ(-12, browser.get_Left());
  a.vt = VT_I4;
  a.lVal = 5;
  control->Answer(402, a);  // Visible: any non-zero is TRUE
  EXPECT_EQ(TRUE, browser.get_Visible());
  a.vt = VT_I4;
  a.lVal = 99;
  control->Answer(205, a);  // Type as a number
  EXPECT_STREQ("99", browser.get_Type());
  VariantClear(&a);
  a.vt = VT_BSTR;
  a.bstrVal = SysAllocString(L"not a number");
  control->Answer(207, a);  // Top: no conversion, the empty value
  VariantClear(&a);
  EXPECT_EQ(0, browser.get_Top());
  // A null VARIANT pointer travels as a missing optional argument.
  control->calls.clear();
  browser.Refresh2(nullptr);
  ASSERT_EQ(1u, control->calls.size());
  ASSERT_EQ(1u, control->calls[0].args.size());
  EXPECT_EQ(VT_ERROR, control->calls[0].args[0].vt);
  EXPECT_EQ(static_cast<long>(DISP_E_PARAMNOTFOUND), control->calls[0].args[0].number);
}

TEST_F(WebBrowserTest, WithoutAControlEveryResultIsEmpty) {
  CWebBrowser browser;  // never created
  EXPECT_EQ(0, browser.get_Left());
  EXPECT_EQ(FALSE, browser.get_Visible());
  EXPECT_TRUE(browser.get_Type().IsEmpty());
  EXPECT_EQ(nullptr, browser.get_Document());
  VARIANT v = browser.GetProperty("x");
  EXPECT_EQ(VT_EMPTY, v.vt);
  browser.Navigate("http://example.test/", nullptr, nullptr, nullptr, nullptr);
  browser.put_Left(3);
}

TEST_F(WebBrowserTest, SavedStateAndCaptionReachTheControl) {
  q_test::ScopedRecordingClass recording(CWebBrowser::GetClsid());
  ASSERT_TRUE(recording.ok());
  const char* path = "web_browser_state.bin";
  {
    CFile out;
    ASSERT_TRUE(out.Open(path, CFile::modeCreate | CFile::modeWrite));
    ASSERT_TRUE(out.Write("skip|saved state", 16));
  }
  CFile in;
  ASSERT_TRUE(in.Open(path, CFile::modeRead));
  in.Seek(5, CFile::begin);  // the state is the rest of the file
  CWebBrowser browser;
  ASSERT_TRUE(browser.Create("caption", WS_CHILD, Rect(), &parent_wnd_, 2, &in, FALSE, nullptr));
  RecordingControl* control = recording.factory().last;
  ASSERT_NE(nullptr, control);
  EXPECT_EQ("saved state", control->loaded);
  EXPECT_FALSE(control->init_new);
  CString caption;
  browser.GetWindowText(caption);
  EXPECT_STREQ("caption", caption);
  in.Close();
  DeleteFileA(path);

  // Destroying the window closes the control and the wrapper lets go of it.
  control->AddRef();
  EXPECT_TRUE(browser.DestroyWindow());
  EXPECT_EQ(nullptr, browser.GetSafeHwnd());
  EXPECT_TRUE(control->closed);
  EXPECT_EQ(1u, control->refs());  // only ours is left
  control->Release();
}

TEST_F(WebBrowserTest, SavedStorageAndLicenceKeyReachTheControl) {
  q_test::ScopedRecordingClass recording(CWebBrowser::GetClsid());
  ASSERT_TRUE(recording.ok());
  // A compound file with a "contents" stream, saved as a plain file.
  ILockBytes* bytes = nullptr;
  ASSERT_EQ(S_OK, CreateILockBytesOnHGlobal(nullptr, TRUE, &bytes));
  IStorage* storage = nullptr;
  ASSERT_EQ(S_OK, StgCreateDocfileOnILockBytes(
                      bytes, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &storage));
  IStream* contents = nullptr;
  ASSERT_EQ(S_OK,
            storage->CreateStream(L"contents", STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0,
                                  0, &contents));
  ASSERT_EQ(S_OK, contents->Write("stored", 6, nullptr));
  contents->Release();
  storage->Commit(STGC_DEFAULT);
  storage->Release();
  STATSTG stat = {};
  ASSERT_EQ(S_OK, bytes->Stat(&stat, STATFLAG_NONAME));
  std::string image(static_cast<size_t>(stat.cbSize.QuadPart), '\0');
  ULARGE_INTEGER zero = {};
  ULONG got = 0;
  ASSERT_EQ(S_OK, bytes->ReadAt(zero, &image[0], static_cast<ULONG>(image.size()), &got));
  bytes->Release();
  const char* path = "web_browser_storage.bin";
  {
    CFile out;
    ASSERT_TRUE(out.Open(path, CFile::modeCreate | CFile::modeWrite));
    ASSERT_TRUE(out.Write(image.data(), got));
  }

  CFile in;
  ASSERT_TRUE(in.Open(path, CFile::modeRead));
  BSTR key = SysAllocString(L"licence-key");
  CWebBrowser browser;
  ASSERT_TRUE(browser.Create("stored", WS_CHILD, Rect(), &parent_wnd_, 4, &in, TRUE, key));
  SysFreeString(key);
  RecordingControl* control = recording.factory().last;
  ASSERT_NE(nullptr, control);
  EXPECT_TRUE(control->loaded_storage);
  EXPECT_EQ("stored", control->loaded);
  EXPECT_TRUE(recording.factory().license == L"licence-key");
  in.Close();
  DeleteFileA(path);

  // A state file that is no compound file: no control, no window.
  {
    CFile out;
    ASSERT_TRUE(out.Open(path, CFile::modeCreate | CFile::modeWrite));
    ASSERT_TRUE(out.Write("not a storage", 13));
  }
  ASSERT_TRUE(in.Open(path, CFile::modeRead));
  CWebBrowser refused;
  EXPECT_FALSE(refused.Create("bad", WS_CHILD, Rect(), &parent_wnd_, 5, &in, TRUE, nullptr));
  EXPECT_EQ(nullptr, refused.GetSafeHwnd());
  EXPECT_EQ(nullptr, refused.GetControlUnknown());
  in.Close();
  DeleteFileA(path);
}

TEST_F(WebBrowserTest, TheSystemControlIsCreatedAndAnswers) {
  CWebBrowser browser;
  ASSERT_TRUE(browser.Create(nullptr, "system", WS_CHILD | WS_VISIBLE, Rect(), &parent_wnd_, 3));
  IUnknown* unknown = browser.GetControlUnknown();
  ASSERT_NE(nullptr, unknown);
  IWebBrowser2* direct = nullptr;
  ASSERT_TRUE(
      SUCCEEDED(unknown->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&direct))));

  // The wrapper's answers are those the control gives through its own
  // interface (an answer the control refuses is the empty value).
  browser.put_Visible(TRUE);
  VARIANT_BOOL visible = VARIANT_FALSE;
  ASSERT_EQ(S_OK, direct->get_Visible(&visible));
  EXPECT_EQ(VARIANT_TRUE, visible);
  EXPECT_EQ(TRUE, browser.get_Visible());
  browser.put_Visible(FALSE);
  EXPECT_EQ(FALSE, browser.get_Visible());

  BSTR type = nullptr;
  const HRESULT type_hr = direct->get_Type(&type);
  EXPECT_STREQ(SUCCEEDED(type_hr) && type != nullptr ? CString(type).GetString() : "",
               browser.get_Type());
  SysFreeString(type);
  SHANDLE_PTR hwnd = 0;
  const HRESULT hwnd_hr = direct->get_HWND(&hwnd);
  EXPECT_EQ(SUCCEEDED(hwnd_hr) ? static_cast<long>(hwnd) : 0, browser.get_HWND());
  READYSTATE ready = READYSTATE_UNINITIALIZED;
  ASSERT_EQ(S_OK, direct->get_ReadyState(&ready));
  EXPECT_EQ(static_cast<long>(ready), browser.get_ReadyState());
  std::printf("system WebBrowser: get_Type 0x%08lx \"%s\", get_HWND 0x%08lx %ld\n",
              static_cast<unsigned long>(type_hr), browser.get_Type().GetString(),
              static_cast<unsigned long>(hwnd_hr), browser.get_HWND());
  direct->Release();
}

}  // namespace
