#!/usr/bin/env python3
"""Soak run of the TCP path: a simulated board at 10,000 lines a second for
ten minutes into `plimsy-cli connect --summary` and into the application,
with 20 reconnects on the way. Not part of CI; prints figures.

    python3 bench/soak.py                  # 10 minutes, build/release or build/debug
    python3 bench/soak.py --minutes 1      # a quick look
    python3 bench/soak.py --build build/debug --rate 2000

What runs, all on 127.0.0.1:
- `plimsy-cli simulate` serves the board (a fresh board per connection).
- A relay in this script stands between the board and each client. It passes
  whole lines only and counts them, so it knows exactly how many lines each
  client was sent, and it forces the reconnects: it finishes the line in
  progress, closes both sides gracefully, and the client reconnects by
  itself (it retries every 4 s).
- `plimsy-cli connect --tcp ... --summary` counts the lines it received;
  lines lost = lines sent - lines received.
- `plimsy_sensors` under QT_QPA_PLATFORM=offscreen, with a settings file in
  a temporary XDG_CONFIG_HOME that points it at the relay. It has no line
  counter of its own: a line it did not use leaves a console line (binary
  frame, dropped over-long line, decoding failure), so those are counted,
  and its reconnections too.

Every 5 s the script samples each process from /proc: resident memory, its
peak (VmHWM), open descriptors and threads. It reports them at the end of
the warm-up (the first minute, or a tenth of a short run) and at the end.
Targets: nothing lost, memory flat within 1 MB after warm-up, descriptors
and threads not growing.
"""

import argparse
import json
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

HOST = "127.0.0.1"  # nothing here ever leaves the machine


def free_port():
    s = socket.socket()
    s.bind((HOST, 0))
    port = s.getsockname()[1]
    s.close()
    return port


def proc_figures(pid):
    """Resident memory and its peak in kB, open descriptors, threads."""
    try:
        with open("/proc/%d/status" % pid) as f:
            status = f.read()
        fds = len(os.listdir("/proc/%d/fd" % pid))
    except OSError:
        return None

    def field(name):
        m = re.search(r"^%s:\s+(\d+)" % name, status, re.M)
        return int(m.group(1)) if m else 0

    return {"rss_kb": field("VmRSS"), "hwm_kb": field("VmHWM"), "fds": fds, "threads": field("Threads")}


class relay_t:
    """Listens on a port of its own; each client gets a fresh upstream
    connection to the board, and receives whole lines only."""

    def __init__(self, name, board_port):
        self.name = name
        self.board_port = board_port
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind((HOST, 0))
        self.listener.listen(4)
        self.port = self.listener.getsockname()[1]
        self.lock = threading.Lock()
        self.pairs = []
        self.lines_sent = 0
        self.connections = 0
        self.stopping = False
        threading.Thread(target=self.accept_loop, daemon=True).start()

    def accept_loop(self):
        while not self.stopping:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            if self.stopping:
                client.close()
                return
            upstream = socket.create_connection((HOST, self.board_port))
            pair = {"client": client, "upstream": upstream, "closing": False}
            with self.lock:
                self.pairs.append(pair)
                self.connections += 1
            threading.Thread(target=self.down, args=(pair,), daemon=True).start()
            threading.Thread(target=self.up, args=(pair,), daemon=True).start()

    def down(self, pair):
        """Board to client, whole lines only, counted as they are sent."""
        tail = b""
        try:
            while not pair["closing"]:
                data = pair["upstream"].recv(65536)
                if not data:
                    break
                data = tail + data
                cut = data.rfind(b"\n") + 1
                tail = data[cut:]
                if cut:
                    pair["client"].sendall(data[:cut])
                    with self.lock:
                        self.lines_sent += data.count(b"\n", 0, cut)
        except OSError:
            pass
        # A graceful end: the client reads everything sent, then the end.
        for s in (pair["client"], pair["upstream"]):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            s.close()
        with self.lock:
            if pair in self.pairs:
                self.pairs.remove(pair)

    def up(self, pair):
        """Client to board: commands, passed on as they come."""
        try:
            while True:
                data = pair["client"].recv(4096)
                if not data:
                    return
                pair["upstream"].sendall(data)
        except OSError:
            return

    def drop_all(self):
        with self.lock:
            pairs = list(self.pairs)
        for p in pairs:
            p["closing"] = True

    def stop(self):
        self.stopping = True
        try:
            self.listener.close()
        except OSError:
            pass
        self.drop_all()


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--minutes", type=float, default=10.0)
    ap.add_argument("--rate", type=float, default=10000.0, help="lines per second per client")
    ap.add_argument("--reconnects", type=int, default=20)
    ap.add_argument("--board", default="compass_gravity")
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    default_build = os.path.join(root, "build", "release")
    if not os.path.exists(os.path.join(default_build, "src", "plimsy_sensors")):
        default_build = os.path.join(root, "build", "debug")
    ap.add_argument("--build", default=default_build)
    ap.add_argument("--no-app", action="store_true", help="only plimsy-cli connect")
    args = ap.parse_args()

    cli = os.path.join(args.build, "src", "cli", "plimsy-cli")
    app = os.path.join(args.build, "src", "plimsy_sensors")
    seconds = args.minutes * 60.0
    warm_up = min(60.0, seconds / 10.0)
    print("soak: %s, %.0f lines/s, %.1f min, %d reconnects" % (args.build, args.rate, args.minutes, args.reconnects))

    board_port = free_port()
    board = subprocess.Popen([cli, "simulate", "--board", args.board, "--port", str(board_port), "--rate",
                              str(args.rate)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        try:
            socket.create_connection((HOST, board_port)).close()
            break
        except OSError:
            time.sleep(0.05)

    relays = {"connect": relay_t("connect", board_port)}
    if not args.no_app:
        relays["app"] = relay_t("app", board_port)

    procs = {}
    connect_err = tempfile.TemporaryFile()
    procs["connect"] = subprocess.Popen([cli, "connect", "--tcp", "%s:%d" % (HOST, relays["connect"].port),
                                         "--summary"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=connect_err)
    config = tempfile.TemporaryDirectory()
    app_out = tempfile.TemporaryFile()
    if not args.no_app:
        os.makedirs(os.path.join(config.name, "Plimsy"))
        with open(os.path.join(config.name, "Plimsy", "Plimsy_sensors.json"), "w") as f:
            json.dump({"enable_bridge": False, "enable_ble": False, "history_host": [HOST],
                       "history_port": [relays["app"].port]}, f)
        env = dict(os.environ, XDG_CONFIG_HOME=config.name, QT_QPA_PLATFORM="offscreen",
                   XDG_CACHE_HOME=os.path.join(config.name, "cache"))
        procs["app"] = subprocess.Popen([app], env=env, stdout=app_out, stderr=subprocess.STDOUT)

    samples = {name: [] for name in procs}
    start = time.monotonic()
    next_drop = seconds / (args.reconnects + 1)
    drops = 0
    try:
        while time.monotonic() - start < seconds:
            time.sleep(5.0 - ((time.monotonic() - start) % 5.0))
            t = time.monotonic() - start
            for name, p in procs.items():
                f = proc_figures(p.pid)
                if f:
                    f["t"] = t
                    samples[name].append(f)
            while drops < args.reconnects and t >= next_drop * (drops + 1):
                for r in relays.values():
                    r.drop_all()
                drops += 1
    except KeyboardInterrupt:
        print("soak: interrupted")

    # Stop the flow gracefully, let the clients read what was sent, then end them.
    for r in relays.values():
        r.stop()
    time.sleep(3.0)
    out, _ = procs["connect"].communicate(input=b"", timeout=60)
    summary = json.loads(out.decode().strip().splitlines()[-1])
    if "app" in procs:
        procs["app"].send_signal(signal.SIGTERM)
        try:
            procs["app"].wait(timeout=30)
        except subprocess.TimeoutExpired:
            procs["app"].kill()
            procs["app"].wait()
    board.terminate()
    board.wait()

    ok = True
    sent = relays["connect"].lines_sent
    lost = sent - summary["lines"]
    print("connect: %d lines sent, %d received, %d lost; %d connections made by the relay"
          % (sent, summary["lines"], lost, relays["connect"].connections))
    ok &= lost == 0
    connect_err.seek(0)
    err_text = connect_err.read().decode(errors="replace")
    print("connect: %d 'connected to' lines, %d dropped-line notices"
          % (err_text.count("connected to"), err_text.count("dropped an incomplete line")))
    if "app" in procs:
        app_out.seek(0)
        text = app_out.read().decode(errors="replace")
        unused = (text.count("[binary frame]") + text.count("dropped an incomplete line")
                  + text.count("failed to decode JSON"))
        print("app: %d lines sent; %d connections; %d lines not used (binary, dropped or undecodable)"
              % (relays["app"].lines_sent, text.count("connected to"), unused))
        ok &= unused == 0

    for name, s in samples.items():
        if not s:
            continue
        warm = next((x for x in s if x["t"] >= warm_up), s[0])
        end = s[-1]
        grow = end["hwm_kb"] - warm["hwm_kb"]
        print("%s: after warm-up (%.0f s) rss %d kB, peak %d kB, %d fds, %d threads; "
              "at the end (%.0f s) rss %d kB, peak %d kB, %d fds, %d threads; peak grew %d kB"
              % (name, warm["t"], warm["rss_kb"], warm["hwm_kb"], warm["fds"], warm["threads"],
                 end["t"], end["rss_kb"], end["hwm_kb"], end["fds"], end["threads"], grow))
        # The peak once a minute (or ten times in a short run): growth that
        # follows the reconnects shows as steps, steady growth as a slope.
        step = max(5.0, min(60.0, seconds / 10.0))
        marks = [x for i, x in enumerate(s) if i == 0 or int(x["t"] // step) != int(s[i - 1]["t"] // step)]
        print("%s: peak kB over time: %s" % (name, " ".join("%d@%.0fs" % (x["hwm_kb"], x["t"]) for x in marks)))
        fds = [x["fds"] for x in s if x["t"] >= warm_up]
        threads = [x["threads"] for x in s if x["t"] >= warm_up]
        if fds:
            print("%s: after warm-up descriptors %d..%d, threads %d..%d"
                  % (name, min(fds), max(fds), min(threads), max(threads)))
        ok &= grow <= 1024 and end["fds"] <= warm["fds"] + 1 and end["threads"] <= warm["threads"] + 1
    print("soak: %s" % ("targets met" if ok else "TARGETS MISSED"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
