// The game registry's logic over a fake process and channel layer
// (fake_game_env_test_util.h): launch and registration, relays both ways,
// the watcher's notices and their order, KillAll against launches that race
// it, failed opens and starts, and forwards to ended games. Runs in every
// tree, natively under the sanitizers; plan_table_win32_test.cpp runs the
// same registry against real game processes under Wine.
#include "gateclient/plan_table.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "gateclient/client_frame/client_frame.h"
#include "gateclient/fake_game_env_test_util.h"
#include "gateclient/plan_table_test_util.h"
#include "gateclient/settings/gate_config.h"
#include "netcore/command/gate_commands.h"

namespace bsc {
namespace {

using bsc_test::FakeGameEnv;

struct Sent {
  uint16_t kind, subid;
  std::string body;
};

class PlanTableTest : public ::testing::Test {
 protected:
  PlanTableTest() {
    config_.exekind.value = "501";
    config_.exename.value = "pellory";
    config_.resfolder.value = "pellory";
    frame_.Session().Login().lastLoginRsp.msg.set_user_id(777);
    PlanManager::Seams s;
    s.frame = [this] { return &frame_; };
    s.sendCmd = [this](bs::CMD_base* c) {
      auto* d = dynamic_cast<bs::CMDNetwork_DataMessage*>(c);
      std::lock_guard<std::mutex> l(m_);
      if (d != nullptr) sent_.push_back({d->header.kind, d->header.subid, d->body});
      return true;
    };
    s.sendViaGate = [](bs::CMD_base&) {};
    s.notice = [this](uint16_t code) {
      std::lock_guard<std::mutex> l(m_);
      notices_.push_back(code);
      noticed_.notify_all();
    };
    s.config = [this] { return &config_; };
    s.env = &env_;
    mgr_.reset(new PlanManager(s));
  }
  ~PlanTableTest() override {
    if (mgr_) mgr_->KillAll();
    mgr_.reset();  // before the recorders its watchers report to
  }

  void Start(uint64_t plan) { bsc_test::StartMatch(*mgr_, plan); }
  std::vector<uint16_t> Notices() {
    std::lock_guard<std::mutex> l(m_);
    return notices_;
  }
  bool WaitNotices(size_t n, int ms = 10000) {
    std::unique_lock<std::mutex> l(m_);
    return noticed_.wait_for(l, std::chrono::milliseconds(ms),
                             [&] { return notices_.size() >= n; });
  }
  // The data_cmd kind/subid of a type-0 record (the TransferDataReq after 80 bytes).
  static std::pair<uint32_t, uint32_t> Inner(const std::string& record) {
    bs::gate::TransferDataReq t;
    if (record.size() < kForwardHeaderSize || record[0] != 0 ||
        !t.ParseFromString(record.substr(kForwardHeaderSize)))
      return {0, 0};
    return {t.data_cmd_kind(), t.data_cmd_subid()};
  }
  bool NoGameRuns() {
    for (const auto& p : env_.Processes())
      if (!p.ended) return false;
    return true;
  }

  FakeGameEnv env_;
  QConfig config_;
  ClientFrame frame_;
  std::unique_ptr<PlanManager> mgr_;
  std::mutex m_;
  std::condition_variable noticed_;
  std::vector<Sent> sent_;
  std::vector<uint16_t> notices_;
};

TEST_F(PlanTableTest, LaunchRelayExitAndRelaunch) {
  auto* detail = new bs::CMD_Hall_GetMatchDetailRsp;
  detail->msg.set_plan_id(900);
  detail->AttachDeleteHandler();
  frame_.Session().matchDetails[900] = detail;

  Start(900);
  ASSERT_EQ(mgr_->TableCount(), 1u);
  ASSERT_EQ(env_.Channels().size(), 1u);
  EXPECT_EQ(env_.Channels()[0].owner, 4242);
  EXPECT_EQ(env_.Channels()[0].planId, 900u);
  ASSERT_EQ(env_.Processes().size(), 1u);
  EXPECT_EQ(
      env_.Processes()[0].commandLine.rfind(
          "pellory  process_id:4242|user_id:777|cmd_id:15|app_id:7|app_type:13|plan_id:900|", 0),
      0u)
      << env_.Processes()[0].commandLine;
  EXPECT_EQ(env_.Processes()[0].folder, "C:\\games\\");
  // Login answer, cached detail, the launch command, in that order.
  auto records = env_.Channels()[0].records;
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(Inner(records[0]), std::make_pair(13u, 2u));
  EXPECT_EQ(Inner(records[1]), std::make_pair(18u, 14u));
  EXPECT_EQ(Inner(records[2]), std::make_pair(14u, 15u));
  EXPECT_EQ(Notices(), std::vector<uint16_t>{200});

  // The game's records: type 0 reaches the gate, type 1 and short ones do not.
  env_.GameWrites(0, std::string("\x01\0\0\0\x0c\0\x03\0xx", 10));
  env_.GameWrites(0, std::string("\0\0\0\0\x0c\0", 6));
  env_.GameWrites(0, std::string("\0\0\0\0\x0c\0\x03\0abc", 11));
  {
    std::lock_guard<std::mutex> l(m_);
    ASSERT_EQ(sent_.size(), 1u);
    EXPECT_EQ(sent_[0].kind, 12);
    EXPECT_EQ(sent_[0].subid, 3);
    EXPECT_EQ(sent_[0].body, "abc");
  }

  // A link event goes as a type-1 record; a second start is only forwarded.
  bs::CMD_base lost(bs::kCmdKindNetwork, 1);
  mgr_->Broadcast(&lost);
  Start(900);
  records = env_.Channels()[0].records;
  ASSERT_EQ(records.size(), 5u);
  EXPECT_EQ(records[3].substr(0, 4), std::string("\x01\0\0\0", 4));
  EXPECT_EQ(Inner(records[4]), std::make_pair(14u, 15u));
  EXPECT_EQ(env_.Processes().size(), 1u);

  // The exit: 199 once, the channel closed; forwards to the ended game go
  // nowhere, and the map keeps the table until the next start.
  env_.EndProcess(0, 7);
  ASSERT_TRUE(WaitNotices(2));
  EXPECT_EQ(Notices(), (std::vector<uint16_t>{200, 199}));
  ASSERT_TRUE(env_.WaitFor([&] { return env_.ClosedChannelsLocked() == 1; }));
  TransferInfo info;
  info.kind = 13;
  info.subid = 99;
  info.data.assign(4096, 'x');
  for (int i = 0; i < 100; ++i) mgr_->ForwardToPlanOrAll(nullptr, 0, info);
  EXPECT_EQ(env_.Channels()[0].records.size(), 5u);
  EXPECT_EQ(mgr_->TableCount(), 1u);

  // The next start removes and frees the ended table and launches anew.
  env_.exitAtStart = 3;
  Start(900);
  EXPECT_TRUE(env_.WaitFor([&] { return env_.ClosedChannelsLocked() == 2; }));
  ASSERT_TRUE(WaitNotices(4));
  EXPECT_EQ(Notices(), (std::vector<uint16_t>{200, 199, 200, 199}));
  EXPECT_EQ(env_.Processes().size(), 2u);
  EXPECT_TRUE(env_.Channels()[0].destroyed);
}

// A game that ends at once is announced as registered before it is
// announced as ended.
TEST_F(PlanTableTest, GameEndingAtOnceIsAnnouncedRegisteredFirst) {
  env_.exitAtStart = 0;
  // The first record to the game waits a while for a 199 to come in: a
  // watcher running during registration would post it now.
  bool first = true;
  env_.onSend = [&](const std::string&) {
    if (!first) return;
    first = false;
    WaitNotices(1, 300);
  };
  Start(901);
  ASSERT_TRUE(WaitNotices(2));
  EXPECT_EQ(Notices(), (std::vector<uint16_t>{200, 199}));
}

// Close game ends every game: one launched while KillAll waits for the
// games it terminated is never started.
TEST_F(PlanTableTest, LaunchWhileKillAllWaitsStartsNoGame) {
  Start(902);
  ASSERT_EQ(env_.Processes().size(), 1u);
  env_.holdOnTerminate = true;
  std::thread closer([&] { mgr_->KillAll(); });
  ASSERT_TRUE(env_.WaitFor([&] { return env_.TerminateRequestsLocked() == 1; }));
  Start(903);  // the job thread still handles a match start
  env_.EndProcess(0, 0);
  closer.join();
  EXPECT_TRUE(NoGameRuns());
  EXPECT_EQ(env_.Processes().size(), 1u);
  EXPECT_EQ(Notices(), (std::vector<uint16_t>{200, 199}));
}

// A game whose start was under way when KillAll walked the map is ended when
// it would enter the map; the lobby hears nothing of it.
TEST_F(PlanTableTest, GameStartedWhileClosingBeganIsEnded) {
  env_.onStart = [&] {
    env_.onStart = nullptr;
    std::thread([&] { mgr_->KillAll(); }).join();
  };
  Start(904);
  ASSERT_EQ(env_.Processes().size(), 1u);
  EXPECT_TRUE(env_.Processes()[0].terminated);
  EXPECT_TRUE(NoGameRuns());
  EXPECT_EQ(mgr_->TableCount(), 0u);
  EXPECT_TRUE(env_.WaitFor([&] { return env_.ClosedChannelsLocked() == 1; }));
  EXPECT_TRUE(Notices().empty());
}

// The registry's notices take the hall sink's road, also once the user was
// logged in elsewhere: the games run on and the lobby must hear of them.
TEST_F(PlanTableTest, NoticesGoThroughTheHallSinkAfterALoginElsewhere) {
  struct Sink : IHallSinkHook {
    void DispatchCommand(bs::CMD_base*, uint64_t) override {}
    void OnFrameTimer() override {}
    void PostLocalCommand(uint16_t code) override {
      std::lock_guard<std::mutex> l(m);
      codes.push_back(code);
      cv.notify_all();
    }
    std::mutex m;
    std::condition_variable cv;
    std::vector<uint16_t> codes;
  } sink;
  frame_.SetHooks(nullptr, &sink, nullptr);
  frame_.SetLoggedInElsewhere();
  PlanManager::Seams s;
  s.frame = [this] { return &frame_; };
  s.sendCmd = [](bs::CMD_base*) { return true; };
  s.config = [this] { return &config_; };
  s.env = &env_;
  mgr_.reset(new PlanManager(s));
  Start(907);
  env_.EndProcess(0, 0);
  {
    std::unique_lock<std::mutex> l(sink.m);
    EXPECT_TRUE(
        sink.cv.wait_for(l, std::chrono::seconds(10), [&] { return sink.codes.size() == 2; }));
    EXPECT_EQ(sink.codes, (std::vector<uint16_t>{200, 199}));
  }
  mgr_.reset();  // waits for the ended game's watcher: nothing posts after this
  frame_.SetHooks(nullptr, nullptr, nullptr);
}

TEST_F(PlanTableTest, FailedOpenOrStartLeavesNothing) {
  env_.failOpen = true;
  Start(905);
  EXPECT_TRUE(env_.Processes().empty());
  env_.failOpen = false;
  env_.failStart = true;
  Start(906);
  EXPECT_EQ(mgr_->TableCount(), 0u);
  ASSERT_EQ(env_.Channels().size(), 1u);
  EXPECT_TRUE(env_.Channels()[0].closed);
  EXPECT_TRUE(env_.Channels()[0].destroyed);
  EXPECT_TRUE(Notices().empty());
}

// Watchers, forwards, game records and KillAll on their own threads (TSan).
TEST_F(PlanTableTest, GamesEndingWhileCommandsFlowAndKillAll) {
  for (uint64_t plan = 1; plan <= 4; ++plan) Start(plan);
  ASSERT_EQ(mgr_->TableCount(), 4u);
  std::thread games([&] {
    for (size_t i = 0; i < 4; ++i) {
      env_.GameWrites(i, std::string("\0\0\0\0\x0c\0\x03\0r", 9));
      if (i % 2 == 0) env_.EndProcess(i, 1);
    }
  });
  TransferInfo info;
  info.kind = 13;
  info.subid = 99;
  for (int i = 0; i < 200; ++i) {
    mgr_->ForwardToPlanOrAll(nullptr, 0, info);
    mgr_->ForwardToPlan(nullptr, 1 + i % 4, info);
  }
  games.join();
  mgr_->KillAll();
  EXPECT_TRUE(NoGameRuns());
  EXPECT_EQ(Notices().size(), 8u);  // four 200s, four 199s
}

// The game-side threads are checked where they bind: records from a second
// channel worker, or a second watcher on one table (it would release the
// table twice), abort naming the role and the place.
TEST_F(PlanTableTest, ASecondChannelWorkerOrWatcherAborts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Start(905);
  const std::string record("\0\0\0\0\x0c\0\x03\0abc", 11);
  env_.GameWrites(0, record);  // this thread acts as the channel's worker
  EXPECT_DEATH(std::thread([&] { env_.GameWrites(0, record); }).join(),
               "channel worker only: called from another thread at .*plan_table\\.cpp");

  auto* cmd = new bs::CMD_Match_MatchStart;
  cmd->msg.set_game_kind(501);
  cmd->msg.set_plan_id(906);
  cmd->AttachDeleteHandler();
  EXPECT_DEATH(
      {
        auto* table = new PlanTable(*mgr_);
        if (table->Launch(cmd, 906)) {
          table->StartWatcher(false);
          table->StartWatcher(false);
          table->WaitWatcherDone(20000);
        }
      },
      "watcher thread only: called from another thread at .*plan_table\\.cpp");
  cmd->handler->Release();
}

}  // namespace
}  // namespace bsc
