// The lobby script of Korvel's script mode: a text file that stands in for a
// person at the lobby window. It gives the user and fund blocks that the
// lobby hands over at start-up and then the lobby events, waits and pauses.
//
// One step a line; '#' starts a comment line; words are separated by blanks.
//   user <field> <value>     a field of the start-up user block: id, channel,
//                            site, bar (numbers); account, password, system,
//                            bios, cpu, disk, mac, guid (texts, bytes as
//                            written, at most the field's width)
//   fund <count10> <count11> the start-up fund block
//   enter <kind> <server>    enter room (the user id is the user block's)
//   leave|signup|signout [<kind> <server>]   default: the room last entered
//   closegame
//   wait <main>/<sub> [<count> [<timeout ms>]]  until <count> blocks with
//                            these codes have come back in all (default 1,
//                            10000 ms)
//   sleep <ms>               pause; the window stays live
//   snapshot <file>          save the lobby window as it draws itself, as
//                            a 24-bit BMP file
//   exit                     end the script here
// `user` and `fund` lines come before the first event line.
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "interface/hall/nfhall_interfaces.h"

namespace korvel {

enum class StepKind {
  kEnter,
  kLeave,
  kSignUp,
  kSignOut,
  kCloseGame,
  kWait,
  kSleep,
  kSnapshot,
  kExit
};

struct ScriptStep {
  StepKind kind = StepKind::kExit;
  int line = 0;      // 1-based line number in the script
  std::string text;  // the line as written, for the echo
  std::string file;  // snapshot
  // enter, leave, sign up, sign out: the room; without one the last entered
  bool hasRoom = false;
  uint16_t gameKind = 0;
  uint16_t serverId = 0;
  // wait
  uint16_t mainCode = 0;
  uint16_t subCode = 0;
  uint32_t count = 1;
  // wait: time-out; sleep: pause
  uint32_t ms = 0;
};

struct LobbyScript {
  NFHallUserInfo user;
  NFHallUserFund fund;
  std::vector<ScriptStep> steps;
};

// The user and fund blocks the lobby hands over when nothing says otherwise:
// a test account with serials and a machine GUID, fund counts zero.
NFHallUserInfo DefaultUserInfo();
NFHallUserFund DefaultUserFund();

const uint32_t kDefaultWaitMs = 10000;
const uint32_t kMaxWaitMs = 600000;
const size_t kMaxScriptBytes = 1 << 20;

// Parses `text`. On the first bad line returns false and sets *error to
// "line N: <reason>"; *script is then unspecified.
bool ParseLobbyScript(const std::string& text, LobbyScript* script, std::string* error);

}  // namespace korvel
