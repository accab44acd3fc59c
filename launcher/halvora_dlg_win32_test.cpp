// CHalvoraDlg's bridge under Wine, against stand-ins of Quorrel.dll
// (launcher/fake_quorrel) found through the DLL search folder, and against
// the frame's real send operations (linked statically here), whose block log
// shows what reached them and on which thread.
#include "launcher/halvora_dlg.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/korvel/block_log.h"

namespace {

using korvel::BlockRecord;
using korvel::Channel;

std::string Ptr(const void* p) {
  return std::to_string(static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
}

class HalvoraDlgTest : public ::testing::Test {
 protected:
  // Points the DLL search at one stand-in folder (fake_recording, fake_null,
  // fake_no_export, fake_missing) beside the test program.
  void UseGateClient(const char* folder) {
    char cwd[MAX_PATH];
    ASSERT_GT(::GetCurrentDirectoryA(sizeof(cwd), cwd), 0u);
    ASSERT_TRUE(::SetDllDirectoryA((std::string(cwd) + "\\" + folder).c_str()));
  }

  void TearDown() override {
    dlg_.reset();  // frees the library
    ::SetDllDirectoryA(nullptr);
    EXPECT_EQ(::GetModuleHandleA("Quorrel.dll"), nullptr) << "the destructor left it loaded";
  }

  // Binds; a stand-in that reports records its calls in events_ from the
  // start (the test holds the library for that moment itself).
  bool Bind() {
    dlg_.reset(new CHalvoraDlg());
    HMODULE module = ::LoadLibraryA("Quorrel.dll");
    if (module != nullptr) {
      auto setObserver = reinterpret_cast<void (*)(void (*)(const char*, void*), void*)>(
          reinterpret_cast<void*>(::GetProcAddress(module, "FakeSinkSetObserver")));
      if (setObserver != nullptr) setObserver(&HalvoraDlgTest::Observe, this);
    }
    const bool bound = dlg_->LoadGateClient();
    if (module != nullptr) ::FreeLibrary(module);
    return bound;
  }

  static void Observe(const char* event, void* context) {
    auto* self = static_cast<HalvoraDlgTest*>(context);
    self->events_.push_back(event);
    // What the lobby had been sent when the sink heard of the room.
    if (std::strncmp(event, "EnterRoom", 9) == 0) {
      self->blocksAtEnter_ = self->dlg_->Blocks().Size();
    }
  }

  std::vector<BlockRecord> Blocks() const { return dlg_->Blocks().Since(0); }

  static NFHallUserInfo User(int32_t id) {
    NFHallUserInfo info;
    std::memset(&info, 0x5A, sizeof(info));
    info.userId = id;
    return info;
  }

  static NFHallUserFund Fund(uint64_t count10, uint32_t count11) {
    NFHallUserFund fund;
    std::memset(&fund, 0xA5, sizeof(fund));
    fund.count10 = count10;
    fund.count11 = count11;
    return fund;
  }

  // The six start-up requests, in order, with their bodies, for the user
  // and fund blocks above and the room (kind, server).
  static void ExpectStartupRequests(const std::vector<BlockRecord>& blocks, uint16_t kind,
                                    uint16_t server, int32_t userId, uint64_t count10,
                                    uint32_t count11) {
    ASSERT_GE(blocks.size(), 6u);
    const struct {
      uint16_t main, sub;
      bool body;
      uint16_t length;
    } want[] = {{2, 100, true, 224}, {1, 100, true, 8},  {3, 106, true, 224},
                {3, 100, true, 24},  {1, 102, false, 0}, {3, 105, true, 16}};
    for (int i = 0; i < 6; ++i) {
      const BlockRecord& b = blocks[i];
      EXPECT_EQ(b.channel, Channel::kSocket) << i;
      EXPECT_EQ(b.gameKind, kind) << i;
      EXPECT_EQ(b.serverId, server) << i;
      EXPECT_EQ(b.mainCode, want[i].main) << i;
      EXPECT_EQ(b.subCode, want[i].sub) << i;
      EXPECT_EQ(b.hasBody, want[i].body) << i;
      EXPECT_EQ(b.body.size(), want[i].length) << i;
    }
    std::vector<uint8_t> first(224, 0);
    std::memcpy(&first[8], &userId, 4);
    std::memset(&first[32], 0xFF, 4);
    std::memcpy(&first[64], &count10, 8);
    std::memcpy(&first[124], &count11, 4);
    EXPECT_EQ(blocks[0].body, first);
    std::vector<uint8_t> second(8, 0);
    std::memcpy(&second[0], &userId, 4);
    EXPECT_EQ(blocks[1].body, second);
    for (int i : {2, 3, 5}) {
      EXPECT_EQ(blocks[i].body, std::vector<uint8_t>(blocks[i].body.size(), 0)) << i;
    }
  }

  std::unique_ptr<CHalvoraDlg> dlg_;
  std::vector<std::string> events_;
  size_t blocksAtEnter_ = 0;
};

TEST_F(HalvoraDlgTest, ForwardsEveryHookAfterTheStartupRequests) {
  UseGateClient("fake_recording");
  ASSERT_TRUE(Bind());
  ASSERT_NE(dlg_->HeldSink(), nullptr);
  const INFHallControl* control = dlg_.get();  // the dialog's interface part

  const NFHallUserInfo user = User(20002);
  const NFHallUserFund fund = Fund(0x1122334455667788ULL, 0x99AABBCC);
  dlg_->OnUserInfo(&user);
  dlg_->OnUserFund(&fund);
  EXPECT_TRUE(dlg_->OnEnterRoom(20002, 502, 7));  // the sink's result (odd server)
  EXPECT_FALSE(dlg_->OnEnterRoom(20002, 503, 8));
  dlg_->OnLeaveRoom(20002, 503, 8);
  dlg_->OnSignUp(-5, 65535, 0);
  dlg_->OnSignOut(7, 1, 65535);
  dlg_->OnCloseGame();

  EXPECT_EQ(events_,
            (std::vector<std::string>{
                "GetHallSink", "SetHallControl " + Ptr(control), "UserInfo " + Ptr(&user),
                "UserFund " + Ptr(&fund), "EnterRoom 20002 502 7", "EnterRoom 20002 503 8",
                "LeaveRoom 20002 503 8", "SignUp -5 65535 0", "SignOut 7 1 65535", "CloseGame"}));
  const std::vector<BlockRecord> blocks = Blocks();
  ASSERT_EQ(blocks.size(), 12u);
  EXPECT_EQ(blocksAtEnter_, 12u);  // the second room's six before its EnterRoom
  ExpectStartupRequests(blocks, 502, 7, 20002, 0x1122334455667788ULL, 0x99AABBCC);
  ExpectStartupRequests({blocks.begin() + 6, blocks.end()}, 503, 8, 20002, 0x1122334455667788ULL,
                        0x99AABBCC);
  EXPECT_EQ(dlg_->GameKind(), 503);
  EXPECT_EQ(dlg_->ServerId(), 8);
}

TEST_F(HalvoraDlgTest, TheSinkHearsEnterRoomOnlyAfterTheSixRequests) {
  UseGateClient("fake_recording");
  ASSERT_TRUE(Bind());
  const NFHallUserInfo user = User(10001);
  dlg_->OnUserInfo(&user);
  dlg_->OnEnterRoom(10001, 502, 1);
  EXPECT_EQ(blocksAtEnter_, 6u);
}

TEST_F(HalvoraDlgTest, WithoutAGateClientNothingIsForwardedButTheLobbyIsServed) {
  for (const char* folder : {"fake_missing", "fake_no_export", "fake_null"}) {
    SCOPED_TRACE(folder);
    events_.clear();
    UseGateClient(folder);
    EXPECT_FALSE(Bind());
    EXPECT_EQ(dlg_->HeldSink(), nullptr);
    // The copies are kept, the room stored and the start-up requests sent.
    const NFHallUserInfo user = User(30003);
    const NFHallUserFund fund = Fund(5000, 7);
    dlg_->OnUserInfo(&user);
    dlg_->OnUserFund(&fund);
    EXPECT_EQ(std::memcmp(dlg_->UserBlock(), &user, 300), 0);
    EXPECT_EQ(std::memcmp(dlg_->FundBlock(), &fund, 32), 0);
    EXPECT_FALSE(dlg_->OnEnterRoom(30003, 502, 1));
    dlg_->OnLeaveRoom(30003, 502, 1);
    dlg_->OnSignUp(30003, 502, 1);
    dlg_->OnSignOut(30003, 502, 1);
    dlg_->OnCloseGame();
    ExpectStartupRequests(Blocks(), 502, 1, 30003, 5000, 7);
    EXPECT_EQ(Blocks().size(), 6u);
    // The null-sink library was asked for its sink and told nothing else.
    EXPECT_EQ(events_, std::strcmp(folder, "fake_null") == 0
                           ? std::vector<std::string>{"GetHallSink"}
                           : std::vector<std::string>{});
    TearDown();
  }
}

TEST_F(HalvoraDlgTest, ControlOperationsReachTheFrameUnchangedOnTheCallersThread) {
  UseGateClient("fake_missing");
  Bind();
  INFHallControl* control = dlg_.get();
  const uint8_t body[5] = {1, 2, 3, 0xFE, 0xFF};
  bool results[6] = {};
  uint32_t jobThread = 0;
  std::thread job([&] {
    jobThread = ::GetCurrentThreadId();
    results[0] = control->SendSocketData(502, 9, 300, 12, body, sizeof(body));
    results[1] = control->SendSocketData(65535, 0, 300, 11);
    results[2] = control->SendProcessData(99, 5, body, 3);
    results[3] = control->SendProcessData(99, 30);
    // The frame refuses a length without a body; the result comes back.
    results[4] = control->SendSocketData(502, 9, 10, 100, nullptr, 4);
    results[5] = control->SendProcessData(99, 5, nullptr, 32);
  });
  job.join();
  EXPECT_TRUE(results[0] && results[1] && results[2] && results[3]);
  EXPECT_FALSE(results[4]);
  EXPECT_FALSE(results[5]);

  const std::vector<BlockRecord> b = Blocks();
  ASSERT_EQ(b.size(), 6u);
  std::vector<std::string> lines;
  for (const BlockRecord& r : b) {
    EXPECT_EQ(r.threadId, jobThread);
    lines.push_back(korvel::FormatBlock(r).substr(korvel::FormatBlock(r).find(" ", 3) + 1));
  }
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "socket kind=502 server=9 main=300 sub=12 len=5 hex=010203feff",
                       "socket kind=65535 server=0 main=300 sub=11 body=none",
                       "process main=99 sub=5 len=3 hex=010203",
                       "process main=99 sub=30 body=none",
                       "socket kind=502 server=9 main=10 sub=100 len=4 hex=(null)",
                       "process main=99 sub=5 len=32 hex=(null)",
                   }));
}

}  // namespace
