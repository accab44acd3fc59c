"""The simulator's operations (hello, pulses, login answer, transfers, bundles,
raw and malformed frames, closing, rules, waits) and the decoding of what the
client sends into log lines. Each operation is `async op(sim, args, ctx)` and
returns a dict that the control socket sends back; sim_core runs them.

Thread safety: loop thread only, like sim_core.
"""

import asyncio
import base64
import random
import string
import time

from google.protobuf import json_format
from google.protobuf.message import DecodeError

import gate_wire
import sim_core

HEX_LOGGED = 512
LOGIN_APP = (7, 2)         # where the client sends its login and the answer comes from
PACKED = (13, 12)


# -- values and templates

def plain_value(v):
    """A field value as JSON would carry it in a rule's condition or a template."""
    if isinstance(v, bytes):
        return base64.b64encode(v).decode()
    if hasattr(v, "DESCRIPTOR"):
        return json_format.MessageToDict(v, preserving_proto_field_name=True)
    if isinstance(v, (list, tuple)) or type(v).__name__.startswith("Repeated"):
        return [plain_value(x) for x in v]
    return v


def substitute(value, ctx):
    """Replaces "$req.<field>" and "$xfer.<field>" strings by the field of the
    triggering request (the inner command of a transfer) or of its transfer."""
    if isinstance(value, dict):
        return {k: (v if k == "do" else substitute(v, ctx)) for k, v in value.items()}
    if isinstance(value, list):
        return [substitute(v, ctx) for v in value]
    if isinstance(value, str) and value.startswith(("$req.", "$xfer.")):
        src_name, field = value[1:].split(".", 1)
        src = ctx.req if src_name == "req" else ctx.xfer
        if src is None or not hasattr(src, field):
            raise sim_core.SimError("%s: no such field in the triggering request" % value)
        return plain_value(getattr(src, field))
    return value


def varint(n):
    n &= (1 << 64) - 1
    out = bytearray()
    while True:
        b = n & 0x7F
        n >>= 7
        if n:
            out.append(b | 0x80)
        else:
            out.append(b)
            return bytes(out)


# -- decoding what the client sends

def _hex(data):
    return data[:HEX_LOGGED].hex()


def _parse(cls, data):
    msg = cls()
    msg.ParseFromString(bytes(data))
    return msg


def decode_command(schemas, kind, subid, data):
    """A carried command as a log dict, and its message when it decoded."""
    d = {"kind": kind, "subid": subid}
    cls = schemas.commands.get((kind, subid))
    if cls is None:
        d.update(error="no message for command %d/%d" % (kind, subid), data_hex=_hex(data))
        return d, None
    try:
        msg = _parse(cls, data)
    except (DecodeError, ValueError) as e:
        d.update(msg=cls.DESCRIPTOR.full_name, error="does not parse: %s" % e, data_hex=_hex(data))
        return d, None
    d.update(msg=cls.DESCRIPTOR.full_name, fields=schemas.to_dict(msg))
    missing = msg.FindInitializationErrors()
    if missing:
        d["missing_required"] = missing
    if (kind, subid) == PACKED:
        n = min(len(msg.cmd_kind), len(msg.cmd_subid), len(msg.cmd_data))
        d["entries"] = [decode_command(schemas, msg.cmd_kind[i], msg.cmd_subid[i], msg.cmd_data[i])[0]
                        for i in range(n)]
        if not len(msg.cmd_kind) == len(msg.cmd_subid) == len(msg.cmd_data):
            d["unequal_lists"] = [len(msg.cmd_kind), len(msg.cmd_subid), len(msg.cmd_data)]
    return d, msg


def describe_gate_message(schemas, d, msg):
    """Adds the carried command of a transfer to a log dict; returns the inner message."""
    if msg is not None and msg.DESCRIPTOR.full_name == "bs.gate.TransferDataReq":
        inner, inner_msg = decode_command(schemas, msg.data_cmd_kind, msg.data_cmd_subid, msg.data)
        d["inner"] = inner
        return inner_msg
    return None


def decode_received(sim, sess, frame):
    """Deciphers and decodes one frame from the client. The newest key is tried
    first, then the older ones (frames the client sent before it saw a new key);
    a body that deciphers with consistent padding and parses wins. Returns the
    log event and the rule context (None when nothing decoded)."""
    ev = {"ev": "recv", "conn": sess.id, "kind": frame.kind, "subid": frame.subid,
          "hlen": frame.hlen, "mark": frame.mark.decode("latin-1"), "len": len(frame.body),
          "wire_hex": _hex(frame.body)}
    if frame.ext:
        ev["ext_hex"] = frame.ext.hex()
    warnings = []
    if frame.kind != 12:
        warnings.append("kind is not 12")
    if frame.mark != b"ch":
        warnings.append("marks are not 'ch'")
    if warnings:
        ev["warnings"] = warnings
    cls = sim.schemas.commands.get((frame.kind, frame.subid))
    candidates = [(0, None)] if (frame.kind, frame.subid) == (12, 8) else sess.keys
    chosen = first_problem = None
    for gen, cipher in candidates:
        if cipher is None:
            plain, problem = frame.body, None
        else:
            plain, problem = cipher.decrypt(frame.body)
        if problem is None and cls is not None:
            try:
                msg = _parse(cls, plain)
            except (DecodeError, ValueError) as e:
                problem = "does not parse: %s" % e
        if problem is None:
            chosen = (gen, cipher, plain, msg if cls is not None else None)
            break
        if first_problem is None:
            first_problem = "%s under %s" % (problem, "key%d" % gen if cipher else "clear")
    if chosen is None:
        ev["error"] = "undecipherable: " + (first_problem or "?")
        if cls is None:
            ev["error"] = "no message for command %d/%d" % (frame.kind, frame.subid)
        return ev, None
    gen, cipher, plain, msg = chosen
    ev["cipher"] = "key%d" % gen if cipher else "clear"
    if (gen, cipher) != sess.keys[0] and (frame.kind, frame.subid) != (12, 8):
        ev["stale"] = True
    if cipher is not None:
        ev["plain_hex"] = _hex(plain)
    if cls is None:
        ev["error"] = "no message for command %d/%d" % (frame.kind, frame.subid)
        return ev, None
    ev["msg"] = cls.DESCRIPTOR.full_name
    ev["fields"] = sim.schemas.to_dict(msg)
    missing = msg.FindInitializationErrors()
    if missing:
        ev["missing_required"] = missing
    inner = describe_gate_message(sim.schemas, ev, msg)
    xfer = msg if "inner" in ev else None
    return ev, sim_core.Ctx(sess, inner if xfer is not None else msg, xfer)


# -- building what the simulator sends

FRAME_OPTS = ("ext_hex", "mark", "length", "hlen", "split", "gap_ms")


def frame_opts(args):
    return {k: args[k] for k in FRAME_OPTS if k in args}


def build(sim, args, kind=None, subid=None, fields=None):
    cls = sim.schemas.message_class(args.get("msg"), args.get("kind", kind), args.get("subid", subid))
    return sim.schemas.build(cls, fields if fields is not None else args.get("fields"))


def command_body(sim, desc, default_kind=None, default_subid=None):
    """(kind, subid, bytes) of a carried command: desc has kind/subid or msg,
    and fields, data_hex or data_text (UTF-8)."""
    if "data_hex" in desc:
        return desc["kind"], desc["subid"], bytes.fromhex(desc["data_hex"])
    if "data_text" in desc:
        return desc["kind"], desc["subid"], desc["data_text"].encode("utf-8")
    msg = build(sim, desc, default_kind, default_subid)
    kind, subid = sim.schemas.command_of.get(msg.DESCRIPTOR.full_name, (None, None))
    return desc.get("kind", kind), desc.get("subid", subid), msg.SerializeToString()


async def send_message(sim, sess, msg, args, log_extra=None, then=None, encipher=None,
                       kind=None, subid=None):
    """Sends msg as the command it is, or as kind/subid when given."""
    known = sim.schemas.command_of.get(msg.DESCRIPTOR.full_name, (None, None))
    kind = known[0] if kind is None else kind
    subid = known[1] if subid is None else subid
    if kind is None or subid is None:
        raise sim_core.SimError("%s is no command: give kind and subid" % msg.DESCRIPTOR.full_name)
    log = {"msg": msg.DESCRIPTOR.full_name, "fields": sim.schemas.to_dict(msg)}
    describe_gate_message(sim.schemas, log, msg)
    log.update(log_extra or {})
    await sess.send(kind, subid, msg.SerializeToString(), log,
                    encipher=args.get("encipher", encipher), then=then, **frame_opts(args))


async def send_transfer(sim, sess, args, ctx, kind, subid, data, apptype=None, appid=None):
    if apptype is None:
        apptype = ctx.xfer.att_apptype if ctx.xfer is not None else 0
    if appid is None:
        appid = ctx.xfer.att_appid if ctx.xfer is not None else 0
    xfer = sim.schemas.message_class("bs.gate.TransferDataReq")()
    xfer.att_apptype = args.get("apptype", apptype)
    xfer.att_appid = args.get("appid", appid)
    xfer.data_cmd_kind = kind
    xfer.data_cmd_subid = subid
    xfer.data = data
    if "session" in args:
        xfer.att_sessionid = int(args["session"])
    if "req_id" in args:
        xfer.req_id = args["req_id"]
    if args.get("xfer_fields"):
        json_format.ParseDict(args["xfer_fields"], xfer)
    await send_message(sim, sess, xfer, args)


def random_key(n=16):
    return "".join(random.choice(string.ascii_letters + string.digits) for _ in range(n))


# -- operations

async def op_hello(sim, args, ctx, default_flag=None):
    sess = sim.pick_session(args, ctx)
    d = sim.defaults
    flag = int(args.get("flag", d.get("hello_flag", 5) if default_flag is None else default_flag))
    msg = sim.schemas.message_class("bs.gate.HelloRsp")()
    msg.rsp_flag = flag
    key = None
    if "key_hex" in args:
        key = bytes.fromhex(args["key_hex"])
    elif "key" in args:
        key = None if args["key"] is None else args["key"].encode()
    elif flag & 1:
        key = d.get("key")
        key = key.encode() if key is not None else (None if d.get("no_key") else random_key().encode())
    if key is not None:
        msg.encrypt_key = key
    cipher = None
    if flag & 1:
        cipher = gate_wire.GateCipher.from_encrypt_key(key)
    token = args.get("token", d.get("token") if flag & 4 else None)
    if token is None and flag & 4:
        token = random.randint(1, 0x7FFFFFFF)
    if token is not None:
        msg.login_token = token
    addrs = args.get("gate_address")
    if addrs is None and flag & 2:
        addrs = d.get("gate_address") or ["127.0.0.1:%d" % sim.port]
    for a in addrs or []:
        msg.gate_address.append(a)
    for name in ("version_result", "down_url"):
        if name in args:
            setattr(msg, name, args[name])

    def take_key():
        if cipher is not None:
            sess.push_key(cipher)
        if flag & 4:
            sess.token = token
    extra = {}
    if cipher is not None:
        extra["key_text"] = cipher.key_text.decode("latin-1")
        extra["key_gen"] = sess.key_gen + 1
    await send_message(sim, sess, msg, args, extra, then=take_key, encipher=False)
    return {"conn": sess.id, "key_text": extra.get("key_text"), "token": token,
            "key_gen": sess.key_gen}


async def op_rekey(sim, args, ctx):
    return await op_hello(sim, args, ctx, default_flag=1)


async def op_pulse(sim, args, ctx):
    sess = sim.pick_session(args, ctx)
    fields = {"my_speed": int(time.time()) & 0xFFFFFFFF,
              "speed_data": int(sim.now() * 1000) & 0xFFFFFFFF}
    fields.update(args.get("fields") or {})
    await send_message(sim, sess, build(sim, args, 12, 1, fields), args)
    return {"conn": sess.id}


async def op_pulse_rsp(sim, args, ctx):
    sess = sim.pick_session(args, ctx)
    msg = sim.schemas.message_class("bs.gate.PulseRsp")()
    req = ctx.req
    if req is not None and req.DESCRIPTOR.full_name == "bs.gate.PulseReq":
        if req.HasField("speed_data"):
            msg.speed_data = req.speed_data
        if req.HasField("attached_data"):
            msg.attachd_data = req.attached_data
    if args.get("fields"):
        json_format.ParseDict(args["fields"], msg)
    await send_message(sim, sess, msg, args)
    return {"conn": sess.id}


def _user_buffers(sim, args, ctx, sess):
    d = sim.defaults
    user_id = int(args.get("user_id", d.get("user_id", 10001)))
    base = sim.schemas.message_class("bs.types.BaseUserInfo")()
    base.user_id = user_id
    base.game_id = user_id
    base.nick_name = args.get("nick", d.get("nick", "gate_sim"))
    extra = sim.schemas.message_class("bs.types.ExtraUserInfo")()
    extra.user_id = user_id
    if ctx.req is not None and hasattr(ctx.req, "login_account"):
        extra.account = ctx.req.login_account
    info = sim.schemas.message_class("bs.types.UserSessionInfo")()
    info.gate_id = 1
    info.gate_conn_id = sess.id
    info.client_os = 1
    return user_id, base, extra, info


async def op_login_rsp(sim, args, ctx):
    sess = sim.pick_session(args, ctx)
    result = int(args.get("result", sim.defaults.get("login_result", 0)))
    msg = sim.schemas.message_class("bs.client.LoginRsp")()
    if result == 0:
        user_id, base, extra, info = _user_buffers(sim, args, ctx, sess)
        msg.user_id = user_id
        msg.base_info_buff = base.SerializeToString()
        msg.extra_info_buff = extra.SerializeToString()
        msg.session_info_buff = info.SerializeToString()
    if args.get("fields"):
        json_format.ParseDict(args["fields"], msg)
    data = msg.SerializeToString()
    enum = msg.DESCRIPTOR.fields_by_name["login_result"].enum_type
    if result in enum.values_by_number:
        msg.login_result = result
        data = msg.SerializeToString()
    else:   # a number the schema does not know still goes out, as field 1
        data = b"\x08" + varint(result) + data
    await send_transfer(sim, sess, args, ctx, 13, 2, data, *LOGIN_APP)
    return {"conn": sess.id, "result": result}


async def op_logout(sim, args, ctx):
    sess = sim.pick_session(args, ctx)
    fields = {"logout_reason": args.get("reason", 1)}
    if "info" in args:
        fields["reason_info"] = args["info"]
    msg = build(sim, {}, 13, 4, fields)
    await send_transfer(sim, sess, args, ctx, 13, 4, msg.SerializeToString(), *LOGIN_APP)
    return {"conn": sess.id}


async def op_transfer(sim, args, ctx):
    sess = sim.pick_session(args, ctx)
    kind, subid, data = command_body(sim, args)
    await send_transfer(sim, sess, args, ctx, kind, subid, data)
    return {"conn": sess.id}


async def op_bundle(sim, args, ctx):
    sess = sim.pick_session(args, ctx)
    packed = sim.schemas.message_class("bs.client.PackedMessage")()
    for name in ("sequence", "my_apptype", "my_appid"):
        if name in args:
            setattr(packed, name, int(args[name]))
    if "session" in args:
        packed.att_sessionid = int(args["session"])
    kinds, subids, datas = [], [], []
    for entry in args.get("entries", []):
        k, s, data = command_body(sim, entry)
        kinds.append(k)
        subids.append(s)
        datas.append(data)
    kinds = args.get("cmd_kind", kinds)
    subids = args.get("cmd_subid", subids)
    packed.cmd_kind.extend(kinds)
    packed.cmd_subid.extend(subids)
    packed.cmd_data.extend(datas)
    apptype = args.get("apptype", packed.my_apptype)
    appid = args.get("appid", packed.my_appid)
    await send_transfer(sim, sess, args, ctx, 13, 12, packed.SerializeToString(), apptype, appid)
    return {"conn": sess.id}


async def op_send(sim, args, ctx):
    """Any frame: a message by kind/subid or msg with fields, or body_hex."""
    sess = sim.pick_session(args, ctx)
    if "body_hex" in args:
        kind, subid = args.get("kind", 12), args["subid"]
        await sess.send(kind, subid, bytes.fromhex(args["body_hex"]),
                        {"body_hex": args["body_hex"][:2 * HEX_LOGGED]},
                        encipher=args.get("encipher"), **frame_opts(args))
    else:
        await send_message(sim, sess, build(sim, args, 12), args,
                           kind=args.get("kind"), subid=args.get("subid"))
    return {"conn": sess.id}


async def op_raw(sim, args, ctx):
    sess = sim.pick_session(args, ctx)
    await sess.send_raw(bytes.fromhex(args["hex"]), args.get("split"), args.get("gap_ms"))
    return {"conn": sess.id}


async def op_close(sim, args, ctx, how=None):
    sess = sim.pick_session(args, ctx)
    how = how or args.get("how", "fin")
    if how not in ("fin", "rst"):
        raise sim_core.SimError("close how: fin or rst")
    await sess.close(how)
    return {"conn": sess.id}


async def op_rst(sim, args, ctx):
    return await op_close(sim, args, ctx, "rst")


async def op_fin(sim, args, ctx):
    return await op_close(sim, args, ctx, "fin")


async def op_silent(sim, args, ctx):
    sim.silent = bool(args.get("on", True))
    sim.emit({"ev": "silent", "on": sim.silent})
    return {"silent": sim.silent}


async def op_rule(sim, args, ctx):
    sim.add_rule(args)
    return {"rules": len(sim.rules)}


async def op_rules(sim, args, ctx):
    return {"rules": [r.desc() for r in sim.rules]}


async def op_sleep(sim, args, ctx):
    await asyncio.sleep(float(args.get("ms", 0)) / 1000.0)


def event_filter(args):
    what = args.get("for")
    ev_name = args.get("ev", "recv" if what and "/" in what else what)
    conn = args.get("conn")
    kind = subid = None
    if what and "/" in what:
        kind, subid = (int(x) for x in what.split("/"))

    def pred(e):
        if ev_name and e["ev"] != ev_name:
            return False
        if conn is not None and e.get("conn") != conn:
            return False
        if kind is None:
            return True
        if (e.get("kind"), e.get("subid")) == (kind, subid):
            return True
        inner = e.get("inner")
        return inner is not None and (inner["kind"], inner["subid"]) == (kind, subid)
    return pred


async def op_wait(sim, args, ctx):
    """Waits for the count-th event after seq `after` that matches `for`
    ("K/S": a frame or a carried command, or an event name such as "accept")."""
    ev = await sim.wait_event(event_filter(args), int(args.get("after", 0)),
                              int(args.get("count", 1)), float(args.get("timeout_ms", 10000)) / 1000.0)
    return {"event": ev}


async def op_mark(sim, args, ctx):
    return {"seq": sim.seq}


async def op_events(sim, args, ctx):
    pred = event_filter(args)
    after = int(args.get("after", 0))
    return {"events": [e for e in sim.since(after) if pred(e)]}


async def op_status(sim, args, ctx):
    return {"port": sim.port, "control_port": sim.control_port, "silent": sim.silent,
            "seq": sim.seq,
            "conns": [{"conn": s.id, "open": s.open, "peer": s.peer, "key_gen": s.key_gen,
                       "key_text": s.send_cipher.key_text.decode("latin-1") if s.send_cipher else None,
                       "token": s.token} for s in sim.sessions.values()]}


async def op_quit(sim, args, ctx):
    sim.stopping.set()


OPS = {
    "hello": op_hello, "rekey": op_rekey, "pulse": op_pulse, "pulse_rsp": op_pulse_rsp,
    "login_rsp": op_login_rsp, "logout": op_logout, "transfer": op_transfer,
    "bundle": op_bundle, "send": op_send, "raw": op_raw, "close": op_close,
    "rst": op_rst, "fin": op_fin, "silent": op_silent, "rule": op_rule,
    "rules": op_rules, "sleep": op_sleep, "wait": op_wait, "mark": op_mark,
    "events": op_events, "status": op_status, "quit": op_quit,
}
