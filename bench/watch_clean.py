#!/usr/bin/env python3
"""watch_clean.py - monitoring benchmark: `pagewarden-cli watch` on a tree of 10,000 web files
while this script infects 1,000 of them as fast as it can (half written in place, half written
beside and moved into place). Reports the time until every infected file is clean again and the
latency from each file's write to the moment the watcher printed it cleaned (median, p99, max),
then the latency of 20 single edits made one at a time.

    python3 bench/watch_clean.py [--cli build/default/cli/pagewarden-cli] [--files 10000]
        [--infect 1000] [--dir /dev/shm/pwbench-watchtree] [--backend auto|inotify|fanotify]
        [--no-backup]

--dir on tmpfs (the default) measures the watcher and the cleaner; on a disk it adds the flushes.
"""
import argparse
import ctypes
import json
import os
import random
import shutil
import subprocess
import sys
import threading
import time

KW = "evilstats.example"
EXTS = [".html", ".htm", ".php", ".asp", ".js", ".inc", ".txt"]
PAGE = "<html>\r\n<body>\r\n<p>Page %d</p>\r\n<script src=\"/js/menu.js\"></script>\r\n</body>\r\n</html>\r\n"
INJECT = "<script src=\"http://EvilStats.example/%d.js\"></script>\n"


def make_tree(root, count):
    shutil.rmtree(root, ignore_errors=True)
    paths = []
    for i in range(count):
        folder = os.path.join(root, "d%02d" % (i % 50), "s%d" % (i % 7))
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, "page%05d%s" % (i, EXTS[i % len(EXTS)]))
        with open(path, "w", newline="") as f:
            f.write(PAGE % i)
        paths.append(path)
    return paths


class Watch:
    """A running `pagewarden-cli watch --json`, with the moment each path was printed cleaned."""

    def __init__(self, cli, folders, backend=None, backup=True):
        self.start = time.monotonic()
        chosen = ["--backend", backend] if backend else []  # a build before backends: none
        if not backup:
            chosen.append("--no-backup")
        # The backups go beside the first tree, on the same file system, fresh for every run.
        history = folders[0].rstrip("/") + "-history"
        shutil.rmtree(history, ignore_errors=True)
        env = dict(os.environ, PAGEWARDEN_HISTORY=history)
        self.proc = subprocess.Popen([cli, "watch", "--json"] + chosen + folders,
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                     text=True, bufsize=1, env=env)
        self.cleaned_at = {}
        self.logs = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            now = time.monotonic()
            rec = json.loads(line)
            if rec.get("status") == "cleaned":
                self.cleaned_at.setdefault(rec["path"], now)
            elif "log" in rec and not rec["log"].startswith("文件修改"):
                self.logs.append(rec["log"])

    def wait_ready(self, probe, limit=600):
        """Seconds from start until a probe file written again and again gets cleaned."""
        deadline = time.monotonic() + limit
        while probe not in self.cleaned_at and time.monotonic() < deadline:
            with open(probe, "w", newline="") as f:
                f.write("x" + INJECT % 0)
            time.sleep(0.02)
        if probe not in self.cleaned_at:
            sys.exit("the watch did not start")
        os.unlink(probe)
        return self.cleaned_at[probe] - self.start

    def stop(self):
        self.proc.terminate()
        self.proc.wait(timeout=60)


def cpu_seconds(pid):
    """CPU time a process has used so far, the threads that ended included."""
    clock = ctypes.c_int()
    if ctypes.CDLL(None, use_errno=True).clock_getcpuclockid(pid, ctypes.byref(clock)) != 0:
        return float("nan")
    return time.clock_gettime(clock.value)


def burst(watch, victims):
    """Infects every victim as fast as possible; returns (seconds to infect, seconds until all
    clean, sorted latencies in ms, files still infected, CPU seconds the watch used for it)."""
    written_at = {}
    cpu_before = cpu_seconds(watch.proc.pid)
    start = time.monotonic()
    for n, path in enumerate(victims):
        data = (PAGE % n).replace("</body>", INJECT % n + "</body>")
        if n % 2 == 0:
            with open(path, "w", newline="") as f:
                f.write(data)
        else:
            tmp = os.path.join(os.path.dirname(path), ".~%d.tmp" % n)
            with open(tmp, "w", newline="") as f:
                f.write(data)
            os.rename(tmp, path)
        written_at[path] = time.monotonic()
    infected_in = time.monotonic() - start
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline and not all(p in watch.cleaned_at for p in victims):
        time.sleep(0.01)
    time.sleep(0.5)  # the work the cleaner's own rewrites cause, once every file is clean
    cpu = cpu_seconds(watch.proc.pid) - cpu_before
    all_clean_after = max(watch.cleaned_at.get(p, float("inf")) for p in victims) - start
    still = [p for p in victims if KW in open(p, encoding="utf-8", errors="replace").read().lower()]
    lat = sorted((watch.cleaned_at[p] - written_at[p]) * 1000 for p in victims
                 if p in watch.cleaned_at)
    return infected_in, all_clean_after, lat, still, cpu


def single_edits(watch, victims, count=20):
    """Infects files one at a time, each once the one before is clean; sorted latencies in ms."""
    lat = []
    for n, path in enumerate(victims[:count]):
        watch.cleaned_at.pop(path, None)
        with open(path, "w", newline="") as f:
            f.write((PAGE % n).replace("</body>", INJECT % n + "</body>"))
        written = time.monotonic()
        deadline = written + 10
        while path not in watch.cleaned_at and time.monotonic() < deadline:
            time.sleep(0.0005)
        if path in watch.cleaned_at:
            lat.append((watch.cleaned_at[path] - written) * 1000)
        time.sleep(0.05)
    return sorted(lat)


def pick(lat, q):
    return lat[min(len(lat) - 1, int(q * len(lat)))] if lat else float("nan")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", default="build/default/cli/pagewarden-cli")
    ap.add_argument("--files", type=int, default=10000)
    ap.add_argument("--infect", type=int, default=1000)
    ap.add_argument("--dir", default="/dev/shm/pwbench-watchtree")
    ap.add_argument("--backend", default=None, help="auto, inotify or fanotify (default: the "
                    "program's own choice)")
    ap.add_argument("--no-backup", action="store_true", help="clean without keeping originals, "
                    "to tell the backup's share of the latency")
    args = ap.parse_args()

    paths = make_tree(args.dir, args.files)
    victims = random.Random(1).sample(paths, args.infect)
    watch = Watch(args.cli, [args.dir], args.backend, not args.no_backup)
    watch.wait_ready(os.path.join(args.dir, "probe.html"), 30)
    infected_in, all_clean_after, lat, still, cpu = burst(watch, victims)
    single = single_edits(watch, victims)
    watch.stop()
    print("# tree of %d files, %d infected in %.3f s (half in place, half moved into place), "
          "backend %s, %s%s" % (args.files, args.infect, infected_in, args.backend or "default", args.dir,
                                ", no backup" if args.no_backup else ""))
    for line in watch.logs:
        print("# watcher: " + line)
    print("cleaned %d/%d, still infected on disk: %d" % (len(lat), args.infect, len(still)))
    print("all clean %.3f s after the first write" % all_clean_after)
    print("write-to-clean latency ms: median %.1f  p99 %.1f  max %.1f"
          % (pick(lat, 0.5), pick(lat, 0.99), lat[-1] if lat else float("nan")))
    print("single edits, one at a time: %d/20 cleaned, latency ms median %.1f  max %.1f"
          % (len(single), pick(single, 0.5), single[-1] if single else float("nan")))
    print("watch CPU for the burst: %.0f ms, %.0f us per infected file"
          % (cpu * 1000, cpu * 1e6 / args.infect))
    shutil.rmtree(args.dir, ignore_errors=True)


if __name__ == "__main__":
    main()
