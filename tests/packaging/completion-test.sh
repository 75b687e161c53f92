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
# After rd, the names the tool lists and nothing else (no verb).
listed=$("$build/pmc10-sim" commands 2>/dev/null | awk '$2 == "->" { print tolower($1) }' | sort)
expect "rd: the names pmc10-sim lists" "$(complete_line rd "" | tr ' ' '\n' | sort)" "$listed"

# Options come before the command words; a lone "-" is the key of that name.
expect "--" "$(complete_line --)" "--port --list-ports --file --dry-run --interactive --strict --help --version"
expect "-" "$(complete_line -)" "--port -p --list-ports -l --file -f --dry-run -n --interactive -i --strict --help -h --version -"
expect "after -" "$(complete_line - ed)" "editbank editbankname editbanknr editexprpdl1 editexprpdl2 editmidistringa editmidistringaenter editmidistringb editmidistringbenter editpatch editpatchname editpatchnameenter editpatchnr editset editsetnr editsetseq"
expect "after an option" "$(complete_line -n --strict pmcc)" "pmcchannel"
expect "no options after a command word" "$(complete_line menu --)" ""
expect "after --version" "$(complete_line --version "")" ""
expect "after --list-ports" "$(complete_line -l "")" ""
# PORT: the ppdev nodes present, then the forms up to their first placeholder.
ports="$( (compgen -G '/dev/parport[0-9]*' || :) | tr '\n' ' ')"
offered=$(complete_line --port "")
expect "--port" "${offered:0:${#ports}}" "$ports"
expect "-p s" "$(complete_line -p s)" "sim"
expect "-np s" "$(complete_line -np s)" "sim"
expect "--port= split" "$(complete_line --port = ftdi)" "ftdi:d: ftdi:i: ftdi:s: ftdi"
expect "--port= whole" "$(complete_line --port=ftdi:)" "--port=ftdi:d: --port=ftdi:i: --port=ftdi:s:"
expect "channel after the port" "$(complete_line -p sim pmcchannel "")" "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16"
expect "a port is no command word" "$(complete_line -p sim "")" "$(complete_line "")"
expect "-f" "$(complete_line -f "$2/READM")" "$2/README.md"
expect "--file then words" "$(complete_line --file x.pmc10 "")" ""
expect "-nf then words" "$(complete_line -nf x.pmc10 "")" ""
expect "--file then options" "$(complete_line --file x.pmc10 --s)" "--strict"
# Offered in the order above, not re-sorted as text by bash.
[[ $(complete -p pmc10-sim) == *"-o nosort"* ]] || { echo "bash would sort the channel numbers as text"; exit 1; }
echo "completion offers what it should"
