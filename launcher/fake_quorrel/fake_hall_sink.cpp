// A stand-in Quorrel.dll for the launcher's tests, built in three forms:
//   FAKE_SINK_RECORDING  GetHallSink returns a sink that reports each call
//   FAKE_SINK_NULL       GetHallSink returns null
//   FAKE_SINK_NO_EXPORT  no GetHallSink export at all
// Each call is reported as one line of text to the observer the test sets
// through FakeSinkSetObserver; pointers are written as numbers so the test
// can check that the caller's block reached the sink unchanged.
#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "interface/hall/nfhall_interfaces.h"

namespace {

void (*g_observer)(const char* event, void* context) = nullptr;
void* g_context = nullptr;

void Report(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Report(const char* format, ...) {
  char line[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof(line), format, args);
  va_end(args);
  if (g_observer != nullptr) g_observer(line, g_context);
}

// A pointer as the number the test compares against (all of it, also on x86_64).
unsigned long long Address(const void* p) {
  return static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p));
}

class RecordingSink : public INFHallSink {
 public:
  void SetHallControl(INFHallControl* control) override {
    Report("SetHallControl %llu", Address(control));
  }
  void OnEventUserInfo(const NFHallUserInfo* info) override {
    Report("UserInfo %llu", Address(info));
  }
  bool OnEventEnterRoom(int32_t userId, uint16_t gameKind, uint16_t serverId) override {
    Report("EnterRoom %d %u %u", userId, gameKind, serverId);
    return serverId % 2 == 1;  // a result the test can tell apart
  }
  void OnEventLeaveRoom(int32_t userId, uint16_t gameKind, uint16_t serverId) override {
    Report("LeaveRoom %d %u %u", userId, gameKind, serverId);
  }
  void OnEventSignUp(int32_t userId, uint16_t gameKind, uint16_t serverId) override {
    Report("SignUp %d %u %u", userId, gameKind, serverId);
  }
  void OnEventSignOut(int32_t userId, uint16_t gameKind, uint16_t serverId) override {
    Report("SignOut %d %u %u", userId, gameKind, serverId);
  }
  void OnEventUserFund(const NFHallUserFund* fund) override {
    Report("UserFund %llu", Address(fund));
  }
  void OnEventCloseGame() override { Report("CloseGame"); }
};

INFHallSink* MakeSink() {
  Report("GetHallSink");
#if defined(FAKE_SINK_NULL)
  return nullptr;
#else
  static RecordingSink sink;
  return &sink;
#endif
}

}  // namespace

extern "C" __declspec(dllexport) void FakeSinkSetObserver(void (*observer)(const char*, void*),
                                                          void* context) {
  g_observer = observer;
  g_context = context;
}

#if defined(FAKE_SINK_NO_EXPORT)
extern "C" __declspec(dllexport) INFHallSink* GetOtherSink() { return MakeSink(); }
#else
extern "C" __declspec(dllexport) INFHallSink* GetHallSink() { return MakeSink(); }
#endif
