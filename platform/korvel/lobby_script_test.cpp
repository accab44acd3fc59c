#include "platform/korvel/lobby_script.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace korvel {
namespace {

TEST(LobbyScriptTest, ReadsBlocksAndSteps) {
  LobbyScript s;
  std::string error;
  ASSERT_TRUE(
      ParseLobbyScript("# the demo\r\n"
                       "user id 20002\n"
                       "user account abcdefghijklmnopqrstuvwxyz012345\n"  // 32: no NUL
                       "user site 4294967295\n"
                       "fund 18446744073709551615 7\n"
                       "\n"
                       "  enter 502 1\r\n"
                       "signup\n"
                       "signout 503 2\n"
                       "wait 300/1\n"
                       "wait 99/31 2\n"
                       "wait 99/30 1 90000\n"
                       "sleep 250\n"
                       "snapshot lobby.bmp\n"
                       "closegame\n"
                       "exit\n",
                       &s, &error))
      << error;
  // Packed fields are read by value (no references into the packed blocks).
  EXPECT_EQ(+s.user.userId, 20002);
  EXPECT_EQ(std::memcmp(s.user.account, "abcdefghijklmnopqrstuvwxyz012345", 32), 0);
  EXPECT_EQ(s.user.password[0], '3');  // untouched fields keep the defaults
  EXPECT_EQ(+s.user.siteId, 4294967295u);
  EXPECT_EQ(+s.fund.count10, 18446744073709551615ULL);
  EXPECT_EQ(+s.fund.count11, 7u);
  ASSERT_EQ(s.steps.size(), 10u);
  EXPECT_EQ(s.steps[0].kind, StepKind::kEnter);
  EXPECT_EQ(s.steps[0].text, "enter 502 1");
  EXPECT_EQ(s.steps[0].line, 7);
  EXPECT_TRUE(s.steps[0].hasRoom);
  EXPECT_EQ(s.steps[0].gameKind, 502);
  EXPECT_FALSE(s.steps[1].hasRoom);
  EXPECT_EQ(s.steps[2].serverId, 2);
  EXPECT_EQ(s.steps[3].count, 1u);
  EXPECT_EQ(s.steps[3].ms, kDefaultWaitMs);
  EXPECT_EQ(s.steps[4].count, 2u);
  EXPECT_EQ(s.steps[5].mainCode, 99);
  EXPECT_EQ(s.steps[5].subCode, 30);
  EXPECT_EQ(s.steps[5].ms, 90000u);
  EXPECT_EQ(s.steps[6].ms, 250u);
  EXPECT_EQ(s.steps[7].kind, StepKind::kSnapshot);
  EXPECT_EQ(s.steps[7].file, "lobby.bmp");
  EXPECT_EQ(s.steps[9].kind, StepKind::kExit);
}

TEST(LobbyScriptTest, NamesTheFirstBadLine) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"enter 502\n", "line 1: enter takes <kind> <server>"},
      {"enter 65536 1\n", "line 1: kind and server must be 0 to 65535"},
      {"\nenter -1 1\n", "line 2: kind and server must be 0 to 65535"},
      {"wait 300\n", "line 1: wait needs <main>/<sub>, each 0 to 65535"},
      {"wait 300/1 0\n", "line 1: wait count must be 1 to 1000000"},
      {"wait 300/1 1 600001\n", "line 1: wait time-out must be 0 to 600000 ms"},
      {"wait 300/1x\n", "line 1: wait needs <main>/<sub>, each 0 to 65535"},
      {"sleep 99999999999999999999999\n", "line 1: sleep takes 0 to 600000 ms"},
      {"user id 2147483648\n", "line 1: user id must be 0 to 2147483647"},
      {"user mac 00-11-22-33-44-55-66\n", "line 1: user mac is longer than its 16-byte field"},
      {"user nick x\n", "line 1: unknown user field nick"},
      {"fund 1\n", "line 1: fund takes <count10 (64-bit)> <count11 (32-bit)>"},
      {"fund 1 4294967296\n", "line 1: fund takes <count10 (64-bit)> <count11 (32-bit)>"},
      {"enter 502 1\nuser id 5\n", "line 2: user comes before the first event line"},
      {"closegame now\n", "line 1: closegame takes nothing"},
      {"snapshot\n", "line 1: snapshot takes one file name"},
      {"launch\n", "line 1: unknown step launch"},
  };
  for (const auto& c : cases) {
    LobbyScript s;
    std::string error;
    EXPECT_FALSE(ParseLobbyScript(c.text, &s, &error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
  }
  LobbyScript s;
  std::string error;
  EXPECT_FALSE(ParseLobbyScript(std::string(kMaxScriptBytes + 1, '#'), &s, &error));
}

}  // namespace
}  // namespace korvel
