// libFuzzer target for the gate link's frame codec and body cipher: any
// bytes as a received frame decode to a defined outcome, a decoded frame
// encodes back to the same bytes (when its header length is the one the
// encoder writes), fields chosen by the input survive encode then decode,
// and the cipher deciphers anything and gives back what it enciphered.
// Native only; built in the fuzz tree and run by scripts/fuzz.sh.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "netcore/net/blowfish.h"
#include "netcore/net/packet_codec.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
  }
}

bool SameFields(const bs::CMDNetwork_DataMessage& a, const bs::CMDNetwork_DataMessage& b) {
  return a.header.mark0 == b.header.mark0 && a.header.mark1 == b.header.mark1 &&
         a.header.kind == b.header.kind && a.header.subid == b.header.subid &&
         a.header.extension == b.header.extension && a.body == b.body;
}

// The input as a received frame.
void DecodeAsFrame(const uint8_t* data, size_t size) {
  bs::CMDNetwork_DataMessage got;
  if (!DecodePacket(data, int(size), &got)) return;
  Check(size >= 12, "a frame shorter than its fixed bytes decoded");
  const uint16_t hlen = uint16_t(data[4] << 8 | data[5]);
  std::string again;
  const int n = EncodePacket(&again, got);
  Check(n == int(again.size()), "encode reports another length than it wrote");
  bs::CMDNetwork_DataMessage back;
  Check(DecodePacket(reinterpret_cast<const unsigned char*>(again.data()), n, &back),
        "an encoded frame does not decode");
  Check(SameFields(got, back), "decode(encode(frame)) changed a field");
  // Header lengths 7..260 carry their extension; then the frame is rebuilt
  // byte for byte.
  if (hlen >= 7 && hlen <= 260) {
    Check(again == std::string(reinterpret_cast<const char*>(data), size),
          "a frame with an extension does not encode back to its bytes");
  }
}

// The input as the fields of a frame to send.
void RoundTripFields(const uint8_t* data, size_t size) {
  if (size < 7) return;
  bs::CMDNetwork_DataMessage cmd;
  cmd.header.mark0 = data[0];
  cmd.header.mark1 = data[1];
  cmd.header.kind = uint16_t(data[2] << 8 | data[3]);
  cmd.header.subid = uint16_t(data[4] << 8 | data[5]);
  const size_t ext = std::min<size_t>(data[6], size - 7);
  cmd.header.extension.assign(reinterpret_cast<const char*>(data + 7), ext);
  cmd.body.assign(reinterpret_cast<const char*>(data + 7 + ext), size - 7 - ext);
  std::string wire;
  const int n = EncodePacket(&wire, cmd);
  bs::CMDNetwork_DataMessage back;
  Check(DecodePacket(reinterpret_cast<const unsigned char*>(wire.data()), n, &back),
        "an encoded frame does not decode");
  if (ext >= 255) cmd.header.extension.clear();  // left out by the encoder
  Check(SameFields(cmd, back), "encode then decode changed a field");
}

// The body cipher under a key taken from the input.
void Cipher(const uint8_t* data, size_t size) {
  if (size < 1) return;
  const size_t klen = std::min<size_t>(data[0] % 57, size - 1);
  CBlowfish bf;
  bf.SetKey(reinterpret_cast<const char*>(data + 1), unsigned(klen));
  const std::vector<char> body(data + 1 + klen, data + size);
  (void)bf.Decrypt(body);  // arbitrary bytes from the wire: never fails
  const std::vector<char> sealed = bf.Encrypt(body);
  Check(sealed.size() % 8 == 0 && sealed.size() > body.size(), "padding length");
  Check(bf.Decrypt(sealed) == body, "decrypt(encrypt(body)) != body");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DecodeAsFrame(data, size);
  RoundTripFields(data, size);
  Cipher(data, size);
  return 0;
}
