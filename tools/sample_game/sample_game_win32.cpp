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
//
// Launched by the gate client (its command line carries "match_id:"), the
// game speaks the launch protocol instead: it writes one line per received
// record (record_log.h), after a first line "start <its command line>", to
// the file SAMPLE_GAME_LOG names, or else to "sample_game_<plan id>.log"
// beside the program, and obeys control words
// hidden in a type-0 record's wrapper data:
//   "sg:exit:<code>"                    exit with that code
//   "sg:hang"                           stay until killed or the gate client ends
//   "sg:return:<kind>:<subid>:<hex>"    send the return record {0, kind, subid, body}
//   "sg:raw:<hex>"                      send these bytes as they are
// SAMPLE_GAME_START="exit:<code>" makes it exit at once with that code,
// before it opens the channel.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "netcore/shm/win_ipc.h"
#include "netcore/shm/xqueue.h"
#include "tools/sample_game/game_args.h"
#include "tools/sample_game/record_log.h"

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
    if (launched_) {
      Launched(text);
      return;
    }
    if (text.compare(0, 3, "sg:") != 0 || !Control(text)) channel_.Send(data, length);
  }

  // The launch protocol: log the record, then act on a control word.
  void OpenLog(const std::string& path, const std::string& commandLine) {
    launched_ = true;
    log_ = std::fopen(path.c_str(), "ab");
    Line("start " + commandLine);
  }

  void Line(const std::string& text) {
    if (log_ == nullptr) return;
    std::lock_guard<std::mutex> lock(log_mutex_);
    std::fprintf(log_, "%s\n", text.c_str());
    std::fflush(log_);
  }

 private:
  void Launched(const std::string& record) {
    Line(DescribeForwardRecord(record));
    const std::string word = WrappedData(record);
    if (word.compare(0, 3, "sg:") != 0) return;
    if (word.compare(0, 8, "sg:exit:") == 0) {
      Line("exit " + word.substr(8));
      Quit(std::atoi(word.c_str() + 8));
    } else if (word == "sg:hang") {
      Line("hang");
    } else if (word.compare(0, 10, "sg:return:") == 0) {
      unsigned kind = 0, subid = 0;
      char hex[4096] = {};
      if (std::sscanf(word.c_str() + 10, "%u:%u:%4095s", &kind, &subid, hex) >= 2) {
        SendBytes(MakeReturnRecord(0, uint16_t(kind), uint16_t(subid), FromHex(hex)));
        Line("sent return " + std::to_string(kind) + "/" + std::to_string(subid));
      }
    } else if (word.compare(0, 7, "sg:raw:") == 0) {
      SendBytes(FromHex(word.substr(7)));
      Line("sent raw");
    }
  }

 public:
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

  void SendBytes(const std::string& bytes) { channel_.Send(bytes.data(), int(bytes.size())); }

  void Quit(int code) {
    exit_code_ = code;
    SetEvent(quit_);
  }

  GameArgs args_;
  bool launched_ = false;
  FILE* log_ = nullptr;
  std::mutex log_mutex_;
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
  if (args.values.count("match_id") != 0) {
    if (const char* start = std::getenv("SAMPLE_GAME_START")) {
      const std::string mode(start);
      if (mode.compare(0, 5, "exit:") == 0) return std::atoi(mode.c_str() + 5);
    }
  }
  SampleGame game(args);
  if (args.values.count("match_id") != 0) {
    std::string path;
    if (const char* named = std::getenv("SAMPLE_GAME_LOG")) {
      path = named;
    } else {
      char exe[MAX_PATH + 1] = {};
      std::string self(exe, GetModuleFileNameA(nullptr, exe, MAX_PATH));
      path = self.substr(0, self.find_last_of("\\/") + 1) + "sample_game_" +
             std::to_string(args.channel_id) + ".log";
    }
    // The command line as the gate client composed it, blanks and all.
    game.OpenLog(path, GetCommandLineA());
  }
  return game.Run();
}
