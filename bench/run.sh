#!/usr/bin/env bash
# Builds Wirelet and prints the idle-port discovery and receive-path figures:
#   bench/run.sh [qt6] [--quick]
# qt6 measures the Qt 6 build (in build-qt6/); --quick makes a shorter receive-path run.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
variant=default build="$root/build"
if [[ "${1:-}" == qt6 ]]; then
    variant=qt6 build="$root/build-qt6"
    shift
fi
"$root/scripts/bootstrap.sh" "$variant" >/dev/null
"$build/bench/wirelet_bench_discovery"
echo
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$build/bench/wirelet_bench" "$@"
