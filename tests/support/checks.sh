#!/usr/bin/env bash
# Shared by the shell test suites: one line per check, and a count of the failures.
# Source it, call check for each expectation, then exit non-zero if failures > 0.
failures=0

# check WHAT GOT WANTED
check() {
    if [ "$2" = "$3" ]; then
        echo "ok: $1"
    else
        echo "FAILED: $1"
        echo "  got:    $(head -c 600 <<<"$2")"
        echo "  wanted: $(head -c 600 <<<"$3")"
        failures=$((failures + 1))
    fi
}
