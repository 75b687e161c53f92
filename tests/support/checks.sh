#!/usr/bin/env bash
# Shared by the shell test suites: one line per check, and a count of the failures.
# Source it, call check for each expectation, then exit non-zero if failures > 0.
failures=0

# The writes of a stroke of each CODE as the port gets them: idle, the code, idle x4 (the
# waits between left out); expect gives them without the last blank.
stroke() { for code; do printf 'ff %s ff ff ff ff ' "$code"; done; }
expect() { stroke "$@" | sed 's/ $//'; }
# repeat N WORD: WORD N times, each followed by a blank.
repeat() { for ((i = 0; i < $1; i++)); do printf '%s ' "$2"; done; }
# The keys of rd editbankname and of pmcchannel 12, from the controller's menu (for the
# scripts that source this).
# shellcheck disable=SC2034
walk_codes=(fb fb f3 fb f5 f5 f3 f5 f5 f3) channel_codes=(fb fb fb fb f3 f3 fb fb f1 fe f5 f5 f5 f3 f5 f3 f5 f5 f5 f5 f3)

# skip_unless_ci WHAT: says what is missing and exits 77 (skipped), or 1 under CI, where
# a missing tool is a failure.
skip_unless_ci() {
    if [ "${CI:-}" = true ]; then echo "FAILED: CI needs $1"; exit 1; fi
    echo "skipped: needs $1"
    exit 77
}

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
# checks_done MESSAGE [WHERE-TO-LOOK]: exits 1 after a failed check, saying where to look;
# else says MESSAGE.
checks_done() {
    if [ "$failures" -eq 0 ]; then echo "$1"; return; fi
    if [ -n "${2:-}" ]; then echo "$2"; fi
    exit 1
}
# check_either WHAT GOT A B: GOT is A then B, in either order (two runs started together).
check_either() {
    if [ "$2" = "$4 $3" ]; then check "$1" "$2" "$4 $3"; else check "$1" "$2" "$3 $4"; fi
}

# spans IDLE: from lines "TIME VALUE", one per write or change, how long each value stayed
# on the lines: "hold T CODE" from a code to the next other value, and "gap T CODE" from
# the idle value after a code to the next code (the CODE that ends it).
spans() {
    awk -v idle="$1" 'n && $2 != held {
            if (held != idle) { print "hold", $1 - since, held; pressed = 1 }
            else if (pressed) print "gap", $1 - since, $2
        }
        !n || $2 != held { held = $2; since = $1 } { n++ }'
}

# The spread of the numbers on standard input: "min M median M p99 M max M (n=N)".
figures() {
    sort -n | awk '{ v[NR] = $1 }
        END { if (!NR) exit; p99 = int(NR * 0.99 + 0.999); if (p99 > NR) p99 = NR
              printf "min %d median %d p99 %d max %d (n=%d)", v[1], v[int((NR + 1) / 2)], v[p99], v[NR], NR }'
}
