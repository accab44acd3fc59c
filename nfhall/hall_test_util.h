// A lobby that records every block the sink sends, and a sink wired to
// recording seams instead of the process's client frame.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "nfhall/nfhall_impl.h"

namespace nfhall {

struct LobbyCall {
  std::string op;  // "socket" or "process"
  uint16_t kind = 0, server = 0, main = 0, sub = 0;
  bool hasBody = false;
  std::vector<uint8_t> body;
};

class RecordingLobby : public INFHallControl {
 public:
  bool SendSocketData(uint16_t k, uint16_t s, uint16_t m, uint16_t sub, const void* d,
                      uint16_t n) override {
    Add({"socket", k, s, m, sub, true, Bytes(d, n)});
    return true;
  }
  bool SendSocketData(uint16_t k, uint16_t s, uint16_t m, uint16_t sub) override {
    Add({"socket", k, s, m, sub, false, {}});
    return true;
  }
  bool SendProcessData(uint16_t m, uint16_t sub, const void* d, uint16_t n) override {
    Add({"process", 0, 0, m, sub, true, Bytes(d, n)});
    return true;
  }
  bool SendProcessData(uint16_t m, uint16_t sub) override {
    Add({"process", 0, 0, m, sub, false, {}});
    return true;
  }
  void SendStartupRequests() override {}

  std::vector<LobbyCall> Calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
  }

 private:
  static std::vector<uint8_t> Bytes(const void* d, uint16_t n) {
    const auto* p = static_cast<const uint8_t*>(d);
    return p == nullptr ? std::vector<uint8_t>() : std::vector<uint8_t>(p, p + n);
  }
  void Add(LobbyCall c) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(std::move(c));
  }
  std::mutex mutex_;
  std::vector<LobbyCall> calls_;
};

// What the sink asked the gate session for.
struct GateRecord {
  std::vector<bsc::LoginUser> users;
  std::vector<std::pair<uint32_t, bool>> joins;
  std::vector<std::pair<uint32_t, uint32_t>> details;
  std::vector<uint32_t> displays;
  std::vector<bs::CMD_base*> posted;
  int starts = 0;
  int stops = 0;
  uint32_t tick = 5000;
};

inline NFHallSinkImpl::Seams RecordingSeams(GateRecord& r) {
  NFHallSinkImpl::Seams s;
  s.startGateClient = [&r](NFHallSinkImpl*) { ++r.starts; };
  s.stopGateClient = [&r] { ++r.stops; };
  s.tickCount = [&r] { return r.tick; };
  s.submitLoginUser = [&r](const bsc::LoginUser& u) {
    r.users.push_back(u);
    return true;
  };
  s.sendJoin = [&r](uint32_t app, bool w) { r.joins.emplace_back(app, w); };
  s.sendMatchDetail = [&r](uint32_t plan, uint32_t app) { r.details.emplace_back(plan, app); };
  s.sendDisplayPlanUpdate = [&r](uint32_t plan) { r.displays.push_back(plan); };
  s.post = [&r](bs::CMD_base* c) {
    r.posted.push_back(c);
    return true;
  };
  s.showAccount = [](const std::string&) {};
  s.closePauseMs = 0;
  return s;
}

}  // namespace nfhall
