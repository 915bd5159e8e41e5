#!/usr/bin/env bash
# Includes point down: app/ may include serial/ and forms/, but nothing under serial/ includes
# app/, forms/ or a generated form header; project headers are named with their folder; and no
# header's includes lead back to itself.
#   check-includes.sh SOURCE_DIR
set -euo pipefail
cd "$1"
fail() { echo "FAIL - $*" >&2 && exit 1; }
up=$(grep -HnE '#include *["<](app/|forms/|ui_)' serial/* || true)
[ -z "$up" ] || fail "serial/ includes what lies above it: $up"
bare=$(grep -HnE '#include "[^/"]+\.h"' app/* serial/* forms/*.{h,cpp} | grep -v '"ui_' || true)
[ -z "$bare" ] || fail "an include that does not name its folder: $bare"
# Each include of a project file is an edge from the file that has it; tsort finds any loop.
for file in app/* serial/* forms/*.{h,cpp}; do
    sed -nE "s@^#include \"((app|serial|forms)/[^\"]*)\".*@$file \1@p" "$file"
done | tsort >/dev/null 2>"${TMPDIR:-/tmp}/includes.$$" ||
    fail "includes form a loop: $(cat "${TMPDIR:-/tmp}/includes.$$")"
rm -f "${TMPDIR:-/tmp}/includes.$$"
echo "ok - includes point down"
