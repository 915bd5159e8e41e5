#!/usr/bin/env bash
# Sets up, builds and runs every test headless (GCC and Qt 5), then prints the figures the
# tests report. Options go to ctest, for example ./test.sh -R traffic
set -euo pipefail
exec "$(dirname "${BASH_SOURCE[0]}")/scripts/check.sh" default "$@"
