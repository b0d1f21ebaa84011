#!/usr/bin/env python3
"""watch_clean.py - monitoring benchmark: `pagewarden-cli watch` on a tree of 10,000 web files
while this script infects 1,000 of them as fast as it can (half written in place, half written
beside and moved into place). Reports the time until every infected file is clean again and the
latency from each file's write to the moment the watcher printed it cleaned (median, p99, max).

    python3 bench/watch_clean.py [--cli build/default/cli/pagewarden-cli] [--files 10000]
        [--infect 1000] [--dir /dev/shm/pwbench-watchtree]
"""
import argparse
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


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", default="build/default/cli/pagewarden-cli")
    ap.add_argument("--files", type=int, default=10000)
    ap.add_argument("--infect", type=int, default=1000)
    # tmpfs by default, so the figures are the watcher's and the cleaner's, not the disk's flushes
    ap.add_argument("--dir", default="/dev/shm/pwbench-watchtree")
    args = ap.parse_args()

    paths = make_tree(args.dir, args.files)
    victims = random.Random(1).sample(paths, args.infect)
    # The backups go beside the tree, on the same file system, fresh for every run.
    history = args.dir.rstrip("/") + "-history"
    shutil.rmtree(history, ignore_errors=True)
    env = dict(os.environ, PAGEWARDEN_HISTORY=history)
    proc = subprocess.Popen([args.cli, "watch", "--json", args.dir], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, text=True, bufsize=1, env=env)
    cleaned_at = {}
    def read():
        for line in proc.stdout:
            now = time.monotonic()
            rec = json.loads(line)
            if rec.get("status") == "cleaned":
                cleaned_at.setdefault(rec["path"], now)
    reader = threading.Thread(target=read, daemon=True)
    reader.start()

    # Wait until the watch is up: a probe file gets cleaned.
    probe = os.path.join(args.dir, "probe.html")
    deadline = time.monotonic() + 30
    while probe not in cleaned_at and time.monotonic() < deadline:
        with open(probe, "w", newline="") as f:
            f.write("x" + INJECT % 0)
        time.sleep(0.05)
    if probe not in cleaned_at:
        sys.exit("the watch did not start")

    written_at = {}
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
    while time.monotonic() < deadline and not all(p in cleaned_at for p in victims):
        time.sleep(0.01)
    all_clean_after = max(cleaned_at.get(p, float("inf")) for p in victims) - start
    proc.terminate()
    proc.wait(timeout=30)

    still = [p for p in victims if KW in open(p, encoding="utf-8", errors="replace").read().lower()]
    lat = sorted((cleaned_at[p] - written_at[p]) * 1000 for p in victims if p in cleaned_at)
    pick = lambda q: lat[min(len(lat) - 1, int(q * len(lat)))] if lat else float("nan")
    print("# tree of %d files, %d infected in %.3f s (half in place, half moved into place)"
          % (args.files, args.infect, infected_in))
    print("cleaned %d/%d, still infected on disk: %d" % (len(lat), args.infect, len(still)))
    print("all clean %.3f s after the first write" % all_clean_after)
    print("write-to-clean latency ms: median %.1f  p99 %.1f  max %.1f" % (pick(0.5), pick(0.99), lat[-1] if lat else float("nan")))
    shutil.rmtree(args.dir, ignore_errors=True)


if __name__ == "__main__":
    main()
