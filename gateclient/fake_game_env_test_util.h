// A fake of the game registry's process and channel layer (game_env.h) for
// the registry's native tests: channels that record the records sent to the
// game and let a test play the game's side, processes that end when the test
// says so or when terminated, and hooks that inject faults (an open or a
// start that fails, a test step run inside a start or a send).
// Thread safety: every operation from any thread; one mutex guards the state.
// Ownership: the env keeps a record of every channel and process it made,
// which outlives the objects handed to the registry.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "gateclient/game_env.h"

namespace bsc_test {

class FakeGameEnv final : public bsc::GameEnv {
 public:
  struct ChannelState {
    uint64_t planId = 0;
    int32_t owner = 0;
    bsc::IWinIpcCallback* callback = nullptr;
    std::vector<std::string> records;
    bool closed = false;
    bool destroyed = false;
  };
  struct ProcessState {
    std::string commandLine;
    std::string folder;
    bool ended = false;
    bool terminated = false;
    uint32_t exitCode = 0;
  };

  // Fault injection and test steps.
  bool failOpen = false;
  bool failStart = false;
  // Processes start already ended with this code (-1: they run).
  int64_t exitAtStart = -1;
  // Terminate only records the request; the process ends at EndProcess.
  bool holdOnTerminate = false;
  // Run inside StartProcess, before it returns, and inside each Send.
  std::function<void()> onStart;
  std::function<void(const std::string& record)> onSend;

  int32_t ProcessId() override { return 4242; }
  std::string ProgramFolder() override { return "C:\\games\\"; }

  std::unique_ptr<bsc::GameChannel> OpenChannel(int32_t owner, uint64_t planId,
                                                bsc::IWinIpcCallback* callback) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failOpen) return nullptr;
    auto state = std::make_shared<ChannelState>();
    state->planId = planId;
    state->owner = owner;
    state->callback = callback;
    channels_.push_back(state);
    return std::unique_ptr<bsc::GameChannel>(new Channel(this, state));
  }

  std::unique_ptr<bsc::GameProcess> StartProcess(const std::string& commandLine,
                                                 const std::string& folder) override {
    if (onStart) onStart();
    std::lock_guard<std::mutex> lock(mutex_);
    if (failStart) return nullptr;
    auto state = std::make_shared<ProcessState>();
    state->commandLine = commandLine;
    state->folder = folder;
    if (exitAtStart >= 0) {
      state->ended = true;
      state->exitCode = static_cast<uint32_t>(exitAtStart);
    }
    processes_.push_back(state);
    changed_.notify_all();
    return std::unique_ptr<bsc::GameProcess>(new Process(this, state));
  }

  // The game `index` (in start order) exits with `code`.
  void EndProcess(size_t index, uint32_t code) {
    std::lock_guard<std::mutex> lock(mutex_);
    ProcessState& p = *processes_.at(index);
    if (!p.ended) p.exitCode = code;
    p.ended = true;
    changed_.notify_all();
  }
  // The game of channel `index` writes one record back (as its worker would).
  void GameWrites(size_t index, const std::string& record) {
    bsc::IWinIpcCallback* callback = nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (channels_.at(index)->closed) return;
      callback = channels_.at(index)->callback;
    }
    callback->OnReceive(record.data(), static_cast<int>(record.size()));
  }

  std::vector<ChannelState> Channels() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<ChannelState> out;
    for (const auto& c : channels_) out.push_back(*c);
    return out;
  }
  std::vector<ProcessState> Processes() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<ProcessState> out;
    for (const auto& p : processes_) out.push_back(*p);
    return out;
  }
  // Waits until pred (called under the lock) holds; false after the deadline.
  bool WaitFor(const std::function<bool()>& pred, int ms = 10000) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms), pred);
  }
  size_t TerminateRequestsLocked() const {
    size_t n = 0;
    for (const auto& p : processes_) n += p->terminated ? 1 : 0;
    return n;
  }
  size_t ClosedChannelsLocked() const {
    size_t n = 0;
    for (const auto& c : channels_) n += c->closed ? 1 : 0;
    return n;
  }
  size_t RecordsLocked(size_t channel) const { return channels_.at(channel)->records.size(); }

 private:
  class Channel final : public bsc::GameChannel {
   public:
    Channel(FakeGameEnv* env, std::shared_ptr<ChannelState> s) : env_(env), s_(std::move(s)) {}
    ~Channel() override {
      Close();
      std::lock_guard<std::mutex> lock(env_->mutex_);
      s_->destroyed = true;
      env_->changed_.notify_all();
    }
    void Send(const std::string& record) override {
      if (env_->onSend) env_->onSend(record);
      std::lock_guard<std::mutex> lock(env_->mutex_);
      if (!s_->closed) s_->records.push_back(record);
      env_->changed_.notify_all();
    }
    void Close() override {
      std::lock_guard<std::mutex> lock(env_->mutex_);
      s_->closed = true;
      env_->changed_.notify_all();
    }

   private:
    FakeGameEnv* env_;
    std::shared_ptr<ChannelState> s_;
  };

  class Process final : public bsc::GameProcess {
   public:
    Process(FakeGameEnv* env, std::shared_ptr<ProcessState> s) : env_(env), s_(std::move(s)) {}
    bool Wait(uint32_t ms, uint32_t* exitCode) override {
      std::unique_lock<std::mutex> lock(env_->mutex_);
      if (!env_->changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return s_->ended; }))
        return false;
      *exitCode = s_->exitCode;
      return true;
    }
    void Terminate(uint32_t code) override {
      std::lock_guard<std::mutex> lock(env_->mutex_);
      s_->terminated = true;
      if (!env_->holdOnTerminate && !s_->ended) {
        s_->ended = true;
        s_->exitCode = code;
      }
      env_->changed_.notify_all();
    }
    bsc::GameProcessInfo Info() const override {
      bsc::GameProcessInfo info;
      info.process = s_.get();
      return info;
    }

   private:
    FakeGameEnv* env_;
    std::shared_ptr<ProcessState> s_;
  };

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::shared_ptr<ChannelState>> channels_;
  std::vector<std::shared_ptr<ProcessState>> processes_;
};

}  // namespace bsc_test
