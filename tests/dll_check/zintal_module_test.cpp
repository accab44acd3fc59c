// A module of its own that uses Zintal.dll the way the platform's modules do:
// it links the import library, includes only the public headers and derives
// its threads from the exported classes. Its exceptions are thrown here and
// caught inside Zintal.dll (both share the toolchain's C++ runtime DLLs), and
// it calls the two interfaces through tables declared as a peer compiler
// would, to pin their slot orders.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <string>

#include "common_services/include/zintal/data_queue.h"
#include "common_services/include/zintal/get_msg_thread.h"
#include "common_services/include/zintal/log.h"
#include "common_services/include/zintal/md5_encrypt.h"
#include "common_services/include/zintal/peek_msg_thread.h"
#include "common_services/include/zintal/service_thread.h"
#include "common_services/include/zintal/thread_lock.h"
#include "common_services/include/zintal/thread_lock_handle.h"
#include "common_services/include/zintal/xor_encrypt.h"

// The interfaces as a peer compiler declares them: the same operations in
// the same slots, no destructor. Outside the anonymous namespace: for a type
// only this file could derive from, the compiler would conclude that no
// implementation of these operations exists.
namespace peer {

struct PeerLock {
  virtual void Lock() = 0;
  virtual void UnLock() = 0;
  virtual int TryLock() = 0;
};

struct PeerServiceThread {
  virtual bool IsRuning() = 0;
  virtual bool GetSetRun() = 0;
  virtual bool StartThread() = 0;
  virtual bool StopThread(DWORD milliseconds) = 0;
  virtual bool TerminateThread(DWORD exit_code) = 0;
};

}  // namespace peer

namespace {

constexpr DWORD kDeadlineMs = 10000;

// Waits on the thread's handle, which the object keeps after the end.
template <class Thread>
bool WaitForEnd(Thread& t) {
  HANDLE handle = t.GetThreadHandle();
  return handle != nullptr && WaitForSingleObject(handle, kDeadlineMs) == WAIT_OBJECT_0 &&
         !t.IsRuning();
}

TEST(ZintalModule, TheClassesComeFromTheDll) {
  HMODULE dll = GetModuleHandleA("Zintal.dll");
  ASSERT_NE(dll, nullptr);
  // The import lands inside Zintal.dll, not in a copy linked into this program.
  HMODULE owner = nullptr;
  void (*unlock)(CThreadLock*) = nullptr;
  CThreadLock lock;
  IThreadLock* as_interface = &lock;
  void** vtable = *reinterpret_cast<void***>(as_interface);
  unlock = reinterpret_cast<void (*)(CThreadLock*)>(vtable[1]);
  ASSERT_TRUE(GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(unlock), &owner));
  EXPECT_EQ(owner, dll);
}

// The queue and the codecs across the boundary.
TEST(ZintalModule, QueueAndCodecs) {
  CDataQueue q;
  ASSERT_TRUE(q.InsertData(5, "hello", 5));
  CDataQueue copy(q);
  tagDataHead head{};
  char buf[16];
  ASSERT_TRUE(q.GetData(head, buf, sizeof buf));
  EXPECT_EQ(std::string(buf, head.data_size), "hello");
  tagBurthenInfo info{};
  copy.GetBurthenInfo(info);
  EXPECT_EQ(info.packet_count, 1u);
  tagFileHead file_head{};
  const void* bytes = copy.GetFileData(file_head);
  CDataQueue restored;
  restored.SetFileData(file_head, bytes);
  ASSERT_TRUE(restored.PreGetData(head, buf, sizeof buf));
  EXPECT_EQ(head.identifier, 5);
  restored.RemoveData(true);

  char md5[33];
  CMD5Encrypt::EncryptData("abc", md5);
  EXPECT_STREQ(md5, "900150983cd24fb0d6963f7d28e17f72");
  char hex[64];
  char text[16];
  ASSERT_EQ(CXOREncrypt::EncryptData("zintal", hex, sizeof hex), 40);
  ASSERT_EQ(CXOREncrypt::CrevasseData(hex, text, sizeof text), 6);
  EXPECT_STREQ(text, "zintal");
}

TEST(ZintalModule, LogAndLocks) {
  char dir[MAX_PATH];
  GetTempPathA(sizeof dir, dir);
  std::string path = std::string(dir) + "zintal_module_test.log";
  DeleteFileA(path.c_str());
  CLog log;
  ASSERT_TRUE(log.CreateFileA(CString(dir).Left(static_cast<int>(std::strlen(dir)) - 1),
                              "zintal_module_test.log"));
  log.Log("from another module");
  CLog copy;
  copy = log;
  copy.Log("and its copy");
  HANDLE f =
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  char content[256] = {};
  DWORD got = 0;
  ReadFile(f, content, sizeof content - 1, &got, nullptr);
  CloseHandle(f);
  DeleteFileA(path.c_str());
  EXPECT_NE(std::strstr(content, "] from another module\r\r\n"), nullptr) << content;
  EXPECT_NE(std::strstr(content, "] and its copy\r\r\n"), nullptr) << content;

  CThreadLock lock;
  {
    CThreadLockHandle handle(&lock, true);
    handle.Lock();
    EXPECT_EQ(handle.GetLockCount(), 2);
  }
  EXPECT_NE(lock.TryLock(), 0);
  lock.UnLock();
}

// The object as a peer's code would receive it: through an opaque pointer,
// so the compiler here cannot reason from the object's declared type.
template <class Peer>
Peer* AsPeer(void* object) {
  void* volatile opaque = object;
  return static_cast<Peer*>(opaque);
}

class Looper : public CServiceThread {
 public:
  ~Looper() override { StopThread(INFINITE); }
  bool throw_at_start = false;
  bool throw_in_loop = false;
  std::atomic<int> stop_events{0};

 protected:
  bool OnThreadStratEvent() override {
    if (throw_at_start) throw std::runtime_error("start refused in another module");
    return true;
  }
  bool OnThreadStopEvent() override {
    ++stop_events;
    return true;
  }
  bool OnThreadLoop() override {
    if (throw_in_loop) throw std::runtime_error("loop failed in another module");
    Sleep(1);
    return true;
  }
};

TEST(ZintalModule, InterfaceSlotsAsAPeerSeesThem) {
  CThreadLock lock;
  peer::PeerLock* peer_lock = AsPeer<peer::PeerLock>(static_cast<IThreadLock*>(&lock));
  ASSERT_NE(peer_lock->TryLock(), 0);
  peer_lock->UnLock();
  peer_lock->Lock();
  peer_lock->UnLock();
  EXPECT_NE(lock.TryLock(), 0);
  lock.UnLock();

  Looper t;
  peer::PeerServiceThread* peer = AsPeer<peer::PeerServiceThread>(static_cast<IServiceThread*>(&t));
  EXPECT_FALSE(peer->IsRuning());
  ASSERT_TRUE(peer->StartThread());
  EXPECT_TRUE(peer->IsRuning());
  EXPECT_TRUE(peer->GetSetRun());
  EXPECT_TRUE(peer->StopThread(INFINITE));
  EXPECT_FALSE(peer->GetSetRun());
  ASSERT_TRUE(peer->StartThread());
  EXPECT_TRUE(peer->TerminateThread(3));
  EXPECT_FALSE(t.IsRuning());
}

TEST(ZintalModule, ExceptionsOfADerivedClassAreCaughtInsideTheDll) {
  Looper refused;
  refused.throw_at_start = true;
  EXPECT_FALSE(refused.StartThread());
  EXPECT_EQ(refused.stop_events, 1);

  Looper failing;
  failing.throw_in_loop = true;
  ASSERT_TRUE(failing.StartThread());
  ASSERT_TRUE(WaitForEnd(failing));
  EXPECT_EQ(failing.stop_events, 1);
}

class IdleThrower : public CPeekMsgThread {
 public:
  ~IdleThrower() override { StopThread(INFINITE); }
  std::atomic<int> stop_events{0};

 protected:
  bool OnThreadStopEvent() override {
    ++stop_events;
    return true;
  }
  bool OnThreadMessage(MSG*) override { return true; }
  bool OnThreadIdle() override { throw std::logic_error("idle failed in another module"); }
};

class MessageThrower : public CGetMsgThread {
 public:
  ~MessageThrower() override { StopThread(INFINITE); }
  std::atomic<int> stop_events{0};

 protected:
  bool OnThreadStopEvent() override {
    ++stop_events;
    return true;
  }
  bool OnThreadMessage(MSG* msg) override {
    if (msg->message == WM_APP) throw 42;
    return true;
  }
};

TEST(ZintalModule, MessageThreadsFromAnotherModule) {
  IdleThrower peek;
  EXPECT_FALSE(peek.PostThreadMessageA(WM_APP, 0, 0));
  ASSERT_TRUE(peek.StartThread());
  ASSERT_TRUE(WaitForEnd(peek));
  EXPECT_EQ(peek.stop_events, 1);
  EXPECT_NE(peek.GetThreadHandle(), nullptr);
  EXPECT_TRUE(peek.StopThread(INFINITE));

  MessageThrower get;
  ASSERT_TRUE(get.StartThread());
  EXPECT_NE(get.GetThreadID(), 0u);
  EXPECT_TRUE(get.PostThreadMessageA(WM_APP + 1, 0, 0));
  EXPECT_TRUE(get.PostThreadMessageA(WM_APP, 0, 0));
  ASSERT_TRUE(WaitForEnd(get));
  EXPECT_EQ(get.stop_events, 1);
}

}  // namespace
