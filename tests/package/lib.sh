# Sourced by the package tests. Gives a scratch directory removed on exit
# and run_hermetic, which runs a vantrel binary the way the end-to-end
# tests do: no network, the e2e hosts file over /etc/hosts, a fake xdg-open
# first on PATH. Needs $src, the source tree.

scratch=$(mktemp -d /tmp/vantrel-pkg-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/bin"
cp "$src/tests/e2e/xdg-open" "$scratch/bin/xdg-open"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# run_hermetic EXE WORKDIR INPUT [ARGS...]
# INPUT is given to printf %b as standard input. Sets $status; standard
# output is left in $scratch/out, the viewer's calls in $scratch/opened.
run_hermetic() {
  exe=$1 work=$2 input=$3
  shift 3
  : > "$scratch/opened"
  status=0
  printf '%b' "$input" | VANTREL_OPENED="$scratch/opened" \
    unshare -rmn -- sh "$src/tests/e2e/hermetic.sh" "$src/tests/e2e/hosts" \
    "$work" "$scratch/bin" "$exe" "$@" > "$scratch/out" 2> "$scratch/err" ||
    status=$?
  if [ -s "$scratch/err" ]; then
    cat "$scratch/err" >&2
    fail "the program wrote to standard error"
  fi
}

# A fresh working directory holding the sample log.
new_workdir() {
  d=$(mktemp -d "$scratch/work-XXXXXX")
  cp "$src/examples/sample.log" "$d/sample.log"
  echo "$d"
}
