#!/usr/bin/env bash
# The bash completion, sourced in a non-interactive shell, completes what a user types.
# Usage: completion-test.sh BUILD-DIR SOURCE-DIR
set -euo pipefail
build=$1
# shellcheck source=/dev/null
source "$build/pmc10.bash"

complete_line() {  # complete_line WORD... : completes the last word
    COMP_WORDS=(pmc10 "$@")
    COMP_CWORD=$#
    _pmc10
    echo "${COMPREPLY[*]}"
}
expect() {  # expect WHAT GOT WANTED
    [ "$2" = "$3" ] || { echo "$1: got <$2>, wanted <$3>"; exit 1; }
}

expect "editpa" "$(complete_line editpa)" "editpatch editpatchname editpatchnameenter editpatchnr"
expect "EDITBANKN" "$(complete_line EDITBANKN)" "editbankname editbanknr"
expect "first word c" "$(complete_line c)" "cable commands calibratepedal cc cp copybank copypatch copyset"
expect "pmcchannel 1" "$(complete_line pmcchannel 1)" "1 10 11 12 13 14 15 16"
expect "after a number" "$(complete_line pmcchannel 12 "")" ""
expect "after cable" "$(complete_line cable "")" ""
expect "pedal" "$(complete_line calibratepedal "")" "1 2"
after_rd=$(complete_line rd "")
[ "$(wc -w <<<"$after_rd")" -eq 100 ] || { echo "rd: expected 100 names, got $(wc -w <<<"$after_rd")"; exit 1; }
for name in menu enter 0 + editbankname endmididatadumpcomplete utilities; do
    grep -qw -- "$name" <<<"$after_rd" || { echo "rd: $name is not offered"; exit 1; }
done
grep -qw -- cable <<<"$after_rd" && { echo "rd: verbs are not command words"; exit 1; }
echo "completion offers what it should"
