#include "platform/korvel/script_runner.h"

#include <utility>

namespace korvel {

ScriptRunner::ScriptRunner(std::vector<ScriptStep> steps, const BlockLog& log, LobbyEvents* lobby)
    : steps_(std::move(steps)), log_(log), lobby_(lobby) {}

bool ScriptRunner::Advance(uint64_t nowMs) {
  Q_CHECK_BOUND_THREAD(lobbyThread_, "lobby thread");
  while (next_ < steps_.size()) {
    const ScriptStep& step = steps_[next_];
    if (pending_) {
      if (!PendingOver(step, nowMs)) return true;
      pending_ = false;
      ++next_;
      continue;
    }
    lobby_->Print("korvel: > " + step.text);
    if (step.kind == StepKind::kWait || step.kind == StepKind::kSleep) {
      if (step.kind == StepKind::kWait) ++waits_;
      pending_ = true;
      deadline_ = nowMs + step.ms;
      continue;  // a wait already met ends at once
    }
    if (step.kind == StepKind::kExit) {
      next_ = steps_.size();
      break;
    }
    Run(step);
    ++next_;
  }
  return false;
}

bool ScriptRunner::PendingOver(const ScriptStep& step, uint64_t nowMs) {
  if (step.kind == StepKind::kSleep) return nowMs >= deadline_;
  const uint32_t have = log_.Count(step.mainCode, step.subCode);
  const std::string what = std::to_string(step.mainCode) + "/" + std::to_string(step.subCode) +
                           " x" + std::to_string(step.count);
  if (have >= step.count) {
    lobby_->Print("korvel: wait met " + what);
    return true;
  }
  if (nowMs < deadline_) return false;
  ++missed_;
  lobby_->Print("korvel: WAIT-TIMEOUT " + what + " (had " + std::to_string(have) + ") at line " +
                std::to_string(step.line));
  return true;
}

void ScriptRunner::Run(const ScriptStep& step) {
  uint16_t kind = gameKind_;
  uint16_t server = serverId_;
  if (step.hasRoom) {
    kind = step.gameKind;
    server = step.serverId;
  }
  switch (step.kind) {
    case StepKind::kEnter:
      gameKind_ = kind;
      serverId_ = server;
      lobby_->EnterRoom(kind, server);
      break;
    case StepKind::kLeave:
      lobby_->LeaveRoom(kind, server);
      break;
    case StepKind::kSignUp:
      lobby_->SignUp(kind, server);
      break;
    case StepKind::kSignOut:
      lobby_->SignOut(kind, server);
      break;
    case StepKind::kCloseGame:
      lobby_->CloseGame();
      break;
    case StepKind::kSnapshot:
      lobby_->Snapshot(step.file);
      break;
    case StepKind::kWait:
    case StepKind::kSleep:
    case StepKind::kExit:
      break;
  }
}

}  // namespace korvel
