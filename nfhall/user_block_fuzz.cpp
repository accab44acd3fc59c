// libFuzzer target for the lobby's 300-byte user block decoded into the gate
// session's login data: any bytes, a full field without its NUL, a short
// input (zero-filled). Each text stays within its field.
// Built in the fuzz tree and run by scripts/fuzz.sh.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "nfhall/user_block.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  NFHallUserInfo info;
  std::memset(&info, 0, sizeof info);
  std::memcpy(&info, data, std::min(size, sizeof info));
  const bsc::LoginUser user = nfhall::DecodeUserInfo(info);
  if (user.passwordDigest.size() > sizeof info.password) {
    std::fprintf(stderr, "property broken: digest longer than its field\n");
    std::abort();
  }
  return 0;
}
