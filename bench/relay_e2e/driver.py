"""Drives the relay benchmark over the gate simulator's control socket:
round trips gate -> Quorrel.dll -> running game -> back, one after another,
then a burst in one bundle; with a load, the same again while that many busy
loops run beside it, so quiet and loaded figures come from one client and
one game, side by side. Several rounds alternate quiet and loaded and report
each and their medians. Each round also times the same round trips through
a second simulator whose peer (echo_peer.py) answers at once in place of the
client and the game: what the driver and the simulator cost by themselves.
Last a quiet spell while the CPU time of the client and the game is read
from /proc; then the game is told to exit. The medians go to results.json
in the work folder; `driver.py report` sets them beside the Wine floor.

    driver.py <control port file> <work dir> <round trips> <idle seconds>
              [<busy loops> [<rounds> [<echo control port file>]]]
    driver.py report <results.json> <wine_floor output>
"""
import json
import os
import re
import statistics
import subprocess
import socket
import sys
import time

PLAN = 1


def varint(v):
    out = bytearray()
    while True:
        b, v = v & 0x7F, v >> 7
        out.append(b | 0x80 if v else b)
        if not v:
            return bytes(out)


def field_varint(n, v):
    return varint(n << 3) + varint(v)


def field_bytes(n, b):
    return varint(n << 3 | 2) + varint(len(b)) + b


def return_word(i):
    """The control word that makes the game answer at once with a return
    record carrying TransferDataReq{15, 5, 14, 25, MayIBack2MP{i, 1}}."""
    inner = field_varint(1, i) + field_varint(2, 1)
    xfer = (field_varint(1, 15) + field_varint(2, 5) + field_varint(3, 14) +
            field_varint(4, 25) + field_bytes(5, inner) + field_varint(8, PLAN))
    return "sg:return:12:3:" + xfer.hex()


class Control:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port))
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.file = self.sock.makefile("rb")

    def op(self, **args):
        self.sock.sendall((json.dumps(args) + "\n").encode())
        reply = json.loads(self.file.readline())
        if not reply.get("ok"):
            raise RuntimeError("%s: %s" % (args.get("op"), reply.get("error")))
        return reply

    def send_return(self, i):
        self.op(op="transfer", kind=18, subid=99, session=PLAN, data_text=return_word(i))


def pct(sorted_values, p):
    return sorted_values[min(len(sorted_values) - 1, int(len(sorted_values) * p / 100))]


def cpu_seconds(pid):
    """CPU time a process has used so far, in seconds: the sum of its
    threads' run time in nanoseconds from schedstat where the kernel keeps
    it, else utime + stime in clock ticks. The ticks are 10 ms apart, so over
    a spell of seconds one tick more or less moves a share near the 0.2 %
    goal by 0.05 %."""
    try:
        total = 0
        for tid in os.listdir("/proc/%d/task" % pid):
            with open("/proc/%d/task/%s/schedstat" % (pid, tid)) as f:
                total += int(f.read().split()[0])
        return total / 1e9
    except (OSError, ValueError, IndexError):
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def find_pids(name, prefix):
    """Wine processes of this benchmark's prefix whose program is `name`
    (with or without ".exe"; the game's command line names it bare)."""
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                argv0 = f.read().split(b"\0")[0].split(b" ")[0].decode("latin-1")
            with open("/proc/%s/environ" % entry, "rb") as f:
                env = f.read().split(b"\0")
        except OSError:
            continue
        program = argv0.replace("\\", "/").rsplit("/", 1)[-1].lower()
        if program in (name, name + ".exe") and ("WINEPREFIX=" + prefix).encode() in env:
            pids.append(int(entry))
    return pids


def floor_figures(path):
    """Medians over the passes of the Wine floor's output lines
    ("E/quiet n=1000 p50= 1.080 p90= ... p99= 2.100 ..."), by variant and
    quiet or loaded."""
    passes = {}
    with open(path) as f:
        for line in f:
            words = line.split()
            if not words or "/" not in words[0] or "p50=" not in line:
                continue
            variant, when = words[0].split("/", 1)
            values = dict(re.findall(r"(p50|p99)=\s*([0-9.]+)", line))
            key = (variant, "quiet" if when == "quiet" else "loaded")
            for p in ("p50", "p99"):
                passes.setdefault(key + (p,), []).append(float(values[p]))
    return {k: statistics.median(v) for k, v in passes.items()}


def report(results_path, floor_path):
    """The relay's medians beside the floor measured in the same invocation."""
    with open(results_path) as f:
        r = json.load(f)
    fl = floor_figures(floor_path)
    print("relay_e2e: the relay beside the Wine floor (medians; floor from %s)" % floor_path)
    print("relay_e2e:   %-11s %8s %8s %6s %8s %6s %8s %8s %8s"
          % ("", "relay", "floor E", "x E", "floor A", "x A", "alone", "client", "floor C"))
    goals = []
    for when in ("quiet", "loaded"):
        for p in ("p50", "p99"):
            relay = r.get("%s_%s" % (when, p))
            if relay is None:
                continue
            e, a, c = (fl.get((v, when, p)) for v in ("E", "A", "C"))
            alone = r.get("%s_alone_%s" % (when, p))
            cells = ["%8.2f" % relay]
            cells += ["%8.2f %6.2f" % (e, relay / e) if e else "%8s %6s" % ("-", "-")]
            cells += ["%8.2f %6.2f" % (a, relay / a) if a else "%8s %6s" % ("-", "-")]
            cells += ["%8.2f %8.2f" % (alone, relay - alone) if alone is not None
                      else "%8s %8s" % ("-", "-")]
            cells += ["%8.2f" % c if c else "%8s" % "-"]
            print("relay_e2e:   %-11s %s" % ("%s %s" % (when, p), " ".join(cells)))
            if e:
                limit = 1.5 if p == "p50" else 2.0
                goals.append(("%s %s <= %.1f x floor E" % (when, p, limit), relay <= limit * e,
                              "%.2f x" % (relay / e)))
                # The floor's driver talks to its client directly; the
                # relay's goes through the gate simulator, a hop the floor
                # does not have. The client's share leaves that hop out
                # (medians only: percentiles in the tail do not subtract).
                if p == "p50" and alone is not None:
                    share = relay - alone
                    goals.append(("%s p50, client's share <= %.1f x floor E" % (when, limit),
                                  share <= limit * e, "%.2f x" % (share / e)))
    for when in ("quiet", "loaded"):
        b = r.get("%s_burst" % when)
        if b is not None and when == "quiet":
            goals.append(("burst of 100 answered within 30 ms, quiet", b <= 30, "%.1f ms" % b))
    idle = r.get("idle_client")
    if idle is not None:
        goals.append(("idle client <= 0.2 % of a core", idle <= 0.2, "%.2f %%" % idle))
    for name, ok, value in goals:
        print("relay_e2e: goal %-48s %-4s (%s)" % (name, "met" if ok else "MISSED", value))
    return 0


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "report":
        return report(sys.argv[2], sys.argv[3])
    port_file, work, trips, idle_s = sys.argv[1], sys.argv[2], int(sys.argv[3]), float(sys.argv[4])
    load = int(sys.argv[5]) if len(sys.argv) > 5 else 0
    rounds = max(1, int(sys.argv[6])) if len(sys.argv) > 6 else 1
    echo_port_file = sys.argv[7] if len(sys.argv) > 7 else None
    deadline = time.monotonic() + 60
    while not os.path.exists(port_file):
        if time.monotonic() > deadline:
            sys.exit("driver: no control port")
        time.sleep(0.05)
    ctl = Control(int(open(port_file).read().strip()))
    echo = None
    if echo_port_file:
        while not os.path.exists(echo_port_file):
            if time.monotonic() > deadline:
                sys.exit("driver: no control port of the echo simulator")
            time.sleep(0.05)
        echo = Control(int(open(echo_port_file).read().strip()))
    try:
        return run(ctl, echo, work, trips, idle_s, load, rounds)
    finally:
        if echo is not None:
            try:
                echo.op(op="transfer", kind=18, subid=99, session=PLAN, data_text="sg:exit:0")
            except (RuntimeError, OSError):
                pass
        # The game's exit ends the lobby script, and with it the client and
        # the simulator, also when a measurement failed.
        try:
            ctl.op(op="transfer", kind=18, subid=99, session=PLAN, data_text="sg:exit:0")
        except (RuntimeError, OSError):
            ctl.op(op="quit")


class BusyLoops:
    """`n` shell busy loops (one core each while they run), as the load of a
    machine where a game, a browser and a call run beside the client."""

    def __init__(self, n):
        self.procs = [subprocess.Popen(["/bin/sh", "-c", "while :; do :; done"])
                      for _ in range(n)]

    def stop(self):
        for p in self.procs:
            p.kill()
        for p in self.procs:
            p.wait()


def cpu_sample():
    """(all jiffies, idle jiffies) of the machine, from /proc/stat."""
    with open("/proc/stat") as f:
        v = [int(x) for x in f.readline().split()[1:8]]
    return sum(v), v[3] + v[4]  # idle + iowait


def busy_cores(before, after):
    """Cores in use between two samples: how busy the machine was during a
    run (the benchmark itself and other users' work included)."""
    total, idle = after[0] - before[0], after[1] - before[1]
    return os.cpu_count() * (1.0 - idle / max(1, total))


def warm_up(ctl):
    # Until the game runs, a forward finds no table; ask until one answers.
    seq = ctl.op(op="mark")["seq"]
    deadline = time.monotonic() + 60
    while True:
        try:
            ctl.send_return(0)  # fails while the client has no link yet
            ctl.op(op="wait", **{"for": "14/25", "after": seq, "timeout_ms": 300})
            break
        except RuntimeError:
            if time.monotonic() > deadline:
                sys.exit("driver: the game never answered")
            time.sleep(0.1)
    time.sleep(0.5)  # answers to the extra warm-up words


# Start and end of each round trip in 100 ns ticks, quiet and loaded apart,
# for bench/relay_e2e/hop_trace.py, on both clocks that Wine's performance
# counter may read (the raw monotonic clock, or the adjusted one).
STAMPS = {"quiet": [], "loaded": []}


def raw_ticks():
    return (time.clock_gettime_ns(time.CLOCK_MONOTONIC_RAW) // 100,
            time.clock_gettime_ns(time.CLOCK_MONOTONIC) // 100)


def round_trips(ctl, trips, first, stamps=None):
    rtt = []
    for i in range(first, first + trips):
        seq = ctl.op(op="mark")["seq"]
        t = time.perf_counter()
        t0 = raw_ticks()
        ctl.send_return(i)
        ev = ctl.op(op="wait", **{"for": "14/25", "after": seq, "timeout_ms": 10000})["event"]
        rtt.append((time.perf_counter() - t) * 1000)
        if stamps is not None:
            t1 = raw_ticks()
            stamps.append((t0[0], t1[0], t0[1], t1[1]))
        got = int(ev["inner"]["fields"].get("field_1", 0))
        if got != i:
            sys.exit("driver: round trip %d came back as %d" % (i, got))
    return sorted(rtt)


def burst(ctl, base, n=100):
    """A burst of n commands for the game in one bundle frame; the time until
    every answer is back, and whether they came in order."""
    seq = ctl.op(op="mark")["seq"]
    entries = [{"kind": 18, "subid": 99, "data_text": return_word(base + k)} for k in range(n)]
    t = time.perf_counter()
    ctl.op(op="bundle", entries=entries, session=PLAN, sequence=1)
    ctl.op(op="wait", **{"for": "14/25", "after": seq, "count": n, "timeout_ms": 20000})
    ms = (time.perf_counter() - t) * 1000
    events = ctl.op(op="events", **{"for": "14/25", "after": seq})["events"]
    order = [int(e["inner"]["fields"].get("field_1", 0)) for e in events]
    return ms, order == [base + k for k in range(n)], len(order)


def measure(ctl, echo, trips, label, first):
    start = cpu_sample()
    rtt = round_trips(ctl, trips, first, STAMPS[label])
    burst_ms, in_order, count = burst(ctl, 1000000 + first)
    cores = busy_cores(start, cpu_sample())
    r = {"p50": pct(rtt, 50), "p99": pct(rtt, 99), "max": rtt[-1],
         "over20": sum(1 for v in rtt if v > 20), "burst": burst_ms, "in_order": in_order,
         "cores": cores}
    alone = ""
    if echo is not None:
        ref = round_trips(echo, trips, first)
        r["alone_p50"], r["alone_p99"] = pct(ref, 50), pct(ref, 99)
        alone = "; the driver and simulator alone: p50 %.2f ms, p99 %.2f ms" % (
            r["alone_p50"], r["alone_p99"])
    print("relay_e2e: %-6s %d round trips gate -> game -> gate: p50 %.2f ms, p99 %.2f ms, "
          "max %.2f ms, %d over 20 ms; burst of 100 in one frame: all %d answers back in "
          "%.1f ms, %s; %.1f of %d cores busy meanwhile%s"
          % (label, trips, r["p50"], r["p99"], r["max"], r["over20"], count, burst_ms,
             "in order" if in_order else "OUT OF ORDER", cores, os.cpu_count(), alone))
    sys.stdout.flush()
    return r


def run(ctl, echo, work, trips, idle_s, load, rounds):
    warm_up(ctl)
    if echo is not None:
        warm_up(echo)
    # The driver's own cost for one control operation.
    floor = []
    for _ in range(200):
        t = time.perf_counter()
        ctl.op(op="mark")
        floor.append((time.perf_counter() - t) * 1000)
    floor.sort()
    print("relay_e2e: one control operation of the driver alone: p50 %.2f ms, p99 %.2f ms"
          % (pct(floor, 50), pct(floor, 99)))

    results = {"quiet": [], "loaded": []}
    first = 1
    for _ in range(rounds):
        results["quiet"].append(measure(ctl, echo, trips, "quiet", first))
        first += trips
        if load > 0:
            busy = BusyLoops(load)
            try:
                time.sleep(0.5)  # let the loops spread over the cores
                results["loaded"].append(measure(ctl, echo, trips, "loaded", first))
            finally:
                busy.stop()
            first += trips

    keys = [("p50", "p50 ms"), ("p99", "p99 ms"), ("max", "max ms"), ("over20", "> 20 ms"),
            ("burst", "burst ms"), ("cores", "busy cores")]
    if echo is not None:
        keys += [("alone_p50", "alone p50"), ("alone_p99", "alone p99")]
    print("relay_e2e: medians of %d round(s) of %d round trips, %d busy loop(s) when loaded:"
          % (rounds, trips, load))
    print("relay_e2e:   %-10s %10s %10s" % ("", "quiet", "loaded" if load > 0 else ""))
    medians = {"rounds": rounds, "trips": trips, "load": load}
    for key, name in keys:
        q = statistics.median(r[key] for r in results["quiet"])
        medians["quiet_" + key] = q
        line = "relay_e2e:   %-10s %10.2f" % (name, q)
        if results["loaded"]:
            medians["loaded_" + key] = statistics.median(r[key] for r in results["loaded"])
            line += " %10.2f" % medians["loaded_" + key]
        print(line)
    for label, name in (("quiet", "trips.txt"), ("loaded", "trips_loaded.txt")):
        with open(os.path.join(work, name), "w") as f:
            f.writelines("%d %d %d %d\n" % s for s in STAMPS[label])

    # Quiet link, one running game: CPU time over the idle spell.
    prefix = os.environ.get("WINEPREFIX", "")
    procs = {"client (hall_host.exe + Quorrel.dll)": find_pids("hall_host", prefix),
             "game (pellory.exe)": find_pids("pellory", prefix)}
    before = {k: sum(cpu_seconds(p) for p in v) for k, v in procs.items()}
    time.sleep(idle_s)
    for k, v in procs.items():
        used = sum(cpu_seconds(p) for p in v) - before[k]
        share = 100.0 * used / idle_s
        medians["idle_" + k.split()[0]] = share
        print("relay_e2e: idle %.0f s, %s: %.2f%% of a core (pids %s)" % (idle_s, k, share, v))
    with open(os.path.join(work, "results.json"), "w") as f:
        json.dump(medians, f)

    if not all(r["in_order"] for rs in results.values() for r in rs):
        sys.exit(1)


if __name__ == "__main__":
    sys.exit(main())
