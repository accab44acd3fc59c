#include "platform/korvel/script_runner.h"

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace korvel {
namespace {

class RecordingLobby : public LobbyEvents {
 public:
  void EnterRoom(uint16_t k, uint16_t s) override { Event("enter", k, s); }
  void LeaveRoom(uint16_t k, uint16_t s) override { Event("leave", k, s); }
  void SignUp(uint16_t k, uint16_t s) override { Event("signup", k, s); }
  void SignOut(uint16_t k, uint16_t s) override { Event("signout", k, s); }
  void CloseGame() override { events.push_back("closegame"); }
  void Snapshot(const std::string& file) override { events.push_back("snapshot " + file); }
  void Print(const std::string& line) override { printed.push_back(line); }

  void Event(const char* what, uint16_t k, uint16_t s) {
    events.push_back(std::string(what) + " " + std::to_string(k) + " " + std::to_string(s));
  }
  std::vector<std::string> events;
  std::vector<std::string> printed;
};

std::vector<ScriptStep> Steps(const std::string& text) {
  LobbyScript s;
  std::string error;
  EXPECT_TRUE(ParseLobbyScript(text, &s, &error)) << error;
  return s.steps;
}

TEST(ScriptRunnerTest, EventsUseTheLastRoomAndWaitsHoldTheScript) {
  BlockLog log;
  RecordingLobby lobby;
  ScriptRunner runner(Steps("signup\n"
                            "enter 502 1\n"
                            "wait 300/1 2 1000\n"
                            "signout\n"
                            "leave 7 8\n"
                            "sleep 50\n"
                            "closegame\n"),
                      log, &lobby);
  EXPECT_TRUE(runner.Advance(0));
  EXPECT_EQ(runner.PendingUntilMs(), 1000u);  // hosts sleep until then
  // No room yet: zeros; then the entered room; the wait holds the rest.
  EXPECT_EQ(lobby.events, (std::vector<std::string>{"signup 0 0", "enter 502 1"}));
  log.Add(1, Channel::kSocket, 502, 1, 300, 1, true, "\1\2", 2);
  EXPECT_TRUE(runner.Advance(500));
  EXPECT_EQ(lobby.events.size(), 2u);
  log.Add(1, Channel::kSocket, 502, 1, 300, 1, false, nullptr, 0);
  EXPECT_TRUE(runner.Advance(600));  // met; the sleep starts at 600
  EXPECT_EQ(runner.PendingUntilMs(), 650u);
  EXPECT_EQ(lobby.events.back(), "leave 7 8");
  EXPECT_EQ(lobby.events[2], "signout 502 1");
  EXPECT_TRUE(runner.Advance(649));
  EXPECT_FALSE(runner.Advance(650));
  EXPECT_EQ(lobby.events.back(), "closegame");
  EXPECT_TRUE(runner.Done());
  EXPECT_EQ(runner.Waits(), 1u);
  EXPECT_EQ(runner.MissedWaits(), 0u);
  EXPECT_EQ(lobby.printed[0], "korvel: > signup");
}

TEST(ScriptRunnerTest, AMissedWaitIsCountedAndTheScriptGoesOn) {
  BlockLog log;
  RecordingLobby lobby;
  ScriptRunner runner(Steps("wait 99/30 1 100\nsnapshot a.bmp\nexit\nclosegame\n"), log, &lobby);
  EXPECT_TRUE(runner.Advance(1000));
  EXPECT_TRUE(runner.Advance(1099));
  EXPECT_FALSE(runner.Advance(1100));
  EXPECT_EQ(runner.MissedWaits(), 1u);
  // exit ends the script before closegame
  EXPECT_EQ(lobby.events, (std::vector<std::string>{"snapshot a.bmp"}));
  EXPECT_EQ(lobby.printed[1], "korvel: WAIT-TIMEOUT 99/30 x1 (had 0) at line 1");
}

TEST(BlockLogTest, FormatsWhatTheWindowShows) {
  BlockLog log;
  const unsigned char body[] = {0x11, 0x27, 0, 0, 0xab, 0xff};
  log.Add(52, Channel::kSocket, 502, 1, 1, 100, true, body, sizeof(body));
  log.Add(52, Channel::kSocket, 502, 1, 1, 102, false, nullptr, 0);
  log.Add(60, Channel::kProcess, 0, 0, 99, 30, true, body, 0);
  log.Add(60, Channel::kProcess, 0, 0, 99, 5, true, nullptr, 32);
  const auto all = log.Since(0);
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(FormatBlock(all[0]),
            "#1 tid=52 socket kind=502 server=1 main=1 sub=100 len=6 hex=112700"
            "00abff");
  EXPECT_EQ(FormatBlock(all[1]), "#2 tid=52 socket kind=502 server=1 main=1 sub=102 body=none");
  EXPECT_EQ(FormatBlock(all[2]), "#3 tid=60 process main=99 sub=30 len=0 hex=");
  EXPECT_EQ(FormatBlock(all[3]), "#4 tid=60 process main=99 sub=5 len=32 hex=(null)");
  EXPECT_EQ(log.Since(3).size(), 1u);
  EXPECT_TRUE(log.Since(9).empty());
  EXPECT_EQ(log.Count(1, 100), 1u);
  EXPECT_EQ(log.Count(1, 101), 0u);
  EXPECT_EQ(log.Threads(), (std::map<uint32_t, uint32_t>{{52, 2}, {60, 2}}));
}

// The runner belongs to the lobby's thread from its first step on; a step
// from another thread aborts, naming the rule.
TEST(ScriptRunnerDeathTest, AdvanceFromASecondThreadAborts) {
  BlockLog log;
  RecordingLobby lobby;
  ScriptRunner runner(Steps("sleep 1000\nclosegame\n"), log, &lobby);
  EXPECT_TRUE(runner.Advance(0));
  EXPECT_DEATH(std::thread([&] { runner.Advance(10); }).join(),
               "lobby thread only: called from another thread");
}

}  // namespace
}  // namespace korvel
