// The portable half of launching a game: the game table built from the
// "exekind", "exename" and "resfolder" settings, the game's command line
// composed from a launch command (MatchStart or JoinRsp), and the two record
// formats exchanged with a game over its shared-memory channel.
// Thread safety: stateless functions and plain values; any thread.
// Ownership: everything by value; commands are only read.
//
// Game-forward record (gate client -> game), little-endian:
// | bytes | content                                                        |
// |-------|----------------------------------------------------------------|
// | 0-3   | int32 type: 1 = a kind-9 network event as it is; 0 = wrapped     |
// | 4-75  | the 72-byte routing record (cmd_base.h)                         |
// | 76-77 | int16 kind (12 for type 0)                                      |
// | 78-79 | int16 subid (3 for type 0)                                      |
// | 80-   | type 0: serialised bs::gate::TransferDataReq; type 1: nothing    |
//
// Game-return record (game -> gate client):
// | bytes | content                                   |
// |-------|-------------------------------------------|
// | 0-3   | int32 type, must be 0 (others are ignored) |
// | 4-5   | int16 frame kind                          |
// | 6-7   | int16 frame subid                         |
// | 8-    | the body                                  |
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "gateclient/client_frame/transfer_info.h"
#include "netcore/command/cmd_base.h"

namespace bsc {

struct GameEntry {
  std::string program;
  std::string folder;
};

class GameTable {
 public:
  // The three comma lists read in step; later duplicate kinds win; missing
  // names or folders count as empty.
  static GameTable Build(const std::string& kinds, const std::string& names,
                         const std::string& folders);
  // The default settings ("501,502,555", "pellory,pellory,duovrin", ...).
  static GameTable Defaults();
  // Empty program and folder for a kind of 0 or below or one not listed.
  GameEntry Lookup(int64_t kind) const;
  // True for a non-empty name that is one of the table's programs.
  bool IsProgram(const std::string& name) const;

  std::map<int, GameEntry> entries;
};

// The values a table keeps from its launch command; zero until set.
struct PlanLaunchValues {
  int64_t mpId = 0;
  int64_t matchGroup = 0;
  int32_t rankAppId = 0;
  int64_t rankObjectId = 0;
  int64_t matchId = 0;
  uint32_t gameKind = 0;
};

// A composed launch: what the game gets and what the log says.
struct GameLaunch {
  std::string program;  // first word of the command line
  std::string exename;
  std::string folder;
  std::string firstParam;   // " process_id:...|plan_id:...|"
  std::string secondParam;  // "match_id:...|resfolder:..."
  std::string commandLine;  // program + " " + firstParam + secondParam
  PlanLaunchValues values;
  bool joinFlag = false;   // JoinRsp field 6
  uint64_t planField = 0;  // the message's own plan field (for the log)
  std::string name;        // the message's name field (for the log)
  // Empty when the game may be started; otherwise why not (for the log).
  std::string refusal;
};

std::string FormatFirstParam(int32_t processId, int64_t userId, int32_t cmdId, int32_t appId,
                             int32_t appType, int64_t planId);
std::string FormatSecondParam(const PlanLaunchValues& v, const std::string& exename,
                              const std::string& folder);

// From a MatchStart (14/15) or JoinRsp (14/4) command. False (nothing set)
// for any other command. A refused launch still returns true with `refusal`
// set: an empty program (a kind without one) or a program name from the
// gate that the game table does not list is never started.
bool ComposeGameLaunch(const bs::CMD_base& cmd, uint64_t planId, int32_t processId, int64_t userId,
                       const GameTable& table, GameLaunch* out);

enum : int32_t { kRecordWrapped = 0, kRecordNetEvent = 1 };
constexpr size_t kForwardHeaderSize = 80;
constexpr size_t kReturnHeaderSize = 8;

std::string BuildForwardRecord(int32_t type, const bs::CmdRouteHeader& route, uint16_t kind,
                               uint16_t subid, const std::string& payload);
// The whole forward of one command (null: from `info` alone): type 1 for a
// kind-9 command, otherwise a wrapped TransferDataReq built from `info` when
// its rebuild flag is set or there is no command, else from the command.
std::string BuildGameForward(bs::CMD_base* cmd, const TransferInfo& info);

// False for a record shorter than 8 bytes or of a type other than 0.
bool ParseReturnRecord(const char* data, int length, uint16_t* kind, uint16_t* subid,
                       std::string* body);

}  // namespace bsc
