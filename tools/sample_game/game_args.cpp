#include "tools/sample_game/game_args.h"

#include <cerrno>
#include <cstdlib>

namespace {

bool ToInt64(const std::string& text, int64_t* out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end == nullptr || *end != '\0') return false;
  *out = v;
  return true;
}

}  // namespace

bool ParseGameArgs(const std::string& parameters, GameArgs* out) {
  *out = GameArgs();
  std::string word;
  auto take = [&] {
    size_t colon = word.find(':');
    if (colon != std::string::npos && colon > 0) {
      out->values[word.substr(0, colon)] = word.substr(colon + 1);
    }
    word.clear();
  };
  for (char c : parameters) {
    if (c == ' ' || c == '\t' || c == '|') {
      take();
    } else {
      word += c;
    }
  }
  take();

  int64_t pid = 0;
  auto p = out->values.find("process_id");
  auto q = out->values.find("plan_id");
  if (p == out->values.end() || q == out->values.end()) return false;
  if (!ToInt64(p->second, &pid) || pid <= 0 || pid > INT32_MAX) return false;
  if (!ToInt64(q->second, &out->channel_id)) return false;
  out->owner_pid = int32_t(pid);
  return true;
}
