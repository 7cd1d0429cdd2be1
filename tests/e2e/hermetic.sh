#!/bin/sh
# Runs a command with no network and a fixed hosts file, in a working
# directory of the test's own, with a fake xdg-open first on PATH.
# Run inside `unshare -rmn`: the bind mounts are private to that namespace.
# usage: hermetic.sh HOSTS WORKDIR FAKEBIN COMMAND [ARGS...]
#
# With HERMETIC_SERVER set, a name server runs beside the command: the
# loopback interface is brought up, HERMETIC_RESOLV and HERMETIC_NSSWITCH
# go over /etc/resolv.conf and /etc/nsswitch.conf, and HERMETIC_SERVER (a
# shell command) is started with its output in HERMETIC_SERVER_LOG; the
# command starts once something listens on 127.0.0.1:53. The server is
# stopped when the command has ended, and HERMETIC_SERVER_LOG.done made.
set -e
hosts=$1 work=$2 fakebin=$3
shift 3
mount --bind "$hosts" /etc/hosts
if [ -n "${HERMETIC_SERVER:-}" ]; then
  ip link set lo up
  mount --bind "$HERMETIC_RESOLV" /etc/resolv.conf
  mount --bind "$HERMETIC_NSSWITCH" /etc/nsswitch.conf
  command=$$  # the command takes this shell's place
  (
    sh -c "exec $HERMETIC_SERVER" >"$HERMETIC_SERVER_LOG" 2>&1 </dev/null &
    server=$!
    while kill -0 "$command" 2>/dev/null; do sleep 0.1; done
    kill "$server" 2>/dev/null || true
    wait "$server" || true
    : >"$HERMETIC_SERVER_LOG.done"
  ) >/dev/null 2>&1 &
  tries=0
  until grep -q '0100007F:0035 ' /proc/net/udp; do
    tries=$((tries + 1))
    if [ "$tries" -gt 200 ]; then
      echo "hermetic.sh: the name server did not start:" >&2
      cat "$HERMETIC_SERVER_LOG" >&2
      exit 1
    fi
    sleep 0.05
  done
fi
cd "$work"
PATH="$fakebin:$PATH"
export PATH
exec "$@"
