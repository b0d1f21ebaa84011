#!/usr/bin/env bash
# clean_vs_perl.sh - whole-job cleaning benchmark: `pagewarden-cli clean --files` against the
# exact perl one-liner of the same cleaning, one process each, on fresh copies of the infected
# files of a corpus under /dev/shm (so the file system does not hide the work), in the same run.
# Rows: pagewarden (--no-backup), backup (the backup store and journal on, also under /dev/shm),
# perl-spec, then restore (`restore --last` of the backup row's job, timed against that clean).
#
#   bash bench/clean_vs_perl.sh [CORPUS_DIR]     (default /tmp/pwbench/big, made when missing)
#
# Env: SHARED (the shared folder with bench/make_corpus.py and bench/ref_clean.py, default
# ../shared beside this checkout), BUILD (default build/default), RUNS (10), WORK (/dev/shm/...),
# BASE_CLI (another build's pagewarden-cli, measured as the row "base" to compare two versions).
set -euo pipefail
HERE=$(cd "$(dirname "$0")/.." && pwd)
SHARED=${SHARED:-$(cd "$HERE/../shared" 2>/dev/null && pwd || echo /work/shared)}
CLI=${BUILD:-$HERE/build/default}/cli/pagewarden-cli
CORPUS=${1:-/tmp/pwbench/big}
KW=evilstats.example
RUNS=${RUNS:-10}
WORK=${WORK:-/dev/shm/pwbench-clean.$$}
for t in hyperfine perl python3 grep tar; do command -v $t >/dev/null || { echo "missing $t (make bench installs it)" >&2; exit 2; }; done
[ -x "$CLI" ] || { echo "missing $CLI: run make first" >&2; exit 2; }
[ -d "$CORPUS" ] || python3 "$SHARED/bench/make_corpus.py" --out "$CORPUS" --files 20000 --seed 1 >/dev/null

export LC_ALL=C PW_KW=$KW WORK CLI
mkdir -p "$WORK"
trap '[ "${KEEP:-0}" = 1 ] || rm -rf "$WORK"' EXIT

# The infected files: what a case-insensitive keyword search under the web masks lists.
BI="--include=*.[tT][xX][tT] --include=*.[aA][sS][pP] --include=*.[hH][tT][mM][lL] --include=*.[hH][tT][mM] --include=*.[pP][hH][pP] --include=*.[iI][nN][cC] --include=*.[jJ][sS]"
(cd "$CORPUS" && grep -rlZiF $BI -- "$KW" .) > "$WORK/hits.lst0" || true
mkdir -p "$WORK/src"
(cd "$CORPUS" && tar --null -T "$WORK/hits.lst0" -cf -) | tar -xf - -C "$WORK/src"
NFILES=$(tr -cd '\0' < "$WORK/hits.lst0" | wc -c)
NBYTES=$(find "$WORK/src" -type f -printf '%s\n' | awk '{s+=$1} END{print s+0}')
echo "# $NFILES infected files, $NBYTES bytes, copied fresh under $WORK before every run"

# The same one-liner as the peers script: normalise, then the three literal removal passes, with
# the default rule (one element, the elements of its kind nested in it included).
export PERL_SPEC='BEGIN{$k=lc $ENV{PW_KW}; $k=~s/^[\x00-\x20]+|[\x00-\x20]+$//g} s/\r\n?|\n/\r\n/g; my @m; while(/(<ifraMe(?:[^<\n]++|<(?!ifraMe|\\*\/ifrAme>)|(?1))*+<\\*?\/ifrAme>)|(<script(?:[^<\n]++|<(?!script|\\*\/script>)|(?2))*+<\\*?\/script>)|(\[ifraMe(?:[^\[\n]++|\[(?!ifraMe|\\*\/ifrAme\])|(?3))*+\[\\*?\/ifrAme\])/gi){push @m,$&} if(@m){ $_.="\r\n" unless /\r\n\z/; for my $m (@m){ next unless length($k) && index(lc($m),$k)>=0; for my $p ("$m\r\n",$m,"$m\r\n"){ s/\Q$p\E//g; $_.="\r\n" if length && !/\r\n\z/ } } }'
declare -A CMD
export PAGEWARDEN_HISTORY=$WORK/history
# One process for all the files (xargs would split a longer list), so one job to restore.
CLEAN_ARGS='clean -q --keyword "$PW_KW" --files'
CMD[pagewarden]='cd "$WORK/run" && xargs -0 -x -n 100000 -a "$WORK/hits.lst0" "$CLI" '"$CLEAN_ARGS"' --no-backup'
CMD[backup]='cd "$WORK/run" && xargs -0 -x -n 100000 -a "$WORK/hits.lst0" "$CLI" '"$CLEAN_ARGS"
CMD[perl-spec]='cd "$WORK/run" && xargs -0 -a "$WORK/hits.lst0" perl -0777 -i -pe "$PERL_SPEC"'
PREP='rm -rf "$WORK/run" "$PAGEWARDEN_HISTORY" && cp -a "$WORK/src" "$WORK/run"'
TOOLS="pagewarden backup perl-spec"
if [ -n "${BASE_CLI:-}" ]; then
    export BASE_CLI
    CMD[base]='cd "$WORK/run" && xargs -0 -a "$WORK/hits.lst0" "$BASE_CLI" clean -q --keyword "$PW_KW" --files --no-backup'
    TOOLS="base pagewarden backup perl-spec"
fi

printf '%-12s %9s %9s %9s %9s\n' tool median_s min_s max_s MB/s
for name in $TOOLS; do
    hyperfine --shell=bash --style none -r "$RUNS" --prepare "$PREP" \
        --export-json "$WORK/$name.json" -n "$name" "${CMD[$name]}" >/dev/null
    python3 - "$WORK/$name.json" "$name" "$NBYTES" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))["results"][0]
print("%-12s %9.3f %9.3f %9.3f %9.1f" % (sys.argv[2], r["median"], r["min"], r["max"], int(sys.argv[3]) / r["median"] / 1e6))
PY
    rm -rf "$WORK/out-$name" && mv "$WORK/run" "$WORK/out-$name"
done
# restore --last of the job the backup row makes, on a fresh copy cleaned before every run.
hyperfine --shell=bash --style none -r "$RUNS" --prepare "$PREP && ${CMD[backup]}" \
    --export-json "$WORK/restore.json" -n restore 'cd "$WORK/run" && "$CLI" restore -q --last' >/dev/null
python3 - "$WORK/restore.json" restore "$NBYTES" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))["results"][0]
print("%-12s %9.3f %9.3f %9.3f %9.1f" % (sys.argv[2], r["median"], r["min"], r["max"], int(sys.argv[3]) / r["median"] / 1e6))
PY
if diff -rq "$WORK/src" "$WORK/run" >/dev/null; then
    echo "check: restore --last gives back the bytes of all $NFILES files"
else
    echo "check: RESTORED FILES DIFFER:"; diff -rq "$WORK/src" "$WORK/run" | head
fi
python3 - "$WORK/pagewarden.json" "$WORK/backup.json" "$WORK/perl-spec.json" "$WORK/restore.json" <<'PY'
import json, sys
a, k, b, r = (json.load(open(p))["results"][0]["median"] for p in sys.argv[1:])
print("throughput ratio pagewarden / perl-spec: %.2f" % (b / a))
print("throughput ratio backup / perl-spec: %.2f (at least 2)" % (b / k))
print("time ratio restore / backup clean: %.2f (at most 1)" % (r / k))
PY
[ -n "${BASE_CLI:-}" ] && python3 - "$WORK/pagewarden.json" "$WORK/base.json" <<'PY'
import json, sys
a, b = (json.load(open(p))["results"][0]["median"] for p in sys.argv[1:])
print("time ratio pagewarden / base: %.3f" % (a / b))
PY
if diff -rq "$WORK/out-pagewarden" "$WORK/out-perl-spec" >/dev/null &&
    diff -rq "$WORK/out-backup" "$WORK/out-perl-spec" >/dev/null; then
    echo "check: all three leave the same bytes in all $NFILES files"
else
    echo "check: FILES DIFFER:"; diff -rq "$WORK/out-pagewarden" "$WORK/out-perl-spec" | head
fi
[ -f "$SHARED/bench/ref_clean.py" ] &&
    echo "check: $(python3 "$SHARED/bench/ref_clean.py" --check-tree "$KW" "$WORK/src" "$WORK/out-pagewarden" "$WORK/hits.lst0" || true)"
