#include "gateclient/plan_launch.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gateclient/client_frame/client_requests.h"
#include "netcore/command/gate_commands.h"

namespace bsc {

namespace {

std::vector<std::string> SplitComma(const std::string& s) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    const size_t comma = s.find(',', start);
    out.push_back(s.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

void PutLe(std::string& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(char((v >> (8 * i)) & 0xff));
}

uint32_t GetLe(const char* p, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= uint32_t(uint8_t(p[i])) << (8 * i);
  return v;
}

}  // namespace

GameTable GameTable::Build(const std::string& kinds, const std::string& names,
                           const std::string& folders) {
  GameTable t;
  const std::vector<std::string> k = SplitComma(kinds);
  const std::vector<std::string> n = SplitComma(names);
  const std::vector<std::string> f = SplitComma(folders);
  for (size_t i = 0; i < k.size(); ++i) {
    GameEntry e;
    if (i < n.size()) e.program = n[i];
    if (i < f.size()) e.folder = f[i];
    t.entries[std::atoi(k[i].c_str())] = e;
  }
  return t;
}

GameTable GameTable::Defaults() {
  return Build("501,502,555", "pellory,pellory,duovrin", "pellory,pellory,duomesk");
}

GameEntry GameTable::Lookup(int64_t kind) const {
  if (kind <= 0 || kind > INT32_MAX) return {};
  auto it = entries.find(int(kind));
  return it == entries.end() ? GameEntry{} : it->second;
}

bool GameTable::IsProgram(const std::string& name) const {
  if (name.empty()) return false;
  for (const auto& e : entries) {
    if (e.second.program == name) return true;
  }
  return false;
}

std::string FormatFirstParam(int32_t processId, int64_t userId, int32_t cmdId, int32_t appId,
                             int32_t appType, int64_t planId) {
  char buf[256];
  std::snprintf(
      buf, sizeof buf, " process_id:%d|user_id:%lld|cmd_id:%d|app_id:%d|app_type:%d|plan_id:%lld|",
      int(processId), (long long)userId, int(cmdId), int(appId), int(appType), (long long)planId);
  return buf;
}

std::string FormatSecondParam(const PlanLaunchValues& v, const std::string& exename,
                              const std::string& folder) {
  char head[320];
  std::snprintf(
      head, sizeof head,
      "match_id:%lld|match_group:%lld|rank_appid:%d|rank_objectid:%lld|mp_id:%lld|game_kind:%u|",
      (long long)v.matchId, (long long)v.matchGroup, int(v.rankAppId), (long long)v.rankObjectId,
      (long long)v.mpId, unsigned(v.gameKind));
  // The names are appended, not formatted into a fixed buffer: they come
  // from the settings and the gate and have no length bound of their own.
  return std::string(head) + "exename:" + exename + "|resfolder:" + folder;
}

bool ComposeGameLaunch(const bs::CMD_base& cmd, uint64_t planId, int32_t processId, int64_t userId,
                       const GameTable& table, GameLaunch* out) {
  GameLaunch g;
  std::string nameField;
  if (auto* start = dynamic_cast<const bs::CMD_Match_MatchStart*>(&cmd)) {
    const auto& m = start->msg;
    g.values.matchId = int64_t(m.match_id());
    g.values.matchGroup = int64_t(m.match_group());
    g.values.rankAppId = int32_t(m.rank_appid());
    g.values.rankObjectId = int64_t(m.rank_objectid());
    g.values.mpId = int64_t(m.mp_id());
    g.values.gameKind = m.game_kind();
    nameField = m.exename();
    g.planField = m.plan_id();
    g.name = m.name();
  } else if (auto* join = dynamic_cast<const bs::CMD_Match_JoinRsp*>(&cmd)) {
    const auto& m = join->msg;
    g.values.matchId = int64_t(m.match_id());
    g.values.gameKind = m.game_kind();
    g.joinFlag = m.field_6();
    nameField = m.exename();
    g.planField = m.plan_id();
    g.name = m.exename();
  } else {
    return false;
  }
  const GameEntry entry = table.Lookup(g.values.gameKind);
  g.program = entry.program;
  g.exename = entry.program;
  g.folder = entry.folder;
  if (g.values.gameKind == 555) {
    g.program = table.Lookup(100).program;
  } else if (!nameField.empty()) {
    g.program = nameField;
    g.exename = nameField;
  }
  g.firstParam = FormatFirstParam(processId, userId, cmd.subid, int32_t(cmd.route.src_appid),
                                  int32_t(cmd.route.src_apptype), int64_t(planId));
  g.secondParam = FormatSecondParam(g.values, g.exename, g.folder);
  g.commandLine = g.program + " " + g.firstParam + g.secondParam;
  if (g.program.empty()) {
    g.refusal = "no program for game kind " + std::to_string(g.values.gameKind);
  } else if (!table.IsProgram(g.program)) {
    g.refusal = "program not in the game table: " + g.program;
  }
  *out = std::move(g);
  return true;
}

std::string BuildForwardRecord(int32_t type, const bs::CmdRouteHeader& route, uint16_t kind,
                               uint16_t subid, const std::string& payload) {
  std::string out;
  out.reserve(kForwardHeaderSize + payload.size());
  PutLe(out, uint32_t(type), 4);
  out.append(reinterpret_cast<const char*>(&route), sizeof route);
  PutLe(out, kind, 2);
  PutLe(out, subid, 2);
  out += payload;
  return out;
}

std::string BuildGameForward(bs::CMD_base* cmd, const TransferInfo& info) {
  if (cmd != nullptr && cmd->kind == bs::kCmdKindNetwork) {
    return BuildForwardRecord(kRecordNetEvent, cmd->route, cmd->kind, cmd->subid, std::string());
  }
  bs::CMD_Gate_TransferDataReq transfer;
  bs::CmdRouteHeader route;
  if (info.rebuild != 0 || cmd == nullptr) {
    auto& m = transfer.msg;
    m.set_data(info.data);
    m.set_data_cmd_kind(uint32_t(info.kind));
    m.set_data_cmd_subid(uint32_t(info.subid));
    m.set_att_apptype(info.apptype);
    m.set_att_appid(info.appid);
    m.set_att_sessionid(info.session);
    route = info.route;
  } else {
    route = cmd->route;
    WrapByKind(*cmd, transfer);
    if (!cmd->body.empty()) transfer.msg.set_data(cmd->body);
  }
  std::string payload;
  transfer.Encode(&payload);
  return BuildForwardRecord(kRecordWrapped, route, bs::kCmdKindGate, 3, payload);
}

bool ParseReturnRecord(const char* data, int length, uint16_t* kind, uint16_t* subid,
                       std::string* body) {
  if (data == nullptr || length < int(kReturnHeaderSize)) return false;
  if (GetLe(data, 4) != uint32_t(kRecordWrapped)) return false;
  *kind = uint16_t(GetLe(data + 4, 2));
  *subid = uint16_t(GetLe(data + 6, 2));
  body->assign(data + kReturnHeaderSize, size_t(length) - kReturnHeaderSize);
  return true;
}

}  // namespace bsc
