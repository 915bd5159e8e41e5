#!/usr/bin/env bash
# Builds Wirelet with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/ and runs
# every test there; any error, and any leak at exit, fails the run.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/bootstrap.sh" build-asan -DWIRELET_SANITIZE=ON

export QT_QPA_PLATFORM=offscreen
# Full stacks, so a leak from inside a Qt plug-in can be told apart from our own.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1:fast_unwind_on_malloc=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
status=0
ctest --test-dir "$root/build-asan" --output-on-failure "$@" || status=$?
echo "Figures under the sanitizers:"
grep -h "QINFO" "$root/build-asan/Testing/Temporary/LastTest.log" | sed "s/^QINFO *: */  /" || true
exit $status
