#include "gateclient/dialog_text.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <utility>

namespace bsc {

std::wstring Utf8ToWide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int n =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
  return wide;
}

std::wstring AnsiToWide(const std::string& ansi) {
  if (ansi.empty()) return std::wstring();
  const int n =
      ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0], n);
  return wide;
}

std::string CutAnsi(std::string ansi, size_t maxBytes) {
  if (ansi.size() <= maxBytes) return ansi;
  size_t i = 0;
  while (i < ansi.size()) {
    const size_t step = ::IsDBCSLeadByte(static_cast<BYTE>(ansi[i])) && i + 1 < ansi.size() ? 2 : 1;
    if (i + step > maxBytes) break;
    i += step;
  }
  ansi.resize(i);
  return ansi;
}

std::string WideToAnsi(const std::wstring& wide, size_t maxBytes) {
  if (wide.empty()) return std::string();
  const int n = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string ansi(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &ansi[0], n, nullptr,
                        nullptr);
  return CutAnsi(std::move(ansi), maxBytes);
}

std::wstring PaneLine(const std::string& ansi) {
  std::wstring line = AnsiToWide(ansi);
  line.erase(std::remove(line.begin(), line.end(), L'\0'), line.end());
  line += L"\r\n";
  return line;
}

}  // namespace bsc
