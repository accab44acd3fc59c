// Command line of the sample game: the "key:value|" pairs the gate client
// puts on a game's command line (" process_id:%d|user_id:%lld|...|plan_id:%lld|"),
// parsed in this one place so later keys join here.
// Thread safety: plain data.
#pragma once

#include <cstdint>
#include <map>
#include <string>

struct GameArgs {
  int32_t owner_pid = 0;   // process_id: the gate client that created the channel
  int64_t channel_id = 0;  // plan_id: the channel (plan) id
  std::map<std::string, std::string> values;  // every pair, as given
};

// `parameters` is the command line after the program name. Splits it at
// blanks and '|' into "key:value" pairs; words without a colon are skipped. Returns false when
// process_id or plan_id is missing or not a number.
bool ParseGameArgs(const std::string& parameters, GameArgs* out);
