#include "interface/hall/ansi_text.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace nfhall {

namespace {

const char16_t kReplacement = 0xFFFD;

bool IsHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Length of the code point starting at `i` (1 or 2 units).
size_t CodePointUnits(const std::u16string& w, size_t i) {
  return (IsHigh(w[i]) && i + 1 < w.size() && IsLow(w[i + 1])) ? 2 : 1;
}

void AppendUnits(std::u16string& out, uint32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

}  // namespace

std::u16string Utf8ToWide(const std::string& utf8, size_t maxUnits) {
  std::u16string out;
  const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
  const size_t n = utf8.size();
  size_t i = 0;
  while (i < n) {
    uint32_t cp = kReplacement;
    size_t len = 1;
    const unsigned char c = s[i];
    size_t need = 0;
    uint32_t min = 0;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      need = 1, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      need = 2, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      need = 3, cp = c & 0x07, min = 0x10000;
    } else {
      cp = kReplacement;
    }
    if (need > 0) {
      size_t k = 1;
      for (; k <= need && i + k < n && (s[i + k] & 0xC0) == 0x80; ++k)
        cp = (cp << 6) | (s[i + k] & 0x3F);
      if (k <= need) {
        cp = kReplacement;  // truncated sequence: skip what was consumed
        len = k;
      } else {
        len = need + 1;
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
      }
    }
    const size_t units = cp >= 0x10000 ? 2 : 1;
    if (out.size() + units > maxUnits) break;
    AppendUnits(out, cp);
    i += len;
  }
  return out;
}

std::string WideToUtf8(const std::u16string& w) {
  std::string out;
  for (size_t i = 0; i < w.size();) {
    uint32_t cp = w[i];
    const size_t units = CodePointUnits(w, i);
    if (units == 2) {
      cp = 0x10000 + ((static_cast<uint32_t>(w[i]) - 0xD800) << 10) + (w[i + 1] - 0xDC00);
    } else if (IsHigh(w[i]) || IsLow(w[i])) {
      cp = kReplacement;
    }
    i += units;
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

std::string AnsiFieldToUtf8(const char* field, size_t width) {
  if (field == nullptr || width == 0) return std::string();
  // A zeroed copy one byte wider than the field: a full field still ends.
  std::vector<char> buf(width + 1, '\0');
  std::memcpy(buf.data(), field, width);
  const std::string ansi(buf.data(), std::strlen(buf.data()));
  if (ansi.empty()) return std::string();
  return WideToUtf8(AnsiToWide(ansi));
}

std::string Utf8ToAnsi(const std::string& utf8, size_t maxUnits, size_t maxBytes) {
  const std::u16string wide = Utf8ToWide(utf8, maxUnits);
  std::string out;
  // One character at a time, so a cut never splits a double-byte character.
  for (size_t i = 0; i < wide.size();) {
    const size_t units = CodePointUnits(wide, i);
    const std::string piece = WideToAnsi(wide.substr(i, units));
    if (out.size() + piece.size() > maxBytes) break;
    out += piece;
    i += units;
  }
  return out;
}

std::string Utf8ToAnsi(const std::string& utf8) { return WideToAnsi(Utf8ToWide(utf8)); }

}  // namespace nfhall
