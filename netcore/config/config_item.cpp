#include "netcore/config/config_item.h"

#include <cstdio>

namespace ccf {

namespace {
std::string FromC(const char* s) { return s ? std::string(s) : std::string(); }
size_t CountOf(int n) { return n > 0 ? static_cast<size_t>(n) : 0u; }
}  // namespace

RConfigItemBase::RConfigItemBase(RConfigItemBase** head, const char* sec, const char* k, int t)
    : type(t), section(FromC(sec)), key(FromC(k)), next(nullptr) {
  if (!head) return;
  if (!*head) {
    *head = this;
  } else {
    next = (*head)->next;
    (*head)->next = this;
  }
}

RConfigItemBase::~RConfigItemBase() = default;

RConfigItemLong::RConfigItemLong(RConfigItemBase** head, const char* sec, const char* k, int def)
    : RConfigItemBase(head, sec, k, kLong), value(def), defaultValue(def) {}

RConfigItemString::RConfigItemString(RConfigItemBase** head, const char* k, const std::string& def)
    : RConfigItemBase(head, "main", k, kString), value(def), defaultValue(def) {}

RConfigItemLongArr::RConfigItemLongArr(RConfigItemBase** head, const char* sec, const char* k,
                                       int n, int def, const char* suffix)
    : RConfigItemBase(head, sec, k, kLongArr),
      count(n),
      suffixFormat(FromC(suffix)),
      defaultValue(def),
      values(CountOf(n), def) {}

RConfigItemStringArr::RConfigItemStringArr(RConfigItemBase** head, const char* sec, const char* k,
                                           int n, const std::string& def, const char* suffix)
    : RConfigItemBase(head, sec, k, kStringArr),
      count(n),
      suffixFormat(FromC(suffix)),
      defaultValue(def),
      values(CountOf(n), def) {}

std::string ElementKey(const std::string& key, const std::string& suffixFormat, int index) {
  char suffix[32];
  // The format is the settings class's own, always one integer conversion.
  int n = std::snprintf(suffix, sizeof suffix, suffixFormat.c_str(), index);
  if (n < 0) suffix[0] = '\0';
  return key + suffix;
}

}  // namespace ccf
