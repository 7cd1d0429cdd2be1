#!/bin/sh
# The manual page must render without a single message from either
# formatter people use: mandoc (all levels, style included) and groff with
# all warnings on.
# usage: lint_manual.sh PAGE
set -u
page=$1
failed=0
for tool in mandoc groff; do
  command -v "$tool" >/dev/null ||
    { echo "FAIL: $tool is missing (apt-get install mandoc groff-base)"; exit 1; }
done

out=$(mandoc -Tlint -W all "$page" 2>&1)
rc=$?
if [ $rc -ne 0 ] || [ -n "$out" ]; then
  echo "mandoc -Tlint (exit $rc):"; echo "$out"; failed=1
fi

out=$(groff -ww -b -man -Tutf8 -z "$page" 2>&1)
rc=$?
if [ $rc -ne 0 ] || [ -n "$out" ]; then
  echo "groff -ww (exit $rc):"; echo "$out"; failed=1
fi

# Rendered, the page must keep its sections (a stray macro can swallow them).
text=$(mandoc -Tascii "$page" | sed 's/.\x08//g')
for section in NAME SYNOPSIS DESCRIPTION OPTIONS PROMPTS REPORT NETWORK \
               "EXIT STATUS" DIAGNOSTICS EXAMPLES; do
  printf '%s\n' "$text" | grep -qx "$section" ||
    { echo "section $section is missing from the rendered page"; failed=1; }
done

[ $failed -eq 0 ] && echo "manual page clean: $page"
exit $failed
