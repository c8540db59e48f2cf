#!/usr/bin/env bash
# Starts kestrin in a private X server, photographs its window and quits it
# through its Quit button, as a user would.
# usage: x11_smoke_test.sh KESTRIN SCREENSHOT.png
set -euo pipefail
kestrin=$1
shot=$2

for tool in Xvfb xdotool import identify; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/setup.sh" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb=
app=
cleanup() {
    [ -z "$app" ] || kill "$app" 2>/dev/null || true
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "x11 smoke test: $*" >&2
    sed 's/^/  kestrin: /' "$work/kestrin.log" >&2 2>/dev/null || true
    exit 1
}

# -displayfd picks a free display and writes its number once the server is up.
Xvfb -displayfd 3 -screen 0 800x240x24 -dpi 96 -nolisten tcp 3>"$work/display" \
    2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(cat "$work/display")"
export XDG_CONFIG_HOME="$work"  # the user's settings stay untouched

"$kestrin" >"$work/kestrin.log" 2>&1 &
app=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^KSTN$' | head -n 1) ||
    fail "no window titled KSTN appeared"
eval "$(xdotool getwindowgeometry --shell "$window")"
[ "$WIDTH" -eq 528 ] || fail "the window is $WIDTH pixels wide, not 528"
menu=$((HEIGHT - 78))
[ "$menu" -gt 0 ] || fail "the window is $HEIGHT pixels high: no room for the menu bar"

sleep 1  # let the first paint land
import -window "$window" "$shot"
[ "$(identify -format '%wx%h' "$shot")" = "${WIDTH}x${HEIGHT}" ] || fail "bad screenshot $shot"

# Quit sits at 440, 56 (81 x 17) in the client area below the menu bar.
xdotool mousemove --window "$window" 480 $((menu + 64)) click 1
for _ in $(seq 100); do
    kill -0 "$app" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$app" 2>/dev/null && fail "kestrin is still running after Quit"
status=0
wait "$app" || status=$?
app=
[ "$status" -eq 0 ] || fail "kestrin ended with status $status"
echo "x11 smoke test: kestrin showed its window ($shot) and quit"
