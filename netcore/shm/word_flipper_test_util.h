// Test helper for the queue engine's hostile-peer cases: a thread that, while
// told to, flips one int32 of a region between two values, as a game that
// ignores the queue mutex could. Begin returns once flipping has begun, End
// once it has stopped and the word holds its first value again.
// Thread safety: Begin and End from one thread, in turns.
// Ownership: owns its thread, joined by the destructor.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

class WordFlipper {
 public:
  WordFlipper() : thread_([this] { Run(); }) {}
  ~WordFlipper() {
    quit_ = true;
    thread_.join();
  }
  WordFlipper(const WordFlipper&) = delete;
  WordFlipper& operator=(const WordFlipper&) = delete;

  void Begin(int32_t* word, int32_t wild) {
    word_ = word;
    original_ = __atomic_load_n(word, __ATOMIC_ACQUIRE);
    wild_ = wild;
    const uint64_t seen = rounds_.load();
    active_ = true;
    while (rounds_.load() == seen) std::this_thread::yield();
  }
  void End() {
    active_ = false;
    while (busy_.load()) std::this_thread::yield();
  }

 private:
  void Run() {
    while (!quit_) {
      // busy_ goes up before active_ is looked at (both seq_cst), so an End
      // that saw busy_ down cannot be followed by a round on the old word.
      busy_ = true;
      if (!active_) {
        busy_ = false;
        std::this_thread::yield();
        continue;
      }
      for (int i = 0; i < 64 && active_; ++i) {
        __atomic_store_n(word_, (i & 1) != 0 ? original_ : wild_, __ATOMIC_RELEASE);
      }
      __atomic_store_n(word_, original_, __ATOMIC_RELEASE);
      rounds_.fetch_add(1);
      busy_ = false;
    }
  }

  int32_t* word_ = nullptr;
  int32_t original_ = 0;
  int32_t wild_ = 0;
  std::atomic<bool> active_{false};
  std::atomic<bool> busy_{false};
  std::atomic<bool> quit_{false};
  std::atomic<uint64_t> rounds_{0};
  std::thread thread_;
};
