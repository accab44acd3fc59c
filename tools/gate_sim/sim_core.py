"""The simulator's engine: one asyncio loop that accepts gate connections,
cuts and deciphers the client's frames, logs each as a JSON line, fires the
reaction rules, and runs the operations that the control socket, the script
file and the rules ask for (the operations themselves are in sim_actions).

Thread safety: everything runs on the loop's thread; nothing here is shared
with other threads.
"""

import asyncio
import gc
import json
import os
import re
import socket
import struct
import sys
import time

import gate_wire
import sim_actions

KEYS_KEPT = 3        # the newest key and two before it (or "clear") are tried
HEX_LOGGED = 512     # body bytes shown as hex in a log line
CONTROL_LINE_MAX = 16 << 20


class SimError(Exception):
    pass


class HopNotes:
    """With Q_SIM_HOP_TRACE=<file>, a note (raw monotonic clock in 100 ns
    ticks, the clock Wine's QueryPerformanceCounter reads) each time a gate
    frame leaves or arrives, in the hop trace's format (netcore/port/hop_trace.h),
    so the relay benchmark sees the simulator's part of a round trip apart
    from the client's."""

    def __init__(self, path):
        self.file = open(path, "w") if path else None

    def note(self, name):
        if self.file is not None:
            ticks = time.clock_gettime_ns(time.CLOCK_MONOTONIC_RAW) // 100
            self.file.write("%d 0 %s\n" % (ticks, name))
            self.file.flush()


HOPS = HopNotes(os.environ.get("Q_SIM_HOP_TRACE"))


class Ctx:
    """What an operation runs for: the session and the received request that
    triggered it (a rule), or nothing (control socket, script)."""

    def __init__(self, session=None, req=None, xfer=None):
        self.session, self.req, self.xfer = session, req, xfer


class Session:
    def __init__(self, sim, conn_id, reader, writer):
        self.sim, self.id = sim, conn_id
        self.reader, self.writer = reader, writer
        self.peer = "%s:%d" % writer.get_extra_info("peername")[:2]
        self.keys = [(0, None)]      # newest first: (generation, cipher or None = clear)
        self.key_gen = 0
        self.token = None
        self.open = True
        self.close_reason = None
        self.lock = asyncio.Lock()
        self.tasks = set()

    @property
    def send_cipher(self):
        return self.keys[0][1]

    def push_key(self, cipher):
        self.key_gen += 1
        self.keys.insert(0, (self.key_gen, cipher))
        del self.keys[KEYS_KEPT:]

    def cipher_name(self):
        return "key%d" % self.key_gen if self.send_cipher else "clear"

    async def send(self, kind, subid, plain, log, encipher=None, then=None, **frame_opts):
        """Enciphers (by default whenever a key exists, never a hello answer),
        frames, writes and logs one body. `then` runs under the write lock right
        after the write, so no frame slips between a hello answer and its key."""
        async with self.lock:
            if not self.open:
                raise SimError("connection %d is closed" % self.id)
            if encipher is None:
                encipher = self.send_cipher is not None and (kind, subid) != (12, 8)
            if encipher and self.send_cipher is None:
                raise SimError("no key to encipher with")
            body = self.send_cipher.encrypt(plain) if encipher else bytes(plain)
            frame = gate_wire.encode_frame(
                kind, subid, body, ext=bytes.fromhex(frame_opts.get("ext_hex", "")),
                mark=frame_opts.get("mark", "ch").encode("latin-1"),
                length=frame_opts.get("length"), hlen=frame_opts.get("hlen"))
            log.update(conn=self.id, kind=kind, subid=subid, len=len(body),
                       cipher=self.cipher_name() if encipher else "clear")
            await self._write(frame, frame_opts.get("split"), frame_opts.get("gap_ms"))
            if then:
                then()
            self.sim.emit(dict(ev="send", **log))

    async def send_raw(self, data, split=None, gap_ms=None):
        async with self.lock:
            if not self.open:
                raise SimError("connection %d is closed" % self.id)
            await self._write(data, split, gap_ms)
            self.sim.emit(dict(ev="send", conn=self.id, raw_hex=data[:HEX_LOGGED].hex(), len=len(data)))

    async def _write(self, data, split, gap_ms):
        pieces = cut(data, split)
        gap = (20 if gap_ms is None else gap_ms) / 1000.0
        for i, piece in enumerate(pieces):
            if i and gap > 0:
                await asyncio.sleep(gap)
            self.writer.write(piece)
            HOPS.note("sim: frame written")
            await self.writer.drain()

    async def close(self, how):
        async with self.lock:
            if not self.open:
                raise SimError("connection %d is closed" % self.id)
            self.close_reason = "sim-" + how
            self.open = False
            if how == "rst":
                sock = self.writer.get_extra_info("socket")
                sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                self.writer.transport.abort()
            else:
                self.writer.close()


def cut(data, split):
    """split: None (whole), an int (pieces of at most that many bytes) or a
    list of offsets to cut at."""
    if not split:
        return [data]
    if isinstance(split, int):
        return [data[i:i + split] for i in range(0, len(data), split)] or [data]
    offsets = [0] + sorted(o for o in split if 0 < o < len(data)) + [len(data)]
    return [data[a:b] for a, b in zip(offsets, offsets[1:]) if b > a]


class Rule:
    def __init__(self, desc):
        self.on = desc.get("on")
        if self.on != "accept" and not re.fullmatch(r"\d+/\d+", str(self.on)):
            raise SimError("a rule's 'on' is \"K/S\" or \"accept\", not %r" % (self.on,))
        self.cond = desc.get("if") or {}
        self.do = desc.get("do") or []
        self.once = bool(desc.get("once"))
        if not isinstance(self.do, list):
            raise SimError("a rule's 'do' is a list of operations")

    def matches(self, keys, ctx):
        if self.on not in keys:
            return False
        for name, want in self.cond.items():
            src = ctx.req
            if name.startswith("xfer."):
                src, name = ctx.xfer, name[5:]
            if src is None or not hasattr(src, name) or sim_actions.plain_value(getattr(src, name)) != want:
                return False
        return True

    def desc(self):
        d = {"on": self.on, "do": self.do}
        if self.cond:
            d["if"] = self.cond
        if self.once:
            d["once"] = True
        return d


class GateSim:
    def __init__(self, schemas, log_stream, host="127.0.0.1", max_frame=1 << 20,
                 defaults=None):
        self.schemas = schemas
        self.log_stream = log_stream
        self.host = host
        self.max_frame = max_frame
        self.defaults = defaults or {}
        self.sessions = {}
        self.next_conn = 1
        self.rules = []             # highest precedence first
        self.silent = False
        self.history = []
        self.seq = 0
        self.t0 = time.monotonic()
        self._changed = asyncio.Event()
        self.stopping = asyncio.Event()
        self.port = None
        self.control_port = None
        self.tasks = set()
        self.quit_on_control_close = False

    # -- events

    def now(self):
        return round(time.monotonic() - self.t0, 3)

    def emit(self, ev):
        self.seq += 1
        ev = dict(seq=self.seq, t=self.now(), **ev)
        self.history.append(ev)
        if len(self.history) > 100000:
            del self.history[:10000]
        if self.seq % 1000 == 0:
            # The history is long-lived and free of cycles: keep it out of the
            # collector's full passes, which otherwise pause the simulator for
            # tens of ms late in a long run (the relay benchmark sees them as
            # round trips over 20 ms). Frozen entries are still freed when
            # trimmed, by their reference counts; frozen cyclic garbage never
            # is, so the young generations (cheap to scan) are collected first.
            gc.collect(1)
            gc.freeze()
        if self.log_stream:
            try:
                self.log_stream.write(json.dumps(ev, ensure_ascii=False) + "\n")
                self.log_stream.flush()
            except (OSError, ValueError):   # the reader of our log went away
                self.log_stream = None
        self._changed.set()
        self._changed = asyncio.Event()
        return ev

    def since(self, after):
        """The events numbered above `after`. Numbers run on by one and the
        history is trimmed only at its front, so this costs what it returns,
        not the length of the history (a long benchmark run's waits stay as
        quick at the end as at the start)."""
        if not self.history:
            return []
        return self.history[max(0, after + 1 - self.history[0]["seq"]):]

    async def wait_event(self, pred, after, count, timeout):
        deadline = time.monotonic() + timeout
        while True:
            found = [e for e in self.since(after) if pred(e)]
            if len(found) >= count:
                return found[count - 1]
            left = deadline - time.monotonic()
            if left <= 0:
                raise SimError("timed out after %.1f s, %d of %d seen" % (timeout, len(found), count))
            changed = self._changed
            try:
                await asyncio.wait_for(changed.wait(), left)
            except asyncio.TimeoutError:
                pass

    def spawn(self, coro, owner=None):
        task = asyncio.get_running_loop().create_task(coro)
        holder = owner.tasks if owner is not None else self.tasks
        holder.add(task)
        task.add_done_callback(holder.discard)
        return task

    # -- rules and operations

    def add_rule(self, desc):
        rule = Rule(desc)
        self.rules = [r for r in self.rules if not (r.on == rule.on and r.cond == rule.cond)]
        self.rules.insert(0, rule)

    def fire(self, keys, ctx):
        if self.silent:
            return
        for rule in self.rules:
            if rule.matches(keys, ctx):
                if rule.once:
                    self.rules.remove(rule)
                if rule.do:
                    self.spawn(self.run_actions(rule.do, ctx), ctx.session)
                return

    async def run_actions(self, actions, ctx):
        for op in actions:
            try:
                await self.execute(op, ctx)
            except Exception as e:   # a failed reaction is logged, the link carries on
                self.emit(dict(ev="error", op=op.get("op") if isinstance(op, dict) else None,
                               error=describe(e)))
                return

    async def execute(self, op, ctx):
        if not isinstance(op, dict) or "op" not in op:
            raise SimError("an operation is a JSON object with an 'op' member")
        fn = sim_actions.OPS.get(op["op"])
        if fn is None:
            raise SimError("unknown op %r" % op["op"])
        args = sim_actions.substitute(op, ctx) if op["op"] != "rule" else op
        return await fn(self, args, ctx) or {}

    def pick_session(self, args, ctx):
        if "conn" in args:
            s = self.sessions.get(args["conn"])
            if s is None or not s.open:
                raise SimError("connection %s is not open" % args["conn"])
            return s
        if ctx.session is not None:
            if not ctx.session.open:
                raise SimError("connection %d is closed" % ctx.session.id)
            return ctx.session
        live = [s for s in self.sessions.values() if s.open]
        if not live:
            raise SimError("no open connection")
        return live[-1]

    # -- the gate listener

    async def start(self, port, control_port=None):
        self.server = await asyncio.start_server(self._serve, self.host, port)
        self.port = self.server.sockets[0].getsockname()[1]
        if control_port is not None:
            self.control = await asyncio.start_server(self._control, "127.0.0.1", control_port,
                                                      limit=CONTROL_LINE_MAX)
            self.control_port = self.control.sockets[0].getsockname()[1]
        self.emit(dict(ev="listen", port=self.port, control_port=self.control_port))

    async def stop(self):
        self.server.close()
        if self.control_port is not None:
            self.control.close()
        for s in list(self.sessions.values()):
            if s.open:
                try:
                    await s.close("fin")
                except SimError:
                    pass
            for t in list(s.tasks):
                t.cancel()
        for t in list(self.tasks):
            t.cancel()

    async def _serve(self, reader, writer):
        writer.get_extra_info("socket").setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        sess = Session(self, self.next_conn, reader, writer)
        self.next_conn += 1
        self.sessions[sess.id] = sess
        self.emit(dict(ev="accept", conn=sess.id, peer=sess.peer))
        self.fire({"accept"}, Ctx(sess))
        every = self.defaults.get("pulse_every")
        if every:
            self.spawn(self._pulses(sess, every), sess)
        frames = gate_wire.FrameReader(self.max_frame)
        by = "peer-fin"
        try:
            while sess.open:
                data = await reader.read(65536)
                if not data:
                    break
                HOPS.note("sim: bytes read")
                for frame, error in frames.feed(data):
                    if frame is None:
                        self.emit(dict(ev="frame_error", conn=sess.id, error=error,
                                       fatal=bool(frames.fatal)))
                    else:
                        try:
                            self._on_frame(sess, frame)
                        except Exception as e:   # a frame we cannot describe must not end the session
                            self.emit(dict(ev="error", conn=sess.id, error="receive: " + describe(e)))
                if frames.fatal:
                    await sess.close("fin")
                    break
        except (ConnectionResetError, BrokenPipeError):
            by = "peer-rst"
        except (OSError, SimError):
            pass
        finally:
            if sess.open:
                sess.open = False
                writer.close()
            self.emit(dict(ev="close", conn=sess.id, by=sess.close_reason or by))
            for t in list(sess.tasks):
                if t is not asyncio.current_task():
                    t.cancel()

    async def _pulses(self, sess, every):
        while sess.open:
            await asyncio.sleep(every)
            if sess.open and not self.silent:
                try:
                    await self.execute({"op": "pulse"}, Ctx(sess))
                except SimError:
                    return

    def _on_frame(self, sess, frame):
        ev, ctx = sim_actions.decode_received(self, sess, frame)
        self.emit(ev)
        keys = set()
        if ev["kind"] == 12:    # commands of other kinds count only inside a transfer
            keys.add("%d/%d" % (ev["kind"], ev["subid"]))
        inner = ev.get("inner")
        if inner is not None and "error" not in inner:   # no answer to what did not decode
            keys.add("%d/%d" % (inner["kind"], inner["subid"]))
        if ctx is not None:
            self.fire(keys, ctx)

    # -- the control socket: one JSON object a line in, one JSON answer a line out

    async def _control(self, reader, writer):
        try:
            while True:
                line = await reader.readline()
                if not line:
                    break
                if not line.strip():
                    continue
                try:
                    op = json.loads(line)
                    result = await self.execute(op, Ctx())
                    reply = dict(ok=True, **result)
                except Exception as e:
                    reply = dict(ok=False, error=describe(e))
                writer.write((json.dumps(reply, ensure_ascii=False) + "\n").encode())
                await writer.drain()
        except (ConnectionError, OSError):
            pass
        except ValueError:    # a line above CONTROL_LINE_MAX: nothing sensible to resume
            writer.write(b'{"ok": false, "error": "control line too long"}\n')
        finally:
            writer.close()
            if self.quit_on_control_close:
                self.stopping.set()

    async def run_script(self, ops):
        for n, op in ops:
            try:
                await self.execute(op, Ctx())
            except Exception as e:
                self.emit(dict(ev="script_error", line=n, error=describe(e)))
                return
        self.emit(dict(ev="script_done"))


def describe(e):
    return "%s: %s" % (type(e).__name__, e) if not isinstance(e, SimError) else str(e)


def read_script(path):
    """A script is JSON objects one a line; blank lines and lines starting
    with '#' are skipped."""
    ops = []
    with open(path, encoding="utf-8") as fh:
        for n, line in enumerate(fh, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            try:
                ops.append((n, json.loads(line)))
            except ValueError as e:
                raise SimError("%s:%d: %s" % (path, n, e))
    return ops


def log_to(path):
    if path in (None, "-"):
        return sys.stdout
    return open(path, "w", encoding="utf-8", buffering=1)
