#include "netcore/net/net_agent.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "netcore/command/network_commands.h"
#include "netcore/net/conn_mgr.h"
#include "netcore/net/packet_codec.h"
#include "netcore/port/platform.h"

namespace {

constexpr unsigned kDefaultConnectTimeoutMs = 3000;

// Zero-filled storage, then construction: padding inside the object is zero.
template <typename T>
T* NewZeroFilled() {
  void* p = ::operator new(sizeof(T), std::nothrow);
  if (p == nullptr) return nullptr;
  std::memset(p, 0, sizeof(T));
  return new (p) T();
}

}  // namespace

ClientNetAgent::ClientNetAgent() : ClientNetAgent(ManagerFactory()) {}

ClientNetAgent::ClientNetAgent(ManagerFactory factory) : factory_(std::move(factory)) {}

ClientNetAgent::~ClientNetAgent() = default;

bool ClientNetAgent::Init(IJobProcessPool* pool, int, int, int, const char*, ICmdProcess* direct) {
  std::unique_lock<std::shared_mutex> guard(manager_guard_);
  if (manager_ != nullptr) return false;
  closing_.store(false);
  pool_ = pool;
  direct_ = direct;
  loop_thread_.Detach();
  ICMGR_ConnManager* manager = factory_ ? factory_() : NewZeroFilled<QConnMgr>();
  if (manager == nullptr) return false;
  // Published only once it runs: a Process meanwhile finds no manager.
  if (!manager->Init(this)) {
    manager->Release();
    return false;
  }
  manager_ = manager;
  return true;
}

void ClientNetAgent::Shutdown() {
  ICMGR_ConnManager* manager = nullptr;
  {
    // Waits until no Process is inside the manager; later ones find none.
    closing_.store(true);
    std::unique_lock<std::shared_mutex> guard(manager_guard_);
    std::swap(manager, manager_);
  }
  // Outside the guard: the loop thread may still be in a sink call that
  // ends in Process (a direct processor) while Release waits for it.
  if (manager != nullptr) manager->Release();
}

void ClientNetAgent::Release() {
  Shutdown();
  delete this;
}

bool ClientNetAgent::Process(bs::CMD_base* cmd) {
  if (cmd == nullptr || cmd->kind != bs::kCmdKindNetwork) return true;
  if (cmd->subid == bs::kNetSubidSetting) {
    if (auto* setting = dynamic_cast<bs::CMDNetwork_AgentSetting*>(cmd)) ApplySetting(*setting);
    return true;
  }

  if (closing_.load()) return true;  // shutting down: dropped as below
  std::shared_lock<std::shared_mutex> guard(manager_guard_);
  if (manager_ == nullptr) return true;  // shut down: dropped, like a send to a closed link
  switch (cmd->subid) {
    case bs::kNetSubidDataMessage:
      if (auto* data = dynamic_cast<bs::CMDNetwork_DataMessage*>(cmd)) {
        std::string frame;
        const int len = EncodePacket(&frame, *data);
        manager_->Send(data->route.conn_id, frame.data(), len);
      }
      break;
    case bs::kNetSubidKickConnection:
      manager_->Close(cmd->route.conn_id);
      break;
    case bs::kNetSubidConnectTo:
      if (auto* connect = dynamic_cast<bs::CMDNetwork_ConnectTo*>(cmd)) {
        {
          std::lock_guard<std::mutex> lock(settings_mutex_);
          port_ = connect->port;
          host_ = connect->host;
        }
        const uint32_t low = static_cast<uint32_t>(connect->delay);
        const unsigned timeout_ms = connect->delay == 0 ? kDefaultConnectTimeoutMs : low;
        connect->route.conn_id =
            manager_->Connect(connect->host.c_str(), connect->port, connect->user_data, timeout_ms);
      }
      break;
    default:
      break;
  }
  return true;
}

void ClientNetAgent::ApplySetting(const bs::CMDNetwork_AgentSetting& setting) {
  std::lock_guard<std::mutex> lock(settings_mutex_);
  switch (setting.code) {
    case 0: {
      const size_t colon = setting.value.find(':');
      if (colon != std::string::npos) {
        host_ = setting.value.substr(0, colon);
        port_ = static_cast<int32_t>(std::atol(setting.value.c_str() + colon + 1));
      }
      break;
    }
    case 1:
      flag_ = false;
      break;
    case 2:
      flag_ = true;
      break;
    default:
      break;
  }
}

void ClientNetAgent::Post(bs::CMD_base* cmd) {
  if (pool_ != nullptr) {
    pool_->PostCommand(cmd);
  } else {
    cmd->handler->Release();  // no pool to take it
  }
}

void ClientNetAgent::OnConnectionClose(uint64_t conn_id, int /*user_data*/) {
  Q_CHECK_BOUND_THREAD(loop_thread_, "loop thread");
  char line[48];
  std::snprintf(line, sizeof(line), "conn closed:%lld\n", static_cast<long long>(conn_id));
  q_platform::DebugOutput(line);

  auto* cmd = new bs::CMDNetwork_OnConnectionClose();
  cmd->AttachDeleteHandler();
  cmd->route.conn_id = conn_id;
  cmd->route.origin = 1;
  Post(cmd);
}

void ClientNetAgent::OnData(uint64_t conn_id, const char* frame, int len, int user_data) {
  // On the connection's reader thread, one per connection: no thread check.
  auto* cmd = new bs::CMDNetwork_DataMessage();
  cmd->AttachDeleteHandler();
  // A frame that does not decode still goes on, with frame kind 0 and an
  // empty body; the client frame ignores it.
  DecodePacket(reinterpret_cast<const unsigned char*>(frame), len, cmd);
  cmd->route.conn_id = conn_id;
  cmd->route.origin = 1;
  cmd->route.user_data = user_data;
  if (direct_ != nullptr) {
    direct_->Process(cmd, 0);  // the processor now owns the reference
  } else {
    Post(cmd);
  }
}

void ClientNetAgent::OnConnectToRet(uint64_t conn_id, bool ok, int user_data) {
  Q_CHECK_BOUND_THREAD(loop_thread_, "loop thread");
  auto* ret = new bs::CMDNetwork_OnConnectToRet();
  ret->AttachDeleteHandler();
  ret->route.conn_id = conn_id;
  ret->route.origin = 1;
  ret->route.user_data = user_data;
  ret->ok = ok;
  Post(ret);
  if (!ok) return;
  auto* come = new bs::CMDNetwork_OnConnectionCome();
  come->route.conn_id = conn_id;
  come->route.user_data = user_data;
  come->route.origin = 1;
  come->AttachDeleteHandler();
  Post(come);
}

IJobAgent* CreateJobAgent() { return NewZeroFilled<ClientNetAgent>(); }

ICMGR_ConnManager* chCreateConnManager() { return NewZeroFilled<QConnMgr>(); }
