#!/bin/sh
# Starts and stops the loopback HTTPS server of the transport tests.
#   https_fixture.sh start <folder> <server program> <trust program>
#   https_fixture.sh stop <folder>
# start makes (once per folder) a test authority, a certificate for
# localhost signed by it and a second pair signed by an authority nobody
# trusts; it has the Wine prefix in WINEPREFIX trust the first authority.
set -e
action=$1
folder=$2
. "$(dirname "$0")/../support/server_fixture.sh"

make_pair() {  # <name prefix> <authority subject>
  openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=$2" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout "$folder/${1}ca-key.pem" -out "$folder/${1}ca.pem" 2>/dev/null
  openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" \
    -keyout "$folder/${1}key.pem" -out "$folder/${1}request.csr" 2>/dev/null
  printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' \
    >"$folder/${1}leaf.ext"
  openssl x509 -req -in "$folder/${1}request.csr" -CA "$folder/${1}ca.pem" -CAkey "$folder/${1}ca-key.pem" \
    -CAcreateserial -days 30 -extfile "$folder/${1}leaf.ext" -out "$folder/${1}cert.pem" 2>/dev/null
}

case "$action" in
start)
  server=$3
  trust=$4
  require_program "$server" "The native test server"
  mkdir -p "$folder"
  [ -f "$folder/cert.pem" ] || make_pair "" "Clipvane Test Authority"
  [ -f "$folder/rogue-cert.pem" ] || make_pair "rogue-" "Clipvane Untrusted Authority"
  "$(dirname "$0")/../../scripts/wine-run" "$trust" "$folder/ca.pem"
  rm -f "$folder/ports"
  "$server" "$folder" >"$folder/server.log" 2>&1 &
  echo $! >"$folder/server.pid"
  ports_written() { [ -f "$folder/ports" ]; }
  wait_until_started "$folder" ports_written
  echo "Test site listening, ports: $(cat "$folder/ports")"
  ;;
stop)
  stop_server "$folder"
  ;;
*)
  usage
  ;;
esac
