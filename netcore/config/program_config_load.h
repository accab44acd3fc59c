// Base of every settings class: names the INI file, holds the list of the
// class's configuration items (config_item.h) and reads the file once into
// them through CIniFile.
//
// Thread safety: Load and the items' values belong to the owning thread
// until loading is done; afterwards the values may be read from any thread.
// Ownership: the items are members of the derived class; the list does not
// own them.
#pragma once

#include <string>

#include "netcore/config/config_item.h"

class CIniFile;

namespace ccf {

class ItfBaseItemProvider {
 public:
  // Slot order: FirstItem, AddItem, destructor, OnLoaded.
  virtual RConfigItemBase* FirstItem() = 0;
  virtual void AddItem(RConfigItemBase* item) = 0;
  virtual ~ItfBaseItemProvider() = default;
  // Called by Load after every item has been read; its result is Load's.
  virtual bool OnLoaded(CIniFile* ini) = 0;
};

class RProgramConfigLoad : public ItfBaseItemProvider {
 public:
  explicit RProgramConfigLoad(const char* fileName);
  ~RProgramConfigLoad() override;

  RProgramConfigLoad(const RProgramConfigLoad&) = delete;
  RProgramConfigLoad& operator=(const RProgramConfigLoad&) = delete;

  RConfigItemBase* FirstItem() override;
  // Appends at the end of the list (the items' own constructors link
  // differently; see RConfigItemBase).
  void AddItem(RConfigItemBase* item) override;
  bool OnLoaded(CIniFile* ini) override;

  // Reads the file and fills every item; items whose key is missing keep
  // their defaults. Runs once: later calls read nothing and give the first
  // call's result, so a file that could not be read never turns into a
  // success.
  bool Load();

  const std::string& FileName() const { return fileName; }

 protected:
  // Derived classes construct their items with &head.
  std::string fileName;
  bool loaded;
  RConfigItemBase* head;
  RConfigItemBase* tail;
  bool loadResult;
};

}  // namespace ccf
