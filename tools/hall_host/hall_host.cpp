// A lobby without the launcher, for the hall-sink scenarios in tests/e2e and
// the relay benchmark: loads Quorrel.dll the way the launcher does
// (LoadLibraryA, GetProcAddress "GetHallSink"), hands the sink a recording
// INFHallControl and plays a Korvel lobby script (platform/korvel/
// lobby_script.h, the language of Korvel's script mode) with Korvel's own
// parser and runner: the user and fund blocks first, then the steps. No
// window: a snapshot step is skipped.
// Every block the sink sends is printed (and written to --record) as the
// lobby window lists it (platform/korvel/block_log.h), with
// " on_main_thread=1" added when it came on the host's own thread.
// Exit code 0 when the script parsed, every wait was met and no block came
// on the host's thread (the gate client must call from its job thread).
//
// Usage: hall_host --script FILE [--gate HOST:PORT] [--record FILE]
// Without --gate the address comes from GATE_SIM_PORT (127.0.0.1), else from
// gateaddress.ini in the current directory.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "interface/hall/nfhall_interfaces.h"
#include "platform/korvel/block_log.h"
#include "platform/korvel/lobby_script.h"
#include "platform/korvel/script_runner.h"

namespace {

// The lobby's send operations: every block into the log and the printout.
class RecordingControl : public INFHallControl {
 public:
  explicit RecordingControl(const std::string& recordPath) : mainThread_(GetCurrentThreadId()) {
    if (!recordPath.empty()) record_.open(recordPath, std::ios::trunc);
  }

  bool SendSocketData(uint16_t kind, uint16_t server, uint16_t main, uint16_t sub, const void* data,
                      uint16_t length) override {
    Record(korvel::Channel::kSocket, kind, server, main, sub, true, data, length);
    return true;
  }
  bool SendSocketData(uint16_t kind, uint16_t server, uint16_t main, uint16_t sub) override {
    Record(korvel::Channel::kSocket, kind, server, main, sub, false, nullptr, 0);
    return true;
  }
  bool SendProcessData(uint16_t main, uint16_t sub, const void* data, uint16_t length) override {
    Record(korvel::Channel::kProcess, 0, 0, main, sub, true, data, length);
    return true;
  }
  bool SendProcessData(uint16_t main, uint16_t sub) override {
    Record(korvel::Channel::kProcess, 0, 0, main, sub, false, nullptr, 0);
    return true;
  }
  // The launcher's start-up requests are the launcher's business, not the
  // gate client's: this lobby has none.
  void SendStartupRequests() override {}

  const korvel::BlockLog& Log() const { return log_; }
  int OnMainThread() const { return onMainThread_.load(); }

  void Print(const std::string& line) {
    std::lock_guard<std::mutex> lock(printMutex_);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  }

 private:
  void Record(korvel::Channel channel, uint16_t kind, uint16_t server, uint16_t main, uint16_t sub,
              bool hasBody, const void* data, uint16_t length) {
    const DWORD tid = GetCurrentThreadId();
    const uint32_t seq = log_.Add(tid, channel, kind, server, main, sub, hasBody, data, length);
    std::string line = korvel::FormatBlock(log_.Since(seq - 1).front());
    if (tid == mainThread_) {
      ++onMainThread_;
      line += " on_main_thread=1";
    }
    std::lock_guard<std::mutex> lock(printMutex_);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    if (record_.is_open()) record_ << line << "\n" << std::flush;
  }

  const DWORD mainThread_;
  korvel::BlockLog log_;
  std::atomic<int> onMainThread_{0};
  std::mutex printMutex_;  // guards stdout lines and record_
  std::ofstream record_;   // guarded by printMutex_
};

// The script's lobby events, straight into the hall sink.
class SinkEvents : public korvel::LobbyEvents {
 public:
  SinkEvents(INFHallSink* sink, int32_t userId, RecordingControl* out)
      : sink_(sink), userId_(userId), out_(out) {}

  void EnterRoom(uint16_t kind, uint16_t server) override {
    const bool pending = sink_->OnEventEnterRoom(userId_, kind, server);
    out_->Print(std::string("hall_host: enter room -> ") +
                (pending ? "true (not logged in yet)" : "false"));
  }
  void LeaveRoom(uint16_t kind, uint16_t server) override {
    sink_->OnEventLeaveRoom(userId_, kind, server);
  }
  void SignUp(uint16_t kind, uint16_t server) override {
    sink_->OnEventSignUp(userId_, kind, server);
  }
  void SignOut(uint16_t kind, uint16_t server) override {
    sink_->OnEventSignOut(userId_, kind, server);
  }
  void CloseGame() override { sink_->OnEventCloseGame(); }
  void Snapshot(const std::string& file) override {
    out_->Print("hall_host: no lobby window, no snapshot " + file);
  }
  void Print(const std::string& line) override { out_->Print(line); }

 private:
  INFHallSink* const sink_;
  const int32_t userId_;
  RecordingControl* const out_;
};

bool ReadFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream all;
  all << in.rdbuf();
  *text = all.str();
  return true;
}

uint64_t NowMs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

}  // namespace

int main(int argc, char** argv) {
  std::string gate;
  std::string scriptPath;
  std::string recordPath;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--gate") == 0) gate = argv[i + 1];
    if (std::strcmp(argv[i], "--script") == 0) scriptPath = argv[i + 1];
    if (std::strcmp(argv[i], "--record") == 0) recordPath = argv[i + 1];
  }
  if (scriptPath.empty()) {
    std::printf("usage: hall_host --script FILE [--gate HOST:PORT] [--record FILE]\n");
    return 2;
  }
  std::string text;
  korvel::LobbyScript script;
  std::string error;
  if (!ReadFile(scriptPath, &text)) {
    std::printf("hall_host: cannot read script %s\n", scriptPath.c_str());
    return 2;
  }
  if (!korvel::ParseLobbyScript(text, &script, &error)) {
    std::printf("hall_host: script %s: %s\n", scriptPath.c_str(), error.c_str());
    return 2;
  }
  if (gate.empty()) {
    if (const char* port = std::getenv("GATE_SIM_PORT")) gate = std::string("127.0.0.1:") + port;
  }
  if (!gate.empty()) {
    std::ofstream ini("gateaddress.ini", std::ios::trunc);
    ini << "[gate]\naddress_00=" << gate << "\n";
  }

  HMODULE module = LoadLibraryA("Quorrel.dll");
  if (module == nullptr) {
    std::printf("hall_host: LoadLibraryA(Quorrel.dll) failed: %lu\n", GetLastError());
    return 2;
  }
  auto factory = reinterpret_cast<GetHallSinkFn>(
      reinterpret_cast<void*>(GetProcAddress(module, "GetHallSink")));
  if (factory == nullptr) {
    std::printf("hall_host: no GetHallSink export\n");
    return 2;
  }
  INFHallSink* sink = factory();
  if (sink == nullptr || factory() != sink) {
    std::printf("hall_host: GetHallSink gave no single sink\n");
    return 2;
  }
  RecordingControl control(recordPath);
  sink->SetHallControl(&control);
  control.Print("hall_host: sink bound, main thread " + std::to_string(GetCurrentThreadId()) +
                ", script " + scriptPath + ", " + std::to_string(script.steps.size()) + " steps");

  // As the lobby does at start-up: the user block, then the fund block.
  sink->OnEventUserInfo(&script.user);
  sink->OnEventUserFund(&script.fund);
  SinkEvents events(sink, script.user.userId, &control);
  korvel::ScriptRunner runner(script.steps, control.Log(), &events);
  // The runner never blocks; it is polled, as the lobby window's timer does,
  // here whenever a block comes and otherwise when its pending wait or pause
  // runs out, so an idle host does not wake and cost the client's idle
  // figures in the relay benchmark. The count is taken before each pass, so
  // a block that lands after the pass looked ends the wait at once.
  for (;;) {
    const size_t seen = control.Log().Size();
    if (!runner.Advance(NowMs())) break;
    const uint64_t until = runner.PendingUntilMs();
    const uint64_t now = NowMs();
    const uint64_t wait = until > now ? until - now : 1;
    control.Log().WaitForMore(seen, std::chrono::milliseconds(wait));
  }

  const int onMain = control.OnMainThread();
  control.Print("hall_host: done, " + std::to_string(runner.MissedWaits()) + " of " +
                std::to_string(runner.Waits()) + " waits missed, " + std::to_string(onMain) +
                " blocks on the host's thread");
  // The library stays loaded: the sink and its threads are never torn down
  // by the host (close game stopped them).
  return runner.MissedWaits() == 0 && onMain == 0 ? 0 : 1;
}
