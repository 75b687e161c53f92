#!/usr/bin/env bash
# Shared by the shell test suites: one line per check, and a count of the failures.
# Source it, call check for each expectation, then exit non-zero if failures > 0.
failures=0

# The writes of a stroke of each CODE as the port gets them: idle, the code, idle x4 (the
# waits between left out); expect gives them without the last blank.
stroke() { for code; do printf 'ff %s ff ff ff ff ' "$code"; done; }
expect() { stroke "$@" | sed 's/ $//'; }
# The keys of rd editbankname and of pmcchannel 12, from the controller's menu (for the
# scripts that source this).
# shellcheck disable=SC2034
walk_codes=(fb fb f3 fb f5 f5 f3 f5 f5 f3) channel_codes=(fb fb fb fb f3 f3 fb fb f1 fe f5 f5 f5 f3 f5 f3 f5 f5 f5 f5 f3)

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
