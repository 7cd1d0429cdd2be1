#!/bin/sh
# Runs a Windows program under Wine with a wineserver of its own: the
# server's directory is private to this run, so no other run's Wine
# processes serve it, and the run is over only when every process it
# started (the hand-over to the viewer included) has ended, or has been
# ended after a grace period; a process namespace of its own holds them
# all. The exit status is the program's.
# usage: wine-run.sh PROGRAM [ARGS...]   with WINEPREFIX naming the prefix
: "${WINEPREFIX:?WINEPREFIX must name the prefix made by wine-prefix.sh}"
export WINEDEBUG=-all
# Wine reads the host's arguments and file names in the locale's charset:
# the tests give both as UTF-8 bytes.
export LC_ALL=C.UTF-8
# No window may open, and no installer dialog may wait for a click.
unset DISPLAY WAYLAND_DISPLAY
exec unshare -rm --pid --fork --mount-proc -- sh -c '
  private() { mkdir -p "$1" && mount -t tmpfs -o mode=0700 tmpfs "$1"; }
  # Where Wine keeps the server directory: Debian in /run/user/UID when
  # that exists, else in a directory whose name the prefix records (under
  # TMPDIR); upstream Wine in /tmp/.wine-UID.
  uid=$(id -u)
  if [ -d "/run/user/$uid" ]; then private "/run/user/$uid" || exit 125; fi
  if [ -s "$WINEPREFIX/wineserver" ]; then
    name=$(cat "$WINEPREFIX/wineserver")
    case $name in /*) ;; *) name="${TMPDIR:-/tmp}/$name" ;; esac
    private "$name" || exit 125
  else
    private "/tmp/.wine-$uid" || exit 125
  fi
  wine "$@"
  status=$?
  # Wine'"'"'s own services would stay two seconds more; what the program
  # started (the hand-over to the viewer) is waited for, at most ten
  # seconds, as it may never end by itself (a folder opened in Wine'"'"'s
  # file browser), and then everything is ended.
  tries=0
  while [ "$tries" -lt 200 ] && ps -eo pid=,stat=,args= | awk "
      \$1 == 1 || \$2 ~ /^Z/ { next }
      /wineserver|services[.]exe|explorer[.]exe .desktop|winedevice[.]exe/ { next }
      /plugplay[.]exe|svchost[.]exe|rpcss[.]exe|ps -eo|awk / { next }
      { found = 1 } END { exit !found }"; do
    sleep 0.05
    tries=$((tries + 1))
  done
  wineserver -k
  exit "$status"' wine-run.sh "$@"
