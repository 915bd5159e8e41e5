#!/bin/sh
# Copies a fresh Wine prefix, quicker than booting one (minutes under emulation): its programs
# and DLLs as hard links, the rest, which Wine rewrites in place (the registry among them), as
# files of their own.
#   copy-wine-prefix.sh FRESH COPY
set -eu
mkdir "$2"
tar -C "$1" -c --exclude='*.dll' --exclude='*.exe' . | tar -C "$2" -x
cp -aln "$1/." "$2"
