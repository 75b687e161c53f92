#!/usr/bin/env bash
# The manual page renders without warnings (what it names: the drift test, HelpDrift).
# Usage: manpage-test.sh BUILD-DIR SOURCE-DIR
set -euo pipefail
warnings=$(MANWIDTH=80 man --warnings -l "$1/pmc10.1" 2>&1 >/dev/null)
[ -z "$warnings" ] || { echo "man warnings:"; echo "$warnings"; exit 1; }
echo "manual page renders cleanly"
