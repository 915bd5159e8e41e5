#!/usr/bin/env bash
# Under a window manager that honours size limits (openbox), a request to maximise the window,
# as a double-click on its title bar makes, leaves the native window the form's size. The
# window's class is the one its menu entry names, so docks match the two.
#   check-maximise.sh [EMULATOR] WIRELET      (on an X display of its own: xvfb-run)
set -euo pipefail
fail() { echo "FAIL - $*" >&2 && exit 1; }
openbox &
trap 'kill $(jobs -p) 2>/dev/null' EXIT
until wmctrl -m >/dev/null 2>&1; do sleep 0.1; done
QT_QPA_PLATFORM=xcb "$@" &
window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 || true; }
for _ in $(seq 300); do
    [ -z "$(window Tip)" ] || xdotool windowfocus "$(window Tip)" key Return # no idle port
    id=$(window 'Qt串口通信') && [ -n "$id" ] && break || sleep 0.1
done
[ -n "$id" ] || fail "no main window"
class=$(sed -n 's/^StartupWMClass=//p' "${0%/*}/../packaging/"*.desktop)
wm_class=$(xprop -id "$id" WM_CLASS)
[[ $wm_class == *", \"$class\"" ]] || fail "$wm_class, not the menu entry's $class"
size() { xwininfo -id "$id" | sed -n 's/^ *\(Width\|Height\): //p' | xargs; }
before=$(size)
wmctrl -i -r "$id" -b add,maximized_vert,maximized_horz
wmctrl -i -r "$id" -b add,above # handled after the first: once it shows, so was that
for _ in $(seq 100); do xprop -id "$id" _NET_WM_STATE | grep -q ABOVE && break || sleep 0.1; done
[ "$(size)" = "$before" ] || fail "the window went from $before to $(size)"
echo "ok - the window stays $before"
