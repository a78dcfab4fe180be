#!/usr/bin/env python3
"""The gallery server under careless and hostile clients, through the real orvanta binary on
a free 127.0.0.1 port: a large file streams to parallel clients without being held in
memory, slow or silent clients neither stall the server nor stay, a symlink swapped between
check and open never leads out of the case, and HTML a run wrote is served as text.
Every loop is bounded in count and time; all traffic stays on loopback."""

import ctypes
import http.client
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

BIN = os.environ["ORVANTA_BIN"]
HOST = "127.0.0.1"
BIG_SIZE = 200 * 1024 * 1024
CONNECTIONS = 32  # the server's worker count
REQUEST_DEADLINE = 10.0
IDLE_TIMEOUT = 5.0


def fail(message):
    raise AssertionError(message)


def free_port():
    with socket.socket() as s:
        s.bind((HOST, 0))
        return s.getsockname()[1]


def proc_status(pid, key):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    fail(f"no {key} in /proc/{pid}/status")


def get(port, path, timeout=5.0, headers=None):
    conn = http.client.HTTPConnection(HOST, port, timeout=timeout)
    try:
        conn.request("GET", path, headers=headers or {})
        res = conn.getresponse()
        return res.status, res.getheader("Content-Type"), res.read()
    finally:
        conn.close()


class Server:
    def __init__(self, case, work):
        self.port = free_port()
        self.log = open(os.path.join(work, "server.log"), "w")
        self.proc = subprocess.Popen(
            [BIN, "serve-gallery", "--port", str(self.port), "--case", case, "--page", "mesh.html",
             "--figure", "plots/a.png"], stdout=self.log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline:
            try:
                if get(self.port, "/__orvanta/status", timeout=1)[0] == 200:
                    return
            except OSError:
                time.sleep(0.05)
        fail("the gallery did not start")

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            fail("the gallery did not stop within 10 s of SIGTERM")
        self.log.close()
        if self.proc.returncode != 0:
            fail(f"the gallery exited with {self.proc.returncode} on SIGTERM")


def make_case(work):
    case = os.path.join(work, "case")
    outside = os.path.join(work, "outside")
    for d in ("plots", "VTK", "reports", "flip", os.path.join("outside", "flip")):
        os.makedirs(os.path.join(work if d.startswith("outside") else case, d), exist_ok=True)
    write(os.path.join(case, "plots", "a.png"), b"png")
    write(os.path.join(case, "plots", "empty.png"), b"")
    write(os.path.join(case, "plots", "swap.png"), b"inside")
    write(os.path.join(case, "flip", "swap.png"), b"inside")
    write(os.path.join(outside, "secret.txt"), b"SECRET")
    write(os.path.join(outside, "flip", "swap.png"), b"SECRET")
    os.symlink("../../outside/secret.txt", os.path.join(case, "plots", "swap_alt.png"))
    os.symlink("../outside/flip", os.path.join(case, "flip_alt"))
    os.symlink("../../outside/secret.txt", os.path.join(case, "plots", "escape.png"))
    os.symlink("a.png", os.path.join(case, "plots", "alias.png"))
    write(os.path.join(case, "reports", "report.html"), b"<script>alert(1)</script>")
    with open(os.path.join(case, "VTK", "big.vtp"), "wb") as f:  # sparse: costs no disk
        f.seek(BIG_SIZE - 3)
        f.write(b"END")
    return case


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def download_length(port, path, results, index):
    """Reads a whole answer, keeping only its header, length and last bytes."""
    with socket.create_connection((HOST, port), timeout=30) as s:
        s.sendall(f"GET {path} HTTP/1.1\r\nHost: {HOST}\r\nConnection: close\r\n\r\n".encode())
        buf = bytearray(1 << 20)
        head = bytearray()
        total = 0
        tail = b""
        while True:
            n = s.recv_into(buf)
            if n == 0:
                break
            if len(head) < 4096:
                head += buf[:min(n, 4096 - len(head))]
            total += n
            tail = (tail + bytes(buf[max(0, n - 16):n]))[-16:]
        header = bytes(head).split(b"\r\n\r\n", 1)[0]
        results[index] = (header, total - len(header) - 4, tail)


def check_streaming(server):
    pid = server.proc.pid
    rss_before = proc_status(pid, "VmRSS")
    results = [None] * 6
    threads = [threading.Thread(target=download_length, args=(server.port, "/VTK/big.vtp", results, i))
               for i in range(6)]
    start = time.monotonic()
    for t in threads:
        t.start()
    for t in threads:
        t.join(60)
    elapsed = time.monotonic() - start
    hwm = proc_status(pid, "VmHWM")
    for result in results:
        if result is None:
            fail("a download of the big file did not finish")
        header, length, tail = result
        if b"200 OK" not in header or f"Content-Length: {BIG_SIZE}".encode() not in header:
            fail(f"big file not answered whole: {header!r}")
        if length != BIG_SIZE or not tail.endswith(b"END"):
            fail(f"big file body has {length} bytes, ends {tail!r}")
    print(f"   6 x 200 MiB in {elapsed:.1f} s; server VmRSS {rss_before // 1024} MiB before, "
          f"VmHWM {hwm // 1024} MiB after")
    if hwm > 100 * 1024:
        fail(f"server peaked at {hwm // 1024} MiB while streaming 200 MiB files")
    status, _, body = get(server.port, "/VTK/big.vtp", headers={"Range": "bytes=-3"})
    if status != 206 or body != b"END":
        fail(f"range request: {status} {body!r}")


def check_case_html_is_text(server):
    status, ctype, body = get(server.port, "/reports/report.html")
    if status != 200 or ctype != "text/plain; charset=utf-8" or body != b"<script>alert(1)</script>":
        fail(f"case HTML served as {status} {ctype}")
    status, ctype, _ = get(server.port, "/mesh.html")
    if status != 200 or ctype != "text/html; charset=utf-8":
        fail(f"the gallery page itself is {status} {ctype}")
    status, ctype, _ = get(server.port, "/__orvanta/static/gallery.css")
    if status != 200 or not ctype.startswith("text/css"):
        fail(f"the front end's stylesheet is {status} {ctype}")


def check_confinement(server):
    expected = {"/plots/escape.png": (404, b"Not found.\n"), "/plots/alias.png": (200, b"png"),
                "/plots/swap_alt.png": (404, b"Not found.\n"), "/flip_alt/swap.png": (404, b"Not found.\n"),
                "/plots/empty.png": (200, b"")}
    for path, want in expected.items():
        status, _, body = get(server.port, path)
        if (status, body) != want:
            fail(f"{path}: {status} {body!r}, expected {want}")


def exchanger(a, b, seconds):
    """Swaps two names back and forth with renameat2(RENAME_EXCHANGE) for `seconds`, in
    its own process so that the requests are not held up by it. Prints the swap count."""
    libc = ctypes.CDLL(None, use_errno=True)
    at_fdcwd, rename_exchange = -100, 2
    end = time.monotonic() + seconds
    swaps = 0
    while time.monotonic() < end:
        if libc.renameat2(at_fdcwd, a.encode(), at_fdcwd, b.encode(), rename_exchange) != 0:
            fail(f"renameat2: {os.strerror(ctypes.get_errno())}")
        swaps += 1
    print(swaps)


def check_swapped_symlinks(server, case):
    """A file, then a folder, flips between the real thing and a symlink out of the case."""
    for path, a, b in (("/plots/swap.png", "plots/swap.png", "plots/swap_alt.png"),
                       ("/flip/swap.png", "flip", "flip_alt")):
        swapper = subprocess.Popen([sys.executable, __file__, "--exchange", os.path.join(case, a),
                                    os.path.join(case, b), "2.5"], stdout=subprocess.PIPE, text=True)
        seen = {}
        conn = http.client.HTTPConnection(HOST, server.port, timeout=5)
        requests = 0
        while swapper.poll() is None and requests < 20000:
            conn.request("GET", path)
            res = conn.getresponse()
            key = (res.status, res.read())
            seen[key] = seen.get(key, 0) + 1
            requests += 1
            if res.getheader("Connection") == "close":
                conn.close()
                conn = http.client.HTTPConnection(HOST, server.port, timeout=5)
        conn.close()
        swaps = swapper.communicate(timeout=10)[0].strip()
        if swapper.returncode != 0:
            fail(f"the swapping process failed ({swapper.returncode})")
        print(f"   {path}: {requests} requests during {swaps} swaps: "
              + ", ".join(f"{s} {b[:12]!r} x{n}" for (s, b), n in sorted(seen.items())))
        leaked = [k for k in seen if b"SECRET" in k[1]]
        if leaked:
            fail(f"{path} served a file outside the case {seen[leaked[0]]} times")
        if set(seen) - {(200, b"inside"), (404, b"Not found.\n")}:
            fail(f"{path}: unexpected answers {seen}")


def slow_client(port, trickle, events, index):
    """A client that never finishes its request: silent, or one header byte every 0.5 s.
    Records when the server ended the connection (any answer or a close)."""
    start = time.monotonic()
    with socket.create_connection((HOST, port), timeout=20) as s:
        if trickle:
            s.sendall(b"GET /mesh.html HTTP/1.1\r\nHost: 127.0.0.1\r\n")
        s.settimeout(0.5)
        while time.monotonic() - start < 16:
            try:
                s.recv(4096)
                break
            except socket.timeout:
                pass
            except OSError:
                break
            try:
                if trickle:
                    s.sendall(b"X")
            except OSError:
                break
        events[index] = time.monotonic() - start


def timed_status(port):
    """Status code (None when there was no answer within 5 s) and seconds taken."""
    start = time.monotonic()
    try:
        status = get(port, "/__orvanta/status", timeout=5)[0]
    except OSError:
        status = None
    return status, time.monotonic() - start


def check_slow_clients(server):
    n_idle, n_trickle = 12, 12
    events = [None] * (n_idle + n_trickle)
    threads = [threading.Thread(target=slow_client, args=(server.port, i >= n_idle, events, i))
               for i in range(n_idle + n_trickle)]
    for t in threads:
        t.start()
    time.sleep(1.0)
    status, took = timed_status(server.port)
    print(f"   with {n_idle} silent and {n_trickle} trickling clients open: status {status} in {took * 1000:.0f} ms")
    if status != 200 or took > 1.0:
        fail(f"a normal request took {took:.1f} s (status {status}) beside {len(threads)} slow clients")

    # Past the worker count, connections are turned away at once instead of queueing.
    extra = [socket.create_connection((HOST, server.port), timeout=5) for _ in range(CONNECTIONS)]
    time.sleep(0.5)
    refused = sum(1 for s in extra if refused_now(s))
    threads_now = proc_status(server.proc.pid, "Threads")
    print(f"   {len(extra)} more connections: {refused} refused at once; server threads {threads_now}")
    for s in extra:
        s.close()
    if refused < len(extra) - (CONNECTIONS - len(threads)) or threads_now > CONNECTIONS + 4:
        fail(f"{refused} of {len(extra)} connections past the limit refused, {threads_now} threads")

    for t in threads:
        t.join(20)
    silent, trickling = events[:n_idle], events[n_idle:]
    print(f"   silent clients closed after {min(silent):.1f}-{max(silent):.1f} s, "
          f"trickling ones after {min(trickling):.1f}-{max(trickling):.1f} s")
    if not all(IDLE_TIMEOUT - 0.5 < e < IDLE_TIMEOUT + 2 for e in silent):
        fail(f"silent clients were closed after {silent} s")
    if not all(REQUEST_DEADLINE - 0.5 < e < REQUEST_DEADLINE + 2 for e in trickling):
        fail(f"trickling clients were closed after {trickling} s")
    status, took = timed_status(server.port)
    if status != 200 or took > 1.0:
        fail(f"after the slow clients left, a request took {took:.1f} s (status {status})")


def check_stop_beside_slow_client(server):
    """SIGTERM ends the server at once, even while a client is half-way through a request."""
    with socket.create_connection((HOST, server.port), timeout=5) as s:
        s.sendall(b"GET /mesh.html HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ")
        time.sleep(0.3)
        start = time.monotonic()
        server.stop()
        took = time.monotonic() - start
    print(f"   stopped in {took * 1000:.0f} ms beside a half-sent request")
    if took > 2.0:
        fail(f"stopping took {took:.1f} s")


def refused_now(sock):
    sock.settimeout(0.2)
    try:
        data = sock.recv(4096)
        return data == b"" or data.startswith(b"HTTP/1.1 503")
    except socket.timeout:
        return False
    except OSError:
        return True


def main():
    work = tempfile.mkdtemp(prefix="orvanta_viewers_limits_")
    server = None
    try:
        case = make_case(work)
        server = Server(case, work)
        for name, check in (("large files stream", lambda: check_streaming(server)),
                            ("HTML from a case is text", lambda: check_case_html_is_text(server)),
                            ("symlinks out of the case", lambda: check_confinement(server)),
                            ("symlinks swapped during requests", lambda: check_swapped_symlinks(server, case)),
                            ("slow and silent clients", lambda: check_slow_clients(server)),
                            ("stopping", lambda: check_stop_beside_slow_client(server))):
            print(f"== {name}", flush=True)
            check()
        server = None
        print("viewers limits: all checks passed")
        return 0
    except AssertionError as e:
        print(f"FAIL: {e}", file=sys.stderr)
        return 1
    finally:
        if server is not None:
            server.proc.kill()
            server.proc.wait()
        log = os.path.join(work, "server.log")
        if os.path.exists(log):
            with open(log) as f:
                tail = f.read()[-2000:]
            print("-- server log (end):\n" + tail)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) == 5 and sys.argv[1] == "--exchange":
        exchanger(sys.argv[2], sys.argv[3], float(sys.argv[4]))
        sys.exit(0)
    sys.exit(main())
