#!/usr/bin/env bash
# Builds Wirelet and prints the receive-path figures. Pass --quick for a shorter run.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/bootstrap.sh" >/dev/null
cmake --build "$root/build" --target wirelet_bench --parallel "$(nproc)" >/dev/null
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$root/build/bench/wirelet_bench" "$@"
