#!/usr/bin/python3
"""The diagnostics web service for VelmoPlatform.dll's tests and the demo.

Serves the enciphered configuration (GET /Verify/UserBasicsConfig.aspx?t=N,
from a JSON file), a public-IP page (GET /ip.html, GBK) and takes the reports
(POST /Verify/UserBasicsInfo.aspx?type=&timespan=&sign=): checks the query
and the signature, deciphers the body, checks and pretty-prints the JSON.
Every request gives one JSON line in the log.

Written on independent libraries (Cryptodome's DES, hashlib, json), so that a
fault the library and this service made the same way would not go unseen.
Run with /usr/bin/python3 (Debian's, with python3-pycryptodome).

    diag_service.py --config cfg.json [--port N] [--log f.jsonl] [--show]
                    [--config-answer ok|empty|garbled|long|huge|breaks]
                    [--ip-page ok|empty|garbled|long|hostile|huge|trickle] [--report-status N]
                    [--report-delay SECONDS]
                    [--reports N] [-- command ...]
With a command: runs it with VELMO_SERVICE set to the service and exits with
its code; with --reports N, writes a line to its input once N reports came.
"""
import argparse
import hashlib
import json
import os
import subprocess
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from Cryptodome.Cipher import DES

REPORT_KEY = b"Rk2WpdT5"
CONFIG_KEY = b"q4tmuvzo"
SIGNING_KEY = "Hs4kPq9Zx2LmVbN7c3d081e5f6aYtR9"
CONFIG_PATH = "/Verify/UserBasicsConfig.aspx"
REPORT_PATH = "/Verify/UserBasicsInfo.aspx"
IP_PATH = "/ip.html"

FULL_ONLY_KEYS = {"OS", "DXVerMajor", "DXVer", "VideoAdapter"}
BOTH_KEYS = {"Ver", "UserID", "CPUPercent", "Mem-Total", "Mem-Use", "IP", "ISP", "DNS",
             "NameResolution", "Ping"}


def encipher_config(text_bytes):
    """Hex (uppercase) of DES-ECB under the configuration key, zero-padded."""
    padded = text_bytes + b"\0" * (-len(text_bytes) % 8)
    return DES.new(CONFIG_KEY, DES.MODE_ECB).encrypt(padded).hex().upper()


def sign(report_type, timespan):
    return hashlib.md5(("%d%d%s" % (report_type, timespan, SIGNING_KEY)).encode()).hexdigest()


def ip_page(ip, isp):
    html = ("<html><head><title>IP</title></head><body><table><tr>"
            "<td align=\"center\">您的IP地址是：[ %s ] 来自：%s<br/><br/></td>"
            "</tr></table></body></html>\n" % (ip, isp))
    return html.encode("gbk")


def check_form(text):
    """The compact written form: no white space outside strings, members in
    byte-wise ascending key order, one "\\n" at the end. Returns a list of
    problems (empty when the form is right)."""
    problems = []
    if not text.endswith("}\n") or text.count("\n") != 1:
        problems.append("not one line ending in }\\n")
    in_string = escaped = False
    for ch in text[:-1]:
        if in_string:
            if escaped:
                escaped = False
            elif ch == "\\":
                escaped = True
            elif ch == '"':
                in_string = False
        elif ch == '"':
            in_string = True
        elif ch in " \t\r\n":
            problems.append("white space outside a string")
            break

    def hook(pairs):
        keys = [k.encode("gbk", "replace") for k, _ in pairs]
        if keys != sorted(keys):
            problems.append("keys out of order: %s" % [k for k, _ in pairs])
        return dict(pairs)

    try:
        json.loads(text, object_pairs_hook=hook)
    except ValueError as e:
        problems.append("not JSON: %s" % e)
    return problems


def decode_report(body, report_type):
    """Deciphers and checks one report body; a dict for the log."""
    out = {"body_len": len(body)}
    try:
        hex_text = body.decode("ascii")
    except UnicodeDecodeError:
        return dict(out, body_ok=False, error="body is not ASCII hex")
    out["body_upper"] = hex_text == hex_text.upper()
    if len(hex_text) % 16 or not hex_text:
        return dict(out, body_ok=False, error="hex length %d is no whole number of blocks" % len(hex_text))
    try:
        raw = DES.new(REPORT_KEY, DES.MODE_ECB).decrypt(bytes.fromhex(hex_text))
    except ValueError as e:
        return dict(out, body_ok=False, error="bad hex: %s" % e)
    out["body_ok"] = True
    text_bytes = raw.rstrip(b"\0")
    out["text_len"] = len(text_bytes)
    try:
        text = text_bytes.decode("gbk")
    except UnicodeDecodeError:
        return dict(out, json_ok=False, error="text is not in the GBK code page")
    problems = check_form(text)
    report = None
    if not any(p.startswith("not JSON") for p in problems):
        report = json.loads(text)
        keys = set(report)
        want = BOTH_KEYS | (FULL_ONLY_KEYS if report_type == 0 else set())
        if keys != want:
            problems.append("keys differ: missing %s, extra %s" % (sorted(want - keys), sorted(keys - want)))
    out.update(json_ok=not problems, problems=problems, report=report, text=text)
    return out


class DiagService:
    """The service on 127.0.0.1; start() picks the port when it is 0."""

    def __init__(self, config_bytes, port=0, log_path=None, show=False, config_answer="ok",
                 ip_page_mode="ok", report_status=200, ip="203.0.113.7", isp="中国 电信",
                 report_delay=0.0):
        self.config_bytes = config_bytes
        self.log_path = log_path
        self.show = show
        self.config_answer = config_answer
        self.ip_page_mode = ip_page_mode
        self.report_status = report_status
        self.report_delay = report_delay
        self.ip, self.isp = ip, isp
        self.events = []
        self.cond = threading.Condition()
        self.server = ThreadingHTTPServer(("127.0.0.1", port), self._handler())
        self.port = self.server.server_address[1]
        self.thread = None

    @property
    def url(self):
        return "http://127.0.0.1:%d" % self.port

    def start(self):
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()
        return self

    def stop(self):
        self.server.shutdown()
        self.server.server_close()

    def record(self, event):
        event["t"] = round(time.time(), 3)
        with self.cond:
            self.events.append(event)
            self.cond.notify_all()
        if self.log_path:
            slim = {k: v for k, v in event.items() if k != "text"}
            with open(self.log_path, "a", encoding="utf-8") as f:
                f.write(json.dumps(slim, ensure_ascii=False) + "\n")
        if self.show and event.get("kind") == "report":
            print("-- report type %s (sign %s, form %s), deciphered:" % (
                event.get("type"), "ok" if event.get("sign_ok") else "WRONG",
                "ok" if event.get("json_ok") else event.get("problems")))
            if event.get("report") is not None:
                print(json.dumps(event["report"], ensure_ascii=False, indent=2))
            sys.stdout.flush()

    def wait_for(self, predicate, timeout):
        """Waits until predicate(events) is true; the events, or None on time-out."""
        deadline = time.time() + timeout
        with self.cond:
            while not predicate(self.events):
                left = deadline - time.time()
                if left <= 0:
                    return None
                self.cond.wait(left)
            return list(self.events)

    def reports(self):
        with self.cond:
            return [e for e in self.events if e.get("kind") == "report"]

    # --- answers -----------------------------------------------------------

    def config_body(self):
        mode = self.config_answer
        if mode == "empty":
            return b""
        if mode == "garbled":
            return b"ZZ-not-hex-" + b"0123456789" * 7
        if mode == "long":
            targets = ["host%05d.example" % i for i in range(600)]
            text = json.dumps({"Period": 0, "DNSTarget": targets}).encode()
        else:
            text = self.config_bytes
        hex_text = encipher_config(text)
        # Lines of 64 digits: the library joins the lines without line feeds.
        return "\n".join(hex_text[i:i + 64] for i in range(0, len(hex_text), 64)).encode()

    # Answers of many MiB, sent in pieces: (head, filler piece, pieces, pause
    # between pieces in seconds).
    HUGE_PIECES = 64 * 1024  # 64 MiB of 1 KiB pieces

    def streamed(self, kind):
        """The streamed form of an answer, or None when it is sent whole."""
        mode = self.config_answer if kind == "config" else self.ip_page_mode
        if kind == "config" and mode == "huge":
            return b"0123456789ABCDEF" * 64, b"0123456789ABCDEF" * 64, self.HUGE_PIECES, 0
        if kind == "config" and mode == "breaks":
            # Nothing but line breaks, which a line reader drops: over-long
            # all the same, and read only up to the library's cap.
            return b"", b"\n" * 1024, self.HUGE_PIECES, 0
        if kind == "ip" and mode == "huge":
            return ip_page(self.ip, self.isp), b" " * 1024, self.HUGE_PIECES, 0
        if kind == "ip" and mode == "trickle":
            # 1 KiB every 50 ms for up to a minute: past the library's read cap
            # within about a second.
            return ip_page(self.ip, self.isp), b" " * 1024, 1200, 0.05
        return None

    def ip_body(self):
        mode = self.ip_page_mode
        if mode == "empty":
            return b""
        if mode == "garbled":
            return bytes(range(256)) * 4
        if mode == "long":
            return b"<td " + b"x" * 300000 + ip_page(self.ip, self.isp)
        if mode == "hostile":
            return "<td a>您的IP地址是：".encode("gbk") * 1300
        return ip_page(self.ip, self.isp)

    def _handler(self):
        service = self

        class Handler(BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def stream(self, head, piece, count, pause, ctype):
                """A long answer in pieces; the client may leave at any time."""
                self.send_response(200)
                self.send_header("Content-Type", ctype)
                self.send_header("Content-Length", str(len(head) + len(piece) * count))
                self.end_headers()
                sent = 0
                try:
                    self.wfile.write(head)
                    for _ in range(count):
                        self.wfile.write(piece)
                        sent += len(piece)
                        if pause:
                            self.wfile.flush()
                            time.sleep(pause)
                except OSError:
                    self.close_connection = True
                return sent

            def answer(self, status, body, ctype="text/plain"):
                self.send_response(status)
                self.send_header("Content-Type", ctype)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def do_GET(self):
                url = urllib.parse.urlsplit(self.path)
                query = urllib.parse.parse_qs(url.query, keep_blank_values=True)
                event = {"method": "GET", "path": url.path, "query": url.query}
                if url.path == CONFIG_PATH:
                    t = query.get("t", [""])[0]
                    event.update(kind="config", t_ok=t.isdigit() and 0 <= int(t) <= 32767,
                                 answer=service.config_answer)
                    streamed = service.streamed("config")
                    if streamed:
                        event["filler_sent"] = self.stream(*streamed, "text/plain")
                    else:
                        self.answer(200, service.config_body())
                elif url.path == IP_PATH:
                    event.update(kind="ip", page=service.ip_page_mode)
                    streamed = service.streamed("ip")
                    if streamed:
                        event["filler_sent"] = self.stream(*streamed, "text/html; charset=gb2312")
                    else:
                        self.answer(200, service.ip_body(), "text/html; charset=gb2312")
                else:
                    event.update(kind="other")
                    self.answer(404, b"not found")
                event["status"] = self.last_status
                service.record(event)

            def send_response(self, code, message=None):
                self.last_status = code
                super().send_response(code, message)

            def do_POST(self):
                url = urllib.parse.urlsplit(self.path)
                length = int(self.headers.get("Content-Length") or 0)
                body = self.rfile.read(length) if length > 0 else b""
                event = {"method": "POST", "path": url.path, "query": url.query,
                         "content_type": self.headers.get("Content-Type")}
                if url.path != REPORT_PATH:
                    event.update(kind="other")
                    self.answer(404, b"not found")
                else:
                    event.update(kind="report")
                    q = urllib.parse.parse_qs(url.query, keep_blank_values=True)
                    try:
                        report_type = int(q["type"][0])
                        timespan = int(q["timespan"][0])
                        signature = q["sign"][0]
                        query_ok = (list(q) == ["type", "timespan", "sign"] and report_type in (0, 1))
                    except (KeyError, ValueError, IndexError):
                        report_type, timespan, signature, query_ok = None, None, "", False
                    event.update(type=report_type, timespan=timespan, query_ok=query_ok,
                                 sign_ok=query_ok and signature == sign(report_type, timespan),
                                 sign_lower=signature == signature.lower(),
                                 clock_skew=None if timespan is None else int(time.time()) - timespan)
                    event.update(decode_report(body, report_type))
                    if service.report_delay:
                        # A slow service: the report is logged now, answered later.
                        event["status"] = service.report_status
                        service.record(event)
                        time.sleep(service.report_delay)
                        try:
                            self.answer(service.report_status, b"OK")
                        except OSError:
                            pass  # the client gave up
                        return
                    self.answer(service.report_status, b"OK" if service.report_status == 200 else b"no")
                event["status"] = self.last_status
                service.record(event)

        return Handler


def main(argv):
    if "--" in argv:
        cut = argv.index("--")
        argv, command = argv[:cut], argv[cut + 1:]
    else:
        command = []
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--config", required=True, help="JSON file served as the configuration")
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--log", help="one JSON line per request")
    p.add_argument("--show", action="store_true", help="pretty-print every report")
    p.add_argument("--config-answer", default="ok", choices=["ok", "empty", "garbled", "long", "huge", "breaks"])
    p.add_argument("--ip-page", default="ok",
                   choices=["ok", "empty", "garbled", "long", "hostile", "huge", "trickle"])
    p.add_argument("--report-status", type=int, default=200)
    p.add_argument("--report-delay", type=float, default=0.0, help="seconds before a report's answer")
    p.add_argument("--reports", type=int, default=0,
                   help="with a command: a line to its input after this many reports")
    args = p.parse_args(argv)
    with open(args.config, encoding="utf-8") as f:
        config_bytes = json.dumps(json.load(f), ensure_ascii=False).encode("gbk")
    service = DiagService(config_bytes, args.port, args.log, args.show, args.config_answer,
                          args.ip_page, args.report_status, report_delay=args.report_delay).start()
    print("diag_service: listening on %s" % service.url)
    sys.stdout.flush()
    if not command:
        try:
            while True:
                time.sleep(3600)
        except KeyboardInterrupt:
            return 0
    env = dict(os.environ, VELMO_SERVICE=service.url)
    if not args.reports:
        code = subprocess.call(command, env=env)
    else:
        proc = subprocess.Popen(command, env=env, stdin=subprocess.PIPE)
        if service.wait_for(lambda ev: len([e for e in ev if e.get("kind") == "report"]) >= args.reports,
                            120) is None:
            print("diag_service: %d reports did not come within 120 s" % args.reports)
        try:
            proc.stdin.write(b"stop\n")
            proc.stdin.close()
        except BrokenPipeError:
            pass
        code = proc.wait()
    service.stop()
    return code


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
