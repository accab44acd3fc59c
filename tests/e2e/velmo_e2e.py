#!/usr/bin/python3
"""End-to-end tests of VelmoPlatform.dll under Wine: tools/velmo_host loads
the library and drives it against tools/diag_service on 127.0.0.1.

    velmo_e2e.py <bin dir with velmo_host.exe and VelmoPlatform.dll> <wine_run.sh> <group>

Groups: cycle, stop, faults, rounds. Exits 1 naming every failed check.
"""
import json
import os
import re
import subprocess
import sys
import tempfile
import time

# The service is the peer in tools/diag_service.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools",
                                "diag_service"))
from diag_service import DiagService  # noqa: E402

BIN, WINE_RUN = sys.argv[1], sys.argv[2]
FAILURES = []


def check(cond, what):
    print("  %s: %s" % ("ok" if cond else "FAILED", what))
    if not cond:
        FAILURES.append(what)


def config_bytes(cfg):
    return json.dumps(cfg, ensure_ascii=False).encode("gbk")


class Run:
    """One host run against one service."""

    def __init__(self, cfg, host_args=("--wait-stdin",), **service_args):
        self.service = DiagService(config_bytes(cfg), **service_args).start()
        self.out = tempfile.NamedTemporaryFile("w+", suffix=".txt", delete=False)
        env = dict(os.environ, VELMO_SERVICE=self.service.url)
        # The output goes to a file: a Wine server started by this program
        # would hold a pipe open after the program ends.
        self.proc = subprocess.Popen([WINE_RUN, os.path.join(BIN, "velmo_host.exe")] + list(host_args),
                                     cwd=BIN, env=env, stdin=subprocess.PIPE, stdout=self.out,
                                     stderr=subprocess.STDOUT)

    def reports(self, n, timeout):
        got = self.service.wait_for(lambda ev: len([e for e in ev if e.get("kind") == "report"]) >= n, timeout)
        return None if got is None else [e for e in got if e.get("kind") == "report"]

    def finish(self, timeout=60):
        """Tells the host to stop (a line on its input); its output."""
        try:
            self.proc.stdin.write(b"stop\n")
            self.proc.stdin.close()
        except BrokenPipeError:
            pass
        try:
            self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            check(False, "host ended within %d s" % timeout)
        self.service.stop()
        self.out.seek(0)
        text = self.out.read()
        self.out.close()
        os.unlink(self.out.name)
        return text

    @property
    def events(self):
        return list(self.service.events)


def stop_facts(output):
    m = re.search(r"^Stop: 1 \(took (\d+) ms\)", output, re.M)
    took = int(m.group(1)) if m else None
    m = re.search(r"^worker exit code: (\S+)", output, re.M)
    return took, (m.group(1) if m else None)


BASE = {"Ver": "1.0", "PeriodRand": 0, "Ping-Packets": 3, "Ping-Interval": 20, "Ping-Timeout": 500}


def test_cycle():
    print("cycle: configuration, a full and a periodic report, stop")
    cfg = dict(BASE, Period=0, DNSTarget=["localhost", "no-such-host.invalid"],
               **{"Ping-Target": [{"Name": "lo", "Host": "127.0.0.1"},
                                  {"Name": "nohost", "Host": "no-such-host.invalid"}]})
    run = Run(cfg)
    reports = run.reports(2, 60)
    out = run.finish()
    print(out)
    check(reports is not None, "two reports arrived")
    if not reports:
        return
    configs = [e for e in run.events if e.get("kind") == "config"]
    check(len(configs) == 1 and configs[0]["t_ok"], "one configuration GET with t= a number 0..32767")
    check([r["type"] for r in reports[:2]] == [0, 1], "the first report has type 0, the next type 1")
    for r in reports[:2]:
        check(r["sign_ok"] and r["sign_lower"], "type %s: signature right, lowercase" % r["type"])
        check(r["body_upper"] and r["json_ok"], "type %s: uppercase body, compact JSON (%s)" % (r["type"], r.get("problems")))
        check(r["content_type"] is None, "type %s: no content type" % r["type"])
        check(abs(r["clock_skew"]) <= 5, "type %s: timespan is now" % r["type"])
    full, periodic = reports[0]["report"], reports[1]["report"]
    for rep in (full, periodic):
        check(rep["IP"] == "203.0.113.7" and rep["ISP"] == "中国 电信", "IP and provider read from the page")
        check(rep["UserID"] == 10001 and rep["Ver"] == "1.0", "user id and version")
        check(rep["DNS"] is None or all(re.match(r"^\d+\.\d+\.\d+\.\d+$", d) for d in rep["DNS"]),
              "DNS servers as dotted addresses: %s" % rep["DNS"])
        check(rep["NameResolution"] == ["localhost,localhost,127.0.0.1", "no-such-host.invalid,,0.0.0.0"],
              "name resolutions: %s" % rep["NameResolution"])
        pings = {p["Target"]: p for p in rep["Ping"] or []}
        lo = pings.get("lo", {})
        check(lo.get("LossRate") == 0 and 0 <= lo.get("ElapseMin", -1) <= lo.get("ElapseAvg", -1) <= lo.get("ElapseMax", -1) < 500,
              "127.0.0.1 answered every echo: %s" % lo)
        check(pings.get("nohost") == {"Target": "nohost", "LossRate": 0, "ElapseAvg": 0, "ElapseMin": 0, "ElapseMax": 0},
              "an unresolvable ping target is all 0")
    check(full["Mem-Total"] > 0 and full["Mem-Use"] >= 0 and full["CPUPercent"] >= 0,
          "memory total from WMI: %s MB" % full["Mem-Total"])
    check(full["OS"].startswith("Microsoft Windows") and full["VideoAdapter"] and full["DXVer"] != "",
          "the full report has OS, video adapters and DirectX: %s / %s / %s %s" % (full["OS"], full["VideoAdapter"], full["DXVer"], full["DXVerMajor"]))
    took, code = stop_facts(out)
    check(took is not None and took < 3000 and code == "0", "Stop ended the worker (%s ms, exit code %s)" % (took, code))
    test_config_values()


def test_config_values():
    print("cycle: a configuration near its size limit, a pattern of GBK byte ranges")
    # About 8100 bytes of JSON: over 16000 hex digits, sent in lines of 64.
    cfg = dict(BASE, Period=30)
    cfg["Ver"] = "v" * (8100 - len(config_bytes(cfg)))
    run = Run(cfg)
    reports = run.reports(1, 60)
    out = run.finish()
    took, code = stop_facts(out)
    check(reports is not None and reports[0]["report"]["IP"] == "203.0.113.7" and code == "0",
          "a configuration of %d bytes in 64-digit lines is read whole (exit %s)" % (len(config_bytes(cfg)), code))

    cfg = dict(BASE, Period=30, **{"IPAPI-Pattern": "\\[ ([0-9.]+) \\] 来自：((?:[\\x81-\\xfe][\\x40-\\xfe])+)"})
    run = Run(cfg)
    reports = run.reports(1, 60)
    out = run.finish()
    rep = reports[0]["report"] if reports else {}
    check(rep.get("IP") == "203.0.113.7" and rep.get("ISP") == "中国",
          "a pattern with the ranges [\\x81-\\xfe][\\x40-\\xfe] reads the GBK provider: %s / %s" % (rep.get("IP"), rep.get("ISP")))


def test_stop():
    print("stop: during the pause, without Init, without Start; a 404 is not retried")
    run = Run(dict(BASE, Period=30), report_status=404)
    first = run.reports(1, 60)
    time.sleep(3)
    posts = [e for e in run.events if e.get("kind") == "report"]
    out = run.finish()
    print(out)
    check(first is not None and len(posts) == 1 and posts[0]["status"] == 404, "one report answered 404 and not retried")
    took, code = stop_facts(out)
    check(took is not None and took < 500 and code == "0", "Stop during the pause: %s ms, exit code %s" % (took, code))

    # A service that takes 20 s to answer a report: Stop cancels the POST
    # (WinInet's receive time-out alone would take 5 s, past Stop's 3 s).
    run = Run(dict(BASE, Period=0), report_delay=20)
    first = run.reports(1, 60)
    time.sleep(0.5)
    out = run.finish()
    print(out)
    took, code = stop_facts(out)
    check(first is not None and took is not None and took < 1000 and code == "0",
          "Stop during a slow report POST cancels it: %s ms, exit code %s" % (took, code))

    run = Run(dict(BASE), host_args=["--no-init", "--seconds", "0"])
    out = run.finish()
    print(out)
    took, code = stop_facts(out)
    check(took is not None and took < 100 and code is None and not run.events, "Stop without Init returns at once")

    run = Run(dict(BASE), host_args=["--no-start", "--seconds", "0.5"])
    out = run.finish()
    print(out)
    took, code = stop_facts(out)
    check(took is not None and took < 1000 and code == "0" and not run.events,
          "Stop of a thread never started ends it without force (%s ms, exit code %s)" % (took, code))


def test_faults():
    print("faults: configuration answers, public-IP pages, an over-long report")
    for mode in ("empty", "garbled", "long", "breaks"):
        run = Run(dict(BASE, Period=0), host_args=["--seconds", "3"], config_answer=mode)
        out = run.finish()
        took, code = stop_facts(out)
        kinds = [e["kind"] for e in run.events]
        check(kinds == ["config"] and code == "-1" and took < 1000,
              "configuration answer %s: the worker ends (-1) without a report: %s, %s" % (mode, kinds, code))
    for mode in ("empty", "garbled", "long", "hostile"):
        run = Run(dict(BASE, Period=30), ip_page_mode=mode)
        reports = run.reports(1, 60)
        out = run.finish()
        took, code = stop_facts(out)
        ip_gets = len([e for e in run.events if e.get("kind") == "ip"])
        check(reports is not None and reports[0]["report"]["IP"] == "" and ip_gets == 2 and code == "0",
              "public-IP page %s: IP empty after two tries, the worker lives on (exit %s)" % (mode, code))
    test_huge_answers()
    cfg = dict(BASE, Period=0, DNSTarget=["localhost"] * 150)
    run = Run(cfg, host_args=["--seconds", "4"])
    out = run.finish()
    took, code = stop_facts(out)
    kinds = [e["kind"] for e in run.events]
    check("report" not in kinds and kinds.count("ip") >= 2 and code == "0",
          "a report over 4096 bytes is not sent; the rounds go on (%d page reads, exit %s)" % (kinds.count("ip"), code))


def usage_growth(output):
    """The most the host's private memory grew past its start (bytes)."""
    start = re.search(r"^usage start: private=(\d+)", output, re.M)
    waits = [int(m) for m in re.findall(r"^usage wait: private=(\d+)", output, re.M)]
    if not start or not waits:
        return None
    return max(waits) - int(start.group(1))


# Answers are read up to a cap: 64 MiB after a configuration answer's start
# is the over-long case; a public-IP page followed by 64 MiB, or by a slow
# trickle, is searched in the part read. The host's memory stays flat and
# Stop stays quick.
MAX_GROWTH = 24 * 1024 * 1024


def test_huge_answers():
    # WinInet may read on through part of the rest when it closes the request:
    # the host gives the worker time to end by itself on a loaded machine.
    run = Run(dict(BASE, Period=0), host_args=["--seconds", "10", "--watch-ms", "250"],
              config_answer="huge")
    out = run.finish()
    took, code = stop_facts(out)
    kinds = [e["kind"] for e in run.events]
    growth = usage_growth(out)
    check(kinds == ["config"] and code == "-1" and growth is not None and growth < MAX_GROWTH,
          "a configuration answer of 64 MiB is over-long: %s, exit %s, memory +%s bytes" % (kinds, code, growth))
    for mode in ("huge", "trickle"):
        run = Run(dict(BASE, Period=30), host_args=["--wait-stdin", "--watch-ms", "250"], ip_page_mode=mode)
        reports = run.reports(1, 30)
        out = run.finish()
        took, code = stop_facts(out)
        growth = usage_growth(out)
        ip = reports[0]["report"]["IP"] if reports else None
        check(ip == "203.0.113.7" and growth is not None and growth < MAX_GROWTH,
              "public-IP page %s: the IP found at the top (%s), memory +%s bytes" % (mode, ip, growth))
        check(took is not None and took < 1000 and code == "0",
              "public-IP page %s: Stop took %s ms, exit code %s" % (mode, took, code))


def median(xs):
    xs = sorted(xs)
    return xs[len(xs) // 2]


def test_rounds():
    print("rounds: 100 reports back to back; the host's memory and handles stay flat")
    cfg = dict(BASE, Period=0, DNSTarget=["localhost"],
               **{"Ping-Target": [{"Name": "lo", "Host": "127.0.0.1"}], "Ping-Packets": 1})
    # Rounds can run fast on a quick machine: sample often enough that even
    # 100 rounds in a few seconds give the early and late tenths some samples.
    run = Run(cfg, host_args=["--wait-stdin", "--watch-ms", "100"])
    reports = run.reports(100, 400)
    out = run.finish()
    check(reports is not None and all(r["sign_ok"] and r["json_ok"] for r in reports), "100 good reports")
    samples = [(int(m.group(1)), int(m.group(2)))
               for m in re.finditer(r"^usage wait: private=(\d+) working_set=\d+ handles=(\d+)", out, re.M)]
    if len(samples) < 20:
        check(False, "enough usage samples (%d)" % len(samples))
        return
    tenth = len(samples) // 10
    early, late = samples[tenth:2 * tenth], samples[-tenth:]
    mem_growth = median([m for m, _ in late]) - median([m for m, _ in early])
    handle_growth = median([h for _, h in late]) - median([h for _, h in early])
    print("  private memory %d -> %d, handles %d -> %d" % (
        median([m for m, _ in early]), median([m for m, _ in late]),
        median([h for _, h in early]), median([h for _, h in late])))
    check(mem_growth < 1024 * 1024, "private memory grew %d bytes over ~80 rounds" % mem_growth)
    check(handle_growth <= 2, "handles grew by %d" % handle_growth)
    took, code = stop_facts(out)
    check(code == "0", "the worker ended with 0")


if __name__ == "__main__":
    group = sys.argv[3]
    {"cycle": test_cycle, "stop": test_stop, "faults": test_faults, "rounds": test_rounds}[group]()
    if FAILURES:
        print("velmo e2e %s: %d check(s) failed" % (group, len(FAILURES)))
        sys.exit(1)
    print("velmo e2e %s: ok" % group)
