#!/bin/sh
# Runs hello-form in a real X window and saves a screenshot as PNG. Run inside xvfb-run.
#   xvfb_screenshot.sh HELLO_FORM OUT.png
# With ImageMagick's import the whole screen is grabbed from the X server once the window has
# drawn (more than a few colours on the screen); without it hello-form saves its own grab.
app=$1
out=$2
# Under the sanitizers, the leak check stays with the offscreen tests: at exit a program on a real
# display leaves allocations of the system's X and D-Bus libraries behind.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
if ! command -v import >/dev/null 2>&1 || ! command -v identify >/dev/null 2>&1; then
  exec "$app" --screenshot "$out"
fi
QT_QPA_PLATFORM=xcb "$app" --exit-after 30000 &
pid=$!
tries=0
while :; do
  if import -window root "$out" 2>/dev/null && [ "$(identify -format %k "$out" 2>/dev/null || echo 0)" -gt 8 ]; then
    break
  fi
  tries=$((tries + 1))
  if [ "$tries" -ge 100 ] || ! kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null
    echo "xvfb_screenshot: no window drawn" >&2
    exit 1
  fi
  sleep 0.1
done
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
exit 0
