#!/bin/sh
# two_monitors.sh <program> [arguments]: runs a Windows test program on a
# 1280 x 1024 monitor left of a 1920 x 1080 primary (the virtual screen starts
# at x = -1280): the screens of a nested X server, joined by Xinerama (Wine
# reads it when RandR is absent); the test prefix makes the second primary.
# The narrower screen comes first: the nested server misplaces real pointer
# input on the far part of a wider first screen.
set -e
log="$(mktemp)"
number="$(mktemp)"
server=""
finish() {
  # Wine's own processes of this desktop end before its display goes.
  wineserver -k 2>/dev/null || true
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -f "$log" "$number"
}
trap finish EXIT
trap 'exit 1' INT TERM

# The Wine session of an earlier test lives on the outer display; the
# desktop must start afresh on this one to see two monitors.
wineserver -k 2>/dev/null || true

Xephyr -displayfd 3 3>"$number" +xinerama -extension RANDR -nolisten tcp \
  -screen 1280x1024 -screen 1920x1080 >"$log" 2>&1 &
server=$!
tries=0
until [ -s "$number" ]; do
  tries=$((tries + 1))
  [ "$tries" -le 100 ] && kill -0 "$server" 2>/dev/null ||
    { echo "the two-monitor display did not start:" >&2; cat "$log" >&2; exit 1; }
  sleep 0.1
done

DISPLAY=":$(cat "$number")" "$@"
