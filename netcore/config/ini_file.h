// CIniFile: reads an INI file ("[section]" headers, "name=value" lines,
// ";"/"#" comments) into memory and answers typed look-ups on it. It never
// writes a file. The configuration loader (program_config_load.h) is its user.
//
// Thread safety: one thread at a time per object; no lock. Reading touches
// neither the global C++ locale nor the C locale, so it may run while other
// threads work.
// Ownership: the object owns its tables; Release() deletes the object.
#pragma once

#include <string>
#include <vector>

class CIniFile {
 public:
  explicit CIniFile(std::string path = std::string());

  // Slot order matters to peers that reach the object through its vtable.
  virtual void SetPath(const char* path);
  virtual int GetInt(const char* section, const char* name, int def);
  // True only when the value's leading integer is exactly 1.
  virtual bool GetBool(const char* section, const char* name, bool def);
  virtual double GetDouble(const char* section, const char* name, double def);
  virtual void Release();
  virtual ~CIniFile();

  CIniFile(const CIniFile&) = delete;
  CIniFile& operator=(const CIniFile&) = delete;

  // Reads the file named by the path and adds what it finds to the tables
  // (they are not cleared first). True when the object then holds at least
  // one section; false when the file cannot be opened.
  bool ReadFile();

  int FindKey(const std::string& section) const;
  int FindValue(int keyIndex, const std::string& name) const;
  int AddKeyName(const std::string& section);
  bool SetValue(const std::string& section, const std::string& name, const std::string& value,
                bool create);

  std::string GetValue(const std::string& section, const std::string& name,
                       const std::string& def) const;
  // Leading integer of the value (or of the default); 0 when none parses,
  // clamped to the int range on overflow.
  int GetValueI(const std::string& section, const std::string& name, int def) const;
  // Leading floating-point number; 0 when none parses, clamped to the
  // finite double range on overflow.
  double GetValueF(const std::string& section, const std::string& name, double def) const;

  void HeaderComment(const std::string& comment);
  bool KeyComment(int keyIndex, const std::string& comment);
  bool KeyComment(const std::string& section, const std::string& comment);

  std::string CheckCase(std::string s) const;
  // Strips spaces and tabs (only those) at both ends; the text is cut at its
  // first NUL after the trailing blanks are gone. No length limit.
  static std::string Trim(std::string s);

  // Read-only views for callers that walk the tables.
  size_t NumKeys() const { return names.size(); }
  const std::vector<std::string>& KeyNames() const { return names; }
  const std::vector<std::string>& HeaderComments() const { return comments; }
  // Names, values and comments of section keyIndex; empty when out of range.
  const std::vector<std::string>& ValueNames(int keyIndex) const;
  const std::vector<std::string>& Values(int keyIndex) const;
  const std::vector<std::string>& KeyComments(int keyIndex) const;

  // Bounded conversions shared with the getters, exposed for the tests.
  static int ParseInt(const std::string& text);
  static double ParseDouble(const std::string& text);

 private:
  struct Key {
    std::vector<std::string> names;
    std::vector<std::string> values;
    std::vector<std::string> comments;
  };

  bool ValidKey(int keyIndex) const {
    return keyIndex >= 0 && static_cast<size_t>(keyIndex) < keys.size();
  }
  void ParseLine(std::string& line, std::string& current);

  bool caseInsensitive;
  std::string path;
  std::vector<Key> keys;  // parallel to names
  std::vector<std::string> names;
  std::vector<std::string> comments;
};
