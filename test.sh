#!/usr/bin/env bash
# Sets up, builds and runs every test headless, then prints the figures the tests report.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$root/scripts/bootstrap.sh"
export QT_QPA_PLATFORM=offscreen
status=0
ctest --test-dir "$root/build" --output-on-failure --parallel 2 "$@" || status=$?
echo "Figures:"
grep -h "QINFO" "$root/build/Testing/Temporary/LastTest.log" | sed 's/^QINFO *: */  /' || true
exit $status
