#!/bin/sh
# Every text the program prints must stand, word for word, in the manual
# page: the program is run through the cases people meet (a search with an
# unknown switch, a missing log, the report named as the log, a damaged
# compressed log, a report that cannot be written, the prompts with a wrong
# trim answer, --help and --version), and each piece it prints is looked
# for in the rendered page. The console session shown
# in README.md is replayed too and must match it.
# usage: manual_messages.sh VANTREL SOURCE_DIR
set -eu
exe=$1 src=$2
. "$src/tests/package/lib.sh"

# One line of text, every run of white space a single blank, overstrikes of
# the terminal renderer undone.
flatten() { sed 's/.\x08//g' | tr -s '[:space:]' ' '; }

mandoc -Tascii "$src/doc/vantrel.1" | flatten > "$scratch/manual"
flatten < "$src/README.md" > "$scratch/readme"

# The printed pieces: messages begin with a tab or a new line. The running
# number after "#" and the bare numbers of the trim check vary by run.
pieces() {
  tr '\t' '\n' < "$scratch/out" | sed 's/^ *//; s/ *$//; s/#[0-9]*$/#/' |
    sed 's/after line [0-9]*;/after line N;/' |
    grep -v -e '^$' -e '^-\{0,1\}[0-9][0-9]*$' | sort -u
}

missing=0
checked=0
# expect_in DOC NAME: every piece of the last run stands in DOC.
expect_in() {
  pieces > "$scratch/pieces"
  while IFS= read -r piece; do
    checked=$((checked + 1))
    if ! printf '%s' "$piece" | flatten | grep -qF -f - "$scratch/$1"; then
      echo "not in $1 ($2): $piece"
      missing=$((missing + 1))
    fi
  done < "$scratch/pieces"
}

w=$(new_workdir)
run_hermetic "$exe" "$w" '\n' -x --f -i -f sample.log -s dkowalski -t 1
grep -q 'Found Result on Line #7' "$scratch/out" || fail "search run: no hits"
expect_in manual "search"

run_hermetic "$exe" "$w" '' -f missing.log -s x -t 2
grep -q 'Unable to open file' "$scratch/out" || fail "missing log not reported"
expect_in manual "missing log"

run_hermetic "$exe" "$w" '' -f ./report.html -s x -t 1
expect_in manual "report as log"

gzip -c "$w/sample.log" | head -c 600 > "$w/cut.log.gz"
run_hermetic "$exe" "$w" '\n' -f cut.log.gz -s 10.20.1.15 -t 1
grep -q 'compressed log is damaged' "$scratch/out" || fail "damage not reported"
expect_in manual "damaged compressed log"

w=$(new_workdir)
mkdir "$w/report.html"
run_hermetic "$exe" "$w" '\n' -f sample.log -s MBROOKS -t 1
grep -q 'could not be opened' "$scratch/out" || fail "unwritable report not reported"
expect_in manual "unwritable report"

w=$(new_workdir)
run_hermetic "$exe" "$w" 'sample.log\nmbrooks\n3\n1\n\n'
expect_in manual "prompts"

run_hermetic "$exe" "$w" '' --f --help
grep -q 'man vantrel' "$scratch/out" || fail "no usage summary"
expect_in manual "--help"

run_hermetic "$exe" "$w" '' --version
expect_in manual "--version"

w=$(new_workdir)
mkdir "$w/examples"
mv "$w/sample.log" "$w/examples/sample.log"
run_hermetic "$exe" "$w" 'examples/sample.log\ndkowalski\n1\n\n'
expect_in readme "README session"

echo "$checked printed pieces checked, $missing missing"
[ "$missing" -eq 0 ]
