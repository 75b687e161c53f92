# Sourced by the packaging tests.
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
