#!/usr/bin/env bash
# Builds the hex message fuzzer with ASan and UBSan in build-fuzz/ and runs it for a bounded time:
#   scripts/fuzz.sh [seconds]      (default 60)
# Exits with libFuzzer's status, non-zero on any finding; the input that found it is kept in
# build-fuzz/artifacts/. The corpus it grows stays in build-fuzz/, never in fuzz/corpus/.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [seconds]   (a whole number above zero, default 60)" >&2
    exit 2
fi

packages=(
    clang pkg-config
    libclang-rt-14-dev   # the libFuzzer and sanitizer runtimes
    qtbase5-dev
)

"$root/scripts/install-packages.sh" "${packages[@]}"

build="$root/build-fuzz"
fuzzer="$build/hexmessage_fuzzer"
mkdir -p "$build/corpus" "$build/artifacts"

# Two small files: always rebuilding is quicker than getting stale-flag detection right.
read -ra qt <<<"$(pkg-config --cflags --libs Qt5Core)"
echo "fuzz: building $fuzzer"
clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -fPIC \
    -I"$root" \
    "$root/fuzz/hexmessage_fuzzer.cpp" "$root/serial/hexmessage.cpp" \
    "${qt[@]}" -o "$fuzzer"

# libFuzzer writes the inputs it finds interesting into its first corpus folder, so it gets a
# scratch copy of the seeds; what earlier runs found there is kept and reused.
cp -R "$root/fuzz/corpus/." "$build/corpus/"

log="$build/fuzz.log"
echo "fuzz: running for $seconds s, full output in $log"
start=$(date +%s)
set +e
"$fuzzer" "$build/corpus" \
    -dict="$root/fuzz/hex.dict" \
    -max_total_time="$seconds" \
    -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/" \
    >"$log" 2>&1
status=$?
set -e
elapsed=$(($(date +%s) - start))

runs=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\).*/\1/p' "$log" | tail -n 1)

if ((status == 0)); then
    echo "fuzz: ${runs:-?} inputs run in $elapsed s, no findings"
    exit 0
fi

# Show the finding itself rather than the whole run, or the tail when libFuzzer stopped early.
if grep -qE '^hexmessage_fuzzer: |^==[0-9]+==|runtime error:' "$log"; then
    awk '/^hexmessage_fuzzer: |^==[0-9]+==|runtime error:/ { shown = 1 } shown' "$log" >&2
else
    tail -n 40 "$log" >&2
fi
artifact=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)
echo "fuzz: FINDING after ${runs:-?} inputs in $elapsed s (libFuzzer exit status $status)${artifact:+, input saved as $artifact}" >&2
echo "fuzz: replay it with: $fuzzer ${artifact:-<input file>}" >&2
exit "$status"
