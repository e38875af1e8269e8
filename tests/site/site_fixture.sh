#!/bin/sh
# Starts and stops the loopback servers of the Windows site tests.
#   site_fixture.sh start <folder> <clipvane-site> <site_test_server> <trust program>
#   site_fixture.sh stop <folder>
# start has the Wine prefix in WINEPREFIX trust the development authority,
# which signs the certificate of both servers. The real companion site gets
# a fresh data folder with the user "e2e" and a link code (code-link); its
# address goes to <folder>/address. The test server for what the companion
# never does writes its port to <folder>/port; a second one, whose
# certificate signs itself, to <folder>/untrusted-port.
set -e
action=$1
folder=$2
root="$(cd "$(dirname "$0")/../.." && pwd)"
certs="$folder/certs"

require_program() {  # <path> <what it is>
  [ -x "$1" ] || { echo "$2 $1 is missing: build the native tree first" >&2; exit 1; }
}

# Polls the shell function $2 until it succeeds, for at most ten seconds.
wait_until_started() {  # <server folder> <check function>
  tries=0
  until "$2"; do
    tries=$((tries + 1))
    [ $tries -le 100 ] || { echo "The server did not start:" >&2; cat "$1/server.log" >&2; exit 1; }
    sleep 0.1
  done
}

case "$action" in
start)
  site=$3
  server=$4
  trust=$5
  require_program "$site" "The companion site"
  require_program "$server" "The native test server"
  mkdir -p "$folder/companion" "$folder/transport" "$folder/untrusted"
  "$root/scripts/dev-certs" "$certs"
  [ -f "$certs/untrusted.pem" ] || openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=localhost" \
    -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" \
    -keyout "$certs/untrusted.key" -out "$certs/untrusted.pem" 2>/dev/null
  "$root/scripts/wine-run" "$trust" "$certs/ca.der"

  data="$folder/companion/data"
  rm -rf "$data" "$folder/address" "$folder/port" "$folder/untrusted-port"
  echo "e2e-password" >"$folder/companion/password"
  "$site" user add e2e --password-file "$folder/companion/password" --data "$data" >/dev/null
  "$site" code e2e --data "$data" >"$folder/code-link"
  "$site" serve --data "$data" --cert "$certs/server.pem" --key "$certs/server.key" \
    --listen 127.0.0.1:0 >"$folder/companion/server.log" 2>&1 &
  echo $! >"$folder/companion/server.pid"
  "$server" "$certs/server.pem" "$certs/server.key" "$folder/port" >"$folder/transport/server.log" 2>&1 &
  echo $! >"$folder/transport/server.pid"
  "$server" "$certs/untrusted.pem" "$certs/untrusted.key" "$folder/untrusted-port" \
    >"$folder/untrusted/server.log" 2>&1 &
  echo $! >"$folder/untrusted/server.pid"

  # The whole line, port included, before the address is taken.
  address_printed() {
    address=$(sed -n 's|^listening on \(https://[a-z0-9.]*:[0-9][0-9]*\)$|\1|p' "$folder/companion/server.log" | head -n 1)
    [ -n "$address" ]
  }
  port_written() { [ -f "$folder/port" ]; }
  untrusted_port_written() { [ -f "$folder/untrusted-port" ]; }
  wait_until_started "$folder/companion" address_printed
  wait_until_started "$folder/transport" port_written
  wait_until_started "$folder/untrusted" untrusted_port_written
  echo "$address" >"$folder/address"
  echo "Companion site at $address, test servers on ports $(cat "$folder/port") and $(cat "$folder/untrusted-port")"
  ;;
stop)
  for server in companion transport untrusted; do
    [ -f "$folder/$server/server.pid" ] && kill "$(cat "$folder/$server/server.pid")" 2>/dev/null || true
    rm -f "$folder/$server/server.pid"
  done
  ;;
*)
  echo "usage: $0 start|stop <folder> ..." >&2
  exit 2
  ;;
esac
