#include "platform/korvel/lobby_state.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/korvel/korvel_dlg.h"
#include "platform/korvel/korvel_resource.h"
#include "platform/korvel/thread_census.h"
#include "platform/korvel/window_snapshot.h"

namespace korvel {

LobbyState::LobbyState(CKorvelDlg* dlg)
    : dlg_(dlg), script_{DefaultUserInfo(), DefaultUserFund(), {}} {}

void LobbyState::Configure(const LobbyScript& script, bool scripted) {
  Q_CHECK_BOUND_THREAD(lobbyChecker_, "lobby thread");
  script_ = script;
  scripted_ = scripted;
  status_ = scripted ? kScriptWaitsMissed : kScriptOk;  // a script must run to its end
}

bool LobbyState::Record(Channel channel, uint16_t gameKind, uint16_t serverId, uint16_t mainCode,
                        uint16_t subCode, bool hasBody, const void* data, uint16_t length) {
  log_.Add(::GetCurrentThreadId(), channel, gameKind, serverId, mainCode, subCode, hasBody, data,
           length);
  // One notice at a time: the window takes every block that waits.
  HWND window = window_.load();
  if (window != nullptr && !noticePending_.exchange(true)) {
    if (!::PostMessageA(window, kMsgBlocksArrived, 0, 0)) noticePending_ = false;
  }
  return !(hasBody && data == nullptr && length != 0);
}

void LobbyState::Attach(HWND window) {
  Q_CHECK_BOUND_THREAD(lobbyChecker_, "lobby thread");
  window_ = window;
  lobbyThread_ = ::GetCurrentThreadId();
  ::SetDlgItemInt(window, IDC_USER_ID, static_cast<UINT>(script_.user.userId), TRUE);
  char account[sizeof(script_.user.account) + 1] = {};
  std::memcpy(account, script_.user.account, sizeof(script_.user.account));
  ::SetDlgItemTextA(window, IDC_ACCOUNT, account);
  ::SetDlgItemTextA(window, IDC_GAME_KIND, "502");
  ::SetDlgItemTextA(window, IDC_SERVER_ID, "1");
  ::SendDlgItemMessageA(window, IDC_BLOCKS, LB_SETHORIZONTALEXTENT, 4000, 0);
  SetStatusLine(scripted_ ? "script mode" : "");
  if (scripted_) {
    // Out of the way of the console windows that console games open at the
    // top left, so that the lobby stays in sight (and in its snapshots).
    RECT area;
    RECT box;
    if (::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0) && ::GetWindowRect(window, &box)) {
      ::SetWindowPos(window, HWND_TOP, area.right - (box.right - box.left),
                     area.bottom - (box.bottom - box.top), 0, 0, SWP_NOSIZE);
    }
  }
  ::PostMessageA(window, kMsgStartLobby, 0, 0);
}

void LobbyState::Start() {
  Q_CHECK_BOUND_THREAD(lobbyChecker_, "lobby thread");
  if (started_) return;
  started_ = true;
  HWND window = window_.load();
  Print("korvel: lobby thread " + std::to_string(lobbyThread_));
  threadsBeforeBind_ = ProcessThreads();
  const bool bound = dlg_->LoadGateClient();
  Print(std::string("korvel: bind hook -> ") + (bound ? "true" : "false"));
  ::SetDlgItemTextA(window, IDC_BIND_STATE, bound ? "bound" : "not bound");
  ::SetFocus(::GetDlgItem(window, IDC_BLOCKS));
  NFHallUserInfo user = script_.user;
  dlg_->OnUserInfo(&user);
  NFHallUserFund fund = script_.fund;
  dlg_->OnUserFund(&fund);
  if (scripted_) {
    runner_.reset(new ScriptRunner(script_.steps, log_, this));
    ::SetTimer(window, kScriptTimer, kScriptTickMs, nullptr);
  }
}

void LobbyState::ShowNewBlocks() {
  Q_CHECK_BOUND_THREAD(lobbyChecker_, "lobby thread");
  noticePending_ = false;
  HWND list = ::GetDlgItem(window_.load(), IDC_BLOCKS);
  for (const BlockRecord& block : log_.Since(shown_)) {
    const std::string line = FormatBlock(block);
    if (scripted_) {
      Print("korvel: block " + line + (block.threadId == lobbyThread_ ? " (lobby thread)" : ""));
    }
    if (list != nullptr) {
      if (::SendMessageA(list, LB_GETCOUNT, 0, 0) >= kMaxListedBlocks) {
        ::SendMessageA(list, LB_DELETESTRING, 0, 0);
      }
      const LRESULT at =
          ::SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
      if (at >= 0) ::SendMessageA(list, LB_SETTOPINDEX, static_cast<WPARAM>(at), 0);
    }
    ++shown_;
  }
}

void LobbyState::Tick() {
  Q_CHECK_BOUND_THREAD(lobbyChecker_, "lobby thread");
  if (runner_ == nullptr || ticking_ || leaving_) return;
  ticking_ = true;  // a hook that pumps messages must not start the next step
  ShowNewBlocks();
  const bool more = runner_->Advance(::GetTickCount64());
  ShowNewBlocks();
  ticking_ = false;
  if (more) {
    SetStatusLine("script: " + std::to_string(runner_->Waits()) + " waits, " +
                  std::to_string(runner_->MissedWaits()) + " missed");
    return;
  }
  ::KillTimer(window_.load(), kScriptTimer);
  status_ = runner_->MissedWaits() == 0 ? kScriptOk : kScriptWaitsMissed;
  Print("korvel: script done, " + std::to_string(runner_->Waits()) + " waits, " +
        std::to_string(runner_->MissedWaits()) + " missed");
  Leave(IDOK);
}

void LobbyState::RoomEventFromWindow(StepKind kind) {
  Q_CHECK_BOUND_THREAD(lobbyChecker_, "lobby thread");
  HWND window = window_.load();
  BOOL okKind = FALSE;
  BOOL okServer = FALSE;
  const UINT gameKind = ::GetDlgItemInt(window, IDC_GAME_KIND, &okKind, FALSE);
  const UINT serverId = ::GetDlgItemInt(window, IDC_SERVER_ID, &okServer, FALSE);
  if (!okKind || !okServer || gameKind > 0xFFFF || serverId > 0xFFFF) {
    SetStatusLine("game kind and server id must be 0 to 65535");
    return;
  }
  const auto k = static_cast<uint16_t>(gameKind);
  const auto s = static_cast<uint16_t>(serverId);
  switch (kind) {
    case StepKind::kEnter:
      EnterRoom(k, s);
      break;
    case StepKind::kLeave:
      LeaveRoom(k, s);
      break;
    case StepKind::kSignUp:
      SignUp(k, s);
      break;
    case StepKind::kSignOut:
      SignOut(k, s);
      break;
    default:
      break;
  }
}

void LobbyState::Leave(int dialogResult) {
  Q_CHECK_BOUND_THREAD(lobbyChecker_, "lobby thread");
  if (leaving_) return;
  leaving_ = true;
  HWND window = window_.load();
  ::KillTimer(window, kScriptTimer);
  // The gate client's threads run until close game; the launcher frees the
  // library when the dialog goes, so the lobby closes the game first.
  if (!gameClosed_) {
    if (scripted_) Print("korvel: the lobby closes the game before it ends");
    CloseGame();
  }
  ShowNewBlocks();
  if (scripted_) {
    const std::set<uint32_t> left = ThreadsLeftSince(threadsBeforeBind_, kThreadsGoneMs);
    std::string ids;
    for (uint32_t id : left) ids += " " + std::to_string(id);
    Print("korvel: threads started since the bind still running: " + std::to_string(left.size()) +
          ids);
    std::string threads;
    for (const auto& t : log_.Threads()) {
      threads += " " + std::to_string(t.first) + "(" + std::to_string(t.second) +
                 (t.first == lobbyThread_ ? ", lobby)" : ")");
    }
    Print("korvel: blocks by thread:" + threads);
    Print("korvel: exit status " + std::to_string(status_));
  }
  window_ = nullptr;
  ::EndDialog(window, dialogResult);
}

void LobbyState::EnterRoom(uint16_t gameKind, uint16_t serverId) {
  Q_CHECK_BOUND_THREAD(lobbyChecker_, "lobby thread");
  const bool result = dlg_->OnEnterRoom(script_.user.userId, gameKind, serverId);
  if (scripted_) Print(std::string("korvel: enter room -> ") + (result ? "true" : "false"));
}

void LobbyState::LeaveRoom(uint16_t gameKind, uint16_t serverId) {
  Q_CHECK_BOUND_THREAD(lobbyChecker_, "lobby thread");
  dlg_->OnLeaveRoom(script_.user.userId, gameKind, serverId);
}

void LobbyState::SignUp(uint16_t gameKind, uint16_t serverId) {
  Q_CHECK_BOUND_THREAD(lobbyChecker_, "lobby thread");
  dlg_->OnSignUp(script_.user.userId, gameKind, serverId);
}

void LobbyState::SignOut(uint16_t gameKind, uint16_t serverId) {
  Q_CHECK_BOUND_THREAD(lobbyChecker_, "lobby thread");
  dlg_->OnSignOut(script_.user.userId, gameKind, serverId);
}

void LobbyState::CloseGame() {
  Q_CHECK_BOUND_THREAD(lobbyChecker_, "lobby thread");
  gameClosed_ = true;
  dlg_->OnCloseGame();
}

void LobbyState::Snapshot(const std::string& file) {
  Q_CHECK_BOUND_THREAD(lobbyChecker_, "lobby thread");
  ShowNewBlocks();
  HWND window = window_.load();
  ::SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  const bool saved = SaveWindowSnapshot(window, file);
  Print("korvel: snapshot " + file + (saved ? " saved" : " FAILED"));
}

void LobbyState::Print(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void LobbyState::SetStatusLine(const std::string& text) {
  ::SetDlgItemTextA(window_.load(), IDC_STATUS, text.c_str());
}

}  // namespace korvel
