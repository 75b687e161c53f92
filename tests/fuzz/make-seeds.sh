#!/usr/bin/env bash
# Writes the fuzzer's seed corpus into DIR: every key and compound name the tool lists,
# alone and behind "rd", hex literals, and each verb with numbers in and out of range.
# Pieces of an input are separated by NUL bytes; the last piece is standard input.
# Usage: make-seeds.sh DIR PATH-TO-pmc10-sim
set -euo pipefail
dir=$1 sim=$2
mkdir -p "$dir"
n=0
seed() { printf '%b' "$1" >"$dir/seed-$((n += 1))"; }

for name in $("$sim" commands 2>/dev/null | awk '$2 == "->" { print $1 }'); do
    seed "$name\0"
    seed "rd\0$name\0"
done
for word in 0xfb 0XF3 0x1f3 0x00 0x 0xzz 0x7fffffff -0x5; do seed "r\0$word\0"; done
for number in 1 9 10 16 0 17 -3 x ""; do seed "pmcchannel\0$number\0"; done
for number in 1 2 3 0; do
    seed "calibratepedal\0$number\0ok\nok\n"
    seed "startcalibratepedal\0$number\0"
done
seed "cable\0"
seed "\0"
seed "rd\0menu\0next\0enter\0foo\0"
