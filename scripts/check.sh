#!/usr/bin/env bash
# Sets up and builds one variant (see bootstrap.sh) and runs every test on it headless:
#   scripts/check.sh [VARIANT [ctest-option...]]
# Under asan any error, and any leak at exit, fails the run.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
variant="${1:-default}"
"$root/scripts/bootstrap.sh" --tests "$variant"

build="$root/build"
[[ "$variant" == default ]] || build+="-$variant"
export QT_QPA_PLATFORM=offscreen
# Full stacks, so a leak from inside a Qt plug-in can be told apart from our own.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1:fast_unwind_on_malloc=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
cd "$build" && exec ctest --output-on-failure --parallel 2 "${@:2}"
