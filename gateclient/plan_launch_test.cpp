#include "gateclient/plan_launch.h"

#include <gtest/gtest.h>

#include <cstring>

#include "netcore/command/gate_commands.h"

namespace bsc {
namespace {

TEST(GameTableTest, DefaultsAndShortListsAndDuplicates) {
  const GameTable d = GameTable::Defaults();
  EXPECT_EQ(d.Lookup(501).program, "pellory");
  EXPECT_EQ(d.Lookup(502).folder, "pellory");
  EXPECT_EQ(d.Lookup(555).program, "duovrin");
  EXPECT_EQ(d.Lookup(555).folder, "duomesk");
  EXPECT_EQ(d.Lookup(100).program, "");
  EXPECT_EQ(d.Lookup(0).program, "");
  EXPECT_EQ(d.Lookup(-501).program, "");
  EXPECT_TRUE(d.IsProgram("pellory"));
  EXPECT_FALSE(d.IsProgram(""));
  EXPECT_FALSE(d.IsProgram("cmd.exe"));

  const GameTable t = GameTable::Build("1,2,3,1", "a,b", "x");
  EXPECT_EQ(t.Lookup(2).program, "b");
  EXPECT_EQ(t.Lookup(2).folder, "");
  EXPECT_EQ(t.Lookup(3).program, "");
  EXPECT_EQ(t.Lookup(1).program, "");  // the later duplicate (no name) wins
}

void FillStart(bs::CMD_Match_MatchStart& s, uint32_t kind, const std::string& exename) {
  s.msg.set_mp_id(11);
  s.msg.set_match_group(22);
  s.msg.set_match_id(33);
  s.msg.set_rank_appid(44);
  s.msg.set_rank_objectid(55);
  s.msg.set_game_kind(kind);
  s.msg.set_plan_id(66);
  s.msg.set_name("cup");
  s.msg.set_exename(exename);
  s.route.src_appid = 7;
  s.route.src_apptype = 13;
}

struct Start : bs::CMD_Match_MatchStart {
  Start(uint32_t kind, const std::string& exename) { FillStart(*this, kind, exename); }
};

TEST(ComposeGameLaunchTest, MatchStartCommandLineByteForByte) {
  GameLaunch g;
  ASSERT_TRUE(ComposeGameLaunch(Start(501, ""), 9000000001LL, 1234, 8000000002LL,
                                GameTable::Defaults(), &g));
  EXPECT_EQ(g.commandLine,
            "pellory  process_id:1234|user_id:8000000002|cmd_id:15|app_id:7|app_type:13|"
            "plan_id:9000000001|match_id:33|match_group:22|rank_appid:44|rank_objectid:55|"
            "mp_id:11|game_kind:501|exename:pellory|resfolder:pellory");
  EXPECT_TRUE(g.refusal.empty());
  EXPECT_EQ(g.planField, 66u);
  EXPECT_EQ(g.name, "cup");
}

TEST(ComposeGameLaunchTest, NameFieldAndKind555AndUnlistedNames) {
  GameLaunch g;
  // A listed name from the gate replaces the program and exename.
  ASSERT_TRUE(ComposeGameLaunch(Start(555, "pellory"), 1, 1, 0, GameTable::Defaults(), &g));
  // 555 takes kind 100's program (none by default): empty program, not run.
  EXPECT_EQ(g.commandLine.substr(0, 13), "  process_id:");
  EXPECT_NE(g.secondParam.find("exename:duovrin|resfolder:duomesk"), std::string::npos);
  EXPECT_FALSE(g.refusal.empty());

  ASSERT_TRUE(ComposeGameLaunch(Start(502, "cmd.exe /c del"), 1, 1, 0, GameTable::Defaults(), &g));
  EXPECT_EQ(g.program, "cmd.exe /c del");
  EXPECT_FALSE(g.refusal.empty());  // never started

  ASSERT_TRUE(ComposeGameLaunch(Start(777, ""), 1, 1, 0, GameTable::Defaults(), &g));
  EXPECT_FALSE(g.refusal.empty());

  bs::CMD_Match_JoinRsp j;
  j.msg.set_match_id(5);
  j.msg.set_game_kind(502);
  j.msg.set_field_6(true);
  j.msg.set_plan_id(3);
  ASSERT_TRUE(ComposeGameLaunch(j, 3, 9, 1, GameTable::Defaults(), &g));
  EXPECT_EQ(g.secondParam,
            "match_id:5|match_group:0|rank_appid:0|rank_objectid:0|mp_id:0|game_kind:502|"
            "exename:pellory|resfolder:pellory");
  EXPECT_NE(g.firstParam.find("|cmd_id:4|"), std::string::npos);
  EXPECT_TRUE(g.joinFlag);

  bs::CMD_Match_MayIBack2MP other;
  EXPECT_FALSE(ComposeGameLaunch(other, 3, 9, 1, GameTable::Defaults(), &g));
}

TEST(GameRecordTest, ForwardLayoutAndWrapping) {
  bs::CMD_base net(bs::kCmdKindNetwork, 1);
  net.route.conn_id = 0x0102030405060708ULL;
  TransferInfo info;
  std::string r = BuildGameForward(&net, info);
  ASSERT_EQ(r.size(), kForwardHeaderSize);
  EXPECT_EQ(std::string(r.data(), 4), std::string("\x01\0\0\0", 4));
  EXPECT_EQ(0, std::memcmp(r.data() + 4, &net.route, 72));
  EXPECT_EQ(std::string(r.data() + 76, 4), std::string("\x09\0\x01\0", 4));

  // Rebuild set: the wrapper comes from the record.
  info.data = "raw";
  info.kind = 18;
  info.subid = 14;
  info.apptype = 5;
  info.appid = 2;
  info.session = 0x100000002ULL;
  info.route.src_appid = 2;
  r = BuildGameForward(nullptr, info);
  EXPECT_EQ(std::string(r.data(), 4), std::string("\0\0\0\0", 4));
  EXPECT_EQ(std::string(r.data() + 76, 4), std::string("\x0c\0\x03\0", 4));
  bs::gate::TransferDataReq t;
  ASSERT_TRUE(t.ParseFromString(r.substr(kForwardHeaderSize)));
  EXPECT_EQ(t.data(), "raw");
  EXPECT_EQ(t.data_cmd_kind(), 18u);
  EXPECT_EQ(t.att_sessionid(), 0x100000002ULL);
  EXPECT_EQ(0, std::memcmp(r.data() + 4, &info.route, 72));

  // Rebuild clear: the command's own message and route.
  bs::CMD_Client_LoginRsp login;
  login.msg.set_user_id(42);
  login.route.src_apptype = 7;
  info.rebuild = 0;
  r = BuildGameForward(&login, info);
  ASSERT_TRUE(t.ParseFromString(r.substr(kForwardHeaderSize)));
  bs::client::LoginRsp back;
  ASSERT_TRUE(back.ParseFromString(t.data()));
  EXPECT_EQ(back.user_id(), 42u);
  EXPECT_EQ(t.data_cmd_kind(), 13u);
  EXPECT_EQ(t.data_cmd_subid(), 2u);
  EXPECT_EQ(0, std::memcmp(r.data() + 4, &login.route, 72));
}

TEST(GameRecordTest, ReturnRecordChecks) {
  uint16_t kind = 0, subid = 0;
  std::string body;
  const std::string ok("\0\0\0\0\x0c\0\x03\0body", 12);
  ASSERT_TRUE(ParseReturnRecord(ok.data(), int(ok.size()), &kind, &subid, &body));
  EXPECT_EQ(kind, 12);
  EXPECT_EQ(subid, 3);
  EXPECT_EQ(body, "body");
  const std::string type1("\x01\0\0\0\x0c\0\x03\0", 8);
  EXPECT_FALSE(ParseReturnRecord(type1.data(), 8, &kind, &subid, &body));
  EXPECT_FALSE(ParseReturnRecord(ok.data(), 7, &kind, &subid, &body));
  EXPECT_FALSE(ParseReturnRecord(nullptr, 12, &kind, &subid, &body));
  EXPECT_TRUE(ParseReturnRecord(ok.data(), 8, &kind, &subid, &body));
  EXPECT_TRUE(body.empty());
}

}  // namespace
}  // namespace bsc
