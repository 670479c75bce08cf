"""How the norvex commands stop on a signal, and what the MCP server holds for a client that does not read.

Usage: stop_and_backlog.py --norvex PATH [--answers N] [--functions N] [--cap SECONDS]

Prints, for the given program:
- `norvex mcp` with N tools/list requests written and no answer read: the server's resident
  memory (VmRSS) after initialize, and once it has taken all the requests it will take; then
  every answer is read back and counted;
- the time from SIGTERM to no process left (the command and every worker it had started),
  for `norvex mcp` with two calls running (one analysing a large generated file, one whose
  worker is blocked opening a FIFO) and for `norvex analyze` on each of the two. A worker
  still there after --cap seconds is reported as such and killed.
"""
import argparse
import json
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time


def message(obj):
    return (json.dumps(obj) + "\n").encode()


INITIALIZE = message({"jsonrpc": "2.0", "id": 0, "method": "initialize",
                      "params": {"protocolVersion": "2025-06-18", "capabilities": {},
                                 "clientInfo": {"name": "bench", "version": "1"}}})
INITIALIZED = message({"jsonrpc": "2.0", "method": "notifications/initialized"})


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def alive(pid):
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except FileNotFoundError:
        return False


def children(pid):
    try:
        with open(f"/proc/{pid}/task/{pid}/children") as f:
            return [int(p) for p in f.read().split()]
    except FileNotFoundError:
        return []


def read_line(stream):
    line = stream.readline()
    if not line:
        raise RuntimeError("the server closed stdout")
    return json.loads(line)


def backlog(norvex, answers):
    server = subprocess.Popen([norvex, "mcp", "-q"], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    server.stdin.write(INITIALIZE + INITIALIZED)
    server.stdin.flush()
    read_line(server.stdout)
    time.sleep(0.5)
    before = rss_kib(server.pid)

    written = [0]

    def write_all():
        for i in range(1, answers + 1):
            os.write(server.stdin.fileno(), message({"jsonrpc": "2.0", "id": i, "method": "tools/list"}))
            written[0] = i

    writer = threading.Thread(target=write_all)
    writer.start()
    # Settled: every request written, or the writer blocked because the server stopped reading.
    last, still_since = -1, time.monotonic()
    while True:
        time.sleep(0.1)
        if written[0] != last:
            last, still_since = written[0], time.monotonic()
        elif not writer.is_alive() or time.monotonic() - still_since > 1.5:
            break
    time.sleep(0.5)
    held = rss_kib(server.pid)
    taken = written[0]

    seen = set()
    while len(seen) < answers:
        seen.add(read_line(server.stdout)["id"])
    writer.join()
    server.stdin.close()
    server.wait(timeout=30)
    print(f"mcp, {answers} tools/list answers unread: VmRSS {before} KiB after initialize, {held} KiB with the"
          f" answers unread (+{held - before} KiB); {taken} requests written before the server stopped reading;"
          f" {len(seen)} distinct answers read back, exit status {server.returncode}")


def time_to_no_process(process, workers_wanted, cap):
    deadline = time.monotonic() + 20
    workers = []
    while len(workers) < workers_wanted and time.monotonic() < deadline:
        workers = [w for w in children(process.pid) if alive(w)]
        time.sleep(0.01)
    time.sleep(0.5)  # the analysis is well under way, the FIFO's reader blocked in open()
    workers = [w for w in children(process.pid) if alive(w)]
    start = time.monotonic()
    process.send_signal(signal.SIGTERM)
    process.wait()
    exited = time.monotonic() - start
    while any(alive(w) for w in workers) and time.monotonic() - start < cap:
        time.sleep(0.005)
    left = [w for w in workers if alive(w)]
    gone = time.monotonic() - start
    for w in left:
        os.kill(w, signal.SIGKILL)
    status = process.returncode if process.returncode >= 0 else f"killed by signal {-process.returncode}"
    if left:
        return f"exit {status} after {exited:.3f} s; {len(left)} of {len(workers)} workers still there after {cap:.0f} s"
    return f"exit {status} after {exited:.3f} s; no process left after {gone:.3f} s ({len(workers)} workers)"


def stops(norvex, folder, functions, cap):
    large = os.path.join(folder, "large.py")
    with open(large, "w") as out:
        for i in range(functions):
            out.write(f"def f{i}(a):\n    if a:\n        return 1\n    return a if a else 0\n")
    fifo = os.path.join(folder, "blocked.py")
    os.mkfifo(fifo)

    server = subprocess.Popen([norvex, "mcp", "-q"], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    server.stdin.write(INITIALIZE + INITIALIZED)
    for i, path in enumerate([large, fifo], start=1):
        server.stdin.write(message({"jsonrpc": "2.0", "id": i, "method": "tools/call",
                                    "params": {"name": "sourcelens", "arguments": {"path": path}}}))
    server.stdin.flush()
    read_line(server.stdout)
    print(f"mcp, SIGTERM with 2 calls running: {time_to_no_process(server, 2, cap)}")

    for path, what in [(large, f"a file of {functions} functions"), (fifo, "a FIFO nobody writes")]:
        analyze = subprocess.Popen([norvex, "analyze", path], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        print(f"analyze, SIGTERM while analysing {what}: {time_to_no_process(analyze, 1, cap)}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--norvex", required=True)
    parser.add_argument("--answers", type=int, default=1000)
    parser.add_argument("--functions", type=int, default=200000)
    parser.add_argument("--cap", type=float, default=30.0)
    args = parser.parse_args()
    backlog(args.norvex, args.answers)
    with tempfile.TemporaryDirectory(prefix="norvex_stop_bench_") as folder:
        stops(args.norvex, folder, args.functions, args.cap)


if __name__ == "__main__":
    sys.exit(main())
