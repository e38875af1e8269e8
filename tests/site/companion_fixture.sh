#!/bin/sh
# Starts and stops the real companion site for the end-to-end tests.
#   companion_fixture.sh start <folder> <clipvane-site> <trust program>
#   companion_fixture.sh stop <folder>
# start gives the site a fresh data folder with the users "e2e" and
# "e2e-relink", issues a link code for each (code-link, code-relink: a user
# has one live code at a time), has the Wine prefix in WINEPREFIX
# trust the development authority, and writes the site's address to
# <folder>/address once it listens on a free loopback port.
set -e
action=$1
folder=$2
root="$(cd "$(dirname "$0")/../.." && pwd)"
. "$root/tests/support/server_fixture.sh"

case "$action" in
start)
  site=$3
  trust=$4
  require_program "$site" "The companion site"
  mkdir -p "$folder"
  "$root/scripts/dev-certs" "$folder/certs"
  "$root/scripts/wine-run" "$trust" "$folder/certs/ca.der"
  rm -rf "$folder/data" "$folder/address"
  echo "e2e-password" >"$folder/password"
  "$site" user add e2e --password-file "$folder/password" --data "$folder/data" >/dev/null
  "$site" user add e2e-relink --password-file "$folder/password" --data "$folder/data" >/dev/null
  "$site" code e2e --data "$folder/data" >"$folder/code-link"
  "$site" code e2e-relink --data "$folder/data" >"$folder/code-relink"
  "$site" serve --data "$folder/data" --cert "$folder/certs/server.pem" --key "$folder/certs/server.key" \
    --listen 127.0.0.1:0 >"$folder/server.log" 2>&1 &
  echo $! >"$folder/server.pid"
  # The whole line, port included, before the address is taken.
  address_printed() {
    address=$(sed -n 's|^listening on \(https://[a-z0-9.]*:[0-9][0-9]*\)$|\1|p' "$folder/server.log" | head -n 1)
    [ -n "$address" ]
  }
  wait_until_started "$folder" address_printed
  echo "$address" >"$folder/address"
  echo "Companion site at $(cat "$folder/address")"
  ;;
stop)
  stop_server "$folder"
  ;;
*)
  usage
  ;;
esac
