#!/usr/bin/env bash
# install-deps.sh GROUP...  - installs the Debian packages a group needs, only those missing.
# Groups: build (compile and test), run (show the window), bench (peers for the benchmarks),
# package (build and check the Debian packages), look (screenshots under a virtual display, icons).
set -euo pipefail

declare -A GROUP
GROUP[build]="cmake g++ make ninja-build pkg-config qt6-base-dev libpcre2-dev libssl-dev libgtest-dev libbenchmark-dev libsystemd-dev qt6-l10n-tools"
GROUP[package]="dpkg-dev file lintian desktop-file-utils appstream systemd bash-completion"
GROUP[run]="fonts-noto-cjk"
GROUP[bench]="hyperfine ripgrep ugrep perl python3 tar"
GROUP[look]="xvfb xauth fonts-noto-cjk imagemagick xdotool librsvg2-bin"

missing=()
for group in "$@"; do
    [ -n "${GROUP[$group]+x}" ] || { echo "install-deps.sh: unknown group '$group'" >&2; exit 2; }
    for pkg in ${GROUP[$group]}; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing Debian packages: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
# A fresh machine may have no package lists yet.
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
