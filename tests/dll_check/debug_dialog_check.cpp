// Quorrel.dll's debug dialog, driven as a tester would, against the gate
// simulator (tools/gate_sim, wrapped mode: GATE_SIM_PORT and
// GATE_SIM_CONTROL_PORT). This program plays the launcher: it loads the
// library, binds the hall sink (whose start-up shows the dialog when
// gateclient.ini says [ui] show=999) and pumps its thread's messages, as the
// launcher's message loop does. Windows need a display: run under xvfb-run.
//   debug_dialog_check --show 999 [--shot /unix/path/dialog.png]   dialog shown, driven
//   debug_dialog_check --show 0                                     no dialog at all
// (--exit-file F: the exit code also goes into F.)
// The close-game case ends the library's gate client and unloads it, so it
// runs in a process of its own (--gtest_filter).
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winsock2.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "interface/hall/nfhall_interfaces.h"

namespace {

int g_show = 999;
std::string g_shot;

// The launcher's side: the gate client's answers to the lobby are not what
// this test looks at.
class QuietControl : public INFHallControl {
 public:
  bool SendSocketData(uint16_t, uint16_t, uint16_t, uint16_t, const void*, uint16_t) override {
    return true;
  }
  bool SendSocketData(uint16_t, uint16_t, uint16_t, uint16_t) override { return true; }
  bool SendProcessData(uint16_t, uint16_t, const void*, uint16_t) override { return true; }
  bool SendProcessData(uint16_t, uint16_t) override { return true; }
  void SendStartupRequests() override {}
};

// One JSON operation a line to the simulator's control socket, one answer back.
class SimControl {
 public:
  ~SimControl() {
    if (sock_ != INVALID_SOCKET) closesocket(sock_);
  }
  bool Connect(int port) {
    sock_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<u_short>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return sock_ != INVALID_SOCKET &&
           connect(sock_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  std::string Call(const std::string& json) {
    const std::string line = json + "\n";
    if (send(sock_, line.data(), static_cast<int>(line.size()), 0) !=
        static_cast<int>(line.size())) {
      return "";
    }
    for (;;) {
      const size_t end = pending_.find('\n');
      if (end != std::string::npos) {
        std::string answer = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        return answer;
      }
      char buf[4096];
      const int n = recv(sock_, buf, sizeof buf, 0);
      if (n <= 0) return "";
      pending_.append(buf, static_cast<size_t>(n));
    }
  }

 private:
  SOCKET sock_ = INVALID_SOCKET;
  std::string pending_;
};

// Runs this thread's messages until `done` or the deadline; true when done.
// A WM_QUIT sets `*quit` (when given) and is not dispatched.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs, bool* quit = nullptr) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        if (quit != nullptr) *quit = true;
        continue;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (done()) return true;
    if (GetTickCount() - start > timeoutMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

BOOL CALLBACK FindOwnDialog(HWND hwnd, LPARAM found) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  char cls[64] = {};
  GetClassNameA(hwnd, cls, sizeof cls);
  if (pid == GetCurrentProcessId() && std::strcmp(cls, "#32770") == 0) {
    *reinterpret_cast<HWND*>(found) = hwnd;
    return FALSE;
  }
  return TRUE;
}

// The dialog window of this process, or null.
HWND FindDialog() {
  HWND found = nullptr;
  EnumWindows(&FindOwnDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

std::wstring Text(HWND dialog, int id) {
  wchar_t buf[8192] = {};
  GetDlgItemTextW(dialog, id, buf, 8192);
  return buf;
}

std::string AnsiText(HWND dialog, int id) {
  char buf[256] = {};
  GetDlgItemTextA(dialog, id, buf, sizeof buf);
  return buf;
}

void Click(HWND dialog, int id) {
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Every text the login button is given, in order.
std::vector<std::wstring> g_buttonTexts;
WNDPROC g_buttonProc = nullptr;
LRESULT CALLBACK RecordingButtonProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_SETTEXT && l != 0) g_buttonTexts.push_back(reinterpret_cast<const wchar_t*>(l));
  return CallWindowProcW(g_buttonProc, hwnd, msg, w, l);
}

size_t IndexOf(const std::vector<std::wstring>& texts, const std::wstring& t, size_t from = 0) {
  for (size_t i = from; i < texts.size(); ++i) {
    if (texts[i] == t) return i;
  }
  return std::string::npos;
}

// Runs a host program (Wine starts a Unix path as such) and waits for it.
bool RunHostCommand(const std::string& commandLine) {
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::string cmd = commandLine;
  if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    return false;
  }
  WaitForSingleObject(pi.hProcess, 30000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return true;
}

class DebugDialog : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    const char* port = std::getenv("GATE_SIM_PORT");
    ASSERT_NE(nullptr, port) << "run under tools/gate_sim/gate_sim.py -- ...";
    std::ofstream("gateaddress.ini", std::ios::trunc)
        << "[gate]\naddress_00=127.0.0.1:" << port << "\n";
    std::ofstream("gateclient.ini", std::ios::trunc) << "[ui]\nshow=" << g_show << "\n";
    module_ = LoadLibraryA("Quorrel.dll");
    ASSERT_NE(nullptr, module_) << GetLastError();
    auto get = reinterpret_cast<INFHallSink* (*)()>(
        reinterpret_cast<void*>(GetProcAddress(module_, "GetHallSink")));
    ASSERT_NE(nullptr, get);
    sink_ = get();
    sink_->SetHallControl(&control_);
  }

  void SetUp() override {
    const char* ctl = std::getenv("GATE_SIM_CONTROL_PORT");
    ASSERT_NE(nullptr, ctl);
    ASSERT_TRUE(sim_.Connect(std::atoi(ctl)));
  }

  static HMODULE module_;
  static INFHallSink* sink_;
  static QuietControl control_;
  SimControl sim_;
};

HMODULE DebugDialog::module_ = nullptr;
INFHallSink* DebugDialog::sink_ = nullptr;
QuietControl DebugDialog::control_;

TEST_F(DebugDialog, HiddenUnlessShowIs999) {
  if (g_show == 999) GTEST_SKIP() << "the shown run";
  // The link comes up (its progress lines are written) and still no window.
  const std::string hello = sim_.Call(R"({"op":"wait","for":"12/7","timeout_ms":20000})");
  EXPECT_NE(std::string::npos, hello.find("\"ok\": true")) << hello;
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(nullptr, FindDialog());
}

TEST_F(DebugDialog, LoginSignUpAndCloseAgainstTheGate) {
  if (g_show != 999) GTEST_SKIP() << "the hidden run";
  HWND dialog = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (dialog = FindDialog()) != nullptr; }, 5000));
  char title[64] = {};
  GetWindowTextA(dialog, title, sizeof title);
  EXPECT_STREQ("Dialog", title);
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_EQ(std::wstring(L"登录"), Text(dialog, 1002));
  EXPECT_EQ(std::wstring(L"报名"), Text(dialog, 1004));
  EXPECT_EQ(std::wstring(L"关闭"), Text(dialog, 2));

  // The random test account.
  const std::string account = AnsiText(dialog, 1001);
  int number = 0;
  ASSERT_EQ(1, std::sscanf(account.c_str(), "Velmotestno%d", &number)) << account;
  EXPECT_GE(number, 200);
  EXPECT_LE(number, 999);
  EXPECT_EQ(account, "Velmotestno" + std::to_string(number));

  // The link is up (hello answered) before the login goes out. Lines the
  // session wrote before the window existed (the connect line, when the
  // link beat the dialog) are not in the pane.
  const std::string hello = sim_.Call(R"({"op":"wait","for":"12/7","timeout_ms":20000})");
  ASSERT_NE(std::string::npos, hello.find("\"ok\": true")) << hello;

  HWND button = GetDlgItem(dialog, 1002);
  g_buttonProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordingButtonProc)));
  Click(dialog, 1002);
  ASSERT_TRUE(PumpUntil([&] { return Text(dialog, 1002) == L"10001"; }, 30000))
      << "button text: " << testing::PrintToString(Text(dialog, 1002));
  ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(button) != FALSE; }, 5000));

  const std::string login = sim_.Call(R"({"op":"events","for":"13/1"})");
  EXPECT_NE(std::string::npos, login.find("\"login_account\": \"" + account + "\"")) << login;

  const size_t ing = IndexOf(g_buttonTexts, L"登录ing");
  const size_t ok = IndexOf(g_buttonTexts, L"登录ok", ing == std::string::npos ? 0 : ing);
  const size_t id = IndexOf(g_buttonTexts, L"10001", ok == std::string::npos ? 0 : ok);
  EXPECT_NE(std::string::npos, ing);
  EXPECT_NE(std::string::npos, ok);
  EXPECT_NE(std::string::npos, id);

  // Newest line on top: the user line above the login result, above the
  // typed account.
  const std::wstring pane = Text(dialog, 1000);
  const size_t user = pane.find(L"userid=10001,昵称=gate_sim");
  const size_t result = pane.find(L"收到登录结果:ok");
  const size_t typed = pane.find(L"登录账号=" + std::wstring(account.begin(), account.end()));
  ASSERT_NE(std::wstring::npos, user);
  ASSERT_NE(std::wstring::npos, result);
  ASSERT_NE(std::wstring::npos, typed);
  EXPECT_LT(user, result);
  EXPECT_LT(result, typed);

  // Sign up by match id.
  SetDlgItemTextA(dialog, 1003, "4242");
  const std::string mark = sim_.Call(R"({"op":"mark"})");
  const size_t seqAt = mark.find("\"seq\": ");
  ASSERT_NE(std::string::npos, seqAt) << mark;
  const int seq = std::atoi(mark.c_str() + seqAt + 7);
  Click(dialog, 1004);
  PumpUntil([] { return false; }, 200);
  const std::string detail = sim_.Call(R"({"op":"wait","for":"18/13","timeout_ms":10000,"after":)" +
                                       std::to_string(seq) + "}");
  EXPECT_NE(std::string::npos, detail.find("\"plan_id\": 4242")) << detail;

  if (!g_shot.empty()) {
    PumpUntil([] { return false; }, 500);  // let the window paint
    EXPECT_TRUE(RunHostCommand(
        "/bin/sh -c \"xwd -root -silent | /usr/bin/convert xwd:- png:" + g_shot + "\""));
  }

  // Close: the games, the gate link and the launcher's loop end.
  bool quit = false;
  Click(dialog, 2);
  EXPECT_TRUE(PumpUntil([&] { return quit; }, 10000, &quit));
  const std::string closed = sim_.Call(R"({"op":"wait","for":"close","timeout_ms":10000})");
  EXPECT_NE(std::string::npos, closed.find("\"ok\": true")) << closed;
}

TEST_F(DebugDialog, CloseGameEndsTheLoginWaitAndTheLibraryUnloads) {
  if (g_show != 999) GTEST_SKIP() << "the hidden run";
  HWND dialog = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (dialog = FindDialog()) != nullptr; }, 5000));
  // The login service stays silent: the login button waits.
  const std::string rule = sim_.Call(R"({"op":"rule","on":"13/1","do":[]})");
  ASSERT_NE(std::string::npos, rule.find("\"ok\": true")) << rule;
  const std::string hello = sim_.Call(R"({"op":"wait","for":"12/7","timeout_ms":20000})");
  ASSERT_NE(std::string::npos, hello.find("\"ok\": true")) << hello;

  // The lobby's user block (ANSI account) lands in the account field.
  NFHallUserInfo info = {};
  info.userId = 10001;
  WideCharToMultiByte(CP_ACP, 0, L"测试账号01", -1, info.account, sizeof info.account, nullptr,
                      nullptr);
  sink_->OnEventUserInfo(&info);
  EXPECT_TRUE(PumpUntil([&] { return Text(dialog, 1001) == L"测试账号01"; }, 5000))
      << testing::PrintToString(Text(dialog, 1001));

  HWND button = GetDlgItem(dialog, 1002);
  Click(dialog, 1002);
  ASSERT_TRUE(PumpUntil([&] { return Text(dialog, 1002) == L"登录ing"; }, 5000));
  EXPECT_FALSE(IsWindowEnabled(button));

  // Close game ends the wait long before its own bound.
  const DWORD start = GetTickCount();
  sink_->OnEventCloseGame();
  EXPECT_TRUE(PumpUntil(
      [&] { return Text(dialog, 1002) == L"登录fail" && IsWindowEnabled(button) != FALSE; }, 5000));
  EXPECT_LT(GetTickCount() - start, 10000u);

  // Unloading: the login thread's reference goes with it, the dialog goes
  // with the library, and nothing of it is left to run.
  FreeLibrary(module_);
  EXPECT_TRUE(PumpUntil([] { return GetModuleHandleA("Quorrel.dll") == nullptr; }, 5000));
  PumpUntil([] { return false; }, 200);
  HWND left = FindDialog();
  if (left != nullptr) {
    EXPECT_FALSE(IsWindowVisible(left));
    Click(left, 1002);  // an inert window: no code of the unloaded library runs
  }
  PumpUntil([] { return false; }, 200);
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  std::string exitFile;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--show") == 0) g_show = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--shot") == 0) g_shot = argv[i + 1];
    if (std::strcmp(argv[i], "--exit-file") == 0) exitFile = argv[i + 1];
  }
  const int code = RUN_ALL_TESTS();
  // Run on a virtual desktop (desktop_run.sh), the exit code goes no further
  // than Wine's explorer: leave it in a file.
  if (!exitFile.empty()) std::ofstream(exitFile, std::ios::trunc) << code;
  return code;
}
