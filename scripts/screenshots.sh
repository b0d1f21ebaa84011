#!/usr/bin/env bash
# screenshots.sh BUILD_DIR OUT_DIR [SEARCH_PATH]
# Shows the window on a virtual display (Xvfb, 1024x768, 96 dpi), takes a screenshot of each
# page of its tab control, then searches SEARCH_PATH (default: examples/infected-site) and takes
# one of the results: OUT_DIR/page-1.png ... page-4.png and OUT_DIR/results.png. The settings
# live in a temporary store, so the user's own are neither used nor changed. SCREENSHOT_LANG
# (default zh_CN.UTF-8) is the locale the window runs under: en_US.UTF-8 shows it in English.
set -euo pipefail
build=$(realpath "$1")
out=$(realpath -m "$2")
root=$(cd "$(dirname "$0")/.." && pwd)
search=$(realpath -m "${3:-$root/examples/infected-site}")

if [ -z "${PW_SCREENSHOTS_INSIDE_XVFB:-}" ]; then
    "$root/scripts/install-deps.sh" look
    exec env PW_SCREENSHOTS_INSIDE_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
        "$0" "$build" "$out" "$search"
fi

mkdir -p "$out"
work=$(mktemp -d)
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

export PAGEWARDEN_REGISTRY=$work/registry.reg XDG_CONFIG_HOME=$work/config
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SoftWare\\Scrubline]\n"SearchPath"="%s"\n' \
    "${search//\\/\\\\}" >"$PAGEWARDEN_REGISTRY"

lang=${SCREENSHOT_LANG:-zh_CN.UTF-8}
env -u LANGUAGE -u LC_ALL -u LC_MESSAGES LANG="$lang" "$build/app/pagewarden" &
pid=$!
win=$(xdotool search --sync --onlyvisible --name '^Pagewarden$' | head -1)
sleep 1

# Positions inside the window's client area: the tabs of the page control and the search button.
click() {
    xdotool mousemove --window "$win" "$1" "$2" click 1
    sleep 0.7
}
shot() { import -window "$win" "$out/$1"; }

# The tabs' centres: the English captions are wider.
case $lang in
zh* | C | C.* | POSIX) tabs="36 92 158 228" ;;
*) tabs="40 118 210 286" ;;
esac
page=1
for x in $tabs; do
    click "$x" 21
    shot "page-$page.png"
    page=$((page + 1))
done
click 36 21
click 608 40 # FindButton
sleep 2
shot results.png
echo "screenshots in $out"
