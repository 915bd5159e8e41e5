#!/usr/bin/env bash
# Sets up, builds and starts Wirelet.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$root/scripts/bootstrap.sh" --app
exec "$root/build/wirelet" "$@"
