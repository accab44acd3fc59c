// The private side of CKorvelDlg (platform/korvel/korvel_dlg.h): the block
// log the send operations fill, the start-up blocks, the script and its
// runner, and the lobby window's controls. The send operations post one
// notice to the window when new blocks wait; the window then lists them
// (and, in script mode, prints them) on the lobby's thread.
// Thread safety: Record from any thread; everything else on the lobby's
// thread (the first caller binds it; another aborts with a message).
// Ownership: owned by its dialog; keeps a pointer back to it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "platform/korvel/block_log.h"
#include "platform/korvel/lobby_script.h"
#include "platform/korvel/script_runner.h"
#include "platform/mfc/mfc_types.h"
#include "shared/thread_check/thread_check.h"

class CKorvelDlg;

namespace korvel {

// Window messages of the lobby dialog.
const UINT kMsgStartLobby = WM_APP + 1;
const UINT kMsgBlocksArrived = WM_APP + 2;
const UINT_PTR kScriptTimer = 1;
const UINT kScriptTickMs = 20;
// How long the script mode waits for the gate client's threads to end.
const uint32_t kThreadsGoneMs = 5000;
// The window keeps this many lines; the printout has them all.
const int kMaxListedBlocks = 5000;

// Exit statuses of the script mode.
enum ScriptStatus : int {
  kScriptOk = 0,
  kScriptWaitsMissed = 1,  // or the window closed before the script ended
  kScriptUnreadable = 2,
  kScriptNoDialog = 3,
  kScriptNoWindow = 4,
};

class LobbyState final : public LobbyEvents {
 public:
  explicit LobbyState(CKorvelDlg* dlg);

  void Configure(const LobbyScript& script, bool scripted);
  int Status() const { return status_; }
  const BlockLog& Log() const { return log_; }

  // Any thread: the send operations.
  bool Record(Channel channel, uint16_t gameKind, uint16_t serverId, uint16_t mainCode,
              uint16_t subCode, bool hasBody, const void* data, uint16_t length);

  // The lobby's thread.
  void Attach(HWND window);
  void Start();
  void ShowNewBlocks();
  void Tick();
  // The person's buttons: the room from the window's fields.
  void RoomEventFromWindow(StepKind kind);
  // Before the window goes: the game is closed once, whatever ends the lobby.
  void Leave(int dialogResult);

  // LobbyEvents
  void EnterRoom(uint16_t gameKind, uint16_t serverId) override;
  void LeaveRoom(uint16_t gameKind, uint16_t serverId) override;
  void SignUp(uint16_t gameKind, uint16_t serverId) override;
  void SignOut(uint16_t gameKind, uint16_t serverId) override;
  void CloseGame() override;
  void Snapshot(const std::string& file) override;
  void Print(const std::string& line) override;

 private:
  void SetStatusLine(const std::string& text);

  CKorvelDlg* dlg_;
  LobbyScript script_;
  bool scripted_ = false;
  BlockLog log_;
  std::unique_ptr<ScriptRunner> runner_;
  std::atomic<HWND> window_{nullptr};
  std::atomic<bool> noticePending_{false};
  size_t shown_ = 0;
  uint32_t lobbyThread_ = 0;
  std::set<uint32_t> threadsBeforeBind_;
  q_platform::ThreadChecker lobbyChecker_;
  bool started_ = false;
  bool ticking_ = false;
  bool gameClosed_ = false;
  bool leaving_ = false;
  int status_ = kScriptWaitsMissed;
};

}  // namespace korvel
