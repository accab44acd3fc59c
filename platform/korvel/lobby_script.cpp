#include "platform/korvel/lobby_script.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace korvel {
namespace {

void CopyText(char* field, size_t width, const char* text) {
  std::memset(field, 0, width);
  std::memcpy(field, text, std::min(width, std::strlen(text)));
}

// Whole-word unsigned number no larger than `max`.
bool ParseNumber(const std::string& word, unsigned long long max, unsigned long long* out) {
  if (word.empty() || word.size() > 20 || word[0] == '-' || word[0] == '+') return false;
  for (char c : word) {
    if (c < '0' || c > '9') return false;
  }
  errno = 0;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(word.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value > max) return false;
  *out = value;
  return true;
}

bool ParseWord16(const std::string& word, uint16_t* out) {
  unsigned long long v = 0;
  if (!ParseNumber(word, 0xFFFF, &v)) return false;
  *out = static_cast<uint16_t>(v);
  return true;
}

bool ParseCodes(const std::string& word, uint16_t* mainCode, uint16_t* subCode) {
  const size_t slash = word.find('/');
  return slash != std::string::npos && ParseWord16(word.substr(0, slash), mainCode) &&
         ParseWord16(word.substr(slash + 1), subCode);
}

struct TextField {
  const char* name;
  size_t offset;
  size_t width;
};

const TextField kTextFields[] = {
    {"account", offsetof(NFHallUserInfo, account), sizeof(NFHallUserInfo::account)},
    {"password", offsetof(NFHallUserInfo, password), sizeof(NFHallUserInfo::password)},
    {"system", offsetof(NFHallUserInfo, systemSerial), sizeof(NFHallUserInfo::systemSerial)},
    {"bios", offsetof(NFHallUserInfo, biosSerial), sizeof(NFHallUserInfo::biosSerial)},
    {"cpu", offsetof(NFHallUserInfo, cpuSerial), sizeof(NFHallUserInfo::cpuSerial)},
    {"disk", offsetof(NFHallUserInfo, diskSerial), sizeof(NFHallUserInfo::diskSerial)},
    {"mac", offsetof(NFHallUserInfo, macAddress), sizeof(NFHallUserInfo::macAddress)},
    {"guid", offsetof(NFHallUserInfo, guid), sizeof(NFHallUserInfo::guid)},
};

// One `user` line; returns an empty string or the reason it is wrong.
std::string ApplyUserField(const std::vector<std::string>& words, NFHallUserInfo* user) {
  if (words.size() != 3) return "user takes a field and one value";
  const std::string& field = words[1];
  const std::string& value = words[2];
  unsigned long long n = 0;
  if (field == "id") {
    if (!ParseNumber(value, 0x7FFFFFFF, &n)) return "user id must be 0 to 2147483647";
    user->userId = static_cast<int32_t>(n);
    return "";
  }
  uint32_t* number = field == "channel" ? &user->channelId
                     : field == "site"  ? &user->siteId
                     : field == "bar"   ? &user->barId
                                        : nullptr;
  if (number != nullptr) {
    if (!ParseNumber(value, 0xFFFFFFFFULL, &n)) return "user " + field + " must be a 32-bit number";
    *number = static_cast<uint32_t>(n);
    return "";
  }
  for (const TextField& f : kTextFields) {
    if (field != f.name) continue;
    if (value.size() > f.width) {
      return "user " + field + " is longer than its " + std::to_string(f.width) + "-byte field";
    }
    CopyText(reinterpret_cast<char*>(user) + f.offset, f.width, value.c_str());
    return "";
  }
  return "unknown user field " + field;
}

// One event, wait, pause or mark line; returns an empty string or the reason.
std::string ParseStep(const std::vector<std::string>& words, ScriptStep* step) {
  const std::string& op = words[0];
  const size_t args = words.size() - 1;
  if (op == "enter" || op == "leave" || op == "signup" || op == "signout") {
    step->kind = op == "enter"    ? StepKind::kEnter
                 : op == "leave"  ? StepKind::kLeave
                 : op == "signup" ? StepKind::kSignUp
                                  : StepKind::kSignOut;
    if (args == 0 && op != "enter") return "";
    if (args != 2)
      return op == "enter" ? "enter takes <kind> <server>"
                           : op + " takes no room or <kind> <server>";
    if (!ParseWord16(words[1], &step->gameKind) || !ParseWord16(words[2], &step->serverId)) {
      return "kind and server must be 0 to 65535";
    }
    step->hasRoom = true;
    return "";
  }
  if (op == "closegame" || op == "exit") {
    step->kind = op == "exit" ? StepKind::kExit : StepKind::kCloseGame;
    return args == 0 ? "" : op + " takes nothing";
  }
  if (op == "wait") {
    step->kind = StepKind::kWait;
    step->ms = kDefaultWaitMs;
    if (args < 1 || args > 3) return "wait takes <main>/<sub> [<count> [<timeout ms>]]";
    if (!ParseCodes(words[1], &step->mainCode, &step->subCode)) {
      return "wait needs <main>/<sub>, each 0 to 65535";
    }
    unsigned long long n = 0;
    if (args >= 2) {
      if (!ParseNumber(words[2], 1000000, &n) || n == 0) return "wait count must be 1 to 1000000";
      step->count = static_cast<uint32_t>(n);
    }
    if (args == 3) {
      if (!ParseNumber(words[3], kMaxWaitMs, &n)) return "wait time-out must be 0 to 600000 ms";
      step->ms = static_cast<uint32_t>(n);
    }
    return "";
  }
  if (op == "sleep") {
    step->kind = StepKind::kSleep;
    unsigned long long n = 0;
    if (args != 1 || !ParseNumber(words[1], kMaxWaitMs, &n)) return "sleep takes 0 to 600000 ms";
    step->ms = static_cast<uint32_t>(n);
    return "";
  }
  if (op == "snapshot") {
    step->kind = StepKind::kSnapshot;
    if (args != 1) return "snapshot takes one file name";
    step->file = words[1];
    return "";
  }
  return "unknown step " + op;
}

}  // namespace

NFHallUserInfo DefaultUserInfo() {
  NFHallUserInfo user;
  std::memset(&user, 0, sizeof(user));
  user.userId = 10001;
  user.channelId = 1;
  user.siteId = 2;
  user.barId = 3;
  CopyText(user.account, sizeof(user.account), "korvel-lobby");
  CopyText(user.password, sizeof(user.password) - 1, "3f9a0c27d54be81a6c0d92f7e41b5a88");
  CopyText(user.systemSerial, sizeof(user.systemSerial), "sys-0001");
  CopyText(user.biosSerial, sizeof(user.biosSerial), "bios-0001");
  CopyText(user.cpuSerial, sizeof(user.cpuSerial), "cpu-0001");
  CopyText(user.diskSerial, sizeof(user.diskSerial), "hd-0001");
  CopyText(user.macAddress, sizeof(user.macAddress), "00-11-22-33-44");
  CopyText(user.guid, sizeof(user.guid), "{5a1c9e2f-0000-4000-8000-korvel000001}");
  return user;
}

NFHallUserFund DefaultUserFund() {
  NFHallUserFund fund;
  std::memset(&fund, 0, sizeof(fund));
  return fund;
}

bool ParseLobbyScript(const std::string& text, LobbyScript* script, std::string* error) {
  script->user = DefaultUserInfo();
  script->fund = DefaultUserFund();
  script->steps.clear();
  if (text.size() > kMaxScriptBytes) {
    *error = "script is larger than " + std::to_string(kMaxScriptBytes) + " bytes";
    return false;
  }
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    if (words.empty() || words[0][0] == '#') continue;

    std::string reason;
    if (words[0] == "user" || words[0] == "fund") {
      if (!script->steps.empty()) {
        reason = words[0] + " comes before the first event line";
      } else if (words[0] == "user") {
        reason = ApplyUserField(words, &script->user);
      } else {
        unsigned long long c10 = 0, c11 = 0;
        if (words.size() != 3 || !ParseNumber(words[1], ~0ULL, &c10) ||
            !ParseNumber(words[2], 0xFFFFFFFFULL, &c11)) {
          reason = "fund takes <count10 (64-bit)> <count11 (32-bit)>";
        } else {
          script->fund.count10 = c10;
          script->fund.count11 = static_cast<uint32_t>(c11);
        }
      }
    } else {
      ScriptStep step;
      step.line = number;
      step.text = line.substr(line.find_first_not_of(" \t"));
      reason = ParseStep(words, &step);
      if (reason.empty()) script->steps.push_back(step);
    }
    if (!reason.empty()) {
      *error = "line " + std::to_string(number) + ": " + reason;
      return false;
    }
  }
  return true;
}

}  // namespace korvel
