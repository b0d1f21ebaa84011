#!/usr/bin/env bash
# search_vs_rg.sh - whole-job search benchmark: `pagewarden-cli search` against ripgrep with the
# flags of the shared peers script (they make rg list exactly the same files: case-insensitive
# masks, hidden files, binary files searched, ASCII case folding), warm cache, in the same run:
# one thread against `rg -j1`, all processors against `rg`.
#
#   bash bench/search_vs_rg.sh [CORPUS_DIR]     (default /tmp/pwbench/big, made when missing)
#
# Env: SHARED (the shared folder with bench/make_corpus.py, default ../shared beside this
# checkout), BUILD (default build/default), RUNS (10), WARMUP (3), KW (evilstats.example).
set -euo pipefail
HERE=$(cd "$(dirname "$0")/.." && pwd)
SHARED=${SHARED:-$(cd "$HERE/../shared" 2>/dev/null && pwd || echo /work/shared)}
CLI=${BUILD:-$HERE/build/default}/cli/pagewarden-cli
CORPUS=${1:-/tmp/pwbench/big}
KW=${KW:-evilstats.example}
RUNS=${RUNS:-10}
WARMUP=${WARMUP:-3}
for t in hyperfine rg python3; do command -v $t >/dev/null || { echo "missing $t (make bench installs it)" >&2; exit 2; }; done
[ -x "$CLI" ] || { echo "missing $CLI: run make first" >&2; exit 2; }
[ -d "$CORPUS" ] || python3 "$SHARED/bench/make_corpus.py" --out "$CORPUS" --files 20000 --seed 1 >/dev/null
CORPUS=$(cd "$CORPUS" && pwd)
WORK=$(mktemp -d /tmp/pwbench-search.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export LC_ALL=C PW_KW=$KW PW_DIR=$CORPUS CLI

IG="--iglob '*.txt' --iglob '*.asp' --iglob '*.html' --iglob '*.htm' --iglob '*.php' --iglob '*.inc' --iglob '*.js'"
declare -A CMD
CMD[pagewarden-j1]='"$CLI" search --threads 1 --keyword "$PW_KW" "$PW_DIR"'
CMD[pagewarden]='"$CLI" search --keyword "$PW_KW" "$PW_DIR"'
CMD[rg-j1]="rg -j1 -l -i -F --no-ignore --hidden -a -E none --no-unicode $IG -- \"\$PW_KW\" \"\$PW_DIR\""
CMD[rg]="rg -l -i -F --no-ignore --hidden -a -E none --no-unicode $IG -- \"\$PW_KW\" \"\$PW_DIR\""
ROWS="pagewarden-j1 rg-j1 pagewarden rg"

MASKBYTES=$(find "$CORPUS" -type f \( -iname '*.txt' -o -iname '*.asp' -o -iname '*.html' -o -iname '*.htm' -o -iname '*.php' -o -iname '*.inc' -o -iname '*.js' \) -printf '%s\n' | awk '{s+=$1} END{print s+0}')
echo "# corpus $CORPUS: $(find "$CORPUS" -type f | wc -l) files, $MASKBYTES bytes under the masks; $(nproc) processors; $(rg --version | head -1)"

# One hyperfine session for all rows; --output=pipe so that no tool stops early on a /dev/null
# stdout.
ARGS=()
for r in $ROWS; do ARGS+=(-n "$r" "${CMD[$r]}"); done
hyperfine --shell=bash --output=pipe --style none -w "$WARMUP" -r "$RUNS" \
    --export-json "$WORK/all.json" "${ARGS[@]}" >/dev/null 2>"$WORK/err" || { cat "$WORK/err" >&2; exit 1; }

for r in $ROWS; do bash -c "${CMD[$r]}" > "$WORK/$r.lst" 2>/dev/null || true; done
python3 - "$WORK" "$MASKBYTES" <<'PY'
import json, sys
work, nbytes = sys.argv[1], int(sys.argv[2])
res = {r["command"]: r for r in json.load(open(work + "/all.json"))["results"]}
print("%-14s %9s %9s %9s %8s %7s" % ("tool", "median_s", "min_s", "max_s", "MB/s", "listed"))
for name in ("pagewarden-j1", "rg-j1", "pagewarden", "rg"):
    r = res[name]
    listed = sum(1 for _ in open("%s/%s.lst" % (work, name), "rb"))
    print("%-14s %9.3f %9.3f %9.3f %8.0f %7d" % (name, r["median"], r["min"], r["max"], nbytes / r["median"] / 1e6, listed))
m = lambda n: res[n]["median"]
print("ratio one thread   pagewarden-j1 / rg-j1: %.2f (below 1: faster)" % (m("pagewarden-j1") / m("rg-j1")))
print("ratio all threads  pagewarden / rg:       %.2f" % (m("pagewarden") / m("rg")))
PY
sort "$WORK/pagewarden.lst" > "$WORK/pw.sorted"; sort "$WORK/rg.lst" > "$WORK/rg.sorted"
if cmp -s "$WORK/pw.sorted" "$WORK/rg.sorted"; then
    echo "check: pagewarden and rg list the same $(wc -l < "$WORK/pw.sorted") files"
else
    echo "check: LISTS DIFFER:"; diff "$WORK/pw.sorted" "$WORK/rg.sorted" | head
fi
if cmp -s "$WORK/pagewarden.lst" "$WORK/pagewarden-j1.lst"; then
    echo "check: pagewarden lists them in the same order on one thread and on all"
else
    echo "check: ORDER DIFFERS between one thread and all"
fi
