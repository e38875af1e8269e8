#!/bin/sh
# Starts and stops the loopback servers of the Windows site tests:
#   site_fixture.sh start <folder> <clipvane-site> <site_test_server> <trust program>
#   site_fixture.sh stop <folder>
# The Wine prefix (WINEPREFIX) trusts the development authority that signs
# both servers. The companion site gets fresh data with the user "e2e", a link
# code (code-link) and its address in <folder>/address; the test server writes
# its port to <folder>/port, one whose certificate signs itself to untrusted-port.
set -e
folder=$2
certs="$folder/certs"
scripts="$(dirname "$0")/../../scripts"

# Runs <program> in the background as server <name>, its output in its log.
serve() {  # <name> <program> [arguments]
  name=$1
  shift
  mkdir -p "$folder/$name"
  "$@" >"$folder/$name/server.log" 2>&1 &
  echo $! >"$folder/$name/server.pid"
}

# Polls the shell condition until it holds, for at most ten seconds.
wait_until() {  # <server name> <condition>
  tries=0
  until eval "$2"; do
    tries=$((tries + 1))
    [ $tries -le 100 ] || { echo "The server did not start:" >&2; cat "$folder/$1/server.log" >&2; exit 1; }
    sleep 0.1
  done
}

case "$1" in
start)
  for program in "$3" "$4"; do
    [ -x "$program" ] || { echo "$program is missing: build the native tree first" >&2; exit 1; }
  done
  "$scripts/dev-certs" "$certs"
  [ -f "$certs/untrusted.pem" ] || openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=localhost" \
    -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" \
    -keyout "$certs/untrusted.key" -out "$certs/untrusted.pem" 2>/dev/null
  "$scripts/wine-run" "$5" "$certs/ca.der"

  data="$folder/companion/data"
  rm -rf "$data" "$folder/address" "$folder/port" "$folder/untrusted-port"
  mkdir -p "$folder/companion"
  echo "e2e-password" >"$folder/companion/password"
  "$3" user add e2e --password-file "$folder/companion/password" --data "$data" >/dev/null
  "$3" code e2e --data "$data" >"$folder/code-link"
  serve companion "$3" serve --data "$data" --cert "$certs/server.pem" --key "$certs/server.key" --listen 127.0.0.1:0
  serve transport "$4" "$certs/server.pem" "$certs/server.key" "$folder/port"
  serve untrusted "$4" "$certs/untrusted.pem" "$certs/untrusted.key" "$folder/untrusted-port"

  # The whole line, port included, before the address is taken.
  wait_until companion 'address=$(sed -n "s|^listening on \(https://[a-z0-9.]*:[0-9][0-9]*\)$|\1|p" \
    "$folder/companion/server.log" | head -n 1); [ -n "$address" ]'
  wait_until transport '[ -f "$folder/port" ]'
  wait_until untrusted '[ -f "$folder/untrusted-port" ]'
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
