#include "netcore/config/ini_file.h"

#include <cerrno>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <utility>

namespace {

const std::vector<std::string>& EmptyList() {
  static const std::vector<std::string> empty;
  return empty;
}

std::string FromC(const char* s) { return s ? std::string(s) : std::string(); }

bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// printf-style formatting into a string of whatever length it needs: a huge
// double under "%f" runs to hundreds of digits.
template <typename T>
std::string Format(const char* fmt, T v) {
  char small[64];
  int n = std::snprintf(small, sizeof small, fmt, v);
  if (n < 0) return std::string();
  if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
  std::string big(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(&big[0], big.size(), fmt, v);
  big.resize(static_cast<size_t>(n));
  return big;
}

}  // namespace

CIniFile::CIniFile(std::string p) : caseInsensitive(false), path(std::move(p)) {}

CIniFile::~CIniFile() = default;

void CIniFile::SetPath(const char* p) { path = FromC(p); }

int CIniFile::GetInt(const char* section, const char* name, int def) {
  return GetValueI(FromC(section), FromC(name), def);
}

bool CIniFile::GetBool(const char* section, const char* name, bool def) {
  return GetValueI(FromC(section), FromC(name), def ? 1 : 0) == 1;
}

double CIniFile::GetDouble(const char* section, const char* name, double def) {
  return GetValueF(FromC(section), FromC(name), def);
}

void CIniFile::Release() { delete this; }

// The bytes are taken as they stand: nothing here depends on a locale, so the
// reader leaves the process-wide locales alone (other threads may be using
// them). Binary mode keeps Windows' text mode from ending the read at a
// Ctrl-Z byte; carriage returns before the line feed are removed below, so
// CRLF and LF files read the same in both trees.
bool CIniFile::ReadFile() {
  std::ifstream in(path, std::ios::in | std::ios::binary);
  if (!in.is_open()) return false;

  std::string current;
  std::string line;
  while (std::getline(in, line)) ParseLine(line, current);
  return !names.empty();
}

void CIniFile::ParseLine(std::string& line, std::string& current) {
  if (line.empty()) return;
  if (line.back() == '\r') line.pop_back();
  if (line.empty()) return;

  // The first marker decides what the line is, whatever stands before it.
  const size_t p = line.find_first_of(";#[=");
  if (p == std::string::npos) return;

  switch (line[p]) {
    case ';':
    case '#': {
      std::string comment = line.substr(p + 1);
      if (names.empty())
        HeaderComment(comment);
      else
        KeyComment(current, comment);
      break;
    }
    case '[': {
      const size_t q = line.rfind(']');
      if (q == std::string::npos || q < p) return;
      current = Trim(line.substr(p + 1, q - p - 1));
      AddKeyName(current);
      break;
    }
    default:  // '='
      SetValue(current, Trim(line.substr(0, p)), Trim(line.substr(p + 1)), true);
      break;
  }
}

int CIniFile::FindKey(const std::string& section) const {
  const std::string wanted = CheckCase(section);
  for (size_t i = 0; i < names.size(); ++i)
    if (CheckCase(names[i]) == wanted) return static_cast<int>(i);
  return -1;
}

int CIniFile::FindValue(int keyIndex, const std::string& name) const {
  if (!ValidKey(keyIndex)) return -1;
  const std::string wanted = CheckCase(name);
  const std::vector<std::string>& list = keys[static_cast<size_t>(keyIndex)].names;
  for (size_t i = 0; i < list.size(); ++i)
    if (CheckCase(list[i]) == wanted) return static_cast<int>(i);
  return -1;
}

int CIniFile::AddKeyName(const std::string& section) {
  names.push_back(section);
  keys.emplace_back();
  return static_cast<int>(names.size() - 1);
}

bool CIniFile::SetValue(const std::string& section, const std::string& name,
                        const std::string& value, bool create) {
  const std::string trimmed = Trim(name);
  int k = FindKey(section);
  if (k < 0) {
    if (!create) return false;
    k = AddKeyName(section);
  }
  Key& key = keys[static_cast<size_t>(k)];
  const int v = FindValue(k, trimmed);
  if (v >= 0) {
    key.values[static_cast<size_t>(v)] = value;
    return true;
  }
  if (!create) return false;
  key.names.push_back(trimmed);
  key.values.push_back(value);
  return true;
}

std::string CIniFile::GetValue(const std::string& section, const std::string& name,
                               const std::string& def) const {
  const int k = FindKey(section);
  if (k < 0) return def;
  const int v = FindValue(k, name);
  if (v < 0) return def;
  return keys[static_cast<size_t>(k)].values[static_cast<size_t>(v)];
}

// The default goes through its text form, so a missing value reads exactly
// as a file holding that text would.
int CIniFile::GetValueI(const std::string& section, const std::string& name, int def) const {
  return ParseInt(GetValue(section, name, Format("%d", def)));
}

double CIniFile::GetValueF(const std::string& section, const std::string& name, double def) const {
  return ParseDouble(GetValue(section, name, Format("%f", def)));
}

// Same grammar as atoi (leading white space, one sign, decimal digits, the
// rest ignored) but defined on overflow: the result clamps to the int range.
int CIniFile::ParseInt(const std::string& text) {
  const char* s = text.c_str();  // stops at the first NUL, as atoi would
  while (IsCSpace(*s)) ++s;
  bool negative = false;
  if (*s == '+' || *s == '-') negative = (*s++ == '-');
  const char* end = s;
  while (*end >= '0' && *end <= '9') ++end;
  if (end == s) return 0;

  unsigned long long magnitude = 0;
  const std::from_chars_result r = std::from_chars(s, end, magnitude);
  const unsigned long long limit = negative ? static_cast<unsigned long long>(INT_MAX) + 1u
                                            : static_cast<unsigned long long>(INT_MAX);
  if (r.ec == std::errc::result_out_of_range || magnitude > limit)
    return negative ? INT_MIN : INT_MAX;
  if (negative) return magnitude == limit ? INT_MIN : -static_cast<int>(magnitude);
  return static_cast<int>(magnitude);
}

// atof's grammar through strtod, whose overflow is defined: a result out of
// range clamps to the largest finite double of its sign.
double CIniFile::ParseDouble(const std::string& text) {
  const char* s = text.c_str();
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(s, &end);
  if (end == s) return 0.0;
  if (errno == ERANGE && (v > DBL_MAX || v < -DBL_MAX)) return v > 0 ? DBL_MAX : -DBL_MAX;
  return v;
}

void CIniFile::HeaderComment(const std::string& comment) { comments.push_back(comment); }

bool CIniFile::KeyComment(int keyIndex, const std::string& comment) {
  if (!ValidKey(keyIndex)) return false;
  keys[static_cast<size_t>(keyIndex)].comments.push_back(comment);
  return true;
}

bool CIniFile::KeyComment(const std::string& section, const std::string& comment) {
  const int k = FindKey(section);
  if (k < 0) return false;
  return KeyComment(k, comment);
}

// ASCII only, so the comparison never depends on a locale and bytes of
// UTF-8 names pass through untouched.
std::string CIniFile::CheckCase(std::string s) const {
  if (!caseInsensitive) return s;
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string CIniFile::Trim(std::string s) {
  size_t end = s.size();
  while (end > 0 && (s[end - 1] == ' ' || s[end - 1] == '\t')) --end;
  s.resize(end);
  const size_t nul = s.find('\0');
  if (nul != std::string::npos) s.resize(nul);
  const size_t begin = s.find_first_not_of(" \t");
  if (begin == std::string::npos) return std::string();
  return s.substr(begin);
}

const std::vector<std::string>& CIniFile::ValueNames(int keyIndex) const {
  return ValidKey(keyIndex) ? keys[static_cast<size_t>(keyIndex)].names : EmptyList();
}

const std::vector<std::string>& CIniFile::Values(int keyIndex) const {
  return ValidKey(keyIndex) ? keys[static_cast<size_t>(keyIndex)].values : EmptyList();
}

const std::vector<std::string>& CIniFile::KeyComments(int keyIndex) const {
  return ValidKey(keyIndex) ? keys[static_cast<size_t>(keyIndex)].comments : EmptyList();
}
