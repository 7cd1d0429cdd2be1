#!/bin/sh
# Makes the Wine prefix that the Windows tests share, once: while it exists
# it is reused. It is built under another name and renamed when complete, so
# an interrupted set-up never leaves a half-made prefix. Wine's first start
# may try to fetch add-on installers, so it runs with no network; .NET
# support is not needed at all.
# usage: wine-prefix.sh PREFIX
set -eu
prefix=$1
[ -f "$prefix/system.reg" ] && exit 0
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$prefix.new"
mkdir -p "$(dirname "$prefix")"
if ! WINEPREFIX="$prefix.new" WINEDLLOVERRIDES="mscoree=" \
    unshare -rn -- sh "$here/wine-run.sh" wineboot --init \
    >"$prefix.log" 2>&1; then
  cat "$prefix.log" >&2
  echo "wine-prefix.sh: could not make the Wine prefix $prefix" >&2
  exit 1
fi
rm -rf "$prefix"
mv "$prefix.new" "$prefix"
