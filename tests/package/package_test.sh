#!/usr/bin/env bash
# package_test.sh BUILD_DIR SOURCE_DIR - makes the Debian packages from the build as it stands
# (no second build), unpacks each into its own temporary root and checks what it holds, that the
# unpacked programs run, and what desktop-file-validate, appstreamcli, systemd-analyze and
# lintian say. Nothing is installed on the machine.
set -euo pipefail
build=$(realpath "$1")
src=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "package_test: $*" >&2
    exit 1
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"
(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || {
    cat "$work/cpack.log" >&2
    fail "cpack failed"
}
cli_deb=$(echo "$work"/out/pagewarden-cli_"$version"_*.deb)
window_deb=$(echo "$work"/out/pagewarden_"$version"_*.deb)
[ -f "$cli_deb" ] || fail "no pagewarden-cli package of version $version"
[ -f "$window_deb" ] || fail "no pagewarden package of version $version"
[ "$(ls "$work"/out/*.deb | wc -l)" -eq 2 ] || fail "more packages than two: $(ls "$work"/out)"

# --- what each package holds -----------------------------------------------------------------
files_of() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./|/|' | sort; }
expect_files() {
    local deb=$1
    shift
    diff -u <(printf '%s\n' "$@" | sort) <(files_of "$deb") >&2 ||
        fail "$(basename "$deb") does not hold exactly the files expected"
}
expect_files "$cli_deb" \
    /usr/bin/pagewarden-cli \
    /usr/share/man/man1/pagewarden-cli.1.gz \
    /usr/share/bash-completion/completions/pagewarden-cli \
    /lib/systemd/system/pagewarden-watch@.service \
    /usr/share/doc/pagewarden-cli/copyright \
    /usr/share/doc/pagewarden-cli/changelog.gz \
    /usr/share/doc/pagewarden-cli/example.conf
icons=()
for size in 16 24 32 48 64 128 256; do
    icons+=("/usr/share/icons/hicolor/${size}x${size}/apps/pagewarden.png")
done
expect_files "$window_deb" \
    /usr/bin/pagewarden \
    /usr/share/man/man1/pagewarden.1.gz \
    /usr/share/applications/pagewarden.desktop \
    /usr/share/icons/hicolor/scalable/apps/pagewarden.svg "${icons[@]}" \
    /usr/share/metainfo/io.pagewarden.Pagewarden.metainfo.xml \
    /usr/share/doc/pagewarden/copyright \
    /usr/share/doc/pagewarden/changelog.gz
dpkg-deb -c "$cli_deb" | grep -qE '^drwxr-xr-x root/root .* \./var/lib/pagewarden/$' ||
    fail "pagewarden-cli does not create /var/lib/pagewarden/ as root, mode 0755"

field() { dpkg-deb -f "$1" "$2"; }
cli_depends=$(field "$cli_deb" Depends)
grep -q 'libqt6core6' <<<"$cli_depends" && grep -q 'libpcre2-8-0' <<<"$cli_depends" ||
    fail "pagewarden-cli depends on: $cli_depends"
! grep -qiE 'widgets|gui|libx|xcb|opengl' <<<"$cli_depends" ||
    fail "pagewarden-cli pulls in a desktop stack: $cli_depends"
grep -qF "pagewarden-cli (= $version)" <<<"$(field "$window_deb" Depends)" ||
    fail "pagewarden does not depend on pagewarden-cli of its version"
grep -q 'fonts-noto-cjk' <<<"$(field "$window_deb" Recommends)" ||
    fail "pagewarden does not recommend fonts-noto-cjk"
[ "$(field "$cli_deb" Version)" = "$version" ] || fail "package version is not $version"

# --- the unpacked programs -------------------------------------------------------------------
dpkg-deb -x "$cli_deb" "$work/cli"
dpkg-deb -x "$window_deb" "$work/window"
cli=$work/cli/usr/bin/pagewarden-cli
[ "$("$cli" --version)" = "pagewarden-cli $version" ] ||
    fail "pagewarden-cli --version: $("$cli" --version)"
window_version=$(env -u DISPLAY -u WAYLAND_DISPLAY "$work/window/usr/bin/pagewarden" --version)
[ "$window_version" = "pagewarden $version" ] || fail "pagewarden --version: $window_version"

cp -r "$src/examples/infected-site" "$work/site"
export PAGEWARDEN_REGISTRY=$work/registry.reg XDG_CONFIG_HOME=$work/config
found=$("$cli" search "$work/site") || fail "the unpacked pagewarden-cli found nothing"
grep -qx "$work/site/index.html" <<<"$found" || fail "search from the package: $found"
[ "$found" = "$("$build/cli/pagewarden-cli" search "$work/site")" ] ||
    fail "the unpacked pagewarden-cli finds other files than the build's"

# --- the checkers ----------------------------------------------------------------------------
desktop=$(desktop-file-validate "$work/window/usr/share/applications/pagewarden.desktop") ||
    fail "desktop-file-validate: $desktop"
! grep -v ': hint: ' <<<"$desktop" | grep -q . || fail "desktop-file-validate: $desktop"
appstreamcli validate --no-net --no-color \
    "$work/window/usr/share/metainfo/io.pagewarden.Pagewarden.metainfo.xml" >&2 ||
    fail "appstreamcli validate failed"
# A template is verified through an instance of it; the manual page is not installed here.
mkdir "$work/units"
cp "$work/cli/lib/systemd/system/pagewarden-watch@.service" "$work/units/"
ln -s pagewarden-watch@.service "$work/units/pagewarden-watch@site.service"
systemd-analyze verify --man=no "$work/units/pagewarden-watch@site.service" >&2 ||
    fail "systemd-analyze verify failed"
lintian --fail-on error,warning "$cli_deb" "$window_deb" >"$work/lintian.log" 2>&1 || {
    cat "$work/lintian.log" >&2
    fail "lintian reports errors or warnings"
}
echo "package_test: pagewarden-cli and pagewarden $version are fine"
