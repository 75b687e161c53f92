#!/usr/bin/env bash
# The manual page renders without warnings and names every compound command (options,
# verbs and PORT forms: the drift test).
# Usage: manpage-test.sh BUILD-DIR SOURCE-DIR
set -euo pipefail
build=$1
page=$build/pmc10.1
warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || { echo "man warnings:"; echo "$warnings"; exit 1; }
text=$(MANWIDTH=200 man -l "$page" 2>/dev/null)
names=$("$build/pmc10-sim" commands 2>/dev/null | awk '/Compound commands/ { c = 1; next } c && $2 == "->" { print $1 }')
[ "$(wc -w <<<"$names")" -eq 72 ] || { echo "expected 72 compound names"; exit 1; }
for word in $names; do
    grep -qw -- "$word" <<<"$text" || { echo "the manual page does not mention $word"; exit 1; }
done
echo "manual page renders cleanly and names all 72 compound commands"
