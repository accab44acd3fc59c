// Frame codec of the gate link: moves one length-prefixed frame into and out
// of a bs::CMDNetwork_DataMessage (its PacketHeader and body). The
// connection manager cuts the stream at the length prefix; the network agent
// encodes before sending and decodes every received frame.
// Thread safety: pure functions; any thread.
//
// Frame layout, every multi-byte field big-endian:
//
// | offset | width     | field         | content                                    |
// |--------|-----------|---------------|--------------------------------------------|
// | 0      | 4         | length L      | u32: bytes after this field, 2 + H + body  |
// | 4      | 2         | header len H  | u16: 6 + extension length                  |
// | 6      | 1         | mark0         | 0x63 'c' in every frame the client sends   |
// | 7      | 1         | mark1         | 0x68 'h' in every frame the client sends   |
// | 8      | 2         | kind          | u16 command kind (12 on the gate link)     |
// | 10     | 2         | sub-id        | u16 command sub-id                         |
// | 12     | H - 6     | extension     | 0 to 254 bytes                             |
// | 6 + H  | L - H - 2 | body          | encoded message, enciphered or clear       |
//
// A whole frame is L + 4 bytes.
#pragma once

#include <string>

#include "netcore/command/network_commands.h"

// Replaces *out with the frame of cmd and returns its length. An extension of
// 255 bytes or more does not fit H's range and is left out (H = 6).
int EncodePacket(std::string* out, const bs::CMDNetwork_DataMessage& cmd);

// Parses one whole frame of len bytes into cmd's header and body. False (cmd
// untouched) when data is null or len negative, when len is not L + 4, when
// the frame is shorter than its 12 fixed bytes (L < 8), or when H + 2 > L.
// The marks are stored, never checked. An H outside 7..260 carries no
// extension: those bytes are skipped and the extension is left as it was.
bool DecodePacket(const unsigned char* data, int len, bs::CMDNetwork_DataMessage* cmd);
