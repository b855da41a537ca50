#!/usr/bin/env bash
# Checks each manual page against its program: it renders without warnings,
# names the version the program reports, every option --help lists and
# every exit status --help lists (in EXIT STATUS).
# Usage: check-man-pages.sh <folder of the programs> <page.1>...
set -uo pipefail
bin=$1; shift
failures=0
fail() { echo "FAIL $page: $*"; failures=$((failures + 1)); }
for page in "$@"; do
  program=$(basename "$page" .1)
  text=$(LC_ALL=C MANWIDTH=100 man --warnings -l "$page" 2>/tmp/man-warnings.$$)
  warnings=$(cat /tmp/man-warnings.$$); rm -f /tmp/man-warnings.$$
  [ -z "$warnings" ] || fail "renders with warnings: $warnings"
  [ -n "$text" ] || { fail "renders empty"; continue; }
  help=$("$bin/$program" --help) || { fail "$program --help failed"; continue; }
  version=$("$bin/$program" --version | awk '{print $2}')
  grep -q "prt2qml $version" <<<"$text" || fail "does not name version $version"
  for option in $(grep -oE '(^|[][ (,])--?[a-z][a-z-]*' <<<"$help" | sed 's/^[][ (,]//' | sort -u); do
    grep -qE -- "(^|[^a-z-])$option([^a-z-]|\$)" <<<"$text" || fail "lacks option $option"
  done
  status=$(awk '/^EXIT STATUS/ {on = 1; next} /^[A-Z]/ {on = 0} on' <<<"$text")
  codes=$(awk 'found == 0 { i = index($0, "Exit"); if (i) { found = 1; print substr($0, i) }; next }
               /^[A-Z][a-z]*:$/ { exit } { print }' <<<"$help" | grep -oE '\b[0-9]+\b' | sort -u)
  [ -n "$codes" ] || fail "$program --help lists no exit status"
  for code in $codes; do
    grep -qE "^ +$code( |\$)" <<<"$status" || fail "lacks exit status $code"
  done
done
[ "$failures" -eq 0 ] && echo "manual pages agree with --help: $*"
exit $((failures > 0))
