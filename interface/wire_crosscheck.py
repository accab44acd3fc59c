#!/usr/bin/python3
"""Cross-checks the C++ message code against Debian's Python protobuf runtime.

Both sides build one message of each package from the same schemas, with the
same values written out independently. The C++ peer (wire_peer.cpp) encodes
its messages; this script decodes them and compares them with its own, byte
for byte as well. Then this script encodes its messages and the peer decodes
and checks them.

usage: wire_crosscheck.py --protoc P --schemas DIR --work DIR -- <peer command...>
"""
import argparse
import os
import subprocess
import sys

# Debian's default back end wraps the C++ runtime; the pure-Python one shares
# no code with the C++ side.
os.environ["PROTOCOL_BUFFERS_PYTHON_IMPLEMENTATION"] = "python"

SCHEMAS = ["types/types.proto", "gate/gate.proto", "client/client.proto",
           "client/hallclient.proto", "client/userinfo.proto", "client/matchclient.proto"]


def load_classes(protoc, schemas, work):
    """Compiles the schemas with protoc into a descriptor set and builds the
    Python classes from it (the generated modules would import a package
    named "types", which the standard library already owns)."""
    from google.protobuf import descriptor_pb2, message_factory
    out = os.path.join(work, "schemas.desc")
    subprocess.run([protoc, "-I", schemas, "--include_imports", "--descriptor_set_out=" + out]
                   + [os.path.join(schemas, s) for s in SCHEMAS], check=True)
    fds = descriptor_pb2.FileDescriptorSet()
    with open(out, "rb") as f:
        fds.ParseFromString(f.read())
    return message_factory.GetMessages(list(fds.file))


def room_info(c):
    m = c["bs.types.UserRoomInfo"]()
    m.user_id = 1 << 40
    m.base_info.user_id = 7
    m.base_info.nick_name = "\u5c0f\u660e"
    m.base_info.user_type = 10  # Robot
    m.score = -123456
    m.health = -1
    m.is_offline = False
    m.losft_count = 3
    m.round_count = 15
    return m


def messages(c):
    """name -> message, the same names and values as wire_peer.cpp."""
    out = {}
    out["types.UserRoomInfo"] = room_info(c)

    m = c["bs.gate.TransferDataReq"]()
    m.att_apptype, m.att_appid, m.data_cmd_kind, m.data_cmd_subid = 13, 2, 14, 3
    m.data = b"\x18\x01\x00\xff"
    m.req_id = 0
    m.client_ip_v4 = 0x7F000001
    m.att_sessionid = (1 << 63) + 5
    out["gate.TransferDataReq"] = m

    m = c["bs.client.LoginReq"]()
    m.game_kind = 2001
    m.action_type = 10  # Robot
    m.client_os = 1  # PC
    m.login_account = "acc"
    m.client_IP = "1.2.3.4"
    m.HD_serial = "HD-1"
    m.MAC_address = "00-11-22"
    m.GUID = "guid"
    m.logon_token = 99
    m.sp_id = -1  # UNKWON
    out["client.LoginReq"] = m

    m = c["bs.hallclient.TitleMatchItem"]()
    m.plan_id = 5
    fee = m.join_fee.add()
    fee.type = 2  # MONEY_TYPE
    fee.count = 100
    prize = m.prizces_win.add()
    prize.rank_begein, prize.rank_end, prize.count_gold, prize.other_award = 1, 3, 50, "x"
    m.hold_fund.id = 0
    m.app_id = 1
    m.hide_nick = True
    m.seconds_accept_round = 30
    out["hallclient.TitleMatchItem"] = m

    m = c["bs.userinfo.RegisterRsp"]()
    m.result_code = 0
    m.result_info = "ok"
    m.user_id = 0xFFFFFFFFFFFFFFFF
    m.account = "a"
    out["userinfo.RegisterRsp"] = m

    m = c["bs.matchclient.JoinRsp"]()
    m.withdraw = False
    m.result = 0
    m.field_3 = "t"
    m.plan_id = 9
    m.match_id = 1 << 33
    m.game_kind = 2001
    m.plan_type = 2
    m.exename = "game.exe"
    out["matchclient.JoinRsp"] = m

    m = c["bs.matchclient.TableStatus"]()
    m.field_1 = 2
    m.field_2 = 4
    m.field_9.append(room_info(c))
    m.field_9.add().seat_index = 2
    out["matchclient.TableStatus"] = m
    return out


def unknown_count(m):
    try:
        return len(m.UnknownFields())
    except (AttributeError, NotImplementedError):
        return 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--protoc", required=True)
    ap.add_argument("--schemas", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("peer", nargs="+")
    args = ap.parse_args()
    os.makedirs(args.work, exist_ok=True)
    for f in os.listdir(args.work):
        if f.endswith(".bin"):
            os.remove(os.path.join(args.work, f))

    from google.protobuf.internal import api_implementation
    if api_implementation.Type() != "python":
        print("FAIL the pure-Python protobuf runtime is not in use")
        return 1
    classes = load_classes(args.protoc, args.schemas, args.work)
    expected = messages(classes)
    failures = 0

    # C++ encodes, Python decodes.
    subprocess.run(args.peer + ["encode"], cwd=args.work, check=True)
    for name, want in expected.items():
        with open(os.path.join(args.work, name + ".cpp.bin"), "rb") as f:
            data = f.read()
        got = type(want)()
        got.ParseFromString(data)
        problems = []
        if got != want:
            problems.append("decoded values differ")
        if unknown_count(got):
            problems.append("unknown fields")
        if data != want.SerializeToString():
            problems.append("bytes differ: C++ %s, Python %s" % (data.hex(), want.SerializeToString().hex()))
        print("%s %s (C++ -> Python)%s" % ("FAIL" if problems else "ok", name,
                                           ": " + "; ".join(problems) if problems else ""))
        failures += bool(problems)

    # Python encodes, C++ decodes.
    for name, m in expected.items():
        with open(os.path.join(args.work, name + ".py.bin"), "wb") as f:
            f.write(m.SerializeToString())
    sys.stdout.flush()
    rc = subprocess.run(args.peer + ["decode"], cwd=args.work).returncode
    if rc != 0:
        print("FAIL C++ peer rejected the Python encodings (exit %d)" % rc)
        failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
