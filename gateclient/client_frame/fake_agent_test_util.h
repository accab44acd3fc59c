// Test double of the network agent for the client frame's tests: records
// every frame, connect and kick the frame hands it, and lets a test play the
// loop thread by posting connection events and received frames into the
// job thread. Also the gate-side codec helpers those tests share.
// Thread safety: Process from any thread; the wait helpers from the test thread.
// Ownership: the test owns the agent; Release only marks it released.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "netcore/command/gate_commands.h"
#include "netcore/command/job_thread.h"
#include "netcore/net/blowfish.h"
#include "netcore/net/net_agent.h"

namespace bsc_test {

struct SentFrame {
  uint16_t kind;
  uint16_t subid;
  std::string body;
  uint64_t connId;
};

class FakeAgent final : public IJobAgent {
 public:
  bool Init(IJobProcessPool* p, int, int, int, const char*, ICmdProcess*) override {
    std::lock_guard<std::mutex> lock(mutex);
    pool = p;
    return true;
  }
  void Shutdown() override {
    std::lock_guard<std::mutex> lock(mutex);
    shutdown = true;
  }
  void Release() override {
    std::lock_guard<std::mutex> lock(mutex);
    released = true;
  }
  bool Process(bs::CMD_base* cmd) override {
    std::unique_lock<std::mutex> lock(mutex);
    if (shutdown) return true;
    switch (cmd->subid) {
      case bs::kNetSubidConnectTo: {
        uint64_t id = 0;
        if (failConnects > 0) {
          --failConnects;
        } else {
          id = nextId++;
        }
        cmd->route.conn_id = id;
        ++connects;
        if (id != 0 && autoConnect) {
          lock.unlock();
          PostConnected(id);
          lock.lock();
        }
        break;
      }
      case bs::kNetSubidDataMessage: {
        auto* data = dynamic_cast<bs::CMDNetwork_DataMessage*>(cmd);
        if (data != nullptr)
          sent.push_back({data->header.kind, data->header.subid, data->body, data->route.conn_id});
        break;
      }
      case bs::kNetSubidKickConnection:
        kicks.push_back(cmd->route.conn_id);
        if (autoCloseOnKick) {
          const uint64_t id = cmd->route.conn_id;
          lock.unlock();
          PostClose(id);
          lock.lock();
        }
        break;
      default:
        break;
    }
    changed.notify_all();
    return true;
  }

  void PostConnected(uint64_t id) {
    auto* ret = new bs::CMDNetwork_OnConnectToRet();
    ret->AttachDeleteHandler();
    ret->route.conn_id = id;
    ret->ok = true;
    pool->PostCommand(ret);
    auto* come = new bs::CMDNetwork_OnConnectionCome();
    come->AttachDeleteHandler();
    come->route.conn_id = id;
    pool->PostCommand(come);
  }
  void PostConnectFailed(uint64_t id) {
    auto* ret = new bs::CMDNetwork_OnConnectToRet();
    ret->AttachDeleteHandler();
    ret->route.conn_id = id;
    ret->ok = false;
    pool->PostCommand(ret);
  }
  void PostClose(uint64_t id) {
    auto* close = new bs::CMDNetwork_OnConnectionClose();
    close->AttachDeleteHandler();
    close->route.conn_id = id;
    pool->PostCommand(close);
  }
  void PostFrame(uint64_t id, uint16_t kind, uint16_t subid, const std::string& body) {
    auto* data = new bs::CMDNetwork_DataMessage();
    data->AttachDeleteHandler();
    data->route.conn_id = id;
    data->header.kind = kind;
    data->header.subid = subid;
    data->body = body;
    pool->PostCommand(data);
  }

  // Waits until pred (called under the lock) holds; false after the deadline.
  bool WaitFor(const std::function<bool()>& pred, int seconds = 10) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(seconds), pred);
  }
  size_t CountSent(uint16_t subid) {
    size_t n = 0;
    for (const SentFrame& f : sent) n += f.subid == subid ? 1 : 0;
    return n;
  }

  std::mutex mutex;
  std::condition_variable changed;
  IJobProcessPool* pool = nullptr;
  std::vector<SentFrame> sent;
  std::vector<uint64_t> kicks;
  int connects = 0;
  int failConnects = 0;
  uint64_t nextId = 1;
  bool autoConnect = true;
  bool autoCloseOnKick = true;
  bool shutdown = false;
  bool released = false;
};

inline std::string Cipher(const std::string& key, const std::string& body, bool encipher) {
  CBlowfish bf;
  bf.SetKey(key.data(), static_cast<unsigned>(key.size()));
  const std::vector<char> in(body.begin(), body.end());
  const std::vector<char> out = encipher ? bf.Encrypt(in) : bf.Decrypt(in);
  return std::string(out.begin(), out.end());
}

template <class Msg>
std::string Encode(const Msg& m) {
  std::string s;
  m.SerializePartialToString(&s);
  return s;
}

// A TransferDataReq body carrying `inner` of (kind, subid).
inline std::string TransferBody(uint32_t kind, uint32_t subid, const std::string& inner,
                                uint32_t apptype = 7, uint32_t appid = 2, uint64_t session = 0) {
  bs::gate::TransferDataReq t;
  t.set_att_apptype(apptype);
  t.set_att_appid(appid);
  t.set_data_cmd_kind(kind);
  t.set_data_cmd_subid(subid);
  t.set_data(inner);
  if (session != 0) t.set_att_sessionid(session);
  return Encode(t);
}

}  // namespace bsc_test
