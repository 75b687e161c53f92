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
# shellcheck source=../support/checks.sh
source "$(dirname "$0")/../support/checks.sh"

check "editpa" "$(complete_line editpa)" "editpatch editpatchname editpatchnameenter editpatchnr"
check "EDITBANKN" "$(complete_line EDITBANKN)" "editbankname editbanknr"
check "first word c" "$(complete_line c)" "cable commands calibratepedal cc cp copybank copypatch copyset"
check "pmcchannel 1" "$(complete_line pmcchannel 1)" "1 10 11 12 13 14 15 16"
check "pedal" "$(complete_line calibratepedal "")" "1 2"
# After rd, the names the tool lists and nothing else (no verb).
listed=$("$build/pmc10-sim" commands 2>/dev/null | awk '$2 == "->" { print tolower($1) }' | sort)
check "rd: the names pmc10-sim lists" "$(complete_line rd "" | tr ' ' '\n' | sort)" "$listed"

# Options come before the command words; a lone "-" is the key of that name.
check "--" "$(complete_line --)" "--port --list-ports --file --dry-run --interactive --strict --help --version"
check "-" "$(complete_line -)" "--port -p --list-ports -l --file -f --dry-run -n --interactive -i --strict --help -h --version -"
check "after -" "$(complete_line - ed)" "editbank editbankname editbanknr editexprpdl1 editexprpdl2 editmidistringa editmidistringaenter editmidistringb editmidistringbenter editpatch editpatchname editpatchnameenter editpatchnr editset editsetnr editsetseq"
check "after an option" "$(complete_line -n --strict pmcc)" "pmcchannel"
# Nothing after a channel number, cable, --version, --list-ports or a file given to run,
# and no options after a command word.
for words in "pmcchannel 12 ''" "cable ''" "--version ''" "-l ''" "--file x.pmc10 ''" "-nf x.pmc10 ''" "menu --"; do
    check "nothing after: $words" "$(eval "complete_line $words")" ""
done
# PORT: the ppdev nodes present, then the forms up to their first placeholder.
ports="$( (compgen -G '/dev/parport[0-9]*' || :) | tr '\n' ' ')"
offered=$(complete_line --port "")
check "--port" "${offered:0:${#ports}}" "$ports"
for option in -p -np; do check "$option s" "$(complete_line $option s)" "sim"; done
check "--port= split" "$(complete_line --port = ftdi)" "ftdi:d: ftdi:i: ftdi:s: ftdi"
check "--port= whole" "$(complete_line --port=ftdi:)" "--port=ftdi:d: --port=ftdi:i: --port=ftdi:s:"
check "channel after the port" "$(complete_line -p sim pmcchannel "")" "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"
check "a port is no command word" "$(complete_line -p sim "")" "$(complete_line "")"
check "-f" "$(complete_line -f "$2/READM")" "$2/README.md"
check "--file then options" "$(complete_line --file x.pmc10 --s)" "--strict"
# Offered in the order above, not re-sorted as text by bash.
[[ $(complete -p pmc10-sim) == *"-o nosort"* ]] || { echo "bash would sort the channel numbers as text"; exit 1; }
checks_done "completion offers what it should"
