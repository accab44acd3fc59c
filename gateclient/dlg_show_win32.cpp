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
#include "netcore/port/platform.h"
#include "platform/mfc/data_exchange.h"

namespace {

// Wakes the window's thread to make the queued changes; carries nothing, so
// a wake left in the queue when the dialog goes owns nothing.
constexpr UINT kMsgWake = WM_APP + 1;

// How long one question to the job thread may take.
constexpr auto kJobAnswerWait = std::chrono::seconds(2);

// The dialog's own texts are UTF-8 in the source; the pane takes ANSI.
std::string Ansi(const char* utf8) { return bsc::WideToAnsi(bsc::Utf8ToWide(utf8)); }

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
  // The account was not applied: the session was already logged in, and the
  // outcome below is that login's.
  bool alreadyLoggedIn = false;
  bool answered = false;
  bool ok = false;
  uint64_t userId = 0;
  std::string nickName;
};

// Job thread: the login record is the job thread's alone.
void RunJobCall(std::shared_ptr<JobCall> call) {
  if (bsc::ClientFrame* frame = bsc::GetClientFrame()) {
    Q_CHECK_FRAME_JOB_THREAD(frame);
    bsc::GateClientProc& session = frame->Session();
    bsc::LoginStat& login = session.Login();
    if (call->applyAccount && login.loginState.load() != bsc::kLoginLoggedIn) {
      // The account as typed (no conversion); the rest of the user as the
      // lobby gave it. The hand-over clears the answered flag, sets
      // auto-login and sends the login at once in states 2 and 4; it is
      // queued behind this job, so every later question sees its effect.
      bsc::LoginUser user = login.user;
      user.account = call->account;
      session.SubmitLoginUser(user);
    } else {
      // The login progress. It also answers a hand-over made while logged
      // in: no login would go out in that state, so the running session
      // keeps its account and the button tells that login's outcome.
      call->alreadyLoggedIn = call->applyAccount;
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
ON_MESSAGE(kMsgWake, OnWake)
ON_MESSAGE(WM_DESTROY, OnDestroyWindow)
END_MESSAGE_MAP()

DlgShow::DlgShow() : CDialogEx(IDD, nullptr) {}

DlgShow::~DlgShow() {
  StopLogin();
  {
    std::lock_guard<std::mutex> guard(windowLock_);
    window_ = nullptr;
  }
  // On the window's own thread while this object is whole; elsewhere CDialog
  // leaves the window inert. Either way the queued changes are members and
  // go with this object; the wakes left in the window's queue own nothing.
  if (m_hWnd != nullptr && ::GetWindowThreadProcessId(m_hWnd, nullptr) == ::GetCurrentThreadId()) {
    DestroyWindow();
  }
}

DlgShow& GetDlgShow() {
  static DlgShow dialog;
  return dialog;
}

bool DlgShow::Show() {
  Q_CHECK_BOUND_THREAD(windowThread_, "dialog window thread");
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
  // The pane's own bound is kPaneMaxLines lines, not the edit control's
  // default text limit, which would cut the lines inserted on top.
  ::SendMessageW(logPane_.GetSafeHwnd(), EM_SETLIMITTEXT, 0, 0);
  paneLines_.clear();
  paneChars_ = 0;
  return TRUE;
}

// --- lines and texts from any thread ------------------------------------------------

bool DlgShow::WakeLocked() {
  if (wakePosted_) return true;
  // A wake that cannot be posted (the queue is full) is tried again with the
  // next change; what is queued stays queued.
  wakePosted_ = ::PostMessageA(window_, kMsgWake, 0, 0) != FALSE;
  return wakePosted_;
}

bool DlgShow::PostText(int control, const std::wstring& text) {
  std::lock_guard<std::mutex> guard(windowLock_);
  if (window_ == nullptr) return false;
  ControlChange change;
  change.control = control;
  change.setText = true;
  change.text = text;
  pendingChanges_.push_back(std::move(change));
  return WakeLocked();
}

bool DlgShow::PostEnable(int control, bool enable) {
  std::lock_guard<std::mutex> guard(windowLock_);
  if (window_ == nullptr) return false;
  ControlChange change;
  change.control = control;
  change.enable = enable;
  pendingChanges_.push_back(std::move(change));
  return WakeLocked();
}

bool DlgShow::PostLine(const std::string& ansi) {
  std::lock_guard<std::mutex> guard(windowLock_);
  if (window_ == nullptr) return false;
  // A window's thread that falls behind loses the oldest lines here, as the
  // pane would.
  if (pendingLines_.size() >= kPaneMaxLines) pendingLines_.pop_front();
  pendingLines_.push_back(bsc::CutAnsi(ansi, kMaxLineBytes));
  return WakeLocked();
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

LRESULT DlgShow::OnWake(WPARAM, LPARAM) {
  Q_CHECK_BOUND_THREAD(windowThread_, "dialog window thread");
  std::deque<std::string> lines;
  std::vector<ControlChange> changes;
  {
    std::lock_guard<std::mutex> guard(windowLock_);
    lines.swap(pendingLines_);
    changes.swap(pendingChanges_);
    wakePosted_ = false;
  }
  for (const ControlChange& change : changes) {
    if (change.setText) {
      ::SetDlgItemTextW(m_hWnd, change.control, change.text.c_str());
    } else {
      ::EnableWindow(::GetDlgItem(m_hWnd, change.control), change.enable);
    }
  }
  if (!lines.empty()) AddToPane(lines);
  return 0;
}

void DlgShow::AddToPane(const std::deque<std::string>& lines) {
  Q_CHECK_BOUND_THREAD(windowThread_, "dialog window thread");
  HWND pane = logPane_.GetSafeHwnd();
  if (pane == nullptr) return;
  // Newest on top: the batch goes in newest first, in one edit at the start.
  std::wstring text;
  std::deque<size_t> sizes;  // newest first, as in the pane
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    const std::wstring line = bsc::PaneLine(*it);
    text += line;
    sizes.push_back(line.size());
  }
  // A tester may have typed into the pane since: then the lengths kept no
  // longer describe it, and are taken from what it holds.
  if (static_cast<size_t>(::GetWindowTextLengthW(pane)) != paneChars_) RecountPane(pane);
  ::SendMessageW(pane, EM_SETSEL, 0, 0);
  ::SendMessageW(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  paneLines_.insert(paneLines_.begin(), sizes.begin(), sizes.end());
  paneChars_ += text.size();
  // The control decides what it took (a limit, its own line ends).
  if (static_cast<size_t>(::GetWindowTextLengthW(pane)) != paneChars_) RecountPane(pane);
  if (paneLines_.size() <= kPaneMaxLines) return;
  // The oldest lines are at the end of the text: cut them off there.
  size_t drop = 0;
  while (paneLines_.size() > kPaneMaxLines) {
    drop += paneLines_.back();
    paneLines_.pop_back();
  }
  const size_t end = paneChars_;
  const size_t from = end > drop ? end - drop : 0;
  ::SendMessageW(pane, EM_SETSEL, from, end);
  ::SendMessageW(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
  ::SendMessageW(pane, EM_SETSEL, 0, 0);
  paneChars_ = from;
}

void DlgShow::RecountPane(HWND pane) {
  Q_CHECK_BOUND_THREAD(windowThread_, "dialog window thread");
  const int n = ::GetWindowTextLengthW(pane);
  std::wstring text(static_cast<size_t>(n > 0 ? n : 0) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetWindowTextW(pane, &text[0], n + 1)));
  // A line is what ends in "\r\n"; text after the last one belongs to it.
  paneLines_.clear();
  size_t start = 0;
  for (size_t at; (at = text.find(L"\r\n", start)) != std::wstring::npos; start = at + 2) {
    paneLines_.push_back(at + 2 - start);
  }
  if (start < text.size()) {
    if (paneLines_.empty()) {
      paneLines_.push_back(text.size() - start);
    } else {
      paneLines_.back() += text.size() - start;
    }
  }
  paneChars_ = text.size();
}

LRESULT DlgShow::OnDestroyWindow(WPARAM, LPARAM) {
  Q_CHECK_BOUND_THREAD(windowThread_, "dialog window thread");
  {
    std::lock_guard<std::mutex> guard(windowLock_);
    window_ = nullptr;  // nothing is queued for the window from here on
    pendingLines_.clear();
    pendingChanges_.clear();
    wakePosted_ = false;
  }
  StopLogin();
  // The controls go with the window; a later Create binds the new ones.
  logPane_.Detach();
  account_.Detach();
  paneLines_.clear();
  paneChars_ = 0;
  windowThread_.Detach();
  return 0;
}

// --- buttons ---------------------------------------------------------------------------

void DlgShow::OnClose() {
  Q_CHECK_BOUND_THREAD(windowThread_, "dialog window thread");
  StopLogin();
  bsc::KillAllGames();
  if (bsc::ClientFrame* frame = bsc::GetClientFrame()) frame->Stop();
  ::PostMessageA(m_hWnd, WM_QUIT, 0, 0);
}

void DlgShow::OnSignUp() {
  Q_CHECK_BOUND_THREAD(windowThread_, "dialog window thread");
  if (!UpdateData(TRUE)) return;
  if (bsc::ClientFrame* frame = bsc::GetClientFrame()) {
    bsc::SignUpByPlan(*frame, static_cast<uint32_t>(matchId_));
  }
}

void DlgShow::OnLogin() {
  Q_CHECK_BOUND_THREAD(windowThread_, "dialog window thread");
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
  // unloaded under it. Without that reference no thread starts.
  if (q_platform::StartDetachedThread([this] { RunLogin(); })) return;
  std::lock_guard<std::mutex> guard(loginLock_);
  loginRunning_ = false;
  ::EnableWindow(::GetDlgItem(m_hWnd, IDC_DLGSHOW_LOGIN), TRUE);
}

void DlgShow::StopLogin() {
  std::lock_guard<std::mutex> guard(loginLock_);
  loginStop_ = true;
  loginCv_.notify_all();
}

bool DlgShow::PauseUnlessStopped(uint32_t ms) {
  Q_CHECK_BOUND_THREAD(loginThread_, "login thread");
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

bool DlgShow::ApplyAccountOnJobThread(const std::string& account, LoginOutcome* loggedIn) {
  Q_CHECK_BOUND_THREAD(loginThread_, "login thread");
  auto call = std::make_shared<JobCall>();
  call->applyAccount = true;
  call->account = account;
  {
    std::lock_guard<std::mutex> guard(loginLock_);
    if (loginStop_ || !PostJobCall(call)) return false;
  }
  if (!WaitJobCall(call)) return false;
  if (call->alreadyLoggedIn) {
    loggedIn->answered = true;
    loggedIn->ok = call->ok;
    loggedIn->userId = call->userId;
    loggedIn->nickName = call->nickName;
  }
  return true;
}

bool DlgShow::QueryLogin(LoginOutcome* out) {
  Q_CHECK_BOUND_THREAD(loginThread_, "login thread");
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
  loginThread_.BindToCurrent();
  PostEnable(IDC_DLGSHOW_LOGIN, false);
  PostText(IDC_DLGSHOW_LOGIN, L"登录ing");
  std::string account;
  {
    std::lock_guard<std::mutex> guard(loginLock_);
    account = loginAccount_;
  }
  LoginOutcome outcome;
  bool finished = false;
  if (!ApplyAccountOnJobThread(account, &outcome)) {
    // stopped, refused or late: the login failed
  } else if (outcome.answered) {
    finished = true;  // logged in already: that login's outcome, at once
  } else {
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
  loginThread_.Detach();
  loginRunning_ = false;
}
