#include "diagnostics/answer_read.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

// Reads `wire` as CInternetFile::ReadString does (up to a line feed, which
// is dropped, or `max` bytes), then `breaks` bare line feeds; counts reads.
std::string ReadAll(const std::string& wire, size_t breaks = 0, size_t* reads = nullptr) {
  size_t pos = 0, calls = 0;
  std::string response;
  diag::ReadAnswerLines(
      [&](std::string* line, size_t max) {
        ++calls;
        size_t end = std::min({wire.find('\n', pos), wire.size(), pos + max});
        line->assign(wire, pos, end - pos);
        if (pos == wire.size()) return breaks > 0 && breaks-- > 0;
        pos = end < wire.size() && wire[end] == '\n' ? end + 1 : end;
        return true;
      },
      nullptr, &response);
  if (reads) *reads = calls;
  return response;
}

std::string InLines(const std::string& text, size_t width) {
  std::string out;
  for (size_t i = 0; i < text.size(); i += width) out += text.substr(i, width) + "\n";
  return out;
}

// Every configuration answer within its limit (8191 bytes: 16382 hex digits)
// is read whole, in lines of any length (16136 digits in 64-digit lines were
// cut to 16133); bare line breaks stop at the cap on what is received; a
// longer text at the text cap.
TEST(AnswerRead, LegalAnswersWholeAndBreaksBounded) {
  const std::string digits(2 * 8191, 'A');
  for (size_t width : {size_t(1), size_t(64), size_t(1024), digits.size()}) {
    EXPECT_EQ(ReadAll(InLines(digits, width)), digits) << width;
  }
  EXPECT_EQ(ReadAll(InLines(std::string(16136, 'B'), 64)).size(), 16136u);
  size_t reads = 0;
  EXPECT_EQ(ReadAll("", size_t(64) << 20, &reads), "");
  EXPECT_LE(reads, diag::kMaxAnswerReceived + 1);
  EXPECT_EQ(ReadAll(std::string(100000, 'x')).size(), diag::kMaxAnswerBytes);
}

}  // namespace
