#include "platform/mfc/c_string.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

CString::CString(const wchar_t* text) {
  if (text == nullptr || *text == L'\0') return;
  const int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return;
  s_.resize(static_cast<size_t>(n));
  WideCharToMultiByte(CP_ACP, 0, text, -1, &s_[0], n, nullptr, nullptr);
  s_.resize(static_cast<size_t>(n - 1));
}

void CString::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (n < 0) {
    va_end(again);
    s_.clear();
    return;
  }
  std::vector<char> buf(static_cast<size_t>(n) + 1);
  std::vsnprintf(buf.data(), buf.size(), format, again);
  va_end(again);
  s_.assign(buf.data(), static_cast<size_t>(n));
}

BOOL CString::LoadString(UINT id) {
  // LoadStringW with a zero length hands out a pointer to the resource's
  // text itself (not terminated), so any length fits.
  const wchar_t* text = nullptr;
  const int n = LoadStringW(AfxGetResourceHandle(), id, reinterpret_cast<LPWSTR>(&text), 0);
  s_.clear();
  if (n <= 0 || text == nullptr) return FALSE;
  const int bytes = WideCharToMultiByte(CP_ACP, 0, text, n, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return FALSE;
  s_.resize(static_cast<size_t>(bytes));
  WideCharToMultiByte(CP_ACP, 0, text, n, &s_[0], bytes, nullptr, nullptr);
  return TRUE;
}

CString CString::Left(int count) const {
  if (count <= 0) return CString();
  return CString(s_.substr(0, static_cast<size_t>(count)));
}

CString CString::Mid(int first, int count) const {
  if (first < 0) first = 0;
  if (static_cast<size_t>(first) >= s_.size()) return CString();
  if (count < 0) return CString(s_.substr(static_cast<size_t>(first)));
  return CString(s_.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

int CString::Find(const char* sub, int start) const {
  if (sub == nullptr || start < 0) return -1;
  const size_t at = s_.find(sub, static_cast<size_t>(start));
  return at == std::string::npos ? -1 : static_cast<int>(at);
}

char* CString::GetBuffer(int minLength) {
  if (minLength < GetLength()) minLength = GetLength();
  s_.resize(static_cast<size_t>(minLength) + 1);
  return &s_[0];
}

void CString::ReleaseBuffer(int length) {
  if (length < 0 || static_cast<size_t>(length) > s_.size()) {
    length = static_cast<int>(std::strlen(s_.c_str()));
  }
  s_.resize(static_cast<size_t>(length));
}
