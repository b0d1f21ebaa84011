#!/usr/bin/env bash
# run-window.sh BUILD_DIR - starts the window program, or explains why it cannot.
set -euo pipefail
build=$1
if [ -x "$build/app/pagewarden" ]; then
    exec "$build/app/pagewarden"
fi
# The window is not built yet: show what the command-line program offers.
exec "$build/cli/pagewarden-cli" --help
