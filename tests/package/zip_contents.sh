#!/bin/sh
# Windows builds: makes the .zip with cpack and checks it holds exactly the
# program, the read-me and the licence at the top of one folder, the text
# files with CR LF line ends (Notepad's), and an executable that needs no
# DLL of the compiler's runtime or of zlib.
# usage: zip_contents.sh BUILD_DIR SOURCE_DIR
set -eu
build=$1 src=$2
. "$src/tests/package/lib.sh"

cpack --config "$build/CPackConfig.cmake" -G ZIP -B "$scratch/pkg" \
  > "$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log"; fail "cpack failed"; }
set -- "$scratch"/pkg/*.zip
[ $# -eq 1 ] && [ -f "$1" ] || fail "cpack made no single .zip"
echo "package: $(basename "$1"), $(wc -c < "$1") bytes"

mkdir "$scratch/x"
(cd "$scratch/x" && cmake -E tar xf "$1")
(cd "$scratch/x" && find . -type f | sort) > "$scratch/files"
top=$(basename "$1" .zip)
printf '%s\n' "./$top/LICENSE.txt" "./$top/ReadMe!.txt" "./$top/vantrel.exe" \
  > "$scratch/expected"
diff "$scratch/expected" "$scratch/files" ||
  fail "zip contents differ from the list above (- expected, + zipped)"

for text in 'ReadMe!.txt' LICENSE.txt; do
  f="$scratch/x/$top/$text"
  [ "$(grep -c "$(printf '\r')\$" "$f")" -eq "$(wc -l < "$f")" ] ||
    fail "$text has lines without CR LF"
done
tr -d '\r' < "$scratch/x/$top/LICENSE.txt" | cmp - "$src/LICENSE" ||
  fail "LICENSE.txt differs from LICENSE"
if command -v x86_64-w64-mingw32-objdump >/dev/null; then
  x86_64-w64-mingw32-objdump -p "$scratch/x/$top/vantrel.exe" |
    grep 'DLL Name' > "$scratch/dlls" || true
  if grep -qi -e 'libstdc++' -e 'libgcc' -e 'libwinpthread' -e 'zlib' \
      "$scratch/dlls"; then
    cat "$scratch/dlls"; fail "vantrel.exe needs the compiler's runtime or zlib's DLLs"
  fi
  echo "imports:"; sed 's/^.*DLL Name: /  /' "$scratch/dlls"
fi
