"""Gate link wire format for the simulator: length-prefixed frames and the
Blowfish body cipher, written against Cryptodome so that a fault in the
client's own codec cannot hide behind the same fault here.

Frame layout (all multi-byte fields big-endian):

    offset  width  field
    0       4      L: bytes after this field, L = 2 + H + body length
    4       2      H: header length, 6 + extension length
    6       1      mark0 ("c" from the client)
    7       1      mark1 ("h" from the client)
    8       2      kind (12 on the gate link)
    10      2      sub-id
    12      H-6    extension (0 to 254 bytes)
    6+H     L-H-2  body, enciphered once the session key exists

Body cipher: Blowfish-ECB under "encrypt_key" + "lorx73@@", with the gate's
byte order: each 4-byte half of every 8-byte block is byte-reversed before the
standard Blowfish block function and the output halves are reversed back.
Padding: n = 8 - len % 8 (8 when already aligned) bytes, each of value n.
"""

import struct

from Cryptodome.Cipher import Blowfish

KEY_SUFFIX = b"lorx73@@"
FRAME_PREFIX = 4
FIXED_HEADER = 6          # H without an extension
MAX_EXTENSION = 254


class FrameError(ValueError):
    """A frame whose length fields do not fit together."""


def _swap_halves(data):
    """Reverse the bytes of every 4-byte word; len(data) is a multiple of 8."""
    n = len(data) // 4
    return struct.pack(">%dI" % n, *struct.unpack("<%dI" % n, data))


class GateCipher:
    """One session key. Cryptodome takes 4 to 56 key bytes, so the key text
    (encrypt_key plus the suffix) may be 8 to 56 bytes long here."""

    def __init__(self, key_text):
        key_text = bytes(key_text)
        if not 4 <= len(key_text) <= 56:
            raise ValueError("key text must be 4 to 56 bytes, got %d" % len(key_text))
        self.key_text = key_text
        self._ecb = Blowfish.new(key_text, Blowfish.MODE_ECB)

    @classmethod
    def from_encrypt_key(cls, encrypt_key):
        return cls(bytes(encrypt_key or b"") + KEY_SUFFIX)

    def encrypt_blocks(self, data):
        return _swap_halves(self._ecb.encrypt(_swap_halves(bytes(data))))

    def decrypt_blocks(self, data):
        return _swap_halves(self._ecb.decrypt(_swap_halves(bytes(data))))

    def encrypt(self, plain):
        plain = bytes(plain)
        n = 8 - len(plain) % 8
        return self.encrypt_blocks(plain + bytes([n]) * n)

    def decrypt(self, data):
        """Deciphers as the client does and says what a well-formed sender
        would not have produced. Returns (plain, problem); problem is None for
        a body of whole blocks with consistent padding. Bytes after the last
        whole block are kept as given and inconsistent padding is left in."""
        data = bytes(data)
        whole = len(data) - len(data) % 8
        out = self.decrypt_blocks(data[:whole]) + data[whole:]
        problem = None
        if len(data) == 0:
            problem = "empty enciphered body"
        elif whole != len(data):
            problem = "length %d is not a multiple of 8" % len(data)
        if out:
            n = out[-1]
            if 1 <= n <= 8 and out[-n:] == bytes([n]) * n:
                return out[:-n], problem
            problem = problem or "bad padding (last byte 0x%02x)" % n
        return out, problem


def encode_frame(kind, subid, body=b"", ext=b"", mark=b"ch", length=None, hlen=None):
    """Builds one frame. length and hlen replace the computed L and H, for
    frames that are meant to be wrong."""
    ext = bytes(ext)
    body = bytes(body)
    if len(ext) > MAX_EXTENSION:
        raise ValueError("extension of %d bytes does not fit" % len(ext))
    mark = bytes(mark)
    if len(mark) != 2:
        raise ValueError("mark must be 2 bytes")
    h = FIXED_HEADER + len(ext) if hlen is None else hlen
    l = 2 + FIXED_HEADER + len(ext) + len(body) if length is None else length
    return (struct.pack(">IH", l & 0xFFFFFFFF, h & 0xFFFF) + mark
            + struct.pack(">HH", kind & 0xFFFF, subid & 0xFFFF) + ext + body)


class Frame:
    __slots__ = ("hlen", "mark", "kind", "subid", "ext", "body")

    def __init__(self, hlen, mark, kind, subid, ext, body):
        self.hlen, self.mark, self.kind, self.subid = hlen, mark, kind, subid
        self.ext, self.body = ext, body


def decode_frame(frame):
    """Parses one whole frame (prefix included). Stricter than the client's
    decoder: a header length below 6 is an error too."""
    frame = bytes(frame)
    if len(frame) < FRAME_PREFIX + 2:
        raise FrameError("frame of %d bytes is too short" % len(frame))
    l, h = struct.unpack_from(">IH", frame, 0)
    if l + FRAME_PREFIX != len(frame):
        raise FrameError("length field %d does not match %d frame bytes" % (l, len(frame)))
    if h + 2 > l:
        raise FrameError("header length %d does not fit length %d" % (h, l))
    if h < FIXED_HEADER:
        raise FrameError("header length %d is below 6" % h)
    kind, subid = struct.unpack_from(">HH", frame, 8)
    return Frame(h, frame[6:8], kind, subid, frame[12:6 + h], frame[6 + h:])


class FrameReader:
    """Cuts a byte stream into frames by the length prefix. feed() returns a
    list of (frame, error) pairs, one of them None; after a fatal error
    (a length above max_frame) the stream cannot be resynchronised and
    `fatal` is set."""

    def __init__(self, max_frame=1 << 20):
        self.max_frame = max_frame
        self.buf = bytearray()
        self.fatal = None

    def feed(self, data):
        out = []
        if self.fatal:
            return out
        self.buf += data
        while len(self.buf) >= FRAME_PREFIX:
            (l,) = struct.unpack_from(">I", self.buf, 0)
            if l > self.max_frame:
                self.fatal = "length field %d exceeds the limit %d" % (l, self.max_frame)
                out.append((None, self.fatal))
                break
            if len(self.buf) < FRAME_PREFIX + l:
                break
            raw = bytes(self.buf[:FRAME_PREFIX + l])
            del self.buf[:FRAME_PREFIX + l]
            try:
                out.append((decode_frame(raw), None))
            except FrameError as e:
                out.append((None, str(e)))
        return out
