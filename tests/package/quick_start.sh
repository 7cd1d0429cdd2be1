#!/bin/sh
# README's first Quick start command on a machine without GoogleTest or
# Google Benchmark (both hidden from the configure), nor libbrotli: it must
# say once what it leaves out, build the program and run it on the sample
# log to the end, and refuse a brotli log rather than search its bytes. Builds only the program, in a scratch directory, and runs it with no
# network, as the other package tests do.
# usage: quick_start.sh CMAKE SOURCE_DIR
set -eu
cmake=$1 src=$2
. "$src/tests/package/lib.sh"

# The first line of the Quick start's code block, split into the steps
# mirrored below; anything else means this test must follow the README.
command=$(sed -n '/^## Quick start/,/^## /p' "$src/README.md" |
  sed -n '/^```sh$/{n;p;q;}')
run='echo | ./build/release/vantrel '
case $command in
  "cmake --preset release && cmake --build --preset release && $run"*)
    args=${command#*"$run"} ;;
  *) fail "the first Quick start command is not the one mirrored here: $command" ;;
esac
echo "README: $command"

build="$scratch/build"
(cd "$src" && "$cmake" --preset release -B "$build" \
  -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
  -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON -DVANTREL_WITHOUT=brotli) > "$scratch/configure.log" 2>&1 ||
  { cat "$scratch/configure.log"; fail "configure failed"; }
# Said once: one line for each library, one after them.
grep -e 'not building' -e 'builds without them' -e 'brotli' "$scratch/configure.log" |
  sed 's/: not building \(vantrel_[a-z]*\).*/: \1/; s/;.*//' > "$scratch/said"
printf '%s\n' 'brotli left out (VANTREL_WITHOUT): brotli logs are refused' \
  'GoogleTest not found (Debian package libgtest-dev): vantrel_tests' \
  'Google Benchmark not found (Debian package libbenchmark-dev): vantrel_bench' \
  'The program builds without them' | diff - "$scratch/said" ||
  fail "configure did not say once what it leaves out"

"$cmake" --build "$build" --target vantrel > "$scratch/build.log" 2>&1 ||
  { cat "$scratch/build.log"; fail "the program did not build"; }

w=$(new_workdir)
mkdir "$w/examples"
mv "$w/sample.log" "$w/examples/sample.log"
set -f
# shellcheck disable=SC2086  # the README's words, split as the shell would
set -- $args
run_hermetic "$build/vantrel" "$w" '\n' "$@"
[ "$status" -eq 0 ] || fail "exit status $status"
grep -q 'File written\.' "$scratch/out" || fail "run did not finish"
grep -q '^<br>' "$w/report.html" || fail "report.html lists no hit"
i=0
while [ ! -s "$scratch/opened" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
[ "$(cat "$scratch/opened")" = report.html ] || fail "report not handed to the viewer"
echo "ran: vantrel $args"

# Its name alone makes a log brotli; without the library it does not open.
w=$(new_workdir)
cp "$w/sample.log" "$w/fw.log.br"
status=0
printf '\n' | unshare -rmn -- sh "$src/tests/e2e/hermetic.sh" \
  "$src/tests/e2e/hosts" "$w" "$scratch/bin" "$build/vantrel" \
  -s mbrooks -t 2 -f fw.log.br > "$scratch/out" 2> "$scratch/err" || status=$?
[ "$status" -eq 1 ] || fail "a refused brotli log: exit status $status"
[ "$(cat "$scratch/err")" = \
  'vantrel: fw.log.br: compressed with brotli, which this build does not read' ] ||
  fail "a refused brotli log: standard error said: $(cat "$scratch/err")"
echo "refused: fw.log.br"
