#!/usr/bin/env bash
# Builds Wirelet, runs it on a virtual X display and saves the README screenshots:
# docs/main-window.png and docs/about-dialog.png.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
docs="$root/docs"

packages=(
    xvfb                # the X display the app runs on, with no screen needed
    imagemagick         # import grabs a window into a PNG
    xdotool             # finds the windows, clicks and types
    fonts-wqy-microhei  # without it the Chinese texts come out as boxes
)

"$root/scripts/install-packages.sh" "${packages[@]}"

"$root/scripts/bootstrap.sh"

work="$(mktemp -d)"
xvfb_pid=""
app_pid=""
cleanup() {
    # Whatever failed, leave no app, display or temporary files behind.
    local pid
    for pid in $app_pid $xvfb_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# -displayfd lets Xvfb pick a free display itself, so parallel runs never collide. At Xvfb's own
# 100 dpi the window would scale by 1.04 and the clicks below would miss.
Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp 3>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!

# Runs "$@" every 0.1 s until it succeeds; gives up after $1 seconds.
poll() {
    local seconds=$1
    shift
    local tries=$((seconds * 10))
    until "$@"; do
        ((--tries > 0)) || return 1
        sleep 0.1
    done
}

display_ready() {
    [[ -s "$work/display" ]] && kill -0 "$xvfb_pid" 2>/dev/null
}
if ! poll 20 display_ready; then
    echo "Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi
display=$(head -n1 "$work/display")
export DISPLAY=":$display"

# Prints the id of the one visible window whose title is exactly $1.
visible_window() {
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 | grep .
}

# Grabs window $1 into $2 once two grabs in a row agree, so a half-painted window
# is never saved; -strip keeps the PNG the same from one run to the next.
capture() {
    local id=$1 out=$2 tries=50
    import -silent -window "$id" -strip "png:$work/last.png"
    while ((--tries > 0)); do
        sleep 0.2
        import -silent -window "$id" -strip "png:$work/next.png"
        if cmp -s "$work/last.png" "$work/next.png"; then
            mkdir -p "$(dirname "$out")"
            mv "$work/next.png" "$out"
            echo "Saved ${out#"$root/"}"
            return 0
        fi
        mv "$work/next.png" "$work/last.png"
    done
    echo "Window $id never stopped changing" >&2
    return 1
}

# Qt would otherwise pick another backend or complain about an ASCII locale.
QT_QPA_PLATFORM=xcb LANG=C.UTF-8 LC_ALL=C.UTF-8 "$root/build/wirelet" \
    >"$work/wirelet.log" 2>&1 &
app_pid=$!

# A machine without an idle port shows a modal box before the main window: dismiss it.
main_or_tip() {
    local tip
    kill -0 "$app_pid" 2>/dev/null || return 0
    if tip=$(visible_window Tip); then
        echo "Dismissing the 找不到空闲串口 box (no idle serial port here)"
        xdotool windowfocus "$tip" key --clearmodifiers Return 2>/dev/null || true
        return 1
    fi
    main=$(visible_window 'Qt串口通信')
}
main=""
if ! poll 30 main_or_tip || [[ -z "$main" ]]; then
    echo "The main window never appeared:" >&2
    cat "$work/wirelet.log" >&2
    exit 1
fi

# A sample message in the send box, so the picture shows what goes there; no port is
# opened (the only one listed may well be the machine's console).
xdotool mousemove --window "$main" 300 430 click 1
xdotool type --delay 20 '48 65 6C 6C 6F'
# Clicking the read-only log takes focus from the send box, whose blinking caret would
# make one run's picture differ from the next.
xdotool mousemove --window "$main" 190 190 click 1
# The pointer parked off the window keeps hover highlights out of the picture.
xdotool mousemove 0 0

capture "$main" "$docs/main-window.png"

# The about button sits at 590,490 (75x23) in the central widget, which starts at the
# window's corner: no menu bar, and no window manager frame under Xvfb.
xdotool mousemove --window "$main" 627 501 click 1
xdotool mousemove 0 0

about=""
about_shown() { about=$(visible_window '关于'); }
if ! poll 10 about_shown; then
    echo "The about dialog never appeared:" >&2
    cat "$work/wirelet.log" >&2
    exit 1
fi
capture "$about" "$docs/about-dialog.png"
