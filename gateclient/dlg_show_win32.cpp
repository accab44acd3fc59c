#include "gateclient/dlg_show.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <vector>

#include "gateclient/client_frame/client_frame.h"
#include "gateclient/client_frame/client_requests.h"
#include "gateclient/dialog_text.h"
#include "gateclient/plan_table.h"
#include "gateclient/settings/gate_config.h"
#include "netcore/command/lambda_function.h"
#include "platform/mfc/data_exchange.h"

namespace {

// Changes posted to the window by other threads.
constexpr UINT kMsgSetText = WM_APP + 1;  // wParam control, lParam std::wstring*
constexpr UINT kMsgEnable = WM_APP + 2;   // wParam control, lParam 0/1
constexpr UINT kMsgAddLine = WM_APP + 3;  // lParam std::string* (ANSI)

// How long one question to the job thread may take.
constexpr auto kJobAnswerWait = std::chrono::seconds(2);

// The dialog's own texts are UTF-8 in the source; the pane takes ANSI.
std::string Ansi(const char* utf8) { return bsc::WideToAnsi(bsc::Utf8ToWide(utf8)); }

void FreeWide(void* p) { delete static_cast<std::wstring*>(p); }
void FreeAnsi(void* p) { delete static_cast<std::string*>(p); }

}  // namespace

// What the gate session said about the login, read on the job thread.
struct DlgShow::LoginOutcome {
  bool answered = false;
  bool ok = false;
  uint64_t userId = 0;
  std::string nickName;  // UTF-8
};

namespace {

// One question to the job thread and its answer. Shared by the asking thread
// and the job, so whichever ends last frees it.
struct JobCall {
  std::mutex lock;
  std::condition_variable done_cv;
  bool done = false;
  bool applyAccount = false;  // else: read the login progress
  std::string account;
  bool answered = false;
  bool ok = false;
  uint64_t userId = 0;
  std::string nickName;
};

// Job thread: the login record is the job thread's alone.
void RunJobCall(std::shared_ptr<JobCall> call) {
  if (bsc::ClientFrame* frame = bsc::GetClientFrame()) {
    bsc::GateClientProc& session = frame->Session();
    bsc::LoginStat& login = session.Login();
    if (call->applyAccount) {
      // The account as typed (no conversion); the rest of the user as the
      // lobby gave it. The hand-over clears the answered flag, sets
      // auto-login and sends the login at once in states 2 and 4; it is
      // queued behind this job, so every later question sees its effect.
      bsc::LoginUser user = login.user;
      user.account = call->account;
      session.SubmitLoginUser(user);
    } else {
      call->answered = login.loginAnswered.load();
      call->ok = login.loginOk.load();
      call->userId = login.baseInfo.user_id();
      call->nickName = login.baseInfo.nick_name();
    }
  }
  std::lock_guard<std::mutex> guard(call->lock);
  call->done = true;
  call->done_cv.notify_all();
}

}  // namespace

BEGIN_MESSAGE_MAP(DlgShow, CDialogEx)
ON_BN_CLICKED(IDCANCEL, OnClose)
ON_BN_CLICKED(IDC_DLGSHOW_LOGIN, OnLogin)
ON_BN_CLICKED(IDC_DLGSHOW_SIGN_UP, OnSignUp)
ON_MESSAGE(kMsgSetText, OnPostedText)
ON_MESSAGE(kMsgEnable, OnPostedEnable)
ON_MESSAGE(kMsgAddLine, OnPostedLine)
ON_MESSAGE(WM_DESTROY, OnDestroyWindow)
END_MESSAGE_MAP()

DlgShow::DlgShow() : CDialogEx(IDD, nullptr) {}

DlgShow::~DlgShow() {
  StopLogin();
  {
    std::lock_guard<std::mutex> guard(windowLock_);
    window_ = nullptr;
  }
  // On the window's own thread while this object is whole, so WM_DESTROY
  // still frees what was posted; elsewhere CDialog leaves the window inert.
  if (m_hWnd != nullptr && ::GetWindowThreadProcessId(m_hWnd, nullptr) == ::GetCurrentThreadId()) {
    DestroyWindow();
  }
}

DlgShow& GetDlgShow() {
  static DlgShow dialog;
  return dialog;
}

bool DlgShow::Show() {
  if (m_hWnd == nullptr) {
    if (!Create(IDD, nullptr)) return false;
    std::lock_guard<std::mutex> guard(windowLock_);
    window_ = m_hWnd;
  }
  ShowWindow(SW_SHOW);
  return true;
}

void DlgShow::DoDataExchange(CDataExchange* pDX) {
  CDialogEx::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_DLGSHOW_LOG, logPane_);
  DDX_Control(pDX, IDC_DLGSHOW_ACCOUNT, account_);
  DDX_Text(pDX, IDC_DLGSHOW_MATCH_ID, matchId_);
}

BOOL DlgShow::OnInitDialog() {
  CDialogEx::OnInitDialog();
  std::srand(static_cast<unsigned>(std::time(nullptr)) +
             static_cast<unsigned>(::GetCurrentThreadId()) * ::GetTickCount());
  char account[32];
  std::snprintf(account, sizeof account, "Velmotestno%d", (std::rand() * std::rand()) % 800 + 200);
  account_.SetWindowText(account);
  return TRUE;
}

// --- lines and texts from any thread ------------------------------------------------

bool DlgShow::PostOwned(UINT message, WPARAM wParam, void* payload, void (*release)(void*)) {
  std::lock_guard<std::mutex> guard(windowLock_);
  if (window_ == nullptr ||
      !::PostMessageA(window_, message, wParam, reinterpret_cast<LPARAM>(payload))) {
    if (release != nullptr) release(payload);
    return false;
  }
  return true;
}

bool DlgShow::PostText(int control, const std::wstring& text) {
  return PostOwned(kMsgSetText, static_cast<WPARAM>(control), new std::wstring(text), &FreeWide);
}

bool DlgShow::PostEnable(int control, bool enable) {
  return PostOwned(kMsgEnable, static_cast<WPARAM>(control),
                   reinterpret_cast<void*>(static_cast<intptr_t>(enable ? 1 : 0)), nullptr);
}

bool DlgShow::PostLine(const std::string& ansi) {
  return PostOwned(kMsgAddLine, 0, new std::string(ansi), &FreeAnsi);
}

void DlgShow::AppendLine(const std::string& ansi) { PostLine(ansi); }

void DlgShow::AppendUtf8Line(const std::string& utf8) {
  if (g_config == nullptr || g_config->show.value != 999) return;
  PostLine(bsc::WideToAnsi(bsc::Utf8ToWide(utf8), kMaxLineBytes));
}

void DlgShow::AppendWideLine(const std::wstring& text) {
  PostLine(bsc::WideToAnsi(text, kMaxLineBytes));
}

void DlgShow::SetAccount(const std::string& ansi) {
  PostText(IDC_DLGSHOW_ACCOUNT, bsc::AnsiToWide(bsc::CutAnsi(ansi, kMaxAccountBytes)));
}

LRESULT DlgShow::OnPostedText(WPARAM control, LPARAM text) {
  std::unique_ptr<std::wstring> owned(reinterpret_cast<std::wstring*>(text));
  ::SetDlgItemTextW(m_hWnd, static_cast<int>(control), owned->c_str());
  return 0;
}

LRESULT DlgShow::OnPostedEnable(WPARAM control, LPARAM enable) {
  ::EnableWindow(::GetDlgItem(m_hWnd, static_cast<int>(control)), enable != 0);
  return 0;
}

LRESULT DlgShow::OnPostedLine(WPARAM, LPARAM text) {
  std::unique_ptr<std::string> line(reinterpret_cast<std::string*>(text));
  CString old;
  logPane_.GetWindowText(old);
  logPane_.SetWindowText((*line + "\r\n" + old.str()).c_str());
  return 0;
}

LRESULT DlgShow::OnDestroyWindow(WPARAM, LPARAM) {
  {
    std::lock_guard<std::mutex> guard(windowLock_);
    window_ = nullptr;  // no post reaches the window from here on
  }
  StopLogin();
  // The controls go with the window; a later Create binds the new ones.
  logPane_.Detach();
  account_.Detach();
  // Free what was posted and not yet handled.
  MSG msg;
  while (::PeekMessageA(&msg, m_hWnd, kMsgSetText, kMsgAddLine, PM_REMOVE)) {
    if (msg.message == kMsgSetText) FreeWide(reinterpret_cast<void*>(msg.lParam));
    if (msg.message == kMsgAddLine) FreeAnsi(reinterpret_cast<void*>(msg.lParam));
  }
  return 0;
}

// --- buttons ---------------------------------------------------------------------------

void DlgShow::OnClose() {
  StopLogin();
  bsc::KillAllGames();
  if (bsc::ClientFrame* frame = bsc::GetClientFrame()) frame->Stop();
  ::PostMessageA(m_hWnd, WM_QUIT, 0, 0);
}

void DlgShow::OnSignUp() {
  if (!UpdateData(TRUE)) return;
  if (bsc::ClientFrame* frame = bsc::GetClientFrame()) {
    bsc::SignUpByPlan(*frame, static_cast<uint32_t>(matchId_));
  }
}

void DlgShow::OnLogin() {
  CString account;
  account_.GetWindowText(account);
  AppendLine(Ansi("登录账号=") + account.str());
  {
    std::lock_guard<std::mutex> guard(loginLock_);
    if (loginStop_ || loginRunning_) return;
    loginRunning_ = true;
    loginAccount_ = account.str();
  }
  ::EnableWindow(::GetDlgItem(m_hWnd, IDC_DLGSHOW_LOGIN), FALSE);
  // The thread holds a reference on this library and drops it as it ends
  // (FreeLibraryAndExitThread): the library, and so this dialog, cannot be
  // unloaded under it.
  HMODULE self = nullptr;
  ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCSTR>(&DlgShow::LoginThreadProc), &self);
  HANDLE thread = ::CreateThread(nullptr, 0, &DlgShow::LoginThreadProc, this, 0, nullptr);
  if (thread == nullptr) {
    if (self != nullptr) ::FreeLibrary(self);
    std::lock_guard<std::mutex> guard(loginLock_);
    loginRunning_ = false;
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_DLGSHOW_LOGIN), TRUE);
    return;
  }
  ::CloseHandle(thread);
}

// --- the login thread ------------------------------------------------------------------

unsigned long __stdcall DlgShow::LoginThreadProc(void* self) {
  static_cast<DlgShow*>(self)->RunLogin();
  HMODULE module = nullptr;
  ::GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&DlgShow::LoginThreadProc), &module);
  ::FreeLibraryAndExitThread(module, 0);
  return 0;
}

void DlgShow::StopLogin() {
  std::lock_guard<std::mutex> guard(loginLock_);
  loginStop_ = true;
  loginCv_.notify_all();
}

bool DlgShow::PauseUnlessStopped(uint32_t ms) {
  std::unique_lock<std::mutex> guard(loginLock_);
  return !loginCv_.wait_for(guard, std::chrono::milliseconds(ms), [this] { return loginStop_; });
}

namespace {

// Posts the call to the job thread; the caller holds the login lock, so a
// stop (which frees the job thread only after taking that lock) cannot
// overtake the post.
bool PostJobCall(const std::shared_ptr<JobCall>& call) {
  bsc::ClientFrame* frame = bsc::GetClientFrame();
  if (frame == nullptr) return false;
  auto* cmd = new bs::CMD_LambdaFunction<std::shared_ptr<JobCall>>(&RunJobCall, 0, call);
  if (!frame->PostToJobThread(cmd)) {
    cmd->done.store(true);  // not taken: never run here
    cmd->handler->Release();
    return false;
  }
  return true;
}

bool WaitJobCall(const std::shared_ptr<JobCall>& call) {
  std::unique_lock<std::mutex> guard(call->lock);
  return call->done_cv.wait_for(guard, kJobAnswerWait, [&] { return call->done; });
}

}  // namespace

bool DlgShow::ApplyAccountOnJobThread(const std::string& account) {
  auto call = std::make_shared<JobCall>();
  call->applyAccount = true;
  call->account = account;
  {
    std::lock_guard<std::mutex> guard(loginLock_);
    if (loginStop_ || !PostJobCall(call)) return false;
  }
  return WaitJobCall(call);
}

bool DlgShow::QueryLogin(LoginOutcome* out) {
  auto call = std::make_shared<JobCall>();
  {
    std::lock_guard<std::mutex> guard(loginLock_);
    if (loginStop_ || !PostJobCall(call)) return false;
  }
  if (!WaitJobCall(call)) return false;
  out->answered = call->answered;
  out->ok = call->ok;
  out->userId = call->userId;
  out->nickName = call->nickName;
  return true;
}

void DlgShow::RunLogin() {
  PostEnable(IDC_DLGSHOW_LOGIN, false);
  PostText(IDC_DLGSHOW_LOGIN, L"登录ing");
  std::string account;
  {
    std::lock_guard<std::mutex> guard(loginLock_);
    account = loginAccount_;
  }
  LoginOutcome outcome;
  bool finished = false;
  if (ApplyAccountOnJobThread(account)) {
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < kLoginWaitMs) {
      if (!QueryLogin(&outcome)) break;
      if (outcome.answered) {
        finished = true;
        break;
      }
      if (!PauseUnlessStopped(100)) break;
    }
  }
  if (finished && outcome.ok) {
    PostText(IDC_DLGSHOW_LOGIN, L"登录ok");
    std::printf("login ok:%d\n", static_cast<int>(::GetTickCount()));
    std::fflush(stdout);
    const std::string id = std::to_string(static_cast<long long>(outcome.userId));
    PostText(IDC_DLGSHOW_LOGIN, std::wstring(id.begin(), id.end()));
    PostLine("userid=" + id + Ansi(",昵称=") + bsc::WideToAnsi(bsc::Utf8ToWide(outcome.nickName)));
  } else {
    PostText(IDC_DLGSHOW_LOGIN, L"登录fail");
  }
  PostEnable(IDC_DLGSHOW_LOGIN, true);
  std::lock_guard<std::mutex> guard(loginLock_);
  loginRunning_ = false;
}
