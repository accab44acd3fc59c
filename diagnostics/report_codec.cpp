#include "diagnostics/report_codec.h"

#include "diagnostics/des_cipher.h"
#include "diagnostics/hex_codec.h"
#include "diagnostics/md5_checksum.h"

namespace diag {

const char kReportKey[9] = "Rk2WpdT5";
const char kConfigKey[9] = "q4tmuvzo";
const char kSigningKey[32] = "Hs4kPq9Zx2LmVbN7c3d081e5f6aYtR9";

std::string EncodeReportBody(const std::string& text) {
  if (text.empty() || text.size() > kMaxReportText) return std::string();
  CDesCipher cipher;
  cipher.SetKey(reinterpret_cast<const uint8_t*>(kReportKey));
  if (!cipher.Encipher(reinterpret_cast<const uint8_t*>(text.data()), text.size())) {
    return std::string();
  }
  // Whole blocks covering the text: a trailing all-zero block is not sent.
  size_t n = (text.size() + 7) / 8 * 8;
  return HexEncode(cipher.enciphered(), n);
}

std::string SignReport(int type, int64_t timespan) {
  std::string input = std::to_string(type) + std::to_string(timespan) + kSigningKey;
  CMD5Checksum md5;
  return md5.GetMD5(input.data(), input.size());
}

std::string BuildSubmitUrl(const std::string& submit_url, int type, int64_t timespan,
                           const std::string& sign) {
  return submit_url + "?type=" + std::to_string(type) + "&timespan=" + std::to_string(timespan) +
         "&sign=" + sign;
}

}  // namespace diag
