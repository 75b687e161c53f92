# Sourced by the packaging tests.
# The files every installation holds, below its prefix (/usr in the .deb).
# shellcheck disable=SC2034
installed_files=(bin/pmc10 bin/pmc10-sim share/man/man1/pmc10.1.gz share/man/man1/pmc10-sim.1.gz
    share/bash-completion/completions/pmc10 share/bash-completion/completions/pmc10-sim
    lib/udev/rules.d/60-pmc10-parport.rules share/doc/pmc10/README.md share/doc/pmc10/copyright
    share/doc/pmc10/changelog.gz share/doc/pmc10/examples/live-rig.pmc10)
# broken_links FILE...: each relative link of the Markdown FILEs (text or picture) that
# names no file beside it, as "FILE: TARGET"; nothing when all resolve.
broken_links() {
    local file target
    for file in "$@"; do
        while read -r target; do
            case $target in
                '' | http:* | https:* | mailto:* | '#'*) continue ;;
            esac
            [ -e "$(dirname "$file")/${target%%#*}" ] || echo "$file: $target"
        done < <(grep -oE '\]\([^) ]+\)' "$file" | sed -E 's/^\]\((.*)\)$/\1/' || true)
    done
}
