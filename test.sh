#!/usr/bin/env bash
# Sets up, builds and runs every test headless (GCC and Qt 5). Options go to ctest, for example
# ./test.sh -R terminal
set -euo pipefail
exec "$(dirname "${BASH_SOURCE[0]}")/scripts/check.sh" default "$@"
