#include "netcore/command/cmd_template.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "netcore/command/gate_commands.h"

namespace {

// Messages with a required field: the checked parse fails without it.
const std::set<std::string> kNeedsRequiredField = {
    "bs.client.LogoutReq",    "bs.client.UserInfoReq",          "bs.client.UserInfoRsp",
    "bs.client.QueryFundReq", "bs.client.QueryFundRsp",         "bs.client.TestRouter",
    "bs.hallclient.TokenRsp", "bs.matchclient.PlayerActionRsp",
};

// A body every message accepts: varint 1 under fields 1 and 2 (which also
// sets each required field above: all are varints numbered 1, or 2 in
// QueryFundReq), then a field number no schema knows. Fields a message does
// not know, or knows with another wire type, are kept as unknown fields.
std::string SampleBody() {
  return std::string("\x08\x01\x10\x01", 4) + std::string("\xf8\x7c\x05", 3);  // field 1999
}

void FillRoute(bs::CmdRouteHeader* r, uint8_t seed) {
  auto* bytes = reinterpret_cast<unsigned char*>(r);
  for (size_t i = 0; i < sizeof(*r); ++i) bytes[i] = static_cast<unsigned char>(seed + i);
}

struct CommandCase {
  const char* type_name;  // "bs.<package>.<message>"
  uint16_t kind;
  uint16_t subid;
  void (*check)(const CommandCase&);
};

template <class Cmd>
void CheckCommand(const CommandCase& c) {
  SCOPED_TRACE(c.type_name);
  const bool needs_required = kNeedsRequiredField.count(c.type_name) != 0;

  auto cmd = std::make_unique<Cmd>();
  EXPECT_EQ(cmd->kind, c.kind);
  EXPECT_EQ(cmd->subid, c.subid);
  EXPECT_EQ(cmd->msg.GetTypeName(), c.type_name);
  EXPECT_EQ(cmd->handler, nullptr);
  EXPECT_EQ(cmd->delay, 0u);

  // Encode empties `out` first and succeeds even with a required field unset.
  std::string out = "stale";
  EXPECT_TRUE(cmd->Encode(&out));
  EXPECT_EQ(out, "");

  // Empty body: only defaults, refused exactly when a required field exists.
  EXPECT_EQ(cmd->Decode(std::string()), !needs_required);

  // Decode -> Encode -> Decode -> Encode is stable and loses no byte.
  const std::string body = SampleBody();
  ASSERT_TRUE(cmd->Decode(body));
  std::string first;
  ASSERT_TRUE(cmd->Encode(&first));
  EXPECT_EQ(first.size(), body.size());
  auto again = std::make_unique<Cmd>();
  ASSERT_TRUE(again->Decode(first));
  std::string second;
  ASSERT_TRUE(again->Encode(&second));
  EXPECT_EQ(second, first);

  // A body that ends inside a field (the unknown one's value is missing).
  auto cut = std::make_unique<Cmd>();
  EXPECT_FALSE(cut->Decode(body.substr(0, body.size() - 1)));

  // CopyFrom takes the whole route and the message, nothing else.
  auto target = std::make_unique<Cmd>();
  target->delay = 77;
  target->body = "own body";
  FillRoute(&cmd->route, 3);
  target->CopyFrom(*cmd);
  EXPECT_EQ(std::memcmp(&target->route, &cmd->route, sizeof(bs::CmdRouteHeader)), 0);
  std::string copied;
  ASSERT_TRUE(target->Encode(&copied));
  EXPECT_EQ(copied, first);
  EXPECT_EQ(target->kind, c.kind);
  EXPECT_EQ(target->subid, c.subid);
  EXPECT_EQ(target->delay, 77u);
  EXPECT_EQ(target->body, "own body");

  // ...and a copy from an empty command empties the message.
  auto empty = std::make_unique<Cmd>();
  target->CopyFrom(*empty);
  ASSERT_TRUE(target->Encode(&copied));
  EXPECT_EQ(copied, "");
}

// "bs::gate" -> "bs.gate"
std::string Dotted(std::string ns) {
  for (size_t p; (p = ns.find("::")) != std::string::npos;) ns.replace(p, 2, ".");
  return ns;
}

std::vector<CommandCase> AllCommands() {
  static std::vector<std::string> names;
  if (names.empty()) {
#define Q_NAME(prefix, ns, name, kind, subid) names.push_back(Dotted(#ns) + "." #name);
    Q_MESSAGE_COMMANDS(Q_NAME)
#undef Q_NAME
  }
  std::vector<CommandCase> cases;
  size_t i = 0;
#define Q_CASE(prefix, ns, name, kind, subid) \
  cases.push_back({names[i++].c_str(), kind, subid, &CheckCommand<bs::CMD_##prefix##_##name>});
  Q_MESSAGE_COMMANDS(Q_CASE)
#undef Q_CASE
  return cases;
}

TEST(CmdTemplate, EveryMessageCommandDecodesEncodesAndCopies) {
  const std::vector<CommandCase> cases = AllCommands();
  ASSERT_EQ(cases.size(), 86u);
  std::set<uint32_t> keys;
  for (const CommandCase& c : cases) {
    EXPECT_TRUE(keys.insert(uint32_t(c.kind) << 16 | c.subid).second) << c.type_name;
    c.check(c);
  }
}

TEST(CmdTemplate, EncodeWritesSetFieldsWhenRequiredFieldIsUnset) {
  bs::CMD_Client_QueryFundReq cmd;
  cmd.msg.add_fund_type(5);  // field 1; the required user_id (2) stays unset
  std::string out;
  EXPECT_TRUE(cmd.Encode(&out));
  EXPECT_EQ(out, std::string("\x08\x05", 2));
  // The checked parse refuses what was written, the field set alone is not enough.
  bs::CMD_Client_QueryFundReq back;
  EXPECT_FALSE(back.Decode(out));
  EXPECT_TRUE(back.Decode(std::string("\x10\x07", 2)));  // field 2 alone suffices
}

TEST(CmdTemplate, CopyFromClearsFieldsOnlyTheTargetHad) {
  bs::CMD_Gate_HelloReq source;
  source.msg.set_ad_id(4);
  bs::CMD_Gate_HelloReq target;
  target.msg.set_client_version("9.9");
  target.msg.set_ad_id(1);
  target.CopyFrom(source);
  EXPECT_FALSE(target.msg.has_client_version());
  EXPECT_EQ(target.msg.ad_id(), 4u);

  bs::CMD_Match_JoinRsp lite_source;  // lite runtime: typed MergeFrom as well
  lite_source.msg.set_plan_id(11);
  bs::CMD_Match_JoinRsp lite_target;
  lite_target.msg.set_exename("game.exe");
  lite_target.CopyFrom(lite_source);
  EXPECT_FALSE(lite_target.msg.has_exename());
  EXPECT_EQ(lite_target.msg.plan_id(), 11u);
  EXPECT_EQ(lite_target.msg.result(), bs::matchclient::JoinResult_1000);
}

TEST(CmdTemplate, CopyFromItselfChangesNothing) {
  bs::CMD_Gate_TransferDataReq cmd;
  cmd.msg.set_att_apptype(13);
  cmd.msg.set_data("payload");
  FillRoute(&cmd.route, 40);
  bs::CmdRouteHeader route_before = cmd.route;
  std::string before;
  ASSERT_TRUE(cmd.Encode(&before));

  cmd.CopyFrom(cmd);
  std::string after;
  ASSERT_TRUE(cmd.Encode(&after));
  EXPECT_EQ(after, before);
  EXPECT_EQ(std::memcmp(&cmd.route, &route_before, sizeof(route_before)), 0);
}

// ToDataMessage exists on gate commands only.
template <class T, class = void>
struct HasToDataMessage : std::false_type {};
template <class T>
struct HasToDataMessage<T, std::void_t<decltype(std::declval<const T&>().ToDataMessage(
                               static_cast<bs::CMDNetwork_DataMessage*>(nullptr)))>>
    : std::true_type {};
static_assert(HasToDataMessage<bs::CMD_Gate_HelloReq>::value, "");
static_assert(!HasToDataMessage<bs::CMD_Client_LoginReq>::value, "");
static_assert(!HasToDataMessage<bs::CMD_Match_JoinReq>::value, "");

}  // namespace
