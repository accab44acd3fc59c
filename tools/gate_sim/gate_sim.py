#!/usr/bin/python3
"""Gate server simulator for the gate client's tests and the demo: answers the
hello, pulses and the login, logs every received frame deciphered as a JSON
line, and is driven by command-line defaults, a script file, reaction rules
and a JSON-lines control socket. See README.md beside this file.

Run with /usr/bin/python3 (Debian's python3-protobuf and python3-pycryptodome).
"""

import argparse
import asyncio
import json
import os
import signal
import sys

sys.dont_write_bytecode = True      # keep the source folder clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import gate_schemas   # noqa: E402
import gate_wire      # noqa: E402
import sim_core       # noqa: E402


def parse_args(argv):
    command = []
    if "--" in argv:
        i = argv.index("--")
        argv, command = argv[:i], argv[i + 1:]
    p = argparse.ArgumentParser(
        prog="gate_sim.py", description="Gate server simulator (see README.md).",
        epilog="Anything after '--' is run as a command once the simulator listens, with "
               "GATE_SIM_PORT and GATE_SIM_CONTROL_PORT in its environment; the simulator "
               "stops when it ends and exits with its exit code.")
    p.add_argument("--host", default="127.0.0.1", help="address to listen on (127.0.0.1)")
    p.add_argument("--port", type=int, default=0, help="gate port; 0 picks a free one (default)")
    p.add_argument("--port-file", help="write the gate port to this file once listening")
    p.add_argument("--control-port", type=int,
                   help="open the control socket on 127.0.0.1 at this port (0 picks one)")
    p.add_argument("--control-port-file", help="write the control port to this file")
    p.add_argument("--quit-on-control-close", action="store_true",
                   help="stop when a control connection closes (ties our life to a test's)")
    p.add_argument("--log", default="-", help="JSON-lines log file ('-' = stdout, default)")
    p.add_argument("--script", help="file of operations, one JSON object a line, run at start")
    p.add_argument("--interface", default=gate_schemas.default_interface_dir(),
                   help="the schema folder (default: the repository's interface/)")
    p.add_argument("--hello-flag", type=int, default=5, help="rsp_flag of the hello answer (5)")
    p.add_argument("--key", help="encrypt_key to hand out (default: random per hello)")
    p.add_argument("--no-key", action="store_true",
                   help="leave encrypt_key out (the key is then the suffix alone)")
    p.add_argument("--token", type=int, help="login_token to hand out (default: random)")
    p.add_argument("--gate-address", action="append", help="gate_address under flag 2 (repeatable)")
    p.add_argument("--login-result", type=int, default=0, help="login_result of the answer (0)")
    p.add_argument("--user-id", type=int, default=10001, help="user id of a successful login")
    p.add_argument("--nick", default="gate_sim", help="nick name of a successful login")
    p.add_argument("--no-hello-answer", action="store_true", help="do not answer HelloReq")
    p.add_argument("--no-pulse-answer", action="store_true", help="do not answer PulseReq")
    p.add_argument("--no-login-answer", action="store_true", help="do not answer LoginReq")
    p.add_argument("--pulse-every", type=float, default=0,
                   help="send our own PulseReq every so many seconds (0 = never)")
    p.add_argument("--join-result", type=int,
                   help="answer JoinReq (14/3) with a JoinRsp carrying this result")
    p.add_argument("--plan-id", type=int, default=1, help="plan id of JoinRsp/MatchStart (1)")
    p.add_argument("--game-kind", type=int, default=502, help="game kind of JoinRsp/MatchStart")
    p.add_argument("--match-start", action="store_true",
                   help="after a successful sign-up JoinRsp also send MatchStart (14/15)")
    p.add_argument("--rule", action="append", default=[], metavar="JSON",
                   help='extra reaction rule, e.g. \'{"on":"18/13","do":[...]}\' (repeatable)')
    p.add_argument("--max-frame", type=int, default=1 << 20,
                   help="largest length field accepted from the client (1 MiB)")
    p.add_argument("--check-schemas", action="store_true",
                   help="generate and import the schemas, print the command map, exit")
    opts = p.parse_args(argv)
    opts.command = command
    if opts.key is not None and len(opts.key.encode()) + len(gate_wire.KEY_SUFFIX) > 56:
        p.error("--key: at most 48 bytes (Blowfish key of at most 56 bytes with the suffix)")
    return opts


def default_rules(opts):
    rules = []
    if not opts.no_hello_answer:
        rules.append({"on": "12/7", "do": [{"op": "hello"}]})
    if not opts.no_pulse_answer:
        rules.append({"on": "12/1", "do": [{"op": "pulse_rsp"}]})
    if not opts.no_login_answer:
        rules.append({"on": "13/1", "do": [{"op": "login_rsp"}]})
    if opts.join_result is not None:
        join_rsp = {"op": "transfer", "kind": 14, "subid": 4, "session": opts.plan_id,
                    "fields": {"withdraw": "$req.withdraw", "result": opts.join_result,
                               "plan_id": opts.plan_id, "game_kind": opts.game_kind}}
        rules.append({"on": "14/3", "do": [join_rsp]})
        if opts.match_start and opts.join_result == 0:
            start = {"op": "transfer", "kind": 14, "subid": 15, "session": opts.plan_id,
                     "fields": {"plan_id": opts.plan_id, "game_kind": opts.game_kind,
                                "match_id": 1, "match_group": 1, "mp_id": 1, "name": "gate_sim"}}
            rules.append({"on": "14/3", "if": {"withdraw": False}, "do": [join_rsp, start]})
    for text in opts.rule:
        rules.append(json.loads(text))
    return rules


def write_port(path, port):
    if path:
        tmp = path + ".tmp"
        with open(tmp, "w") as fh:
            fh.write("%d\n" % port)
        os.replace(tmp, path)


async def amain(opts):
    schemas = gate_schemas.load(opts.interface)
    defaults = {"hello_flag": opts.hello_flag, "key": opts.key, "no_key": opts.no_key,
                "token": opts.token, "gate_address": opts.gate_address,
                "login_result": opts.login_result, "user_id": opts.user_id,
                "nick": opts.nick, "pulse_every": opts.pulse_every}
    script = sim_core.read_script(opts.script) if opts.script else None
    sim = sim_core.GateSim(schemas, sim_core.log_to(opts.log), opts.host, opts.max_frame, defaults)
    sim.quit_on_control_close = opts.quit_on_control_close
    for rule in default_rules(opts):
        sim.add_rule(rule)
    control_port = opts.control_port
    if control_port is None and opts.command:
        control_port = 0
    await sim.start(opts.port, control_port)
    write_port(opts.port_file, sim.port)
    if sim.control_port is not None:
        write_port(opts.control_port_file, sim.control_port)
    loop = asyncio.get_running_loop()
    for sig in (signal.SIGINT, signal.SIGTERM):
        loop.add_signal_handler(sig, sim.stopping.set)
    if script:
        sim.spawn(sim.run_script(script))
    rc = 0
    if opts.command:
        env = dict(os.environ, GATE_SIM_PORT=str(sim.port),
                   GATE_SIM_CONTROL_PORT=str(sim.control_port))
        child = await asyncio.create_subprocess_exec(*opts.command, env=env)
        stop = loop.create_task(sim.stopping.wait())
        done = loop.create_task(child.wait())
        await asyncio.wait({stop, done}, return_when=asyncio.FIRST_COMPLETED)
        if not done.done():
            child.terminate()
        rc = await done
        stop.cancel()
        rc = rc if rc >= 0 else 128 - rc
    else:
        await sim.stopping.wait()
    await sim.stop()
    sim.emit({"ev": "exit", "rc": rc})
    return rc


def main(argv=None):
    opts = parse_args(sys.argv[1:] if argv is None else argv)
    if opts.check_schemas:
        schemas = gate_schemas.load(opts.interface)
        for (kind, subid), cls in sorted(schemas.commands.items()):
            print("%d/%d %s" % (kind, subid, cls.DESCRIPTOR.full_name))
        return 0
    try:
        return asyncio.run(amain(opts))
    except (sim_core.SimError, gate_schemas.SchemaError, OSError) as e:
        print("gate_sim: %s" % e, file=sys.stderr)
        return 2


if __name__ == "__main__":
    sys.exit(main())
