#include "diagnostics/answer_read.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// Bytes as CInternetFile::ReadString hands them out: up to a line feed
// (dropped) or `max` bytes. `filler` pieces of bare line feeds follow the
// bytes, counted as they are read.
struct WireAnswer {
  std::string bytes;
  size_t pos = 0;
  size_t filler_breaks = 0;
  size_t breaks_read = 0;

  bool Read(std::string* line, size_t max) {
    line->clear();
    if (pos == bytes.size()) {
      if (breaks_read == filler_breaks) return false;
      ++breaks_read;
      return true;
    }
    size_t avail = std::min(bytes.size() - pos, max);
    const void* nl = std::memchr(bytes.data() + pos, '\n', avail);
    if (nl) {
      size_t len = size_t(static_cast<const char*>(nl) - (bytes.data() + pos));
      line->assign(bytes, pos, len);
      pos += len + 1;
    } else {
      line->assign(bytes, pos, avail);
      pos += avail;
    }
    return true;
  }
  std::string ReadAll() {
    std::string response = "stale";
    diag::ReadAnswerLines([this](std::string* line, size_t max) { return Read(line, max); },
                          nullptr, &response);
    return response;
  }
};

std::string InLines(const std::string& text, size_t width) {
  std::string out;
  for (size_t i = 0; i < text.size(); i += width) out += text.substr(i, width) + "\n";
  return out;
}

// Every configuration answer within its limit (8191 bytes: 16382 hex digits)
// is read whole, in lines of any length; an answer of bare line breaks stops
// at the cap on what is received; a longer text at the text cap.
TEST(AnswerRead, LegalAnswersWholeAndBreaksBounded) {
  const std::string digits(2 * 8191, 'A');
  for (size_t width : {size_t(1), size_t(64), size_t(1024), size_t(5000), digits.size()}) {
    SCOPED_TRACE(width);
    WireAnswer wire{InLines(digits, width)};
    EXPECT_EQ(wire.ReadAll(), digits);
  }
  WireAnswer mid{InLines(std::string(16136, 'B'), 64)};  // was cut to 16133 digits
  EXPECT_EQ(mid.ReadAll().size(), 16136u);

  WireAnswer breaks{std::string(), 0, size_t(64) << 20};
  EXPECT_EQ(breaks.ReadAll(), "");
  EXPECT_LE(breaks.breaks_read, diag::kMaxAnswerReceived);

  WireAnswer page{std::string(100000, 'x') + "\n"};
  EXPECT_EQ(page.ReadAll().size(), diag::kMaxAnswerBytes);
  EXPECT_LT(page.pos, diag::kMaxAnswerBytes + 1024);
}

}  // namespace
