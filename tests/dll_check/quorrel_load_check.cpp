// Loads Quorrel.dll the way its users do (LoadLibraryA, GetProcAddress by
// the undecorated names), makes a connection manager and a network agent
// through the exports and drives them across the module boundary: a connect
// to a listener of this program, one frame back through the sink.
//   quorrel_load_check <path of Quorrel.dll>
// Exit code 0 when everything worked; each failure is printed.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winsock2.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "netcore/net/conn_manager.h"
#include "netcore/net/net_agent.h"

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
  if (!ok) ++failures;
}

class Sink : public ICMGR_ChannelSink {
 public:
  void OnConnectionClose(uint64_t, int) override {}
  void OnData(uint64_t, const char*, int len, int) override {
    std::lock_guard<std::mutex> lock(mutex_);
    frame_len_ = len;
    cv_.notify_all();
  }
  void OnConnectToRet(uint64_t, bool ok, int user_data) override {
    std::lock_guard<std::mutex> lock(mutex_);
    connected_ = ok && user_data == 5;
    cv_.notify_all();
  }
  bool WaitConnected() {
    return Wait([&] { return connected_; });
  }
  int WaitFrame() {
    Wait([&] { return frame_len_ != 0; });
    return frame_len_;
  }

 private:
  template <typename Pred>
  bool Wait(Pred pred) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::seconds(10), pred);
  }
  std::mutex mutex_;
  std::condition_variable cv_;
  bool connected_ = false;
  int frame_len_ = 0;
};

class NullPool : public IJobProcessPool {
 public:
  void AddProcessor(ICmdProcess*, uint16_t) override {}
  void ReservedSlot2(int, int) override {}
  int PostCommand(bs::CMD_base*) override { return 0; }
  void Release() override {}
  bool Start(int) override { return true; }
  void Stop() override {}
  void ReservedSlot7(int) override {}
  void ReservedSlot8(int) override {}
  int ReservedSlot9() override { return 0; }
  int ReservedSlot10() override { return 0; }
  uint32_t GetTickCount() override { return 0; }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::printf("usage: quorrel_load_check <Quorrel.dll>\n");
    return 2;
  }
  HMODULE dll = ::LoadLibraryA(argv[1]);
  Check(dll != nullptr, "LoadLibraryA");
  if (dll == nullptr) return 1;
  using CreateAgentFn = IJobAgent* (*)();
  using CreateMgrFn = ICMGR_ConnManager* (*)();
  // Through void*: FARPROC's own type says nothing about the export's.
  auto create_agent = reinterpret_cast<CreateAgentFn>(
      reinterpret_cast<void*>(::GetProcAddress(dll, "CreateJobAgent")));
  auto create_mgr = reinterpret_cast<CreateMgrFn>(
      reinterpret_cast<void*>(::GetProcAddress(dll, "chCreateConnManager")));
  Check(create_agent != nullptr, "GetProcAddress CreateJobAgent");
  Check(create_mgr != nullptr, "GetProcAddress chCreateConnManager");
  if (create_agent == nullptr || create_mgr == nullptr) return 1;

  WSADATA wsa;
  ::WSAStartup(0x0202, &wsa);
  SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr = {};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int addr_len = sizeof(addr);
  ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
  ::listen(listener, 1);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &addr_len);
  const int port = ntohs(addr.sin_port);

  Sink sink;
  ICMGR_ConnManager* mgr = create_mgr();
  Check(mgr != nullptr && mgr->Init(&sink), "connection manager Init");
  if (mgr != nullptr) {
    const uint64_t id = mgr->Connect("127.0.0.1", port, 5, 5000);
    Check(id == 1, "Connect returns the first id");
    SOCKET peer = ::accept(listener, nullptr, nullptr);
    Check(sink.WaitConnected(), "OnConnectToRet(true) through the sink");
    // The smallest frame: L = 8, H = 6, "ch", kind 12, sub-id 1.
    const char frame[12] = {0, 0, 0, 8, 0, 6, 'c', 'h', 0, 12, 0, 1};
    ::send(peer, frame, sizeof(frame), 0);
    Check(sink.WaitFrame() == 12, "OnData with the whole frame");
    mgr->Release();
    ::closesocket(peer);
  }

  NullPool pool;
  IJobAgent* agent = create_agent();
  Check(agent != nullptr, "CreateJobAgent");
  if (agent != nullptr) {
    Check(agent->Init(&pool, 0, 0, 0, "", nullptr), "agent Init");
    Check(agent->Process(nullptr), "agent Process ignores a null command");
    agent->Shutdown();
    agent->Release();
  }

  ::closesocket(listener);
  ::WSACleanup();
  ::FreeLibrary(dll);
  std::printf("%s\n", failures == 0 ? "all ok" : "failures");
  return failures == 0 ? 0 : 1;
}
