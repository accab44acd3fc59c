// The framework pieces that work without a window: message-map routing along
// the class chain, the application object's life in a module (one a module,
// InitInstance / Run / ExitInstance as AfxWinMain drives them) and CString.
// Dialogs with their resources are tested through the gate client's debug
// dialog (tests/dll_check/debug_dialog_check.cpp).
#include <winsock2.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/mfc/mfc.h"

namespace {

std::vector<std::string> g_calls;

class BaseTarget : public CCmdTarget {
 public:
  void OnBaseOnly() { g_calls.push_back("base-only"); }
  void OnShared() { g_calls.push_back("base-shared"); }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(BaseTarget, CCmdTarget)
ON_BN_CLICKED(10, OnBaseOnly)
ON_BN_CLICKED(11, OnShared)
END_MESSAGE_MAP()

// A second base first, so the handlers sit at an offset inside the object.
struct Padding {
  virtual ~Padding() = default;
  int pad[3] = {};
};

class DerivedTarget : public Padding, public BaseTarget {
 public:
  void OnShared() { g_calls.push_back("derived-shared:" + std::to_string(value_)); }
  void OnOwn() { g_calls.push_back("derived-own"); }
  int value_ = 7;
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(DerivedTarget, BaseTarget)
ON_BN_CLICKED(11, OnShared)
ON_COMMAND(12, OnOwn)
END_MESSAGE_MAP()

TEST(MessageMap, DerivedEntriesFirstThenTheBasesAndNothingElse) {
  g_calls.clear();
  DerivedTarget target;
  CCmdTarget& asTarget = target;
  EXPECT_TRUE(asTarget.OnCmdMsg(11, BN_CLICKED));
  EXPECT_TRUE(asTarget.OnCmdMsg(10, BN_CLICKED));
  EXPECT_TRUE(asTarget.OnCmdMsg(12, BN_CLICKED));
  EXPECT_FALSE(asTarget.OnCmdMsg(13, BN_CLICKED));
  EXPECT_FALSE(asTarget.OnCmdMsg(11, EN_CHANGE));  // another notification
  EXPECT_EQ((std::vector<std::string>{"derived-shared:7", "base-only", "derived-own"}), g_calls);
}

class CountingApp : public CWinApp {
 public:
  explicit CountingApp(BOOL init) : CWinApp("counting"), init_(init) {}
  BOOL InitInstance() override {
    ++inits;
    if (init_) ::PostThreadMessageA(::GetCurrentThreadId(), WM_QUIT, 7, 0);
    return init_;
  }
  int Run() override {
    ++runs;
    return CWinApp::Run();
  }
  int ExitInstance() override {
    ++exits;
    return CWinApp::ExitInstance();
  }
  int inits = 0, runs = 0, exits = 0;

 private:
  BOOL init_;
};

TEST(WinApp, OneApplicationObjectAModuleDrivenByAfxWinMain) {
  CountingApp app(TRUE);
  ASSERT_EQ(&app, AfxGetApp());
  EXPECT_EQ(::GetModuleHandleA(nullptr), AfxGetInstanceHandle());
  {
    CountingApp second(FALSE);  // the first one constructed stays
    EXPECT_EQ(&app, AfxGetApp());
  }
  EXPECT_EQ(&app, AfxGetApp());
  // The message loop ends at WM_QUIT and its code becomes the exit code.
  EXPECT_EQ(7, AfxWinMain(::GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOW));
  EXPECT_EQ(1, app.inits);
  EXPECT_EQ(1, app.runs);
  EXPECT_EQ(1, app.exits);
}

TEST(WinApp, FailedInitInstanceSkipsTheLoop) {
  ASSERT_EQ(nullptr, AfxGetApp());
  CountingApp app(FALSE);
  EXPECT_EQ(0, AfxWinMain(::GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOW));
  EXPECT_EQ(1, app.inits);
  EXPECT_EQ(0, app.runs);
  EXPECT_EQ(1, app.exits);
}

TEST(CStringTest, FormatBuffersAndConversions) {
  CString s;
  s.Format("%s-%04d-%I64d", "Velmo", 42, static_cast<long long>(1) << 40);
  EXPECT_STREQ("Velmo-0042-1099511627776", s);
  s.Format("%s", std::string(5000, 'x').c_str());  // longer than any fixed buffer
  EXPECT_EQ(5000, s.GetLength());

  CString b("abc");
  char* p = b.GetBuffer(10);
  std::strcpy(p, "hello");
  b.ReleaseBuffer();
  EXPECT_EQ(CString("hello"), b);
  EXPECT_EQ(CString("ell"), b.Mid(1, 3));
  EXPECT_EQ(CString("he"), b.Left(2));
  EXPECT_EQ(CString(""), b.Mid(9));
  EXPECT_EQ(2, b.Find("ll"));
  EXPECT_EQ(CString("hello!"), b + "!");
  EXPECT_EQ(CString("ab"), CString(L"ab"));
  EXPECT_FALSE(CString().LoadString(65000));  // no such string: empty, false
}

TEST(SocketInit, StartsOnceForTheModule) {
  WSADATA data;
  EXPECT_TRUE(AfxSocketInit(&data));
  EXPECT_EQ(MAKEWORD(2, 2), data.wVersion);
  EXPECT_TRUE(AfxSocketInit());
}

}  // namespace
