// Native stand-in for the ANSI code page: Latin-1.
#include "interface/hall/ansi_text.h"

namespace nfhall {

std::u16string AnsiToWide(const std::string& ansi) {
  std::u16string out;
  out.reserve(ansi.size());
  for (unsigned char c : ansi) out.push_back(static_cast<char16_t>(c));
  return out;
}

std::string WideToAnsi(const std::u16string& wide) {
  std::string out;
  for (size_t i = 0; i < wide.size(); ++i) {
    const char16_t u = wide[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] <= 0xDFFF) {
      ++i;  // one pair, one '?'
      out.push_back('?');
    } else {
      out.push_back(u <= 0xFF ? static_cast<char>(u) : '?');
    }
  }
  return out;
}

}  // namespace nfhall
