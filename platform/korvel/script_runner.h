// Plays a lobby script (platform/korvel/lobby_script.h) against the lobby,
// one step after another, without ever blocking: the window calls Advance
// from its timer on the lobby's own thread, so every event reaches the
// dialog's hooks on that thread and the window stays live during waits.
// Thread safety: one thread (the lobby's) calls everything (Advance binds to
// the first caller and aborts on another); the block log may be filled from
// any thread meanwhile.
// Ownership: keeps references to the block log and the lobby; both outlive it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/korvel/block_log.h"
#include "platform/korvel/lobby_script.h"
#include "shared/thread_check/thread_check.h"

namespace korvel {

// What a script does to the lobby: the dialog's hooks and the printout.
class LobbyEvents {
 public:
  virtual void EnterRoom(uint16_t gameKind, uint16_t serverId) = 0;
  virtual void LeaveRoom(uint16_t gameKind, uint16_t serverId) = 0;
  virtual void SignUp(uint16_t gameKind, uint16_t serverId) = 0;
  virtual void SignOut(uint16_t gameKind, uint16_t serverId) = 0;
  virtual void CloseGame() = 0;
  // Saves a picture of the lobby window to `file`.
  virtual void Snapshot(const std::string& file) = 0;
  virtual void Print(const std::string& line) = 0;

 protected:
  ~LobbyEvents() = default;
};

class ScriptRunner {
 public:
  ScriptRunner(std::vector<ScriptStep> steps, const BlockLog& log, LobbyEvents* lobby);

  // Runs every step that is due at `nowMs` (a monotonic clock in ms) and
  // returns true while steps remain.
  bool Advance(uint64_t nowMs);

  bool Done() const { return next_ >= steps_.size(); }
  // When the pending wait or pause ends at the latest (the clock of
  // Advance); meaningful while the last Advance returned true. A wait may end
  // earlier, when its block comes.
  uint64_t PendingUntilMs() const { return deadline_; }
  uint32_t Waits() const { return waits_; }
  uint32_t MissedWaits() const { return missed_; }

 private:
  // True when the pending wait or pause is over (and says so).
  bool PendingOver(const ScriptStep& step, uint64_t nowMs);
  void Run(const ScriptStep& step);

  std::vector<ScriptStep> steps_;
  const BlockLog& log_;
  LobbyEvents* lobby_;
  size_t next_ = 0;
  bool pending_ = false;  // steps_[next_] is a wait or pause under way
  uint64_t deadline_ = 0;
  uint16_t gameKind_ = 0;  // the room last entered
  uint16_t serverId_ = 0;
  uint32_t waits_ = 0;
  uint32_t missed_ = 0;
  q_platform::ThreadChecker lobbyThread_;
};

}  // namespace korvel
