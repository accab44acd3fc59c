#include "netcore/config/program_config_load.h"

#include <algorithm>

#include "netcore/config/ini_file.h"

namespace ccf {

namespace {

size_t Entries(int count, size_t stored) {
  return count > 0 ? std::min(static_cast<size_t>(count), stored) : 0u;
}

void ReadItem(CIniFile& ini, RConfigItemBase* item) {
  switch (item->type) {
    case RConfigItemBase::kLong: {
      auto* it = static_cast<RConfigItemLong*>(item);
      it->value = ini.GetValueI(it->section, it->key, it->defaultValue);
      break;
    }
    case RConfigItemBase::kString: {
      auto* it = static_cast<RConfigItemString*>(item);
      it->value = ini.GetValue(it->section, it->key, it->defaultValue);
      break;
    }
    case RConfigItemBase::kLongArr: {
      auto* it = static_cast<RConfigItemLongArr*>(item);
      const size_t n = Entries(it->count, it->values.size());
      for (size_t i = 0; i < n; ++i)
        it->values[i] =
            ini.GetValueI(it->section, ElementKey(it->key, it->suffixFormat, static_cast<int>(i)),
                          it->defaultValue);
      break;
    }
    case RConfigItemBase::kStringArr: {
      auto* it = static_cast<RConfigItemStringArr*>(item);
      const size_t n = Entries(it->count, it->values.size());
      for (size_t i = 0; i < n; ++i)
        it->values[i] =
            ini.GetValue(it->section, ElementKey(it->key, it->suffixFormat, static_cast<int>(i)),
                         it->defaultValue);
      break;
    }
    default:
      break;  // unknown kinds are skipped
  }
}

}  // namespace

RProgramConfigLoad::RProgramConfigLoad(const char* name)
    : fileName(name ? name : ""), loaded(false), head(nullptr), tail(nullptr), loadResult(false) {}

RProgramConfigLoad::~RProgramConfigLoad() = default;

RConfigItemBase* RProgramConfigLoad::FirstItem() { return head; }

void RProgramConfigLoad::AddItem(RConfigItemBase* item) {
  if (!item) return;
  item->next = nullptr;
  if (!head) {
    head = tail = item;
    return;
  }
  if (!tail) {  // items linked by their constructors leave tail unset
    tail = head;
    while (tail->next) tail = tail->next;
  }
  tail->next = item;
  tail = item;
}

bool RProgramConfigLoad::OnLoaded(CIniFile*) { return true; }

bool RProgramConfigLoad::Load() {
  if (loaded) return loadResult;
  loaded = true;  // set first: a failed load is not tried again

  CIniFile ini("");
  ini.SetPath(fileName.c_str());
  if (!ini.ReadFile()) {
    loadResult = false;
    return false;
  }
  for (RConfigItemBase* item = head; item; item = item->next) ReadItem(ini, item);
  loadResult = OnLoaded(&ini);
  return loadResult;
}

}  // namespace ccf
