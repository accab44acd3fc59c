// Configuration items: one object per setting, bound to a section and key of
// an INI file. Each item links itself into its provider's list when it is
// constructed; ccf::RProgramConfigLoad::Load (program_config_load.h) fills them.
//
// Thread safety: items are written only by Load on the owning thread, and
// read afterwards; no lock.
// Ownership: items are members of the settings class and die with it; the
// list only points at them.
#pragma once

#include <string>
#include <vector>

namespace ccf {

class RConfigItemBase {
 public:
  enum Type { kLong = 0, kString = 1, kLongArr = 2, kStringArr = 3 };

  // Links the item into the list starting at *head: the first item stays
  // first, every later one goes directly after it (so A, B, C, D constructed
  // in that order give A, D, C, B). A null head links nothing.
  RConfigItemBase(RConfigItemBase** head, const char* section, const char* key, int type);
  virtual ~RConfigItemBase();

  RConfigItemBase(const RConfigItemBase&) = delete;
  RConfigItemBase& operator=(const RConfigItemBase&) = delete;

  int type;
  std::string section;
  std::string key;
  RConfigItemBase* next;
};

class RConfigItemLong : public RConfigItemBase {
 public:
  RConfigItemLong(RConfigItemBase** head, const char* section, const char* key, int def);

  int value;
  int defaultValue;
};

// Its section is always "main".
class RConfigItemString : public RConfigItemBase {
 public:
  RConfigItemString(RConfigItemBase** head, const char* key, const std::string& def);

  std::string value;
  std::string defaultValue;
};

// count entries under the keys key + suffixFormat formatted with the index
// (suffix at most 31 characters), e.g. "address" and "_%02d" give
// address_00, address_01, ...
class RConfigItemLongArr : public RConfigItemBase {
 public:
  RConfigItemLongArr(RConfigItemBase** head, const char* section, const char* key, int count,
                     int def, const char* suffixFormat);

  int count;
  std::string suffixFormat;
  int defaultValue;
  std::vector<int> values;
};

class RConfigItemStringArr : public RConfigItemBase {
 public:
  RConfigItemStringArr(RConfigItemBase** head, const char* section, const char* key, int count,
                       const std::string& def, const char* suffixFormat);

  int count;
  std::string suffixFormat;
  std::string defaultValue;
  std::vector<std::string> values;
};

// key followed by suffixFormat formatted with index; the suffix is cut at 31
// characters.
std::string ElementKey(const std::string& key, const std::string& suffixFormat, int index);

}  // namespace ccf
