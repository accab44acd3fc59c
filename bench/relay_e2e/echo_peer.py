"""The relay benchmark's stand-in for the client, to price the driver and
the gate simulator alone: connects to the simulator (GATE_SIM_PORT), says
hello, and answers every command that carries a "sg:return:<kind>:<subid>:<hex>"
word at once with the frame the client would send for the game's answer
(kind and subid, body the hex bytes, enciphered), in one thread with
blocking sockets. What a round trip costs through it is what the driver and
the simulator cost; the rest of a relay round trip is the client's and the
game's.

    echo_peer.py            (started by gate_sim.py after "--")
"""
import os
import socket
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "..", "tools", "gate_sim"))
import gate_wire  # noqa: E402


def fields(data):
    """(number, value) of a protobuf message's varint and length fields."""
    i, out = 0, []
    while i < len(data):
        key, i = varint(data, i)
        number, wire = key >> 3, key & 7
        if wire == 0:
            value, i = varint(data, i)
        elif wire == 2:
            n, i = varint(data, i)
            value, i = data[i:i + n], i + n
        else:
            raise ValueError("wire type %d" % wire)
        out.append((number, value))
    return out


def varint(data, i):
    shift = value = 0
    while True:
        b = data[i]
        i += 1
        value |= (b & 0x7F) << shift
        shift += 7
        if not b & 0x80:
            return value, i


def main():
    sock = socket.create_connection(("127.0.0.1", int(os.environ["GATE_SIM_PORT"])))
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    reader = gate_wire.FrameReader()
    sock.sendall(gate_wire.encode_frame(12, 7))  # HelloReq, no fields
    cipher = None
    while True:
        chunk = sock.recv(65536)
        if not chunk:
            return 0
        for frame, error in reader.feed(chunk):
            if frame is None:
                sys.exit("echo_peer: %s" % error)
            if frame.kind != 12:
                continue
            if cipher is None:
                if frame.subid == 8:  # HelloRsp
                    key = dict(fields(frame.body)).get(3, b"")
                    cipher = gate_wire.GateCipher.from_encrypt_key(key)
                continue
            body, _ = cipher.decrypt(frame.body)
            if frame.subid != 3:
                continue
            data = dict(fields(body)).get(5, b"")
            if not data.startswith(b"sg:return:"):
                if data.startswith(b"sg:exit"):
                    return 0
                continue
            kind, subid, hexed = data[len(b"sg:return:"):].split(b":", 2)
            sock.sendall(gate_wire.encode_frame(int(kind), int(subid),
                                                cipher.encrypt(bytes.fromhex(hexed.decode()))))


if __name__ == "__main__":
    sys.exit(main())
