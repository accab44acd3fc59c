// CString: the framework's text, a byte string in the system ANSI code page
// (the multi-byte build; the modules' window texts are ANSI), with the
// operations the system's modules call on.
// Thread safety: a value type; one object per thread, like std::string.
// Ownership: owns its bytes.
#pragma once

#include <string>

#include "platform/mfc/mfc_types.h"

// Zintal.dll's exported classes derive from and hold these classes, so their
// layout does not follow the includer's packing (see
// common_services/include/zintal/zintal_api.h).
#pragma pack(push, 8)

class CString {
 public:
  CString() = default;
  CString(const char* text) : s_(text != nullptr ? text : "") {}  // NOLINT: as MFC
  CString(const char* text, int length) : s_(text != nullptr ? std::string(text, length) : "") {}
  CString(const std::string& text) : s_(text) {}  // NOLINT
  // UTF-16 text converted to the ANSI code page.
  CString(const wchar_t* text);  // NOLINT

  int GetLength() const { return static_cast<int>(s_.size()); }
  bool IsEmpty() const { return s_.empty(); }
  void Empty() { s_.clear(); }
  const char* GetString() const { return s_.c_str(); }
  operator const char*() const { return s_.c_str(); }  // NOLINT: as MFC
  const std::string& str() const { return s_; }
  char GetAt(int i) const { return s_.at(static_cast<size_t>(i)); }

  // printf-style; the result replaces the text.
  void Format(const char* format, ...);
  // The string resource `id` of this module; false (text emptied) when absent.
  BOOL LoadString(UINT id);

  CString Left(int count) const;
  CString Mid(int first, int count = -1) const;
  int Find(const char* sub, int start = 0) const;

  // A writable buffer of at least `minLength` characters (plus the ending
  // NUL); ReleaseBuffer takes the length from the first NUL, or `length`.
  char* GetBuffer(int minLength);
  void ReleaseBuffer(int length = -1);

  CString& operator=(const char* text) {
    s_ = text != nullptr ? text : "";
    return *this;
  }
  CString& operator+=(const CString& other) {
    s_ += other.s_;
    return *this;
  }
  CString& operator+=(const char* text) {
    if (text != nullptr) s_ += text;
    return *this;
  }
  CString& operator+=(char c) {
    s_ += c;
    return *this;
  }
  friend CString operator+(const CString& a, const CString& b) { return CString(a.s_ + b.s_); }
  friend CString operator+(const CString& a, const char* b) { return a + CString(b); }
  friend CString operator+(const char* a, const CString& b) { return CString(a) + b; }
  friend bool operator==(const CString& a, const CString& b) { return a.s_ == b.s_; }
  friend bool operator!=(const CString& a, const CString& b) { return a.s_ != b.s_; }
  friend bool operator==(const CString& a, const char* b) { return a.s_ == (b ? b : ""); }
  friend bool operator!=(const CString& a, const char* b) { return !(a == b); }
  friend bool operator<(const CString& a, const CString& b) { return a.s_ < b.s_; }

 private:
  std::string s_;
};

#pragma pack(pop)
