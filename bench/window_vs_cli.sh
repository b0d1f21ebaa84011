#!/usr/bin/env bash
# window_vs_cli.sh - the window's search against pagewarden-cli's on the same tree, in the same
# run: a threaded search from the window (offscreen, empty keyword, masks listing every entry),
# timed from the click until every row is in the list, against `pagewarden-cli search` with the
# same keyword and masks (warm cache, output to a pipe); then sorting the window's rows by each
# column.
#
#   bash bench/window_vs_cli.sh [CORPUS_DIR]     (default /tmp/pwbench/win100k, made when missing:
#                                                 100,000 files in about 11,000 folders)
#
# Env: SHARED (the shared folder with bench/make_corpus.py, default ../shared beside this
# checkout), BUILD (default build/default), RUNS (10), MASKS ("*.*": every file and folder).
set -euo pipefail
HERE=$(cd "$(dirname "$0")/.." && pwd)
SHARED=${SHARED:-$(cd "$HERE/../shared" 2>/dev/null && pwd || echo /work/shared)}
BUILD=${BUILD:-$HERE/build/default}
CLI=$BUILD/cli/pagewarden-cli
WINDOW=$BUILD/bench/app/window_search_bench
CORPUS=${1:-/tmp/pwbench/win100k}
RUNS=${RUNS:-10}
MASKS=${MASKS:-*.*}
for t in hyperfine python3; do command -v $t >/dev/null || { echo "missing $t (make bench installs it)" >&2; exit 2; }; done
for b in "$CLI" "$WINDOW"; do [ -x "$b" ] || { echo "missing $b: run make first" >&2; exit 2; }; done
[ -d "$CORPUS" ] || python3 "$SHARED/bench/make_corpus.py" --out "$CORPUS" --files 100000 \
    --size-dist small --seed 1 >/dev/null
CORPUS=$(cd "$CORPUS" && pwd)
WORK=$(mktemp -d /tmp/pwbench-window.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export CLI CORPUS MASKS

ENTRIES=$("$CLI" search --keyword '' --masks "$MASKS" "$CORPUS" | wc -l)
echo "# corpus $CORPUS: $ENTRIES entries listed with masks '$MASKS' and an empty keyword; $(nproc) processors"

hyperfine --style none -w 2 -r "$RUNS" --output=pipe --export-json "$WORK/cli.json" \
    -n cli '"$CLI" search --keyword "" --masks "$MASKS" "$CORPUS"' >/dev/null
"$WINDOW" "$CORPUS" "$MASKS" "$RUNS" >"$WORK/window.txt"

python3 - "$WORK/cli.json" "$WORK/window.txt" "$ENTRIES" <<'PY'
import json, sys
cli = json.load(open(sys.argv[1]))["results"][0]
lines = [l.split() for l in open(sys.argv[2])]
search = next(l for l in lines if l[0] == "search")
median, lo, hi, rows = float(search[1]), float(search[2]), float(search[3]), int(search[4])
print("%-8s %9s %9s %9s %8s" % ("", "median_s", "min_s", "max_s", "entries"))
print("%-8s %9.3f %9.3f %9.3f %8s" % ("cli", cli["median"], cli["min"], cli["max"], sys.argv[3]))
print("%-8s %9.3f %9.3f %9.3f %8d" % ("window", median, lo, hi, rows))
print("window / cli: %.2f (target: at most 1.5)" % (median / cli["median"]))
if rows != int(sys.argv[3]):
    print("check: THE WINDOW LISTED %d ROWS, THE CLI %s ENTRIES" % (rows, sys.argv[3]))
else:
    print("check: both list the same number of entries")
sorts = [l for l in lines if l[0] == "sort"]
print("sorting %d rows (target: under 0.5 s each): %s" % (rows, ", ".join(
    "column %s %s %.3f s" % (l[1], l[2], float(l[3])) for l in sorts)))
PY
