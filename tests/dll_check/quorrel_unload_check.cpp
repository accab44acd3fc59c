// Close game, then FreeLibrary at once, as the launcher does: in every round
// the library is loaded, logs in to tools/gate_sim, launches a game
// (tools/sample_game installed as "pellory" beside this program) and is
// closed and freed while its threads are still finishing. Every other round
// the game ignores the kill (TerminateProcess is made to do nothing), so
// close game gives up waiting for the game's watcher and returns while the
// watcher still runs; the job thread has a burst of commands to work
// through when it is told to stop. No thread may be left running in freed
// code: the library must unload once its last thread is out (bounded), and
// the process must not crash.
//   gate_sim.py ... -- wine quorrel_unload_check.exe [rounds]
// (GATE_SIM_PORT from the simulator). Exit code 0 when every round passed.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <tlhelp32.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "interface/hall/nfhall_interfaces.h"
#include "tests/dll_check/api_patch_test_util.h"

namespace {

// The blocks the gate client sends the lobby, by main and sub code.
class Control : public INFHallControl {
 public:
  bool SendSocketData(uint16_t, uint16_t, uint16_t main, uint16_t sub, const void*,
                      uint16_t) override {
    return Add(main, sub);
  }
  bool SendSocketData(uint16_t, uint16_t, uint16_t main, uint16_t sub) override {
    return Add(main, sub);
  }
  bool SendProcessData(uint16_t main, uint16_t sub, const void*, uint16_t) override {
    return Add(main, sub);
  }
  bool SendProcessData(uint16_t main, uint16_t sub) override { return Add(main, sub); }
  void SendStartupRequests() override {}

  bool WaitFor(uint16_t main, uint16_t sub, int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] {
      for (const auto& b : blocks_) {
        if (b.first == main && b.second == sub) return true;
      }
      return false;
    });
  }

 private:
  bool Add(uint16_t main, uint16_t sub) {
    std::lock_guard<std::mutex> lock(mutex_);
    blocks_.emplace_back(main, sub);
    cv_.notify_all();
    return true;
  }
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<std::pair<uint16_t, uint16_t>> blocks_;
};

// A kill that does nothing: the game goes on until this program ends it.
BOOL WINAPI IgnoredTerminateProcess(HANDLE, UINT) { return TRUE; }

// Ends this program's own games: the processes of this name that it started.
// Other tests may run games of the same name in the same Wine session at the
// same time; those are not ours to end.
int EndGames(const char* exe) {
  int ended = 0;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snap, &entry); more; more = Process32Next(snap, &entry)) {
    if (_stricmp(entry.szExeFile, exe) != 0 || entry.th32ParentProcessID != GetCurrentProcessId()) {
      continue;
    }
    if (HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID)) {
      if (TerminateProcess(p, 0)) ++ended;
      WaitForSingleObject(p, 5000);
      CloseHandle(p);
    }
  }
  CloseHandle(snap);
  return ended;
}

bool WaitUnloaded(int ms) {
  const DWORD start = GetTickCount();
  while (GetModuleHandleA("Quorrel.dll") != nullptr) {
    if (GetTickCount() - start > DWORD(ms)) return false;
    Sleep(20);
  }
  return true;
}

bool Round(int round, bool stalledKill) {
  HMODULE dll = LoadLibraryA("Quorrel.dll");
  if (dll == nullptr) {
    std::printf("round %d: LoadLibraryA failed %lu\n", round, GetLastError());
    return false;
  }
  using GetHallSinkFn = INFHallSink* (*)();
  auto factory =
      reinterpret_cast<GetHallSinkFn>(reinterpret_cast<void*>(GetProcAddress(dll, "GetHallSink")));
  INFHallSink* sink = factory != nullptr ? factory() : nullptr;
  if (sink == nullptr) {
    std::printf("round %d: no hall sink\n", round);
    return false;
  }
  Control control;
  sink->SetHallControl(&control);
  NFHallUserInfo user = {};
  user.userId = 10001;
  std::strcpy(user.account, "unload-check");
  sink->OnEventUserInfo(&user);
  sink->OnEventEnterRoom(user.userId, 502, 1);
  // Logged in (300/11), signed up (300/1), the game registered (99/31).
  bool ok = control.WaitFor(300, 11, 20000);
  if (ok) {
    sink->OnEventSignUp(user.userId, 502, 1);
    ok = control.WaitFor(300, 1, 10000) && control.WaitFor(99, 31, 30000);
  }
  if (!ok) std::printf("round %d: no game launched\n", round);

  ApiPatch kill;
  if (stalledKill && !kill.Patch("kernel32.dll", "TerminateProcess",
                                 reinterpret_cast<void*>(&IgnoredTerminateProcess))) {
    std::printf("round %d: cannot patch TerminateProcess\n", round);
    ok = false;
  }
  // Work for the job thread as it is told to stop.
  for (int i = 0; i < 50; ++i) sink->OnEventSignOut(user.userId, 502, 1);
  const DWORD closeStart = GetTickCount();
  sink->OnEventCloseGame();
  const DWORD closeMs = GetTickCount() - closeStart;
  FreeLibrary(dll);
  kill.Restore();
  const int ended = EndGames("pellory.exe");
  // Once the last of its threads is out, the library goes.
  const bool unloaded = WaitUnloaded(30000);
  std::printf("round %d: %s kill, close game %lu ms, games ended here %d, unloaded=%d\n", round,
              stalledKill ? "ignored" : "real", closeMs, ended, unloaded ? 1 : 0);
  std::fflush(stdout);
  return ok && unloaded;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 8;
  if (const char* port = std::getenv("GATE_SIM_PORT")) {
    std::ofstream ini("gateaddress.ini", std::ios::trunc);
    ini << "[gate]\naddress_00=127.0.0.1:" << port << "\n";
  }
  int failed = 0;
  for (int round = 1; round <= rounds; ++round) {
    if (!Round(round, round % 2 == 1)) ++failed;
  }
  std::printf("%s: %d of %d rounds failed\n", failed == 0 ? "all ok" : "FAILED", failed, rounds);
  return failed == 0 ? 0 : 1;
}
