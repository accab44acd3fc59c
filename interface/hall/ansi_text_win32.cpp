// The system ANSI code page (CP_ACP) through the Windows conversions.
#include "interface/hall/ansi_text.h"

#include <climits>
#include <vector>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace nfhall {

std::u16string AnsiToWide(const std::string& ansi) {
  if (ansi.empty() || ansi.size() >= static_cast<size_t>(INT_MAX)) return std::u16string();
  const int srcLen = static_cast<int>(ansi.size());
  const int need = MultiByteToWideChar(CP_ACP, 0, ansi.data(), srcLen, nullptr, 0);
  if (need <= 0) return std::u16string();
  std::vector<wchar_t> buf(static_cast<size_t>(need));
  const int got = MultiByteToWideChar(CP_ACP, 0, ansi.data(), srcLen, buf.data(), need);
  if (got <= 0) return std::u16string();
  return std::u16string(reinterpret_cast<const char16_t*>(buf.data()), static_cast<size_t>(got));
}

std::string WideToAnsi(const std::u16string& wide) {
  if (wide.empty() || wide.size() >= static_cast<size_t>(INT_MAX)) return std::string();
  const auto* src = reinterpret_cast<const wchar_t*>(wide.data());
  const int srcLen = static_cast<int>(wide.size());
  const int need = WideCharToMultiByte(CP_ACP, 0, src, srcLen, nullptr, 0, nullptr, nullptr);
  if (need <= 0) return std::string();
  std::vector<char> buf(static_cast<size_t>(need));
  const int got = WideCharToMultiByte(CP_ACP, 0, src, srcLen, buf.data(), need, nullptr, nullptr);
  if (got <= 0) return std::string();
  return std::string(buf.data(), static_cast<size_t>(got));
}

}  // namespace nfhall
