// The game program's side of the shared-memory channel, for tests and the
// demo: opens the channel as the opener (owner pid and channel id from its
// command line), echoes every message, and obeys a few control messages that
// let a test watch the gate client's side cope with a game that exits,
// crashes, hangs, or is killed while holding a queue's mutex or write turn.
//
// Control messages (exact bytes; anything else is echoed):
//   "sg:exit"           close the channel and exit with code 0
//   "sg:crash"          die of an access violation
//   "sg:hang"           stop answering (the worker blocks for good)
//   "sg:hold-mutex:c"   take the mutex of queue _c (or :s for _s), report
//   "sg:hold-mutex:s"   "sg:held", then hang holding it
//   "sg:hold-turn:c"    take the write turn of queue _c, report "sg:held", hang
//   "sg:probe-close"    report "sg:armed", then write "sg:probe" every 20 ms
//                       until a write fails; exit with that code
// Reports are written straight into queue _s (not through the channel's
// outgoing list), so they are stored when the call returns.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "game_args.h"
#include "win_ipc.h"
#include "xqueue.h"

namespace {

constexpr DWORD kHoldWaitMs = 5000;
constexpr DWORD kProbeLimitMs = 20000;

LONG WINAPI EndOnException(EXCEPTION_POINTERS*) { return EXCEPTION_EXECUTE_HANDLER; }

class SampleGame final : public bsc::IWinIpcCallback {
 public:
  explicit SampleGame(const GameArgs& args)
      : args_(args), base_(bsc::WinIpcImpl::BaseName(args.owner_pid, args.channel_id)) {}

  int Run() {
    quit_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (quit_ == nullptr) return 2;
    // The report queue first: the worker may meet a control message that
    // was waiting before the game started.
    if (report_.Open((base_ + "_s").c_str()) != kXqOk ||
        !channel_.Open(args_.owner_pid, args_.channel_id, this, true)) {
      std::fprintf(stderr, "sample_game: no channel %s\n", base_.c_str());
      return 2;
    }
    // Leave with the gate client: a game whose owner is gone has no one to serve.
    HANDLE owner = OpenProcess(SYNCHRONIZE, FALSE, DWORD(args_.owner_pid));
    HANDLE waits[2] = {quit_, owner};
    WaitForMultipleObjects(owner != nullptr ? 2 : 1, waits, FALSE, INFINITE);
    if (owner != nullptr) CloseHandle(owner);
    channel_.Close();
    report_.Close();
    return exit_code_.load();
  }

  void OnReceive(const char* data, int length) override {
    const std::string text(data, size_t(length));
    if (text.compare(0, 3, "sg:") != 0 || !Control(text)) channel_.Send(data, length);
  }

 private:
  // Returns false for an unknown control word (it is echoed then).
  bool Control(const std::string& word) {
    if (word == "sg:exit") {
      Quit(0);
    } else if (word == "sg:crash") {
      // Straight to the end of the process with the exception's code, without
      // the system debugger's report.
      SetUnhandledExceptionFilter(EndOnException);
      RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    } else if (word == "sg:hang") {
      Sleep(INFINITE);
    } else if (word == "sg:hold-mutex:c" || word == "sg:hold-mutex:s") {
      const XQueueNames names = MakeXQueueNames((base_ + "_" + word.back()).c_str());
      HoldThenHang(OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, names.mutex.c_str()));
    } else if (word == "sg:hold-turn:c") {
      const XQueueNames names = MakeXQueueNames((base_ + "_c").c_str());
      HoldThenHang(OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, names.write_turn.c_str()));
    } else if (word == "sg:probe-close") {
      Report("sg:armed");
      const DWORD start = GetTickCount();
      int code = kXqOk;
      while (code == kXqOk && GetTickCount() - start < kProbeLimitMs) {
        Sleep(20);
        code = Report("sg:probe");
      }
      Quit(code == kXqOk ? 100 : code);
    } else {
      return false;
    }
    return true;
  }

  // Takes the object on this (the worker) thread and never lets go: the
  // test kills the process to leave it abandoned or never handed back.
  void HoldThenHang(HANDLE object) {
    if (object == nullptr || WaitForSingleObject(object, kHoldWaitMs) == WAIT_TIMEOUT) {
      Report("sg:hold-failed");
      return;
    }
    Report("sg:held");
    Sleep(INFINITE);
  }

  int Report(const char* text) {
    return report_.Write(text, uint32_t(std::char_traits<char>::length(text)));
  }

  void Quit(int code) {
    exit_code_ = code;
    SetEvent(quit_);
  }

  GameArgs args_;
  std::string base_;
  bsc::WinIpcImpl channel_;
  CXQueue report_;
  HANDLE quit_ = nullptr;
  std::atomic<int> exit_code_{0};
};

}  // namespace

int main(int argc, char** argv) {
  std::string parameters;
  for (int i = 1; i < argc; ++i) {
    parameters += argv[i];
    parameters += ' ';
  }
  GameArgs args;
  if (!ParseGameArgs(parameters, &args)) {
    std::fprintf(stderr, "usage: sample_game process_id:<pid>|plan_id:<id>|\n");
    return 1;
  }
  SampleGame game(args);
  return game.Run();
}
