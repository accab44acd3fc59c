// CMD5Encrypt: the MD5 digest (RFC 1321) of a text as 32 lowercase hex
// digits, exported by Zintal.dll. Static operations only.
// Thread safety: any thread.
#pragma once

#include "common_services/include/zintal/zintal_api.h"

// What this header declares has Zintal.dll's layout whatever packing the
// includer has set; the compiler and libstdc++ settings a caller shares:
// zintal_api.h.
#pragma pack(push, 8)

class ZINTAL_API CMD5Encrypt {
 public:
  // Digest of the bytes of `text` up to its NUL (a null text reads as empty);
  // `output` receives 32 lowercase hex digits and a NUL, 33 bytes, nothing
  // more. A null output is left alone.
  static void EncryptData(const char* text, char output[33]);

  CMD5Encrypt& operator=(const CMD5Encrypt& other);

 private:
  CMD5Encrypt();
};

ZINTAL_ABI_SIZE(CMD5Encrypt, 1);

#pragma pack(pop)
