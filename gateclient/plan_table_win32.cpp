// The Windows process layer of the game registry: the shared-memory channel
// (bsc::WinIpcImpl, created by the gate client before the game starts), the
// game process started with CreateProcessA in the running program's folder,
// and the waits and termination the watcher and KillAll use.
#include "gateclient/plan_table.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <vector>

#include "netcore/shm/win_ipc.h"

namespace bsc {

struct GameChannel {
  WinIpcImpl ipc;
};

int32_t CurrentProcessIdForGames() { return int32_t(GetCurrentProcessId()); }

std::string RunningProgramFolder() {
  char path[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path, n);
  const size_t slash = s.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : s.substr(0, slash + 1);
}

GameChannel* NewGameChannel() { return new GameChannel; }
void DeleteGameChannel(GameChannel* channel) { delete channel; }

bool PlanTable::OpenChannel() {
  std::lock_guard<std::mutex> lock(channelMutex_);
  if (channelOpen_) return true;
  channelOpen_ = channel->ipc.Open(CurrentProcessIdForGames(), int64_t(planId), this, false);
  return channelOpen_;
}

void PlanTable::SendOnChannel(const std::string& record) {
  std::lock_guard<std::mutex> lock(channelMutex_);
  // A closed channel's outgoing list is never written again: drop.
  if (!channelOpen_) return;
  channel->ipc.Send(record.data(), int(record.size()));
}

void PlanTable::CloseChannel() {
  std::lock_guard<std::mutex> lock(channelMutex_);
  if (!channelOpen_) return;
  channel->ipc.Close();
  channelOpen_ = false;
}

bool PlanTable::StartProcess(const std::string& commandLine) {
  STARTUPINFOA si;
  GetStartupInfoA(&si);
  si.cb = sizeof si;
  // CreateProcessA may write into the line; 1024 spare characters.
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.resize(commandLine.size() + 1024, '\0');
  const std::string folder = owner_.ProgramFolder();
  PROCESS_INFORMATION pi = {};
  const BOOL ok = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 folder.empty() ? nullptr : folder.c_str(), &si, &pi);
  if (!ok) return false;
  processInfo.process = pi.hProcess;
  processInfo.thread = pi.hThread;
  processInfo.processId = pi.dwProcessId;
  processInfo.threadId = pi.dwThreadId;
  return true;
}

bool PlanTable::WaitProcess(uint32_t ms, uint32_t* exitCode) {
  HANDLE h = static_cast<HANDLE>(processInfo.process);
  if (h == nullptr) return true;
  if (WaitForSingleObject(h, ms) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  GetExitCodeProcess(h, &code);
  *exitCode = code;
  return true;
}

void PlanTable::CloseProcessHandles() {
  if (processInfo.process != nullptr) CloseHandle(static_cast<HANDLE>(processInfo.process));
  if (processInfo.thread != nullptr) CloseHandle(static_cast<HANDLE>(processInfo.thread));
  processInfo.process = nullptr;
  processInfo.thread = nullptr;
}

void PlanTable::TerminateGame() {
  if (processInfo.process != nullptr) TerminateProcess(static_cast<HANDLE>(processInfo.process), 0);
}

}  // namespace bsc
