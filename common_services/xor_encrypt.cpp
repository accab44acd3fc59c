// CXOREncrypt: the hex text format is in the header.
#include "common_services/include/zintal/xor_encrypt.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr char kDigits[] = "0123456789abcdef";
constexpr unsigned kGroup = 5;
// A longer text cannot be measured in the 16 bits the format allows.
constexpr size_t kMaxHexLength = 0xFFFF;

void PutHex(char* at, unsigned byte) {
  at[0] = kDigits[(byte >> 4) & 0xF];
  at[1] = kDigits[byte & 0xF];
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The byte of the two hex digits at `at`, or -1.
int ReadPair(const char* at) {
  const int high = HexValue(at[0]);
  const int low = high < 0 ? -1 : HexValue(at[1]);
  return low < 0 ? -1 : high * 16 + low;
}

}  // namespace

CXOREncrypt::CXOREncrypt() = default;

CXOREncrypt& CXOREncrypt::operator=(const CXOREncrypt&) = default;

uint16_t CXOREncrypt::EncryptData(const char* text, char* output, uint16_t output_size) {
  if (output == nullptr) output_size = 0;
  if (output_size > 0) output[0] = '\0';
  const unsigned length = text != nullptr ? std::strlen(text) % 256 : 0;
  unsigned char key[kGroup] = {static_cast<unsigned char>(length)};
  for (unsigned i = 1; i < kGroup; ++i) key[i] = static_cast<unsigned char>(std::rand() % 255);

  const unsigned n = (length + kGroup - 1) / kGroup * kGroup;
  if (output_size < 4 * n + 1) return static_cast<uint16_t>(4 * n + 1);

  for (unsigned j = 0; j < n; ++j) {
    const unsigned k = key[j % kGroup];
    const unsigned c =
        j < length ? static_cast<unsigned char>(text[j]) ^ k : k ^ (std::rand() % 255);
    PutHex(output + 4 * j, k);
    PutHex(output + 4 * j + 2, c);
  }
  output[4 * n] = '\0';
  return static_cast<uint16_t>(4 * n);
}

uint16_t CXOREncrypt::CrevasseData(const char* hex_text, char* output, uint16_t output_size) {
  if (output == nullptr) output_size = 0;
  if (output_size > 0) output[0] = '\0';
  if (hex_text == nullptr) return 0;
  size_t size = 0;
  while (size <= kMaxHexLength && hex_text[size] != '\0') ++size;
  if (size < 4 * kGroup || size > kMaxHexLength) return 0;

  const int length = ReadPair(hex_text);
  if (length < 0 || size != (length + kGroup - 1) / kGroup * 4 * kGroup) return 0;
  if (output_size < length + 1) return static_cast<uint16_t>(length);

  // Every digit that is read must be one, before anything is written.
  for (int i = 0; i < length; ++i) {
    if (ReadPair(hex_text + 4 * i) < 0 || ReadPair(hex_text + 4 * i + 2) < 0) return 0;
  }
  for (int i = 0; i < length; ++i) {
    output[i] = static_cast<char>(ReadPair(hex_text + 4 * i) ^ ReadPair(hex_text + 4 * i + 2));
  }
  output[length] = '\0';
  return static_cast<uint16_t>(length);
}
