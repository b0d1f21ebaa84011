#!/usr/bin/env bash
# translation_source_test.sh SOURCE_DIR LUPDATE LRELEASE - the translation source holds every
# translatable text of the code, each with its translation.
set -euo pipefail
src=$1
lupdate=$2
lrelease=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$src/translations/pagewarden_en.ts" "$work/"
cd "$src"
report=$("$lupdate" -I . -no-obsolete -locations none app cleaning watch -ts "$work/pagewarden_en.ts")
if ! grep -q '(0 new and' <<<"$report"; then
    echo "texts not yet in translations/pagewarden_en.ts (build the update_translations target):" >&2
    diff "$src/translations/pagewarden_en.ts" "$work/pagewarden_en.ts" >&2 || true
    exit 1
fi
report=$("$lrelease" "$work/pagewarden_en.ts" -qm "$work/en.qm")
if ! grep -q ' 0 unfinished' <<<"$report"; then
    echo "$report" >&2
    grep -B3 'type="unfinished"' "$work/pagewarden_en.ts" >&2
    exit 1
fi
