// The game registry against real game processes: tools/sample_game is
// launched as the game, the records it receives are read back from its log
// file, and its return records reach a recording SendCmd seam.
#include "gateclient/plan_table.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// after windows.h, which it needs
#include <psapi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gateclient/client_frame/client_frame.h"
#include "gateclient/plan_table_test_util.h"
#include "gateclient/settings/gate_config.h"
#include "netcore/command/gate_commands.h"
#include "netcore/shm/sample_game_path_test_util.h"

namespace bsc {
namespace {

std::string Hex(const std::string& bytes) {
  static const char d[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += d[c >> 4];
    out += d[c & 15];
  }
  return out;
}

// The process's commit charge (PagefileUsage; Wine leaves PrivateUsage 0).
size_t CommittedBytes() {
  PROCESS_MEMORY_COUNTERS pmc = {};
  pmc.cb = sizeof pmc;
  K32GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
  return pmc.PagefileUsage;
}

bool WaitFor(const std::function<bool()>& done, int ms = 15000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  std::string l;
  while (std::getline(in, l)) lines.push_back(l);
  return lines;
}

struct Sent {
  uint16_t kind, subid;
  std::string body;
};

class PlanRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    game_ = q_test::SampleGameExe();
    config_.exekind.value = "501,555";
    config_.exename.value = game_ + ",";
    config_.resfolder.value = "pellory,duomesk";
    frame_.Session().Login().lastLoginRsp.msg.set_user_id(777);
    frame_.Session().Login().lastLoginRsp.msg.set_login_info("welcome");
    PlanManager::Seams s;
    s.frame = [this] { return &frame_; };
    s.sendCmd = [this](bs::CMD_base* c) {
      auto* d = dynamic_cast<bs::CMDNetwork_DataMessage*>(c);
      std::lock_guard<std::mutex> l(m_);
      if (d != nullptr) sent_.push_back({d->header.kind, d->header.subid, d->body});
      return true;
    };
    s.sendViaGate = [this](bs::CMD_base& c) {
      std::lock_guard<std::mutex> l(m_);
      if (auto* b = dynamic_cast<bs::CMD_Match_MayIBack2MP*>(&c)) back_.push_back(b->msg);
      backRoutes_.push_back(c.route);
    };
    s.notice = [this](uint16_t code) {
      std::lock_guard<std::mutex> l(m_);
      notices_.push_back(code);
    };
    s.config = [this] { return &config_; };
    mgr_.reset(new PlanManager(s));
  }

  void TearDown() override {
    mgr_->KillAll();
    SetEnvironmentVariableA("SAMPLE_GAME_START", nullptr);
  }

  std::string LogFor(uint64_t plan) {
    char tmp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, tmp);
    std::string p = std::string(tmp) + "plan_registry_" + std::to_string(GetCurrentProcessId()) +
                    "_" + std::to_string(plan) + ".log";
    DeleteFileA(p.c_str());
    SetEnvironmentVariableA("SAMPLE_GAME_LOG", p.c_str());
    return p;
  }

  void Start(uint64_t plan, uint32_t kind = 501) { bsc_test::StartMatch(*mgr_, plan, kind); }

  // A control word for the game, hidden in a forwarded wrapper's data.
  void Tell(uint64_t plan, const std::string& word) {
    TransferInfo info;
    info.data = word;
    info.kind = 18;
    info.subid = 99;
    mgr_->ForwardToPlan(nullptr, plan, info);
  }

  std::vector<uint16_t> Notices() {
    std::lock_guard<std::mutex> l(m_);
    return notices_;
  }
  size_t SentCount() {
    std::lock_guard<std::mutex> l(m_);
    return sent_.size();
  }
  size_t LinesWith(const std::string& log, const std::string& text) {
    size_t n = 0;
    for (const auto& l : ReadLines(log)) n += l.find(text) != std::string::npos;
    return n;
  }
  std::string game_;
  QConfig config_;
  ClientFrame frame_;
  std::unique_ptr<PlanManager> mgr_;
  std::mutex m_;
  std::vector<Sent> sent_;
  std::vector<bs::matchclient::MayIBack2MP> back_;
  std::vector<bs::CmdRouteHeader> backRoutes_;
  std::vector<uint16_t> notices_;
};

TEST_F(PlanRegistryTest, LaunchRegisterRelayAndExit) {
  auto* detail = new bs::CMD_Hall_GetMatchDetailRsp;
  detail->msg.set_plan_id(900);
  detail->msg.set_app_id(3);
  detail->AttachDeleteHandler();
  frame_.Session().matchDetails[900] = detail;

  const std::string log = LogFor(900);
  Start(900);
  ASSERT_EQ(mgr_->TableCount(), 1u);
  ASSERT_EQ(Notices(), std::vector<uint16_t>{200});

  // The three registration records with their real content, in order.
  ASSERT_TRUE(WaitFor([&] { return ReadLines(log).size() >= 4; }));
  std::vector<std::string> lines = ReadLines(log);
  const std::string first = " process_id:" + std::to_string(GetCurrentProcessId()) +
                            "|user_id:777|cmd_id:15|app_id:7|app_type:13|plan_id:900|match_id:31|";
  // The game's own command line: the program, then two blanks.
  EXPECT_EQ(lines[0].rfind("start " + game_ + " " + first, 0), 0u) << lines[0];
  std::string login, det, start;
  frame_.Session().Login().lastLoginRsp.Encode(&login);
  detail->Encode(&det);
  EXPECT_NE(lines[1].find("data_cmd_kind=13 data_cmd_subid=2"), std::string::npos) << lines[1];
  EXPECT_NE(lines[1].find("data=" + Hex(login)), std::string::npos);
  EXPECT_NE(lines[2].find("data_cmd_kind=18 data_cmd_subid=14"), std::string::npos) << lines[2];
  EXPECT_NE(lines[2].find("data=" + Hex(det)), std::string::npos);
  EXPECT_NE(lines[3].find("data_cmd_kind=14 data_cmd_subid=15"), std::string::npos) << lines[3];
  EXPECT_EQ(lines[1].find("data= "), std::string::npos);

  // Return records: type 0 reaches SendCmd; type 1 and a short one do not.
  Tell(900, "sg:raw:" + Hex(std::string("\x01\0\0\0\x0c\0\x03\0xx", 10)));
  Tell(900, "sg:raw:00000000");
  Tell(900, "sg:return:12:3:" + Hex("abc"));
  ASSERT_TRUE(WaitFor([&] { return SentCount() >= 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  {
    std::lock_guard<std::mutex> l(m_);
    ASSERT_EQ(sent_.size(), 1u);
    EXPECT_EQ(sent_[0].kind, 12);
    EXPECT_EQ(sent_[0].subid, 3);
    EXPECT_EQ(sent_[0].body, "abc");
  }

  // Link events reach the game as type-1 records; a second start is forwarded.
  bs::CMD_base lost(bs::kCmdKindNetwork, 1), made(bs::kCmdKindNetwork, 0);
  mgr_->Broadcast(&lost);
  mgr_->Broadcast(&made);
  Start(900);
  ASSERT_TRUE(WaitFor([&] { return LinesWith(log, "data_cmd_subid=15") == 2; }));
  EXPECT_EQ(LinesWith(log, "rec type=1 kind=9 subid=1 "), 1u);
  EXPECT_EQ(LinesWith(log, "rec type=1 kind=9 subid=0 "), 1u);
  EXPECT_EQ(Notices(), std::vector<uint16_t>{200});

  // Exit: notice 199 once; the ended table takes no forwards.
  Tell(900, "sg:exit:7");
  ASSERT_TRUE(WaitFor([&] { return Notices().size() == 2; }));
  EXPECT_EQ(Notices()[1], 199);
  // 1000 plan-0 forwards of 64 KiB each would hold 64 MiB if anything kept
  // them for the ended game; committed memory stays flat instead.
  const size_t before = ReadLines(log).size();
  TransferInfo info;
  info.kind = 13;
  info.subid = 99;
  info.data.assign(64 * 1024, 'x');
  const size_t memBefore = CommittedBytes();
  ASSERT_GT(memBefore, 0u);
  for (int i = 0; i < 1000; ++i) mgr_->ForwardToPlanOrAll(nullptr, 0, info);
  const size_t memAfter = CommittedBytes();
  EXPECT_LT(memAfter, memBefore + 8 * 1024 * 1024) << memBefore << " -> " << memAfter;
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(ReadLines(log).size(), before);

  // The next start removes the ended table and launches anew.
  const std::string log2 = LogFor(900);
  SetEnvironmentVariableA("SAMPLE_GAME_START", "exit:3");
  Start(900);
  EXPECT_EQ(mgr_->TableCount(), 1u);
  ASSERT_TRUE(WaitFor([&] { return Notices().size() == 4; }));
  EXPECT_EQ(Notices(), (std::vector<uint16_t>{200, 199, 200, 199}));
}

TEST_F(PlanRegistryTest, KillAllJoinRspAndRefusedPrograms) {
  LogFor(901);
  Start(901);  // waits for ever
  SetEnvironmentVariableA("SAMPLE_GAME_START", "exit:0");
  LogFor(902);
  Start(902);  // ends at once
  ASSERT_TRUE(WaitFor([&] { return Notices().size() == 3; }));
  SetEnvironmentVariableA("SAMPLE_GAME_START", nullptr);

  // Kind 555 has no program here: nothing starts.
  Start(903, 555);
  EXPECT_EQ(mgr_->TableCount(), 2u);

  // JoinRsp: result 10 with field 7 asks to go back; a sign-up answer launches.
  auto* join = new bs::CMD_Match_JoinRsp;
  join->msg.set_result(bs::matchclient::JoinResult(10));
  join->msg.set_field_7(5);
  join->msg.set_plan_id(0x100000004ULL);
  join->msg.set_match_id(88);
  join->AttachDeleteHandler();
  mgr_->OnLaunchCommand(join, 904, TransferInfo());
  join->handler->Release();
  {
    std::lock_guard<std::mutex> l(m_);
    ASSERT_EQ(back_.size(), 1u);
    EXPECT_EQ(back_[0].field_1(), 4u);
    EXPECT_EQ(back_[0].field_2(), 88u);
    EXPECT_EQ(backRoutes_[0].src_apptype, 15u);
    EXPECT_EQ(backRoutes_[0].src_appid, 5u);
  }
  EXPECT_EQ(mgr_->TableCount(), 2u);

  const std::string log5 = LogFor(905);
  auto* ok = new bs::CMD_Match_JoinRsp;
  ok->msg.set_result(bs::matchclient::JoinResult(0));
  ok->msg.set_field_6(true);
  ok->msg.set_game_kind(501);
  ok->AttachDeleteHandler();
  mgr_->OnLaunchCommand(ok, 905, TransferInfo());
  ok->handler->Release();
  EXPECT_EQ(mgr_->TableCount(), 3u);
  ASSERT_TRUE(WaitFor([&] { return LinesWith(log5, "data_cmd_subid=4") == 1; }));

  // KillAll ends the two waiting games; the ended one is left alone; their
  // exit notices arrive before KillAll returns, none after.
  mgr_->KillAll();
  EXPECT_EQ(Notices(), (std::vector<uint16_t>{200, 200, 199, 200, 199, 199}));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(Notices().size(), 6u);
}

}  // namespace
}  // namespace bsc
