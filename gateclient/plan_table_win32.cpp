// The Windows process layer of the game registry: the shared-memory channel
// (bsc::WinIpcImpl, created by the gate client before the game starts), the
// game process started with CreateProcessA in the running program's folder,
// and the waits and termination the watcher and KillAll use.
#include "gateclient/game_env.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <mutex>
#include <vector>

namespace bsc {
namespace {

class WinGameChannel final : public GameChannel {
 public:
  ~WinGameChannel() override { Close(); }
  bool Open(int32_t ownerProcessId, uint64_t planId, IWinIpcCallback* callback) {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = ipc_.Open(ownerProcessId, int64_t(planId), callback, false);
    return open_;
  }
  void Send(const std::string& record) override {
    std::lock_guard<std::mutex> lock(mutex_);
    // A closed channel's outgoing list is never written again: drop.
    if (open_) ipc_.Send(record.data(), int(record.size()));
  }
  void Close() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_) return;
    ipc_.Close();
    open_ = false;
  }

 private:
  std::mutex mutex_;  // open/closed vs. sends
  bool open_ = false;
  WinIpcImpl ipc_;
};

class WinGameProcess final : public GameProcess {
 public:
  explicit WinGameProcess(const PROCESS_INFORMATION& pi) : pi_(pi) {}
  ~WinGameProcess() override {
    CloseHandle(pi_.hProcess);
    CloseHandle(pi_.hThread);
  }
  bool Wait(uint32_t ms, uint32_t* exitCode) override {
    if (WaitForSingleObject(pi_.hProcess, ms) != WAIT_OBJECT_0) return false;
    DWORD code = 0;
    GetExitCodeProcess(pi_.hProcess, &code);
    *exitCode = code;
    return true;
  }
  void Terminate(uint32_t exitCode) override { TerminateProcess(pi_.hProcess, exitCode); }
  GameProcessInfo Info() const override {
    GameProcessInfo info;
    info.process = pi_.hProcess;
    info.thread = pi_.hThread;
    info.processId = pi_.dwProcessId;
    info.threadId = pi_.dwThreadId;
    return info;
  }

 private:
  const PROCESS_INFORMATION pi_;
};

class WinGameEnv final : public GameEnv {
 public:
  int32_t ProcessId() override { return int32_t(GetCurrentProcessId()); }

  std::string ProgramFolder() override {
    char path[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path, n);
    const size_t slash = s.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : s.substr(0, slash + 1);
  }

  std::unique_ptr<GameChannel> OpenChannel(int32_t ownerProcessId, uint64_t planId,
                                           IWinIpcCallback* callback) override {
    std::unique_ptr<WinGameChannel> channel(new WinGameChannel);
    if (!channel->Open(ownerProcessId, planId, callback)) return nullptr;
    return channel;
  }

  std::unique_ptr<GameProcess> StartProcess(const std::string& commandLine,
                                            const std::string& folder) override {
    STARTUPINFOA si;
    GetStartupInfoA(&si);
    si.cb = sizeof si;
    // CreateProcessA may write into the line; 1024 spare characters.
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.resize(commandLine.size() + 1024, '\0');
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
      return nullptr;
    }
    return std::unique_ptr<GameProcess>(new WinGameProcess(pi));
  }
};

}  // namespace

GameEnv* DefaultGameEnv() {
  static WinGameEnv env;
  return &env;
}

}  // namespace bsc
