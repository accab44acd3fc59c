// A stand-in launcher for the demo and the end-to-end check: loads
// Quorrel.dll the way the launcher does (LoadLibraryA, GetProcAddress
// "GetHallSink"), hands the sink a recording INFHallControl and plays a lobby
// script (user info, enter room, sign up, sign out, fund, close game).
// Every control call is printed as one line:
//   CALL <op> kind=K server=S main=M sub=N len=L hex=<body> tid=T on_main_thread=0|1
// Exit code 0 when every wait of the script was met and no call came on the
// host's own thread (the gate client must call from its job thread).
//
// Usage: hall_host [--gate HOST:PORT] [--script FILE] [--record FILE]
// Without --gate the address comes from GATE_SIM_PORT (127.0.0.1), else from
// gateaddress.ini in the current directory. Script lines (# comments):
//   userinfo <user id> <account>      enter|leave|signup|signout <uid> <kind> <server>
//   fund <count of item 10> <count of item 11>      closegame
//   wait <main>/<sub> [count] [timeout ms]          sleep <ms>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "interface/hall/nfhall_interfaces.h"

namespace {

const char kDefaultScript[] =
    "userinfo 10001 hall-demo\n"
    "enter 10001 502 1\n"
    "wait 300/11 1 20000\n"
    "signup 10001 502 1\n"
    "wait 300/1 1 10000\n"
    "signout 10001 502 1\n"
    "wait 300/1 2 10000\n"
    "fund 5000 7\n"
    "closegame\n"
    "closegame\n";

class RecordingControl : public INFHallControl {
 public:
  explicit RecordingControl(const std::string& recordPath) : mainThread_(GetCurrentThreadId()) {
    if (!recordPath.empty()) record_.open(recordPath, std::ios::trunc);
  }

  bool SendSocketData(uint16_t kind, uint16_t server, uint16_t main, uint16_t sub, const void* data,
                      uint16_t length) override {
    Record("SendSocketData", kind, server, main, sub, data, length, true);
    return true;
  }
  bool SendSocketData(uint16_t kind, uint16_t server, uint16_t main, uint16_t sub) override {
    Record("SendSocketData", kind, server, main, sub, nullptr, 0, true);
    return true;
  }
  bool SendProcessData(uint16_t main, uint16_t sub, const void* data, uint16_t length) override {
    Record("SendProcessData", 0, 0, main, sub, data, length, false);
    return true;
  }
  bool SendProcessData(uint16_t main, uint16_t sub) override {
    Record("SendProcessData", 0, 0, main, sub, nullptr, 0, false);
    return true;
  }
  void SendStartupRequests() override {}

  bool WaitFor(uint16_t main, uint16_t sub, int count, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
      return counts_[{main, sub}] >= count;
    });
  }
  int OnMainThread() {
    std::lock_guard<std::mutex> lock(mutex_);
    return onMainThread_;
  }

 private:
  void Record(const char* op, uint16_t kind, uint16_t server, uint16_t main, uint16_t sub,
              const void* data, uint16_t length, bool socket) {
    const DWORD tid = GetCurrentThreadId();
    std::string hex;
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (uint16_t i = 0; bytes != nullptr && i < length; ++i) {
      char two[3];
      std::snprintf(two, sizeof(two), "%02x", bytes[i]);
      hex += two;
    }
    char head[256];
    if (socket) {
      std::snprintf(head, sizeof(head), "CALL %s kind=%u server=%u main=%u sub=%u len=%u hex=", op,
                    kind, server, main, sub, data != nullptr ? length : 0u);
    } else {
      std::snprintf(head, sizeof(head), "CALL %s main=%u sub=%u len=%u hex=", op, main, sub,
                    data != nullptr ? length : 0u);
    }
    const std::string line = std::string(head) + hex + " tid=" + std::to_string(tid) +
                             " on_main_thread=" + (tid == mainThread_ ? "1" : "0");
    std::lock_guard<std::mutex> lock(mutex_);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    if (record_.is_open()) record_ << line << "\n" << std::flush;
    if (tid == mainThread_) ++onMainThread_;
    ++counts_[{main, sub}];
    cv_.notify_all();
  }

  const DWORD mainThread_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::ofstream record_;
  std::map<std::pair<uint16_t, uint16_t>, int> counts_;
  int onMainThread_ = 0;
};

NFHallUserInfo MakeUserInfo(int32_t userId, const std::string& account) {
  NFHallUserInfo info;
  std::memset(&info, 0, sizeof(info));
  info.userId = userId;
  info.channelId = 1;
  info.siteId = 2;
  info.barId = 3;
  std::strncpy(info.account, account.c_str(), sizeof(info.account));  // may fill it whole
  std::strncpy(info.password, "3f9a0c27d54be81a6c0d92f7e41b5a88", sizeof(info.password) - 1);
  std::strncpy(info.systemSerial, "sys-0001", sizeof(info.systemSerial));
  std::strncpy(info.biosSerial, "bios-0001", sizeof(info.biosSerial));
  std::strncpy(info.cpuSerial, "cpu-0001", sizeof(info.cpuSerial));
  std::strncpy(info.diskSerial, "hd-0001", sizeof(info.diskSerial));
  std::strncpy(info.macAddress, "00-11-22-33-44", sizeof(info.macAddress));
  std::strncpy(info.guid, "{5a1c9e2f-0000-4000-8000-hallhost0001}", sizeof(info.guid));
  return info;
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
  if (gate.empty()) {
    if (const char* port = std::getenv("GATE_SIM_PORT")) gate = std::string("127.0.0.1:") + port;
  }
  if (!gate.empty()) {
    std::ofstream ini("gateaddress.ini", std::ios::trunc);
    ini << "[gate]\naddress_00=" << gate << "\n";
  }

  std::string script = kDefaultScript;
  if (!scriptPath.empty()) {
    std::ifstream in(scriptPath);
    if (!in) {
      std::printf("hall_host: cannot read script %s\n", scriptPath.c_str());
      return 2;
    }
    std::stringstream text;
    text << in.rdbuf();
    script = text.str();
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
  std::printf("hall_host: sink bound, main thread %lu\n", GetCurrentThreadId());
  std::fflush(stdout);

  int failures = 0;
  std::istringstream lines(script);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string op;
    words >> op;
    std::printf("hall_host: > %s\n", line.c_str());
    std::fflush(stdout);
    if (op == "userinfo") {
      int32_t uid = 0;
      std::string account;
      words >> uid >> account;
      const NFHallUserInfo info = MakeUserInfo(uid, account);
      sink->OnEventUserInfo(&info);
    } else if (op == "enter" || op == "leave" || op == "signup" || op == "signout") {
      int32_t uid = 0;
      unsigned kind = 0, server = 0;
      words >> uid >> kind >> server;
      const auto k = static_cast<uint16_t>(kind);
      const auto s = static_cast<uint16_t>(server);
      if (op == "enter") {
        const bool pending = sink->OnEventEnterRoom(uid, k, s);
        std::printf("hall_host: enter room -> %s\n",
                    pending ? "true (not logged in yet)" : "false");
      } else if (op == "leave") {
        sink->OnEventLeaveRoom(uid, k, s);
      } else if (op == "signup") {
        sink->OnEventSignUp(uid, k, s);
      } else {
        sink->OnEventSignOut(uid, k, s);
      }
    } else if (op == "fund") {
      unsigned long long c10 = 0;
      unsigned c11 = 0;
      words >> c10 >> c11;
      NFHallUserFund fund;
      std::memset(&fund, 0, sizeof(fund));
      fund.count10 = c10;
      fund.count11 = c11;
      sink->OnEventUserFund(&fund);
    } else if (op == "closegame") {
      sink->OnEventCloseGame();
    } else if (op == "sleep") {
      int ms = 0;
      words >> ms;
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    } else if (op == "wait") {
      std::string code;
      int count = 1, timeoutMs = 10000;
      words >> code >> count >> timeoutMs;
      unsigned main = 0, sub = 0;
      if (std::sscanf(code.c_str(), "%u/%u", &main, &sub) != 2) {
        std::printf("hall_host: bad wait %s\n", code.c_str());
        ++failures;
        continue;
      }
      if (!control.WaitFor(static_cast<uint16_t>(main), static_cast<uint16_t>(sub), count,
                           timeoutMs)) {
        std::printf("hall_host: WAIT-TIMEOUT %s x%d\n", code.c_str(), count);
        ++failures;
      }
    } else {
      std::printf("hall_host: unknown script line %s\n", line.c_str());
      ++failures;
    }
    std::fflush(stdout);
  }
  const int onMain = control.OnMainThread();
  std::printf("hall_host: done, %d failed waits, %d calls on the host's thread\n", failures,
              onMain);
  std::fflush(stdout);
  // The library stays loaded: the sink and its threads are never torn down
  // by the host (close game stopped them).
  return failures == 0 && onMain == 0 ? 0 : 1;
}
