#!/bin/sh
# Makes the .deb from this build tree with cpack, checks its control data
# and contents, unpacks it into a scratch root (dpkg -x: nothing is
# installed on the machine) and runs the packaged program on the sample log
# with no network. Prints what it saw.
# usage: deb_install.sh BUILD_DIR SOURCE_DIR
set -eu
build=$1 src=$2
. "$src/tests/package/lib.sh"

for tool in cpack dpkg-deb dpkg-shlibdeps file; do
  command -v "$tool" >/dev/null ||
    fail "$tool is missing (apt-get install dpkg-dev file)"
done

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/pkg" \
  > "$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log"; fail "cpack failed"; }
set -- "$scratch"/pkg/*.deb
[ $# -eq 1 ] && [ -f "$1" ] || fail "cpack made no single .deb"
deb=$1
echo "package: $(basename "$deb"), $(wc -c < "$deb") bytes"

# Depends comes from dpkg-shlibdeps; without it the package would install on
# a system that cannot run the program.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libc6 libstdc++6 zlib1g; do
  case ", $depends," in *", $lib "*) ;; *) fail "$lib missing from Depends" ;; esac
done
[ "$(dpkg-deb -f "$deb" Package)" = vantrel ] || fail "package name"

# Debian's own checks of a package: not an error nor a warning, the
# hardening of a Debian build included (shown as information).
if command -v lintian >/dev/null; then
  lintian --display-info "$deb" > "$scratch/lintian" 2>&1 || true
  echo "lintian: $(grep -c '^[EWI]:' "$scratch/lintian") tags"
  cat "$scratch/lintian"
  ! grep -q '^[EW]:\|hardening' "$scratch/lintian" ||
    fail "lintian finds errors, warnings or missing hardening"
else
  echo "lintian not installed: the package's own checks left out"
fi

echo "Maintainer: $(dpkg-deb -f "$deb" Maintainer)"
dpkg-deb -f "$deb" Maintainer | grep -qx '[^<]*[^ <] <[^@ ]*@[^ ]*[^@ ]>' ||
  fail "maintainer is not NAME <ADDRESS>"

dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $NF }' | sort > "$scratch/files"
printf '%s\n' './usr/bin/vantrel' './usr/share/doc/vantrel/ReadMe!.txt' \
  './usr/share/doc/vantrel/changelog.gz' './usr/share/doc/vantrel/copyright' \
  './usr/share/man/man1/vantrel.1.gz' \
  > "$scratch/expected"
diff "$scratch/expected" "$scratch/files" ||
  fail "package contents differ from the list above (- expected, + packaged)"

dpkg -x "$deb" "$scratch/root"
gzip -dc "$scratch/root/usr/share/man/man1/vantrel.1.gz" | cmp - "$src/doc/vantrel.1" ||
  fail "packaged manual page differs from doc/vantrel.1"
# Debian's copyright format: the licence's own text after its copyright
# line, each line indented by one blank, blank lines as " .".
copyright="$scratch/root/usr/share/doc/vantrel/copyright"
grep -qx 'License: Expat' "$copyright" || fail "copyright names no licence"
sed '1,/^Copyright/d; /./!s/^/./; s/^/ /' "$src/LICENSE" | sed '1d' \
  > "$scratch/licence"
sed '1,/^License: /d' "$copyright" | cmp - "$scratch/licence" ||
  fail "copyright does not carry LICENSE's text"

# The version the program prints is the package's.
w=$(new_workdir)
run_hermetic "$scratch/root/usr/bin/vantrel" "$w" '' --version
[ "$(head -n 1 "$scratch/out")" = "vantrel $(dpkg-deb -f "$deb" Version)" ] ||
  fail "vantrel --version printed: $(cat "$scratch/out")"

w=$(new_workdir)
echo "run: vantrel -f sample.log -s mbrooks -t 1 (no network, test hosts file)"
run_hermetic "$scratch/root/usr/bin/vantrel" "$w" '\n' -f sample.log -s mbrooks -t 1
echo "exit status: $status"
sed -n '/Searching UpperCase\.\.\.$/,$p' "$scratch/out"
tr -d '\r' < "$w/report.html" > "$scratch/report"
echo "report.html, between head and foot:"
sed -n '/Showing UpperCase/,/^<br>&nbsp;/p' "$scratch/report" | sed '$d'

[ "$status" -eq 0 ] || fail "exit status $status"
grep -q 'File written\.' "$scratch/out" || fail "run did not finish"
# Upper-case pass: the two MBROOKS URL lines, trimmed after the host name;
# the two session lines are announced, not written.
[ "$(grep -c '^<br>.*Accessed URL shop.example.org$' "$scratch/report")" -eq 2 ] ||
  fail "expected two trimmed lines naming shop.example.org"
[ "$(grep '^<br>' "$scratch/report" | grep -vc '^<br>&nbsp;</td>')" -eq 5 ] || fail "expected 5 result lines"
! grep -q 'Authen Session' "$scratch/report" || fail "a session line was written"
grep -q 'Found Result on Line #5' "$scratch/out" || fail "expected 5 upper-case hits"

# The viewer is started without waiting; give it a moment to record.
i=0
while [ ! -s "$scratch/opened" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
[ "$(cat "$scratch/opened")" = report.html ] || fail "report not handed to the viewer"
echo "viewer asked to open: $(cat "$scratch/opened")"
