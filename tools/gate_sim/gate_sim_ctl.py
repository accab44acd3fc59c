#!/usr/bin/python3
"""Sends operations to a running gate simulator's control socket, for shell
scripts: gate_sim_ctl.py PORT '{"op":"rst"}' ... prints one answer line per
operation and exits 1 if any answer has "ok": false.
PORT may also be @FILE, a file holding the port (--control-port-file).
"""

import json
import socket
import sys


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    port = argv[0]
    if port.startswith("@"):
        with open(port[1:]) as fh:
            port = fh.read()
    status = 0
    with socket.create_connection(("127.0.0.1", int(port)), timeout=600) as s:
        f = s.makefile("rw", encoding="utf-8")
        for text in argv[1:]:
            json.loads(text)        # fail here, not in the simulator, on a typo
            f.write(text.replace("\n", " ") + "\n")
            f.flush()
            line = f.readline()
            if not line:
                print("gate_sim_ctl: the simulator closed the control socket", file=sys.stderr)
                return 1
            print(line.rstrip("\n"))
            if not json.loads(line).get("ok"):
                status = 1
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
