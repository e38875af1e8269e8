# Shared pieces of the scripts that start a loopback server for the Windows
# tests. Sourced; each server keeps server.pid and server.log in its folder.

require_program() {  # <path> <what it is>
  if [ ! -x "$1" ]; then
    echo "$2 $1 is missing: build the native tree first" >&2
    exit 1
  fi
}

# Polls the shell function $2 until it succeeds, for at most ten seconds.
wait_until_started() {  # <folder> <check function>
  tries=0
  until "$2"; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ]; then
      echo "The server did not start:" >&2
      cat "$1/server.log" >&2
      exit 1
    fi
    sleep 0.1
  done
}

stop_server() {  # <folder>
  if [ -f "$1/server.pid" ]; then
    kill "$(cat "$1/server.pid")" 2>/dev/null || true
    rm -f "$1/server.pid"
  fi
}

usage() {
  echo "usage: $0 start|stop <folder> ..." >&2
  exit 2
}
