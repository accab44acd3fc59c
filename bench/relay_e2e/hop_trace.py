"""Hop by hop through one relay round trip: the driver's start and end of
each round trip (trips.txt from driver.py) against the notes the client and
the game took at each hop (hop_trace_<pid>.txt, written at exit by a build
with Q_HOP_TRACE; netcore/port/hop_trace.h), and the gate simulator's
(hop_trace_sim.txt, with Q_SIM_HOP_TRACE). For the round trips whose hops
came in the usual order, prints each hop's median and 90th-percentile time
since the hop before it, and on which thread of which process it ran.

    hop_trace.py trips.txt hop_trace_<pid>.txt... [hop_trace_sim.txt]
"""
import bisect
import collections
import statistics
import sys


def read_notes(path):
    notes = []
    with open(path) as f:
        for line in f:
            if line.startswith("#"):
                continue
            ticks, tid, name = line.rstrip("\n").split(" ", 2)
            notes.append((int(ticks), int(tid), name))
    return notes


def roles(notes):
    """A name for each thread of a process by the hops it took."""
    seen = collections.defaultdict(set)
    for _, tid, name in notes:
        seen[tid].add(name)
    out = {}
    for tid, names in seen.items():
        if "net: frame in" in names:
            out[tid] = "reader thread"
        elif any(n.startswith("loop:") for n in names):
            out[tid] = "loop thread"
        elif "job: dispatch" in names:
            out[tid] = "job thread"
        elif "ipc: worker woke" in names:
            out[tid] = "channel worker"
        else:
            out[tid] = "thread %d" % tid
    return out


def main():
    trips = []
    with open(sys.argv[1]) as f:
        for line in f:
            v = [int(x) for x in line.split()]
            trips.append(v)
    processes = []
    for path in sys.argv[2:]:
        notes = read_notes(path)
        if not notes:
            continue
        if all(n[2].startswith("sim:") for n in notes):
            label, r = "gate simulator", collections.defaultdict(str)
        else:
            # Only the client has a network layer.
            label = "client" if any(n[2].startswith(("net:", "loop:")) for n in notes) else "game"
            r = roles(notes)
        processes += [(t, ("%s %s" % (label, r[tid])).strip(), name) for t, tid, name in notes]
    processes.sort()
    ticks = [n[0] for n in processes]
    if not trips or not processes:
        print("hop_trace: no trips or no notes")
        return 1

    def windows(col):
        return [(v[col], v[col + 1]) for v in trips if len(v) > col + 1]

    # Take the clock that puts the client's first hop inside the windows.
    best = None
    for col in (0, 2):
        w = windows(col)
        inside = sum(1 for a, b in w if bisect.bisect_left(ticks, a) < bisect.bisect_right(ticks, b))
        if best is None or inside > best[0]:
            best = (inside, w)
    inside, w = best
    by_signature = collections.defaultdict(list)
    for a, b in w:
        lo, hi = bisect.bisect_left(ticks, a), bisect.bisect_right(ticks, b)
        steps = processes[lo:hi]
        sig = tuple((who, name) for _, who, name in steps)
        by_signature[sig].append([a] + [t for t, _, _ in steps] + [b])
    sig, runs = max(by_signature.items(), key=lambda kv: len(kv[1]))
    print("hop_trace: %d of %d round trips took the usual %d hops (%d had notes at all);"
          " times in us since the hop before, median and 90th percentile"
          % (len(runs), len(w), len(sig), inside))
    names = [("driver", "sends the command (control op)")] + list(sig) + \
        [("driver", "has the answer (control op returned)")]
    for i, (who, name) in enumerate(names):
        if i == 0:
            continue
        d = sorted((r[i] - r[i - 1]) / 10.0 for r in runs)
        print("hop_trace:   %-26s %-36s %8.0f %8.0f"
              % (who, name, statistics.median(d), d[int(len(d) * 0.9)]))
    # The tail: the slowest twentieth of these round trips, hop by hop, so
    # that the hop a slow trip loses its time in stands out against the median.
    slow = sorted(runs, key=lambda r: r[-1] - r[0])[-max(1, len(runs) // 20):]
    print("hop_trace: the slowest %d of them (round trip %.0f us and up), median us since the"
          " hop before, beside the median of all" % (len(slow), (slow[0][-1] - slow[0][0]) / 10.0))
    for i, (who, name) in enumerate(names):
        if i == 0:
            continue
        d_all = statistics.median((r[i] - r[i - 1]) / 10.0 for r in runs)
        d_slow = statistics.median((r[i] - r[i - 1]) / 10.0 for r in slow)
        print("hop_trace:   %-26s %-36s %8.0f %8.0f" % (who, name, d_slow, d_all))
    total = sorted((r[-1] - r[0]) / 10.0 for r in runs)
    first, last = sorted((r[1] - r[0]) / 10.0 for r in runs), sorted((r[-1] - r[-2]) / 10.0 for r in runs)
    inner = sorted((r[-2] - r[1]) / 10.0 for r in runs)
    print("hop_trace:   round trip %8.0f us median; first client hop to last %8.0f us;"
          " before the first hop %6.0f, after the last %6.0f"
          % (statistics.median(total), statistics.median(inner), statistics.median(first),
             statistics.median(last)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
