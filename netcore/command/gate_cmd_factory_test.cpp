#include "netcore/command/gate_cmd_factory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "netcore/command/gate_commands.h"

namespace {

using bs::CMD_base;

std::vector<std::string> SomeBodies() {
  bs::gate::HelloReq hello;
  hello.set_ad_id(0);
  bs::gate::TransferDataReq transfer;
  transfer.set_att_apptype(13);
  transfer.set_data("inner");
  return {std::string(), hello.SerializeAsString(), transfer.SerializeAsString(),
          std::string("\xff\xff\xff", 3)};
}

bool SameRoute(const bs::CmdRouteHeader& a, const bs::CmdRouteHeader& b) {
  return std::memcmp(&a, &b, sizeof(a)) == 0;
}

TEST(CreateGateCmd, SubidsWithoutGateClassGiveNullForEveryBody) {
  for (uint16_t subid : {0, 6, 9, 10, 65535}) {
    for (const std::string& body : SomeBodies()) {
      EXPECT_EQ(bs::CreateGateCmd(subid, body), nullptr) << "sub-id " << subid;
    }
  }
}

TEST(CreateGateCmd, BuildsTheGateCommandOfEachSubid) {
  const std::string body = std::string("\x10\x05", 2);  // field 2 = 5, known or unknown
  for (uint16_t subid : {1, 2, 3, 4, 5, 7, 8}) {
    std::unique_ptr<CMD_base> cmd(bs::CreateGateCmd(subid, body));
    ASSERT_NE(cmd, nullptr) << "sub-id " << subid;
    EXPECT_EQ(cmd->kind, 12);
    EXPECT_EQ(cmd->subid, subid);
    EXPECT_EQ(cmd->handler, nullptr);
    EXPECT_EQ(cmd->delay, 0u);
    EXPECT_TRUE(cmd->body.empty());
    EXPECT_TRUE(SameRoute(cmd->route, bs::CmdRouteHeader()));
    std::string out;
    ASSERT_TRUE(cmd->Encode(&out));
    EXPECT_EQ(out, body);
  }
  std::unique_ptr<CMD_base> hello(bs::CreateGateCmd(7, std::string("\x10\x2a", 2)));
  auto* typed = dynamic_cast<bs::CMD_Gate_HelloReq*>(hello.get());
  ASSERT_NE(typed, nullptr);
  EXPECT_EQ(typed->msg.ad_id(), 42u);
}

TEST(CreateGateCmd, BodyEndingInsideAFieldGivesNull) {
  bs::gate::TransferDataReq transfer;
  transfer.set_att_apptype(13);
  transfer.set_data("some inner command bytes");
  const std::string whole = transfer.SerializeAsString();
  for (size_t cut = 1; cut < whole.size(); ++cut) {
    std::string body = whole.substr(0, cut);
    bs::gate::TransferDataReq probe;
    if (probe.ParseFromString(body)) continue;  // a cut between two fields is whole
    EXPECT_EQ(bs::CreateGateCmd(3, body), nullptr) << "cut at " << cut;
  }
  // A wire type that does not exist, and a varint that never ends.
  EXPECT_EQ(bs::CreateGateCmd(8, std::string("\x0f\x01", 2)), nullptr);
  EXPECT_EQ(bs::CreateGateCmd(1, std::string("\x08\xff\xff", 3)), nullptr);
}

TEST(EncodeGateCmd, RefusesWhatIsNotAGateCommandAndLeavesOutUntouched) {
  bs::CMD_Client_LoginReq client;  // kind 13
  client.route.conn_id = 5;
  CMD_base gate_sub6(12, 6);
  CMD_base fake_hello(12, 7);  // claims to be HelloReq but holds no message
  for (const CMD_base* cmd :
       std::vector<const CMD_base*>{&client, &gate_sub6, &fake_hello, nullptr}) {
    bs::CMDNetwork_DataMessage out;
    out.body = "keep";
    out.header.extension = "ext";
    EXPECT_FALSE(bs::EncodeGateCmd(cmd, &out));
    EXPECT_EQ(out.header.mark0, 0x63);
    EXPECT_EQ(out.header.mark1, 0x68);
    EXPECT_EQ(out.header.kind, 0);
    EXPECT_EQ(out.header.subid, 0);
    EXPECT_EQ(out.header.extension, "ext");
    EXPECT_EQ(out.body, "keep");
    EXPECT_TRUE(SameRoute(out.route, bs::CmdRouteHeader()));
  }
  EXPECT_FALSE(bs::EncodeGateCmd(&client, nullptr));
}

TEST(EncodeGateCmd, HelloReqFillsHeaderRouteAndBody) {
  bs::CMD_Gate_HelloReq hello;
  hello.msg.set_ad_id(0);
  auto* raw = reinterpret_cast<unsigned char*>(&hello.route);
  for (size_t i = 0; i < sizeof(hello.route); ++i) raw[i] = static_cast<unsigned char>(0xA0 + i);

  bs::CMDNetwork_DataMessage out;
  out.body = "stale";
  ASSERT_TRUE(bs::EncodeGateCmd(&hello, &out));
  EXPECT_EQ(out.header.kind, 12);
  EXPECT_EQ(out.header.subid, 7);
  EXPECT_EQ(out.header.mark0, 0x63);
  EXPECT_EQ(out.header.mark1, 0x68);
  EXPECT_TRUE(out.header.extension.empty());
  EXPECT_TRUE(SameRoute(out.route, hello.route));
  EXPECT_EQ(out.body, std::string("\x10\x00", 2));
  EXPECT_EQ(out.kind, 9);
  EXPECT_EQ(out.subid, 2);
}

}  // namespace
