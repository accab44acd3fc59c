// The C++ side of the wire cross-check (wire_crosscheck.py): one message of
// each package, built here and independently in Python from the same
// schemas.
//   interface_wire_peer encode   writes <name>.cpp.bin into the current folder
//   interface_wire_peer decode   reads <name>.py.bin and checks every value
// Exit status 0 when every message matched; each mismatch is printed.
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "client/client.pb.h"
#include "client/hallclient.pb.h"
#include "client/matchclient.pb.h"
#include "client/userinfo.pb.h"
#include "gate/gate.pb.h"
#include "types/types.pb.h"

namespace {

namespace mc = bs::matchclient;

bs::types::UserRoomInfo RoomInfo() {
  bs::types::UserRoomInfo m;
  m.set_user_id(1ull << 40);
  m.mutable_base_info()->set_user_id(7);
  m.mutable_base_info()->set_nick_name("\xE5\xB0\x8F\xE6\x98\x8E");
  m.mutable_base_info()->set_user_type(bs::types::BaseUserInfo::Robot);
  m.set_score(-123456);
  m.set_health(-1);
  m.set_is_offline(false);
  m.set_losft_count(3);
  m.set_round_count(15);
  return m;
}

bs::gate::TransferDataReq Transfer() {
  bs::gate::TransferDataReq m;
  m.set_att_apptype(13);
  m.set_att_appid(2);
  m.set_data_cmd_kind(14);
  m.set_data_cmd_subid(3);
  m.set_data(std::string("\x18\x01\x00\xFF", 4));
  m.set_req_id(0);
  m.set_client_ip_v4(0x7F000001u);
  m.set_att_sessionid((1ull << 63) + 5);
  return m;
}

bs::client::LoginReq Login() {
  bs::client::LoginReq m;
  m.set_game_kind(2001);
  m.set_action_type(bs::client::LoginReq::Robot);
  m.set_client_os(bs::types::PC);
  m.set_login_account("acc");
  m.set_client_ip("1.2.3.4");
  m.set_hd_serial("HD-1");
  m.set_mac_address("00-11-22");
  m.set_guid("guid");
  m.set_logon_token(99);
  m.set_sp_id(bs::client::LoginReq::UNKWON);
  return m;
}

bs::hallclient::TitleMatchItem Title() {
  bs::hallclient::TitleMatchItem m;
  m.set_plan_id(5);
  bs::types::FundItem* fee = m.add_join_fee();
  fee->set_type(bs::types::MONEY_TYPE);
  fee->set_count(100);
  bs::hallclient::PrizeItem* prize = m.add_prizces_win();
  prize->set_rank_begein(1);
  prize->set_rank_end(3);
  prize->set_count_gold(50);
  prize->set_other_award("x");
  m.mutable_hold_fund()->set_id(0);
  m.set_app_id(1);
  m.set_hide_nick(true);
  m.set_seconds_accept_round(30);
  return m;
}

bs::userinfo::RegisterRsp Register() {
  bs::userinfo::RegisterRsp m;
  m.set_result_code(0);
  m.set_result_info("ok");
  m.set_user_id(0xFFFFFFFFFFFFFFFFull);
  m.set_account("a");
  return m;
}

mc::JoinRsp Join() {
  mc::JoinRsp m;
  m.set_withdraw(false);
  m.set_result(mc::JoinResult_0);
  m.set_field_3("t");
  m.set_plan_id(9);
  m.set_match_id(1ull << 33);
  m.set_game_kind(2001);
  m.set_plan_type(2);
  m.set_exename("game.exe");
  return m;
}

mc::TableStatus Table() {
  mc::TableStatus m;
  m.set_field_1(mc::Enum_B_2);
  m.set_field_2(4);
  *m.add_field_9() = RoomInfo();
  m.add_field_9()->set_seat_index(2);
  return m;
}

bool NoUnknowns(const google::protobuf::Message& m) {
  return m.GetReflection()->GetUnknownFields(m).empty();
}
struct Entry {
  const char* name;
  std::function<std::string()> encode;
  // Parses the bytes and checks them; returns an empty string when they match.
  std::function<std::string(const std::string&)> check;
};

template <typename M, typename Unknowns>
Entry Make(const char* name, M (*build)(), Unknowns unknowns,
           std::function<bool(const M&)> values) {
  return {name, [build] { return build().SerializeAsString(); },
          [build, unknowns, values](const std::string& bytes) -> std::string {
            M got;
            if (!got.ParseFromString(bytes)) return "does not parse";
            if (!unknowns(got)) return "holds unknown fields";
            if (!values(got)) return "a field value differs";
            if (got.SerializeAsString() != build().SerializeAsString())
              return "re-encodes differently";
            return "";
          }};
}

std::vector<Entry> Entries() {
  auto full = [](const google::protobuf::Message& m) { return NoUnknowns(m); };
  auto lite_join = [](const mc::JoinRsp& m) { return m.unknown_fields().empty(); };
  auto lite_table = [](const mc::TableStatus& m) {
    return m.unknown_fields().empty() && (m.field_9_size() == 0 || NoUnknowns(m.field_9(0)));
  };
  return {
      Make<bs::types::UserRoomInfo>("types.UserRoomInfo", RoomInfo, full,
                                    [](const bs::types::UserRoomInfo& m) {
                                      return m.score() == -123456 && m.health() == -1 &&
                                             m.has_is_offline() && !m.is_offline() &&
                                             m.base_info().user_type() == 10 &&
                                             m.losft_count() == 3 && m.user_id() == (1ull << 40);
                                    }),
      Make<bs::gate::TransferDataReq>("gate.TransferDataReq", Transfer, full,
                                      [](const bs::gate::TransferDataReq& m) {
                                        return m.att_apptype() == 13 && m.data_cmd_subid() == 3 &&
                                               m.data() == std::string("\x18\x01\x00\xFF", 4) &&
                                               m.has_req_id() && m.req_id() == 0 &&
                                               m.att_sessionid() == (1ull << 63) + 5;
                                      }),
      Make<bs::client::LoginReq>("client.LoginReq", Login, full,
                                 [](const bs::client::LoginReq& m) {
                                   return m.sp_id() == -1 && m.has_sp_id() &&
                                          m.action_type() == 10 && m.has_client_os() &&
                                          m.client_ip() == "1.2.3.4" && m.hd_serial() == "HD-1" &&
                                          m.guid() == "guid";
                                 }),
      Make<bs::hallclient::TitleMatchItem>("hallclient.TitleMatchItem", Title, full,
                                           [](const bs::hallclient::TitleMatchItem& m) {
                                             return m.join_fee_size() == 1 &&
                                                    m.join_fee(0).type() == bs::types::MONEY_TYPE &&
                                                    m.prizces_win_size() == 1 &&
                                                    m.prizces_win(0).count_gold() == 50 &&
                                                    m.has_hold_fund() && m.app_id() == 1 &&
                                                    m.hide_nick();
                                           }),
      Make<bs::userinfo::RegisterRsp>("userinfo.RegisterRsp", Register, full,
                                      [](const bs::userinfo::RegisterRsp& m) {
                                        return m.has_result_code() &&
                                               m.user_id() == 0xFFFFFFFFFFFFFFFFull;
                                      }),
      Make<mc::JoinRsp>("matchclient.JoinRsp", Join, lite_join,
                        [](const mc::JoinRsp& m) {
                          return m.has_result() && m.result() == 0 && m.has_withdraw() &&
                                 m.plan_id() == 9 && m.match_id() == (1ull << 33) &&
                                 m.exename() == "game.exe";
                        }),
      Make<mc::TableStatus>("matchclient.TableStatus", Table, lite_table,
                            [](const mc::TableStatus& m) {
                              return m.field_1() == 2 && m.field_9_size() == 2 &&
                                     m.field_9(0).score() == -123456 &&
                                     m.field_9(1).seat_index() == 2;
                            }),
  };
}

bool ReadFile(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode != "encode" && mode != "decode") {
    std::fprintf(stderr, "usage: %s encode|decode\n", argv[0]);
    return 2;
  }
  int failures = 0;
  for (const Entry& e : Entries()) {
    if (mode == "encode") {
      std::ofstream out(std::string(e.name) + ".cpp.bin", std::ios::binary);
      const std::string bytes = e.encode();
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      if (!out) {
        std::printf("FAIL %s: cannot write\n", e.name);
        ++failures;
      }
      continue;
    }
    std::string bytes;
    if (!ReadFile(std::string(e.name) + ".py.bin", &bytes)) {
      std::printf("FAIL %s: no file\n", e.name);
      ++failures;
      continue;
    }
    const std::string why = e.check(bytes);
    std::printf("%s %s%s%s\n", why.empty() ? "ok" : "FAIL", e.name, why.empty() ? "" : ": ",
                why.c_str());
    if (!why.empty()) ++failures;
  }
  return failures == 0 ? 0 : 1;
}
