#!/usr/bin/env bash
# Wirelet against real drivers: tests/tst_drivers.cpp, built with Qt 5 (build/) and with Qt 6
# (build-qt6/), each run in one boot of a QEMU guest (scripts/guest.sh) whose ttyS1 is a 16550
# on the kernel's 8250 driver and whose ttyUSB0 an FTDI adapter on ftdi_sio, while the host
# plays both devices and pulls the adapter's plug (tests/play-devices.py). What each run leaves
# (QEMU's trace of the device models, what the devices received) stays in build-drivers/.
#   scripts/drivers.sh [test-option...]      for example: scripts/drivers.sh unplug
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

"$root/scripts/install-packages.sh" python3
for variant in default qt6; do
    "$root/scripts/bootstrap.sh" "$variant"
done

player=""
trap '[[ -z "$player" ]] || kill "$player" 2>/dev/null' EXIT
trap 'exit 143' TERM INT HUP
status=0
for variant in default qt6; do
    build="$root/build"
    [[ "$variant" == default ]] || build+="-$variant"
    share="$root/build-drivers/$variant"
    echo "drivers: $variant, in a guest" >&2
    # A test function that hangs fails within a minute, before the guest's own time-out.
    python3 "$root/tests/play-devices.py" "$share" "$root/scripts/guest.sh" --timeout 120 -- \
        env QT_QPA_PLATFORM=offscreen QTEST_FUNCTION_TIMEOUT=60000 WIRELET_DEVICES="$share" \
        "$build/tests/tst_drivers" "$@" &
    player=$!
    wait "$player" || status=1
    player=""
done
exit "$status"
