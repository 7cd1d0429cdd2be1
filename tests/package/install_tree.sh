#!/bin/sh
# `cmake --install` into a scratch prefix must give exactly the program, its
# manual page and its read-me, in the places people look for them; nothing
# else from the build (test programs, benchmarks) may come along.
# usage: install_tree.sh BUILD_DIR SOURCE_DIR
set -eu
build=$1 src=$2
. "$src/tests/package/lib.sh"

cmake --install "$build" --prefix "$scratch/prefix" > "$scratch/install.log" ||
  { cat "$scratch/install.log"; fail "cmake --install failed"; }
(cd "$scratch/prefix" && find . -type f | sort) > "$scratch/files"
printf '%s\n' './bin/vantrel' './share/doc/vantrel/ReadMe!.txt' \
  './share/doc/vantrel/copyright' './share/man/man1/vantrel.1' \
  > "$scratch/expected"
diff "$scratch/expected" "$scratch/files" ||
  fail "installed files differ from the list above (- expected, + installed)"

[ -x "$scratch/prefix/bin/vantrel" ] || fail "bin/vantrel is not executable"
cmp "$src/doc/vantrel.1" "$scratch/prefix/share/man/man1/vantrel.1" ||
  fail "installed manual page differs from doc/vantrel.1"
# The trim prompt sends people to this file; it must explain trimming.
grep -q "^Trim$" "$scratch/prefix/share/doc/vantrel/ReadMe!.txt" ||
  fail "the read-me has no Trim section"
# It names every switch of the program's own summary, and the exit statuses.
run_hermetic "$scratch/prefix/bin/vantrel" "$(new_workdir)" '' --help
for word in $(grep -o -- ' -[a-z-]*' "$scratch/out") 'Exit status'; do
  grep -q -- "$word" "$scratch/prefix/share/doc/vantrel/ReadMe!.txt" ||
    fail "the read-me does not name $word"
done

# The installed program runs from its new place.
w=$(new_workdir)
run_hermetic "$scratch/prefix/bin/vantrel" "$w" '\n' -f sample.log -s MBROOKS -t 1
[ "$status" -eq 0 ] || fail "installed program exited with $status"
tr -d '\r' < "$w/report.html" | grep -q '^<br>.*Accessed URL shop.example.org$' ||
  fail "installed program wrote no host name"
echo "installed:"; sed 's/^\./  /' "$scratch/files"
