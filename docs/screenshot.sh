#!/bin/sh
# Regenerates docs/report.png, the report shown in README.md: runs vantrel
# on examples/sample.log with no network and docs/sample.hosts over
# /etc/hosts, then has headless Chromium, itself without network, render
# that local report.html to a PNG.
# usage: docs/screenshot.sh [VANTREL]   (default: build/release/vantrel)
# needs: unshare (util-linux), chromium
set -eu
cd "$(dirname "$0")/.."
src=$PWD
exe=$(realpath "${1:-build/release/vantrel}")
out=$src/docs/report.png

tmp=$(mktemp -d /tmp/vantrel-shot-XXXXXX)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/work/examples" "$tmp/bin" "$tmp/chromium"
cp examples/sample.log "$tmp/work/examples/"
# The viewer the program starts at the end: here it opens nothing.
printf '#!/bin/sh\nexit 0\n' > "$tmp/bin/xdg-open"
chmod +x "$tmp/bin/xdg-open"

echo | unshare -rmn -- sh tests/e2e/hermetic.sh "$src/docs/sample.hosts" \
  "$tmp/work" "$tmp/bin" "$exe" -f examples/sample.log -s 10.20.1.15 -t 1 \
  > /dev/null

unshare -rn -- chromium --headless --no-sandbox --disable-gpu \
  --disable-background-networking --no-first-run --disable-component-update \
  --disable-sync --hide-scrollbars --user-data-dir="$tmp/chromium" \
  --window-size=1240,570 --screenshot="$out" \
  "file://$tmp/work/report.html" 2> "$tmp/chromium.log" ||
  { cat "$tmp/chromium.log" >&2; exit 1; }
echo "wrote $out"
