// Test helper: an IWinIpcCallback that keeps every message it is handed and
// lets a test wait, with a deadline, until enough have arrived. Windows tests only.
// Thread safety: OnReceive on the channel's worker, the rest on the test thread.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "netcore/shm/win_ipc.h"

class IpcRecorder final : public bsc::IWinIpcCallback {
 public:
  void OnReceive(const char* data, int length) override {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.emplace_back(data, size_t(length));
    cv_.notify_all();
  }

  // True when at least `count` messages arrived within `seconds`.
  bool WaitFor(size_t count, int seconds = 20) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::seconds(seconds),
                        [&] { return messages_.size() >= count; });
  }

  // Passes when a message equal to `text` arrived within `seconds`.
  ::testing::AssertionResult WaitForText(const std::string& text, int seconds = 20) {
    std::unique_lock<std::mutex> lock(mutex_);
    bool seen = cv_.wait_for(lock, std::chrono::seconds(seconds), [&] {
      for (const auto& m : messages_) {
        if (m == text) return true;
      }
      return false;
    });
    if (seen) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure();
    failure << "no \"" << text << "\" among " << messages_.size() << " messages:";
    for (size_t i = 0; i < messages_.size() && i < 5; ++i) {
      failure << " \"" << messages_[i].substr(0, 40) << "\"";
    }
    return failure;
  }

  std::vector<std::string> Messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<std::string> messages_;
};
