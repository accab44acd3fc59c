// The game registry's process and channel layer: everything PlanTable needs
// from the operating system to run one game (its shared-memory channel and
// its process), behind one interface so that the registry's logic runs the
// same against the Windows layer (plan_table_win32.cpp) and a fake in tests.
// Thread safety: a GameEnv may be called from any thread. A GameChannel's
// Send from any thread, Close from its owner (never from inside the
// callback); a GameProcess from any thread.
// Ownership: OpenChannel and StartProcess hand the new object to the caller;
// destroying a channel closes it, destroying a process object closes its
// handles (the process itself goes on). The callback is not owned.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "netcore/shm/win_ipc.h"

namespace bsc {

// The handles and ids of a started game, as the log shows them.
struct GameProcessInfo {
  void* process = nullptr;  // HANDLE
  void* thread = nullptr;   // HANDLE
  uint32_t processId = 0;
  uint32_t threadId = 0;
};

// One game's shared-memory channel (the creator side).
class GameChannel {
 public:
  virtual ~GameChannel() = default;
  // Queues a copy of one record; the channel's worker writes it.
  virtual void Send(const std::string& record) = 0;
  // Stops the worker and closes the queues: no callback runs after it
  // returns. A second call does nothing.
  virtual void Close() = 0;
};

// A started game process.
class GameProcess {
 public:
  virtual ~GameProcess() = default;
  // Waits up to `ms`; true with the exit code once the process has ended.
  virtual bool Wait(uint32_t ms, uint32_t* exitCode) = 0;
  virtual void Terminate(uint32_t exitCode) = 0;
  virtual GameProcessInfo Info() const = 0;
};

class GameEnv {
 public:
  virtual ~GameEnv() = default;
  // The gate client's own process id (the channel's and the command line's).
  virtual int32_t ProcessId() = 0;
  // The folder games start in: the running program's, ending in a separator.
  virtual std::string ProgramFolder() = 0;
  // Creates both queues of plan `planId`'s channel and starts its worker,
  // which hands each record from the game to `callback`. Null on failure.
  virtual std::unique_ptr<GameChannel> OpenChannel(int32_t ownerProcessId, uint64_t planId,
                                                   IWinIpcCallback* callback) = 0;
  // Starts the program named first on `commandLine` in `folder`. Null on failure.
  virtual std::unique_ptr<GameProcess> StartProcess(const std::string& commandLine,
                                                    const std::string& folder) = 0;
};

// The running platform's layer: Windows channels and processes; in the native
// tree a layer on which no channel opens, so no game ever starts.
GameEnv* DefaultGameEnv();

}  // namespace bsc
