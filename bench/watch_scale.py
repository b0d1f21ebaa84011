#!/usr/bin/env python3
"""watch_scale.py - monitoring a hosting server's worth of folders: a generated tree of 200,000
folders holding 1,000,000 small web files, watched by `pagewarden-cli watch` with each backend.
For each backend it reports the time from start to ready (a probe file in the tree gets
cleaned), the process's memory once ready, the kernel's slab memory added by the watch (from
/proc/meminfo, so other activity on the machine adds noise), and the write-to-clean latency of a
1,000-file burst (median, p99).

    python3 bench/watch_scale.py [--cli build/default/cli/pagewarden-cli]
        [--dir /var/tmp/pwbench-scale] [--folders 200000] [--files 1000000]
        [--backends fanotify,inotify] [--keep]

The tree is made once (the time it takes is printed) and kept with --keep for the next run;
without --keep it is removed at the end. Not part of `make test`. inotify needs one watch per
folder: where fs.inotify.max_user_watches is below the number of folders, it says so and watches
what it can.
"""
import argparse
import os
import random
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from watch_clean import PAGE, EXTS, Watch, burst, pick  # noqa: E402

FANOUT = 1000  # folders under each top folder


def tree_paths(root, folders, files):
    """The folders and files of the generated tree, in a fixed layout."""
    leaves = [os.path.join(root, "t%03d" % (i // FANOUT), "f%03d" % (i % FANOUT))
              for i in range(folders - folders // FANOUT)]
    per = files // len(leaves)
    return leaves, per


def make_tree(root, folders, files):
    marker = os.path.join(root, ".complete-%d-%d" % (folders, files))
    leaves, per = tree_paths(root, folders, files)
    if os.path.exists(marker):
        return leaves, per, None
    shutil.rmtree(root, ignore_errors=True)
    start = time.monotonic()
    n = 0
    for leaf in leaves:
        os.makedirs(leaf)
        for k in range(per):
            with open(os.path.join(leaf, "p%d%s" % (k, EXTS[n % len(EXTS)])), "w",
                      newline="") as f:
                f.write(PAGE % n)
            n += 1
    os.sync()
    open(marker, "w").close()
    return leaves, per, time.monotonic() - start


def meminfo_slab():
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("Slab:"):
                return int(line.split()[1])
    return 0


def rss_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", default="build/default/cli/pagewarden-cli")
    ap.add_argument("--dir", default="/var/tmp/pwbench-scale")
    ap.add_argument("--folders", type=int, default=200000)
    ap.add_argument("--files", type=int, default=1000000)
    ap.add_argument("--infect", type=int, default=1000)
    ap.add_argument("--backends", default="fanotify,inotify")
    ap.add_argument("--keep", action="store_true")
    args = ap.parse_args()

    leaves, per, made_in = make_tree(args.dir, args.folders, args.files)
    count = len(leaves) + len(leaves) // FANOUT + 1
    if made_in is None:
        print("# tree of %d folders, %d files: reused" % (count, len(leaves) * per))
    else:
        print("# tree of %d folders, %d files: made in %.1f s" % (count, len(leaves) * per,
                                                                  made_in))
    with open("/proc/sys/fs/inotify/max_user_watches") as f:
        print("# fs.inotify.max_user_watches = %s" % f.read().strip())
    rng = random.Random(1)
    for backend in args.backends.split(","):
        # Each run its own victims, so no file is already written when the burst starts.
        victims = [os.path.join(leaf, "p%d%s" % (k, EXTS[0]))
                   for leaf, k in ((rng.choice(leaves), 0) for _ in range(args.infect))]
        victims = list(dict.fromkeys(victims))
        for path in victims:
            with open(path, "w", newline="") as f:
                f.write(PAGE % 0)
        slab_before = meminfo_slab()
        watch = Watch(args.cli, [args.dir], backend)
        ready = watch.wait_ready(os.path.join(args.dir, "probe.html"))
        rss = rss_kb(watch.proc.pid)
        slab = meminfo_slab() - slab_before
        _, all_clean, lat, still = burst(watch, victims)
        watch.stop()
        print("%-8s ready %.3f s | RSS %d KB | kernel slab +%d KB | burst of %d: cleaned %d, "
              "still infected %d, all clean after %.3f s, latency ms median %.1f p99 %.1f"
              % (backend, ready, rss, slab, len(victims), len(lat), len(still), all_clean,
                 pick(lat, 0.5), pick(lat, 0.99)))
        for line in watch.logs:
            print("#   %s watcher: %s" % (backend, line))
    if not args.keep:
        shutil.rmtree(args.dir, ignore_errors=True)


if __name__ == "__main__":
    main()
