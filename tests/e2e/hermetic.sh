#!/bin/sh
# Runs a command with no network and a fixed hosts file, in a working
# directory of the test's own, with a fake xdg-open first on PATH.
# Run inside `unshare -rmn`: the bind mount is private to that namespace.
# usage: hermetic.sh HOSTS WORKDIR FAKEBIN COMMAND [ARGS...]
set -e
hosts=$1 work=$2 fakebin=$3
shift 3
mount --bind "$hosts" /etc/hosts
cd "$work"
PATH="$fakebin:$PATH"
export PATH
exec "$@"
