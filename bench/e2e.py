#!/usr/bin/env python3
"""End-to-end figures of the checker against the simulated unit, beside a
minimal Qt window measured in the same runs, printed as one table.

Builds zel_checker, zel-unit-sim, bench_e2e and bench_hello (tools/setup.sh),
then runs, REPEATS times each:
  - polling "QB" at 240 ms for SECONDS against zel-unit-sim on a pseudo-terminal
    paced at 9600 baud: CPU share, voluntary context switches and read calls
    per received byte, RSS; the minimal window idles meanwhile for its own
    CPU share and RSS;
  - the last reply byte -> monitor repainted, 256 and 16 cells changed, over
    REPLIES paced replies per run (timed by the monitor's paint signal);
  - click on a monitor cell -> its command written to the port, in each
    polling mode (stopped, QB, Qf, QA);
  - exec -> first byte of the start-up "QV" on the port, beside exec -> first
    paint of the minimal window (alternating, EXECS pairs);
and once under strace -c, the system calls per received byte.

Not part of CI: it takes about (SECONDS + 120) s per repeat.
"""
import argparse
import os
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
import tty

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def build(build_dir):
    env = dict(os.environ, ZEL_BUILD=build_dir, ZEL_CMAKE_ARGS="-DZEL_BENCH=ON",
               ZEL_TARGETS="zel_checker zel-unit-sim bench_e2e bench_hello")
    env.setdefault("CCACHE_BASEDIR", os.path.dirname(ROOT))
    env.setdefault("CCACHE_NOHASHDIR", "1")
    subprocess.run(["bash", os.path.join(ROOT, "tools", "setup.sh")], env=env, check=True,
                   stdout=subprocess.DEVNULL)


def offscreen_env():
    env = dict(os.environ)
    env.setdefault("QT_QPA_PLATFORM", "offscreen")
    return env


def parse_figures(text):
    figures = {}
    for line in text.splitlines():
        parts = line.split()
        if not parts:
            continue
        values = []
        for p in parts[1:]:
            try:
                values.append(float(p))
            except ValueError:
                values.append(p)
        figures[parts[0]] = values
    return figures


class Unit:
    """zel-unit-sim on a new pseudo-terminal, paced at 9600 baud."""

    def __init__(self, build_dir, extra=()):
        self.proc = subprocess.Popen(
            [os.path.join(build_dir, "app", "zel-unit-sim"), *extra],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.device = self.proc.stdout.readline().strip()
        if not self.device:
            raise RuntimeError("zel-unit-sim printed no device")

    def close(self):
        self.proc.send_signal(signal.SIGTERM)
        try:
            self.proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()


def driver(build_dir, *args, prefix=()):
    cmd = [*prefix, os.path.join(build_dir, "bench", "bench_e2e"), *map(str, args)]
    out = subprocess.run(cmd, env=offscreen_env(), capture_output=True, text=True, timeout=900)
    if out.returncode != 0:
        raise RuntimeError(f"{' '.join(cmd)} failed: {out.stderr.strip()}")
    return parse_figures(out.stdout)


def poll_run(build_dir, seconds):
    unit = Unit(build_dir)
    hello = subprocess.Popen([os.path.join(build_dir, "bench", "bench_hello"), str(seconds)],
                             env=offscreen_env(), stdout=subprocess.PIPE, text=True)
    try:
        checker = driver(build_dir, "poll", unit.device, "QB", seconds)
    finally:
        unit.close()
    hello_out, _ = hello.communicate(timeout=seconds + 60)
    return checker, parse_figures(hello_out)


def strace_run(build_dir, seconds):
    if shutil.which("strace") is None:
        return None
    unit = Unit(build_dir)
    with tempfile.NamedTemporaryFile("r", suffix=".strace") as log:
        try:
            figures = driver(build_dir, "poll", unit.device, "QB", seconds,
                             prefix=("strace", "-f", "-c", "-o", log.name))
        finally:
            unit.close()
        calls = {}
        for line in log.read().splitlines():
            parts = line.split()
            # % time, seconds, usecs/call, calls, [errors,] syscall
            if len(parts) >= 5 and parts[0][0].isdigit() and not parts[-1] == "total":
                try:
                    calls[parts[-1]] = int(parts[3])
                except ValueError:
                    pass
    figures["syscalls"] = calls
    return figures


def click_run(build_dir, mode, clicks):
    unit = Unit(build_dir)
    try:
        return driver(build_dir, "poll", unit.device, mode, max(8, clicks // 2), clicks)
    finally:
        unit.close()


def exec_to_first_qv(build_dir):
    master, slave = os.openpty()
    tty.setraw(master)
    name = os.ttyname(slave)
    start = time.monotonic_ns()
    proc = subprocess.Popen([os.path.join(build_dir, "app", "zel_checker"),
                             "--port", f"COM1={name}"], env=offscreen_env(),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    got = b""
    elapsed = None
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        ready, _, _ = select.select([master], [], [], 0.5)
        if ready:
            got += os.read(master, 256)
            if b"QV" in got:
                elapsed = (time.monotonic_ns() - start) / 1e6
                break
    proc.kill()
    proc.wait()
    os.close(master)
    os.close(slave)
    return elapsed


def exec_to_hello_exposed(build_dir):
    start = time.monotonic_ns()
    out = subprocess.run([os.path.join(build_dir, "bench", "bench_hello")],
                         env=offscreen_env(), capture_output=True, text=True, timeout=30)
    figures = parse_figures(out.stdout)
    return (figures["exposed_us"][0] * 1000 - start) / 1e6


def percentile(values, p):
    if not values:
        return float("nan")
    ordered = sorted(values)
    k = min(len(ordered) - 1, max(0, int(round(p / 100 * (len(ordered) - 1)))))
    return ordered[k]


def med(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else float("nan")


def main():
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build-dir", default=os.path.join(ROOT, "build"))
    ap.add_argument("--no-build", action="store_true")
    ap.add_argument("--repeats", type=int, default=3)
    ap.add_argument("--seconds", type=int, default=60)
    ap.add_argument("--replies", type=int, default=201)
    ap.add_argument("--clicks", type=int, default=30)
    ap.add_argument("--execs", type=int, default=7)
    args = ap.parse_args()
    if not args.no_build:
        build(args.build_dir)
    b = args.build_dir

    cpu, thread_cpu, hello_cpu, rss, hello_rss = [], [], [], [], []
    switches, reads, hello_late = [], [], []
    lat = {256: [], 16: []}
    clicks = {m: [] for m in ("stopped", "QB", "Qf", "QA")}
    for r in range(args.repeats):
        print(f"repeat {r + 1}/{args.repeats}", file=sys.stderr)
        checker, hello = poll_run(b, args.seconds)
        cpu.append(checker["process_cpu_percent"][0])
        thread_cpu.append(checker["window_thread_cpu_percent"][0])
        switches.append(checker.get("process_voluntary_switches_per_byte", [None])[0])
        reads.append(checker.get("read_calls_per_byte", [None])[0])
        rss.append(checker["rss_kib"][0] / 1024)
        hello_cpu.append(hello["idle_cpu_percent"][0])
        hello_rss.append(hello["rss_kib"][0] / 1024)
        hello_late.extend(hello.get("tick_lateness_ms", []))
        for changed in (256, 16):
            lat[changed] += driver(b, "latency", changed, args.replies)["last_byte_to_paint_ms"]
        for mode in clicks:
            clicks[mode] += click_run(b, mode, args.clicks).get("click_to_command_ms", [])
    execs, hellos = [], []
    for _ in range(args.execs):
        execs.append(exec_to_first_qv(b))
        hellos.append(exec_to_hello_exposed(b))
    traced = strace_run(b, min(args.seconds, 20))

    rows = []
    rows.append(("CPU polling QB at 240 ms, % of a core (process; window thread)",
                 f"{med(cpu):.2f}; {med(thread_cpu):.2f}", f"{med(hello_cpu):.2f} (idle)"))
    rows.append(("Voluntary context switches per received byte (process)",
                 f"{med(switches):.3f}", "-"))
    rows.append(("read() calls per received byte (process)", f"{med(reads):.3f}", "-"))
    if traced and traced.get("bytes_since_start", [0])[0]:
        # strace counts the whole run, start-up included.
        n = traced["bytes_since_start"][0]
        s = traced["syscalls"]
        waits = sum(s.get(k, 0) for k in ("ppoll", "poll", "pselect6", "select", "epoll_wait"))
        rows.append(("strace -c: poll-type waits / read calls per received byte",
                     f"{waits / n:.3f} / {s.get('read', 0) / n:.3f}", "-"))
    # The minimal window's column for latencies: how late its 240 ms timer
    # was served, what the machine alone adds to any event.
    late = f"{med(hello_late):.2f} / {percentile(hello_late, 99):.2f} (timer lateness)"
    for changed in (256, 16):
        v = lat[changed]
        rows.append((f"Last byte -> repainted, {changed} cells, ms (median / p99, n={len(v)})",
                     f"{med(v):.2f} / {percentile(v, 99):.2f}", late))
    for mode, v in clicks.items():
        rows.append((f"Click -> command on the line, polling {mode}, ms (median / p99, n={len(v)})",
                     f"{med(v):.2f} / {percentile(v, 99):.2f}", late))
    e, h = med(execs), med(hellos)
    rows.append(("exec -> first QV (checker) / exec -> first paint (hello), ms",
                 f"{e:.1f} ({e / h:.2f} x hello)", f"{h:.1f}"))
    rows.append(("RSS after the polling run, MiB", f"{med(rss):.1f}", f"{med(hello_rss):.1f}"))

    width = max(len(r[0]) for r in rows)
    print(f"| {'Figure'.ljust(width)} | checker | minimal Qt window |")
    print(f"|{'-' * (width + 2)}|---|---|")
    for name, value, base in rows:
        print(f"| {name.ljust(width)} | {value} | {base} |")
    print(f"\nrepeats {args.repeats}, polling run {args.seconds} s, "
          f"{args.replies - 1} measured replies per latency run, {args.clicks} clicks per mode, "
          f"{args.execs} exec pairs", file=sys.stderr)


if __name__ == "__main__":
    main()
