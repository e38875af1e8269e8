#!/bin/sh
# Starts and stops the real companion site for the end-to-end tests.
#   companion_fixture.sh start <folder> <clipvane-site> <trust program>
#   companion_fixture.sh stop <folder>
# start gives the site a fresh data folder with the user "e2e", issues two
# link codes (code-link, code-relink), has the Wine prefix in WINEPREFIX
# trust the development authority, and writes the site's address to
# <folder>/address once it listens on a free loopback port.
set -e
action=$1
folder=$2
root="$(cd "$(dirname "$0")/../.." && pwd)"

case "$action" in
start)
  site=$3
  trust=$4
  if [ ! -x "$site" ]; then
    echo "The companion site $site is missing: build the native tree first" >&2
    exit 1
  fi
  mkdir -p "$folder"
  "$root/scripts/dev-certs" "$folder/certs"
  "$root/scripts/wine-run" "$trust" "$folder/certs/ca.der"
  rm -rf "$folder/data" "$folder/address"
  echo "e2e-password" >"$folder/password"
  "$site" user add e2e --password-file "$folder/password" --data "$folder/data" >/dev/null
  for name in link relink; do
    "$site" code e2e --data "$folder/data" >"$folder/code-$name"
  done
  "$site" serve --data "$folder/data" --cert "$folder/certs/server.pem" --key "$folder/certs/server.key" \
    --listen 127.0.0.1:0 >"$folder/server.log" 2>&1 &
  echo $! >"$folder/server.pid"
  tries=0
  address=""
  while [ -z "$address" ]; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ]; then
      echo "The companion site did not start:" >&2
      cat "$folder/server.log" >&2
      exit 1
    fi
    sleep 0.1
    address=$(sed -n 's|^listening on \(https://[a-z0-9.]*:[0-9][0-9]*\)$|\1|p' "$folder/server.log" | head -n 1)
  done
  echo "$address" >"$folder/address"
  echo "Companion site at $(cat "$folder/address")"
  ;;
stop)
  if [ -f "$folder/server.pid" ]; then
    kill "$(cat "$folder/server.pid")" 2>/dev/null || true
    rm -f "$folder/server.pid"
  fi
  ;;
*)
  echo "usage: $0 start|stop <folder> ..." >&2
  exit 2
  ;;
esac
