#!/usr/bin/python3
"""Self-test of the gate simulator: the cipher against published Blowfish
vectors in the gate's byte order, the frame codec, the schemas, and sessions
with the real simulator process driven by a small client over loopback.
Run with /usr/bin/python3; the schema and session tests skip while the
repository has no interface/*/*.proto.
"""

import json
import os
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True

import gate_schemas  # noqa: E402
import gate_wire     # noqa: E402

INTERFACE = gate_schemas.default_interface_dir()
HAVE_SCHEMAS = bool(gate_schemas.proto_files(INTERFACE)) if os.path.isdir(INTERFACE) else False
needs_schemas = unittest.skipUnless(HAVE_SCHEMAS, "no schemas under interface/ yet")
DEADLINE = 10.0


def halves_reversed(block_hex):
    """The gate's view of a standard Blowfish block: each 4-byte half reversed."""
    b = bytes.fromhex(block_hex)
    return b[3::-1] + b[7:3:-1]


# Published Blowfish vectors (Eric Young's set): key, plaintext, ciphertext.
ECB_VECTORS = [
    ("0000000000000000", "0000000000000000", "4EF997456198DD78"),
    ("FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"),
    ("3000000000000000", "1000000000000001", "7D856F9A613063F2"),
    ("1111111111111111", "1111111111111111", "2466DD878B963C9D"),
    ("0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"),
    ("FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"),
]
# Key prefixes of this key, lengths 4 to 24 (the key schedule's cycling), plaintext FEDCBA9876543210.
SET_KEY = "F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677"
SET_KEY_VECTORS = {
    4: "BE1E639408640F05", 5: "B39E44481BDB1E6E", 6: "9457AA83B1928C0D", 7: "8BB77032F960629D",
    8: "E87A244E2CC85E82", 9: "15750E7A4F4EC577", 10: "122BA70B3AB64AE0", 11: "3A833C9AFFC537F6",
    12: "9409DA87A90F6BF2", 13: "884F80625060B8B4", 14: "1F85031C19E11968", 15: "79D9373A714CA34F",
    16: "93142887EE3BE15C", 17: "03429E838CE2D14B", 18: "A4299E27469FF67B", 19: "AFD5AED1C1BC96A8",
    20: "10851C0E3858DA9F", 21: "E6F51ED79B9DB21F", 22: "64A6E14AFD36B46F", 23: "80C7D7D45A5479AD",
    24: "05044B62FA52D080",
}


class CipherTest(unittest.TestCase):
    def test_published_vectors_in_gate_byte_order(self):
        cases = list(ECB_VECTORS) + [(SET_KEY[:2 * n], "FEDCBA9876543210", c)
                                     for n, c in SET_KEY_VECTORS.items()]
        for key, plain, cipher in cases:
            with self.subTest(key=key):
                c = gate_wire.GateCipher(bytes.fromhex(key))
                self.assertEqual(c.encrypt_blocks(halves_reversed(plain)), halves_reversed(cipher))
                self.assertEqual(c.decrypt_blocks(halves_reversed(cipher)), halves_reversed(plain))
        # One worked by hand: the gate block 67452301 EFCDAB89 under FEDCBA9876543210.
        c = gate_wire.GateCipher(bytes.fromhex("FEDCBA9876543210"))
        self.assertEqual(c.encrypt_blocks(bytes.fromhex("67452301EFCDAB89")).hex(), "0fabce0a8da2a0c6")

    def test_blocks_are_independent_and_padding_is_one_to_eight_bytes(self):
        c = gate_wire.GateCipher.from_encrypt_key(b"k3y")
        self.assertEqual(c.key_text, b"k3ylorx73@@")
        self.assertEqual(gate_wire.GateCipher.from_encrypt_key(None).key_text, b"lorx73@@")
        for size, pad in ((0, 8), (1, 7), (7, 1), (8, 8), (13, 3)):
            with self.subTest(size=size):
                plain = bytes(range(size))
                out = c.encrypt(plain)
                self.assertEqual(len(out), size + pad)
                self.assertEqual(c.decrypt_blocks(out), plain + bytes([pad]) * pad)
                self.assertEqual(c.decrypt(out), (plain, None))
        two = c.encrypt_blocks(b"ABCDEFGH" * 2)      # ECB: equal blocks, equal output
        self.assertEqual(two[:8], two[8:])

    def test_decrypt_keeps_what_the_client_would_keep_and_names_the_fault(self):
        c = gate_wire.GateCipher(b"0123456789abcdef")
        for tail in (b"\x00", b"\x09", b"\x03\x02"):
            plain = b"x" * (8 - len(tail)) + tail
            out, problem = c.decrypt(c.encrypt_blocks(plain))
            self.assertEqual(out, plain)
            self.assertIn("padding", problem)
        twelve = c.encrypt_blocks(b"ABCDEFGH") + b"WXYZ"
        out, problem = c.decrypt(twelve)
        self.assertEqual(out[:8], b"ABCDEFGH")
        self.assertEqual(out[8:], b"WXYZ")
        self.assertIn("multiple of 8", problem)
        self.assertIsNotNone(c.decrypt(b"")[1])
        with self.assertRaises(ValueError):
            gate_wire.GateCipher(b"k" * 57)


class FrameTest(unittest.TestCase):
    def test_layout(self):
        f = gate_wire.encode_frame(12, 0x0103, bytes(range(10)))
        self.assertEqual(len(f), 22)
        self.assertEqual(struct.unpack(">IH", f[:6]), (18, 6))
        self.assertEqual(f[6:12], b"ch\x00\x0c\x01\x03")
        ext = gate_wire.encode_frame(12, 1, b"B", ext=b"e" * 254)
        d = gate_wire.decode_frame(ext)
        self.assertEqual((d.hlen, d.kind, d.subid, d.ext, d.body), (260, 12, 1, b"e" * 254, b"B"))
        with self.assertRaises(ValueError):
            gate_wire.encode_frame(12, 1, b"", ext=b"e" * 255)

    def test_decoder_rejects_fields_that_do_not_fit(self):
        good = gate_wire.encode_frame(12, 7, b"\x10\x00")
        with self.assertRaisesRegex(gate_wire.FrameError, "does not match"):
            gate_wire.decode_frame(good + b"\x00")
        with self.assertRaisesRegex(gate_wire.FrameError, "does not fit"):
            gate_wire.decode_frame(gate_wire.encode_frame(12, 7, b"\x10\x00", hlen=9))
        with self.assertRaisesRegex(gate_wire.FrameError, "below 6"):
            gate_wire.decode_frame(gate_wire.encode_frame(12, 7, b"\x10\x00", hlen=4))

    def test_reader_cuts_a_stream_fed_in_any_pieces(self):
        a = gate_wire.encode_frame(12, 1, b"one")
        bad = gate_wire.encode_frame(12, 2, b"", hlen=40)
        b = gate_wire.encode_frame(12, 3, b"three" * 50)
        r = gate_wire.FrameReader()
        got = []
        for byte in a + bad + b:
            got += r.feed(bytes([byte]))
        self.assertEqual([(f.subid, f.body) if f else e[:6] for f, e in got],
                         [(1, b"one"), "header", (3, b"three" * 50)])
        r = gate_wire.FrameReader(max_frame=1000)
        got = r.feed(struct.pack(">I", 0xFFFFFFF0) + a)
        self.assertEqual(len(got), 1)
        self.assertIsNone(got[0][0])
        self.assertTrue(r.fatal)
        self.assertEqual(r.feed(a), [])


@needs_schemas
class SchemaTest(unittest.TestCase):
    def test_every_generated_module_imports_under_its_registered_name(self):
        s = gate_schemas.load(INTERFACE)
        self.assertEqual(sorted(s.modules), gate_schemas.proto_files(INTERFACE))
        for rel, mod in s.modules.items():
            self.assertEqual(mod.DESCRIPTOR.name, rel.replace(os.sep, "/"))

    def test_command_map_covers_every_package(self):
        s = gate_schemas.load(INTERFACE)
        by_kind = {}
        for kind, subid in s.commands:
            by_kind.setdefault(kind, []).append(subid)
        self.assertEqual(sorted(by_kind[12]), list(range(1, 9)))
        self.assertEqual(sorted(by_kind[13]), list(range(1, 13)) + [80, 81, 82, 83, 90])
        self.assertEqual(sorted(by_kind[14]), sorted(gate_schemas.MATCH_SUBIDS))
        self.assertEqual(sorted(by_kind[18]), [1, 2, 3, 4] + list(range(7, 18)))
        self.assertEqual(sorted(by_kind[23]), list(range(1, 7)))
        hello = s.build(s.message_class(kind=12, subid=7), {"ad_id": 0})
        self.assertEqual(hello.SerializeToString(), b"\x10\x00")


class Client:
    """A tiny gate client: frames, the cipher, and message decoding."""

    def __init__(self, port, schemas):
        self.s = schemas
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=DEADLINE)
        self.reader = gate_wire.FrameReader()
        self.pending = []
        self.cipher = None
        self.chunks = []

    def cls(self, name):
        return self.s.classes[name]

    def send(self, kind, subid, msg, cipher="current"):
        body = msg if isinstance(msg, bytes) else msg.SerializeToString()
        c = self.cipher if cipher == "current" else cipher
        self.sock.sendall(gate_wire.encode_frame(kind, subid, c.encrypt(body) if c else body))

    def transfer(self, apptype, appid, kind, subid, msg, cipher="current"):
        x = self.cls("bs.gate.TransferDataReq")(att_apptype=apptype, att_appid=appid, data_cmd_kind=kind,
                                                data_cmd_subid=subid, data=msg.SerializeToString())
        self.send(12, 3, x, cipher)

    def frame(self):
        while not self.pending:
            data = self.sock.recv(65536)
            if not data:
                raise EOFError
            self.chunks.append(len(data))
            self.pending += self.reader.feed(data)
        return self.pending.pop(0)[0]

    def recv(self):
        """(frame, plain body, message or None)."""
        f = self.frame()
        plain = f.body
        if self.cipher and (f.kind, f.subid) != (12, 8):
            plain, problem = self.cipher.decrypt(f.body)
            assert problem is None, problem
        cls = self.s.commands.get((f.kind, f.subid))
        msg = None
        if cls is not None:
            msg = cls()
            msg.ParseFromString(plain)
        return f, plain, msg

    def inner(self):
        f, _, x = self.recv()
        assert (f.kind, f.subid) == (12, 3), (f.kind, f.subid)
        m = self.s.commands[(x.data_cmd_kind, x.data_cmd_subid)]()
        m.ParseFromString(x.data)
        return x, m

    def hello(self):
        self.send(12, 7, b"\x10\x00")
        f, _, rsp = self.recv()
        assert (f.kind, f.subid) == (12, 8)
        if rsp.rsp_flag & 1:
            self.cipher = gate_wire.GateCipher.from_encrypt_key(rsp.encrypt_key)
        return rsp

    def close(self):
        self.sock.close()


class Sim:
    """The simulator as a process, with its control socket."""

    def __init__(self, *args):
        self.dir = tempfile.TemporaryDirectory()
        d = self.dir.name
        self.log = os.path.join(d, "log.jsonl")
        self.proc = subprocess.Popen(
            [sys.executable, os.path.join(HERE, "gate_sim.py"), "--port-file", d + "/port",
             "--control-port", "0", "--control-port-file", d + "/cport", "--log", self.log] + list(args))
        deadline = time.monotonic() + DEADLINE
        while not os.path.exists(d + "/cport"):
            if time.monotonic() > deadline or self.proc.poll() is not None:
                self.proc.kill()
                raise RuntimeError("simulator did not start")
            time.sleep(0.02)
        with open(d + "/port") as fh:
            self.port = int(fh.read())
        self.cport_file = d + "/cport"
        with open(self.cport_file) as fh:
            cport = int(fh.read())
        self.ctl_sock = socket.create_connection(("127.0.0.1", cport), timeout=DEADLINE + 5)
        self.ctl_file = self.ctl_sock.makefile("rw", encoding="utf-8")

    def ctl_send(self, **op):
        self.ctl_file.write(json.dumps(op) + "\n")
        self.ctl_file.flush()

    def ctl_reply(self):
        return json.loads(self.ctl_file.readline())

    def ctl(self, **op):
        self.ctl_send(**op)
        return self.ctl_reply()

    def ok(self, **op):
        reply = self.ctl(**op)
        assert reply["ok"], reply
        return reply

    def wait(self, what, **kw):
        return self.ok(op="wait", timeout_ms=DEADLINE * 1000, **{"for": what}, **kw)["event"]

    def stop(self):
        try:
            self.ctl(op="quit")
            self.proc.wait(DEADLINE)
        finally:
            if self.proc.poll() is None:
                self.proc.kill()
                self.proc.wait()
            self.ctl_file.close()
            self.ctl_sock.close()
        with open(self.log, encoding="utf-8") as fh:
            lines = [json.loads(line) for line in fh]     # every line is JSON
        self.dir.cleanup()
        return lines


@needs_schemas
class SessionTest(unittest.TestCase):
    def setUp(self):
        self.schemas = gate_schemas.load(INTERFACE)
        self.sims, self.clients = [], []

    def tearDown(self):
        for c in self.clients:
            c.close()
        for s in self.sims:
            if s.proc.poll() is None:
                s.stop()

    def start(self, *args):
        sim = Sim(*args)
        self.sims.append(sim)
        return sim

    def connect(self, sim):
        c = Client(sim.port, self.schemas)
        self.clients.append(c)
        return c

    def test_hello_login_and_pulses(self):
        sim = self.start("--token", "4242", "--nick", "玩家")
        c = self.connect(sim)
        rsp = c.hello()
        self.assertEqual((rsp.rsp_flag, rsp.login_token), (5, 4242))
        self.assertTrue(rsp.encrypt_key)
        ev = sim.wait("12/7")
        self.assertEqual((ev["cipher"], ev["wire_hex"], ev["fields"]), ("clear", "1000", {"ad_id": 0}))

        req = c.cls("bs.client.LoginReq")(login_account="alice", logon_token=4242, game_kind=502)
        c.transfer(7, 2, 13, 1, req)
        x, login = c.inner()
        self.assertEqual((x.att_apptype, x.att_appid, x.data_cmd_kind, x.data_cmd_subid), (7, 2, 13, 2))
        self.assertTrue(login.HasField("login_result"))
        self.assertEqual(login.login_result, 0)
        base = c.cls("bs.types.BaseUserInfo")()
        base.ParseFromString(login.base_info_buff)
        self.assertEqual((base.user_id, base.nick_name), (10001, "玩家"))
        extra = c.cls("bs.types.ExtraUserInfo")()
        extra.ParseFromString(login.extra_info_buff)
        self.assertEqual(extra.account, "alice")
        self.assertTrue(login.session_info_buff)
        ev = sim.wait("13/1")
        self.assertEqual(ev["cipher"], "key1")
        self.assertNotIn("stale", ev)
        self.assertEqual(ev["inner"]["fields"]["login_account"], "alice")
        self.assertEqual(ev["inner"]["fields"]["logon_token"], 4242)

        c.send(12, 1, c.cls("bs.gate.PulseReq")(my_speed=1, speed_data=77, attached_data=b"at"))
        f, _, pulse = c.recv()
        self.assertEqual((f.kind, f.subid, pulse.speed_data, pulse.attachd_data), (12, 2, 77, b"at"))
        c.send(12, 1, c.cls("bs.gate.PulseReq")(my_speed=2))
        f, _, pulse = c.recv()
        self.assertFalse(pulse.HasField("speed_data") or pulse.HasField("attachd_data"))

        sim.ok(op="pulse")
        f, _, own = c.recv()
        self.assertEqual((f.kind, f.subid), (12, 1))
        self.assertTrue(own.HasField("my_speed"))
        lines = sim.stop()
        self.assertEqual(lines[0]["ev"], "listen")
        self.assertIn("close", [e["ev"] for e in lines])

    def test_own_pulses_on_a_timer(self):
        sim = self.start("--pulse-every", "0.05", "--hello-flag", "0")
        c = self.connect(sim)
        c.hello()
        kinds = [(f.kind, f.subid) for f, _, _ in (c.recv(), c.recv())]
        self.assertEqual(kinds, [(12, 1), (12, 1)])

    def test_login_failure_and_hello_flags(self):
        sim = self.start("--hello-flag", "4", "--login-result", "3")
        c = self.connect(sim)
        rsp = c.hello()
        self.assertEqual(rsp.rsp_flag, 4)
        self.assertFalse(rsp.HasField("encrypt_key"))
        self.assertIsNone(c.cipher)
        c.transfer(7, 2, 13, 1, c.cls("bs.client.LoginReq")(logon_token=rsp.login_token))
        _, login = c.inner()
        self.assertEqual(login.login_result, 3)
        self.assertFalse(login.HasField("base_info_buff"))
        self.assertEqual(sim.wait("13/1")["cipher"], "clear")
        for flag, parts in ((0, ()), (1, ("encrypt_key",)), (7, ("encrypt_key", "login_token"))):
            sim.ok(op="hello", flag=flag)
            f, _, rsp = c.recv()
            self.assertEqual(((f.kind, f.subid), rsp.rsp_flag), ((12, 8), flag))
            self.assertEqual(tuple(n for n in ("encrypt_key", "login_token") if rsp.HasField(n)), parts)
            self.assertEqual(len(rsp.gate_address), 1 if flag & 2 else 0)
            if flag & 1:
                c.cipher = gate_wire.GateCipher.from_encrypt_key(rsp.encrypt_key)
        # An unknown login result still goes out, as field 1.
        sim.ok(op="login_rsp", result=12)
        _, login = c.inner()
        self.assertFalse(login.HasField("login_result"))
        self.assertIn(b"\x08\x0c", login.SerializeToString())
        # A key of the suffix alone: flag 1 without encrypt_key.
        sim.ok(op="hello", flag=1, key=None)
        f, _, rsp = c.recv()
        self.assertFalse(rsp.HasField("encrypt_key"))
        c.cipher = gate_wire.GateCipher.from_encrypt_key(None)
        c.send(12, 1, c.cls("bs.gate.PulseReq")(speed_data=5))
        self.assertEqual(c.recv()[2].speed_data, 5)

    def test_rekey_and_the_keys_the_simulator_accepts(self):
        sim = self.start("--key", "first")
        c = self.connect(sim)
        c.hello()
        old = c.cipher
        sim.ok(op="rekey", key="second")
        f, plain, rsp = c.recv()
        self.assertEqual((f.kind, f.subid, rsp.encrypt_key), (12, 8, b"second"))   # in clear
        c.cipher = gate_wire.GateCipher.from_encrypt_key(rsp.encrypt_key)
        mark = sim.ok(op="mark")["seq"]
        c.send(12, 1, c.cls("bs.gate.PulseReq")(speed_data=1))
        c.send(12, 1, c.cls("bs.gate.PulseReq")(speed_data=2), cipher=old)     # sent before the switch
        c.send(12, 1, c.cls("bs.gate.PulseReq")(speed_data=3), cipher=gate_wire.GateCipher(b"wrong-key"))
        c.send(12, 1, c.cls("bs.gate.PulseReq")(speed_data=4), cipher=None)
        evs = [sim.wait("12/1", after=mark, count=n) for n in (1, 2, 3, 4)]
        self.assertEqual([(e.get("cipher"), e.get("stale", False)) for e in evs],
                         [("key2", False), ("key1", True), (None, False), ("clear", True)])
        self.assertIn("undecipherable", evs[2]["error"])
        # Answers go out under the new key (the client's decrypt asserts clean padding).
        self.assertEqual([c.recv()[2].speed_data for _ in range(3)], [1, 2, 4])

    def test_scripted_commands_reach_the_client_as_built(self):
        sim = self.start()
        c = self.connect(sim)
        c.hello()
        sim.ok(op="transfer", kind=14, subid=15, apptype=13, appid=9, session=77,
               fields={"plan_id": 77, "exename": "game.exe", "match_id": 5})
        x, start = c.inner()
        self.assertEqual((x.att_apptype, x.att_appid, x.att_sessionid), (13, 9, 77))
        self.assertEqual((start.plan_id, start.exename, start.match_id), (77, "game.exe", 5))

        sim.ok(op="bundle", sequence=3, session=8, my_apptype=13, my_appid=4,
               entries=[{"kind": 13, "subid": 7, "fields": {"tips": "a"}},
                        {"kind": 99, "subid": 1, "data_hex": "0102"},
                        {"msg": "bs.client.MessagePrompt", "fields": {"tips": "c"}}],
               cmd_subid=[7, 1])
        x, packed = c.inner()
        self.assertEqual((x.data_cmd_kind, x.data_cmd_subid, x.att_apptype, x.att_appid), (13, 12, 13, 4))
        self.assertEqual((list(packed.cmd_kind), list(packed.cmd_subid), len(packed.cmd_data)),
                         ([13, 99, 13], [7, 1], 3))
        self.assertEqual(packed.cmd_data[1], b"\x01\x02")

        sim.ok(op="logout")
        x, logout = c.inner()
        self.assertEqual((x.data_cmd_subid, logout.logout_reason), (4, 1))

        sim.ok(op="send", kind=13, subid=2, fields={"login_result": "SUCCESS"})
        f, plain, msg = c.recv()
        self.assertEqual((f.kind, f.subid, msg.login_result), (13, 2, 0))
        sim.ok(op="send", subid=3, body_hex="ffffffffff")           # undecodable, enciphered
        f = c.frame()
        self.assertEqual(c.cipher.decrypt(f.body), (b"\xff" * 5, None))
        sim.ok(op="send", subid=3, body_hex="0a0b0c", encipher=False, mark="zz", ext_hex="abcd")
        f = c.frame()
        self.assertEqual((f.body, f.mark, f.ext), (b"\x0a\x0b\x0c", b"zz", b"\xab\xcd"))

        # Read while the pieces come in: the reply only comes once all are written.
        c.chunks.clear()
        sim.ctl_send(op="pulse", split=[3, 9], gap_ms=250)
        f, _, own = c.recv()
        self.assertTrue(sim.ctl_reply()["ok"])
        self.assertEqual((f.kind, f.subid), (12, 1))
        self.assertEqual(c.chunks[0], 3)      # the client was already waiting in recv

        sim.ok(op="send", subid=1, body_hex="", encipher=False, length=0xFFFFFFF0)
        head = c.sock.recv(4)
        self.assertEqual(head, b"\xff\xff\xff\xf0")

    def test_rules_for_the_match_round_trip(self):
        sim = self.start("--join-result", "0", "--match-start", "--plan-id", "31")
        c = self.connect(sim)
        c.hello()
        mc = lambda n: c.cls("bs.matchclient." + n)   # noqa: E731
        c.transfer(13, 7, 14, 3, mc("JoinReq")(withdraw=False))
        x, join = c.inner()
        self.assertEqual((x.data_cmd_subid, x.att_apptype, x.att_appid, x.att_sessionid), (4, 13, 7, 31))
        self.assertEqual((join.withdraw, join.result, join.plan_id), (False, 0, 31))
        x, start = c.inner()
        self.assertEqual((x.data_cmd_subid, start.plan_id), (15, 31))
        c.transfer(13, 7, 14, 3, mc("JoinReq")(withdraw=True))
        x, join = c.inner()
        self.assertEqual((x.data_cmd_subid, join.withdraw), (4, True))

        sim.ok(op="rule", on="18/13", once=True, do=[
            {"op": "transfer", "kind": 18, "subid": 14, "fields": {"plan_id": "$req.plan_id"}}])
        c.transfer(5, 2, 18, 13, c.cls("bs.hallclient.GetMatchDetailReq")(plan_id=66))
        x, detail = c.inner()
        self.assertEqual((x.data_cmd_kind, x.data_cmd_subid, x.att_apptype, detail.plan_id), (18, 14, 5, 66))

        # Silent: the pulse is logged but not answered; once we talk again the
        # next answer is for the second pulse, so the first was never answered.
        sim.ok(op="silent")
        c.send(12, 1, c.cls("bs.gate.PulseReq")(speed_data=1))
        sim.wait("12/1")
        sim.ok(op="silent", on=False)
        c.send(12, 1, c.cls("bs.gate.PulseReq")(speed_data=2))
        self.assertEqual(c.recv()[2].speed_data, 2)
        self.assertFalse(sim.ctl(op="wait", timeout_ms=1, **{"for": "nope"})["ok"])

    def test_closing_and_the_clients_bad_frames(self):
        sim = self.start()
        c = self.connect(sim)
        c.hello()
        sim.ok(op="rst")
        with self.assertRaises(ConnectionResetError):
            c.frame()
        self.assertEqual(sim.wait("close")["by"], "sim-rst")
        c2 = self.connect(sim)
        c2.hello()
        self.assertEqual(sim.wait("12/8", ev="send", conn=2)["key_gen"], 1)
        # Frames that do not fit, of another kind or of no known sub-id are
        # logged and skipped; the next one decodes.
        mark = sim.ok(op="mark")["seq"]
        c2.sock.sendall(gate_wire.encode_frame(12, 1, b"", hlen=50))
        c2.send(13, 1, c2.cls("bs.client.LoginReq")(login_account="x"))
        c2.send(12, 9, b"\x08\x01")
        c2.send(12, 1, c2.cls("bs.gate.PulseReq")(speed_data=9))
        self.assertEqual(c2.recv()[2].speed_data, 9)
        self.assertFalse(sim.wait("frame_error")["fatal"])
        kind13 = sim.wait("13/1", after=mark)
        self.assertEqual((kind13["warnings"], kind13["fields"]), (["kind is not 12"], {"login_account": "x"}))
        self.assertIn("no message", sim.wait("12/9", after=mark)["error"])
        sim.ok(op="fin")
        with self.assertRaises(EOFError):
            c2.frame()
        c3 = self.connect(sim)
        c3.sock.sendall(struct.pack(">I", 0x7FFFFFFF))
        with self.assertRaises(EOFError):
            c3.frame()
        self.assertTrue(sim.wait("frame_error", conn=3)["fatal"])


@needs_schemas
class CommandLineTest(unittest.TestCase):
    def test_script_and_wrapped_command(self):
        with tempfile.TemporaryDirectory() as d:
            script = os.path.join(d, "script.jsonl")
            with open(script, "w") as fh:
                fh.write('# wait for the login, then push a prompt and drop the link\n'
                         '{"op": "wait", "for": "13/1"}\n'
                         '{"op": "transfer", "kind": 13, "subid": 7, "fields": {"tips": "hi"}}\n'
                         '{"op": "rst"}\n')
            client = (
                "import os, sys; sys.path.insert(0, %r)\n"
                "import gate_schemas, test_gate_sim as t\n"
                "c = t.Client(int(os.environ['GATE_SIM_PORT']), gate_schemas.load(%r))\n"
                "c.hello()\n"
                "c.transfer(7, 2, 13, 1, c.cls('bs.client.LoginReq')())\n"
                "c.inner(); x, m = c.inner()\n"
                "assert m.tips == 'hi', m\n"
                "try:\n    c.frame()\nexcept ConnectionResetError:\n    sys.exit(7)\n"
            ) % (HERE, INTERFACE)
            log = os.path.join(d, "log")
            r = subprocess.run([sys.executable, os.path.join(HERE, "gate_sim.py"), "--script", script,
                                "--log", log, "--", sys.executable, "-c", client], timeout=60)
            self.assertEqual(r.returncode, 7)
            with open(log, encoding="utf-8") as fh:
                evs = [json.loads(line) for line in fh]
            self.assertIn("script_done", [e["ev"] for e in evs])
            self.assertEqual(evs[-1], dict(evs[-1], ev="exit", rc=7))

    def test_quit_when_the_driving_test_goes_away(self):
        sim = Sim("--quit-on-control-close")
        sim.ctl_file.close()
        sim.ctl_sock.close()
        self.assertEqual(sim.proc.wait(DEADLINE), 0)
        sim.dir.cleanup()

    def test_shell_control_client(self):
        sim = Sim()
        try:
            ctl = [sys.executable, os.path.join(HERE, "gate_sim_ctl.py"), "@" + sim.cport_file]
            r = subprocess.run(ctl + ['{"op": "status"}', '{"op": "mark"}'],
                               capture_output=True, text=True, timeout=30)
            self.assertEqual(r.returncode, 0, r.stderr)
            answers = [json.loads(line) for line in r.stdout.splitlines()]
            self.assertEqual([a["ok"] for a in answers], [True, True])
            self.assertEqual(answers[0]["port"], sim.port)
            r = subprocess.run(ctl + ['{"op": "rst"}'], capture_output=True, text=True, timeout=30)
            self.assertEqual(r.returncode, 1)
            self.assertIn("no open connection", r.stdout)
        finally:
            sim.stop()


if __name__ == "__main__":
    unittest.main()
