// Quorrel.dll's debug dialog, driven as a tester would, against the gate
// simulator (tools/gate_sim, wrapped mode: GATE_SIM_PORT and
// GATE_SIM_CONTROL_PORT). This program plays the launcher: it loads the
// library, binds the hall sink (whose start-up shows the dialog when
// gateclient.ini says [ui] show=999) and pumps its thread's messages, as the
// launcher's message loop does. Windows need a display: run under xvfb-run.
//   debug_dialog_check --show 999 [--shot /unix/path/dialog.png]   dialog shown, driven
//   debug_dialog_check --show 0                                     no dialog at all
// (--exit-file F: the exit code also goes into F.)
// The shown run also refuses the login thread its library reference (a
// patched GetModuleHandleExA), answers one login with a failure, clicks the
// login button again once logged in and floods the log pane with pulses.
// The close-game case lets go of the library while the login waits, ends the
// gate client and unloads the library on another thread, so it runs in a
// process of its own (--gtest_filter).
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
#include "tests/dll_check/api_patch_test_util.h"

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

// The whole text of a control, however long.
std::wstring FullText(HWND dialog, int id) {
  const HWND control = GetDlgItem(dialog, id);
  std::vector<wchar_t> buf(static_cast<size_t>(GetWindowTextLengthW(control)) + 1);
  GetWindowTextW(control, buf.data(), static_cast<int>(buf.size()));
  return buf.data();
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

// The wait answers of the simulator carry "ok": true.
bool SimOk(const std::string& answer) { return answer.find("\"ok\": true") != std::string::npos; }

// The newest event's sequence number, to look only at what comes after it.
int SimMark(SimControl& sim) {
  const std::string mark = sim.Call(R"({"op":"mark"})");
  const size_t at = mark.find("\"seq\": ");
  return at == std::string::npos ? -1 : std::atoi(mark.c_str() + at + 7);
}

size_t Count(const std::wstring& text, const std::wstring& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

BOOL WINAPI RefusingGetModuleHandleExA(DWORD, LPCSTR, HMODULE* module) {
  if (module != nullptr) *module = nullptr;
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return FALSE;
}

DWORD WINAPI FreeLibraryProc(void* module) {
  FreeLibrary(static_cast<HMODULE>(module));
  return 0;
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

  // Without its reference on the library the login thread does not start: it
  // would drop a reference it never took, the host's.
  {
    const int before = SimMark(sim_);
    ApiPatch refuse;
    ASSERT_TRUE(refuse.Patch("kernel32.dll", "GetModuleHandleExA",
                             reinterpret_cast<void*>(&RefusingGetModuleHandleExA)));
    Click(dialog, 1002);
    refuse.Restore();
    PumpUntil([] { return false; }, 1500);
    EXPECT_TRUE(IsWindowEnabled(button));
    EXPECT_EQ(std::string::npos, IndexOf(g_buttonTexts, L"登录ing"));
    const std::string sent =
        sim_.Call(R"({"op":"events","for":"13/1","after":)" + std::to_string(before) + "}");
    EXPECT_EQ(std::string::npos, sent.find("login_account")) << sent;
    EXPECT_NE(nullptr, GetModuleHandleA("Quorrel.dll"));
  }

  // The login service says no: the button tells so as soon as the answer is in.
  ASSERT_TRUE(
      SimOk(sim_.Call(R"({"op":"rule","on":"13/1","do":[{"op":"login_rsp","result":1}]})")));
  g_buttonTexts.clear();
  Click(dialog, 1002);
  ASSERT_TRUE(PumpUntil(
      [&] { return Text(dialog, 1002) == L"登录fail" && IsWindowEnabled(button) != FALSE; }, 15000))
      << "button text: " << testing::PrintToString(Text(dialog, 1002));
  EXPECT_NE(std::string::npos, IndexOf(g_buttonTexts, L"登录ing"));
  EXPECT_EQ(std::string::npos, IndexOf(g_buttonTexts, L"登录ok"));
  EXPECT_NE(std::wstring::npos, Text(dialog, 1000).find(L"收到登录结果:fail"));

  ASSERT_TRUE(SimOk(sim_.Call(R"({"op":"rule","on":"13/1","do":[{"op":"login_rsp"}]})")));
  g_buttonTexts.clear();
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

  // Logged in already: a second click says so at once with this login's user,
  // sends no login and leaves the running session's account alone (the login
  // after a dropped link still carries it).
  g_buttonTexts.clear();
  SetDlgItemTextA(dialog, 1001, "Velmotestno_other");
  const int beforeAgain = SimMark(sim_);
  Click(dialog, 1002);
  ASSERT_TRUE(PumpUntil(
      [&] {
        return IndexOf(g_buttonTexts, L"10001") != std::string::npos && IsWindowEnabled(button);
      },
      10000))
      << "button text: " << testing::PrintToString(Text(dialog, 1002));
  EXPECT_NE(std::string::npos, IndexOf(g_buttonTexts, L"登录ok"));
  EXPECT_EQ(std::string::npos, IndexOf(g_buttonTexts, L"登录fail"));
  EXPECT_EQ(2u, Count(Text(dialog, 1000), L"userid=10001,昵称=gate_sim"));
  const std::string again =
      sim_.Call(R"({"op":"events","for":"13/1","after":)" + std::to_string(beforeAgain) + "}");
  EXPECT_EQ(std::string::npos, again.find("login_account")) << again;
  ASSERT_TRUE(SimOk(sim_.Call(R"({"op":"rst"})")));
  const std::string relogin = sim_.Call(R"({"op":"wait","for":"13/1","timeout_ms":20000,"after":)" +
                                        std::to_string(beforeAgain) + "}");
  EXPECT_NE(std::string::npos, relogin.find("\"login_account\": \"" + account + "\"")) << relogin;

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

  // The pane keeps its newest lines only: many more gate frames than it
  // holds (each pulse adds a line), and its oldest lines, the login's among
  // them, are gone.
  const int beforePulses = SimMark(sim_);
  const int pulses = 600;
  for (int i = 0; i < pulses; ++i) ASSERT_TRUE(SimOk(sim_.Call(R"({"op":"pulse"})")));
  ASSERT_TRUE(SimOk(sim_.Call(R"({"op":"wait","for":"12/2","timeout_ms":30000,"count":)" +
                              std::to_string(pulses) +
                              ",\"after\":" + std::to_string(beforePulses) + "}")));
  std::wstring full;
  PumpUntil([&] { return (full = FullText(dialog, 1000)).find(L"userid=") == std::wstring::npos; },
            10000);
  EXPECT_EQ(500u, Count(full, L"\r\n"));
  // The newest on top: the last pulse and the client's answer to it.
  EXPECT_LT(full.find(L"收到报文0,kind=gate,id=1"), 100u)
      << testing::PrintToString(full.substr(0, 80));
  EXPECT_EQ(std::wstring::npos, full.find(L"userid=10001"));

  // A tester empties the pane and types a line of their own: the bound
  // counts what the pane holds, so the next lines go in on top and nothing
  // newer than the pane's oldest line is cut.
  HWND logPane = GetDlgItem(dialog, 1000);
  SendMessageW(logPane, EM_SETSEL, 0, -1);
  SendMessageW(logPane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"typed by hand\r\n"));
  const int beforeFew = SimMark(sim_);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(SimOk(sim_.Call(R"({"op":"pulse"})")));
  ASSERT_TRUE(SimOk(sim_.Call(R"({"op":"wait","for":"12/2","timeout_ms":30000,"count":3,"after":)" +
                              std::to_string(beforeFew) + "}")));
  PumpUntil([&] { return Count(full = FullText(dialog, 1000), L"收到报文0,kind=gate,id=1") >= 3; },
            10000);
  EXPECT_LE(3u, Count(full, L"收到报文0,kind=gate,id=1")) << testing::PrintToString(full);
  EXPECT_NE(std::wstring::npos, full.find(L"typed by hand\r\n")) << testing::PrintToString(full);

  // Close: the games, the gate link and the launcher's loop end.
  bool quit = false;
  Click(dialog, 2);
  EXPECT_TRUE(PumpUntil([&] { return quit; }, 10000, &quit));
  const std::string closed = sim_.Call(R"({"op":"wait","for":"close","timeout_ms":10000})");
  EXPECT_NE(std::string::npos, closed.find("\"ok\": true")) << closed;
}

TEST_F(DebugDialog, CloseGameEndsTheLoginWaitAndTheLibraryUnloads) {
  // Runs in a process of its own (the close_game case): it unloads the library.
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

  // The host lets go of the library while the login waits: the login
  // thread's own reference keeps it, and the dialog and the gate client with
  // it. Then the host takes it again to tell the library to close the game.
  FreeLibrary(module_);
  module_ = nullptr;
  EXPECT_NE(nullptr, GetModuleHandleA("Quorrel.dll"));
  PumpUntil([] { return false; }, 1000);
  HMODULE held = nullptr;
  ASSERT_TRUE(GetModuleHandleExA(0, "Quorrel.dll", &held));
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_EQ(std::wstring(L"登录ing"), Text(dialog, 1002));

  // Close game ends the wait long before its own bound.
  const DWORD start = GetTickCount();
  sink_->OnEventCloseGame();
  EXPECT_TRUE(PumpUntil(
      [&] { return Text(dialog, 1002) == L"登录fail" && IsWindowEnabled(button) != FALSE; }, 5000));
  EXPECT_LT(GetTickCount() - start, 10000u);

  // A line for the pane (the click's "登录账号=" line; no login starts after
  // close game) waits in this thread's queue, not pumped, while the library
  // goes on another thread, the login thread or the one below. It unloads,
  // and what it left in the queue for its window owns nothing: a text riding
  // in a message would never be freed.
  Click(dialog, 1002);
  HANDLE unloader = CreateThread(nullptr, 0, &FreeLibraryProc, held, 0, nullptr);
  ASSERT_NE(nullptr, unloader);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(unloader, 10000));
  CloseHandle(unloader);
  const DWORD unloadStart = GetTickCount();
  while (GetModuleHandleA("Quorrel.dll") != nullptr && GetTickCount() - unloadStart < 10000) {
    Sleep(20);  // a bounded poll of the module list
  }
  EXPECT_EQ(nullptr, GetModuleHandleA("Quorrel.dll"));
  MSG msg;
  int carrying = 0;
  while (PeekMessageW(&msg, dialog, WM_APP, 0xBFFF, PM_REMOVE)) {
    if (msg.lParam != 0) ++carrying;
  }
  EXPECT_EQ(0, carrying);

  // Nothing of the library is left to run.
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
