#!/usr/bin/env bash
# Shared by the Windows test under Wine and the Windows zip: one MinGW-w64 cross build
# (static, so that no MinGW DLL is needed) and one Wine prefix, made once under a lock so
# that tests started together share them. Source it after `set -euo pipefail`.
#
#   windows_build BUILD-DIR SOURCE-DIR   sets winbuild (the cross build's folder, in
#                                        BUILD-DIR/windows-shared) and exports WINEPREFIX
#                                        (a prefix that a test may copy for its own)
#   have_windows_tools                   true with MinGW-w64 and Wine (Wine's own folder
#                                        put on PATH)

have_windows_tools() {
    PATH=$PATH:/usr/lib/wine
    command -v x86_64-w64-mingw32-g++-posix >/dev/null && command -v wine64 >/dev/null
}

windows_build() {
    local shared
    shared=$(realpath -m "$1/windows-shared")
    mkdir -p "$shared"
    winbuild=$shared/build
    export WINEPREFIX=$shared/wineprefix WINEDEBUG=-all
    (
        flock 9
        # The prefix is made while the compiler runs: Wine spends much of it waiting. Its
        # server is then waited for, so that the prefix is whole on disk for copies.
        booting=
        if [ ! -d "$WINEPREFIX" ]; then
            { wine64 wineboot -i && wineserver -w; } >/dev/null 2>&1 &
            booting=$!
        fi
        cmake -S "$2" -B "$winbuild" -DCMAKE_TOOLCHAIN_FILE="$2/cmake/mingw-w64-x86_64.cmake" \
            -DPMC10_STATIC=ON -DPMC10_WERROR=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
        cmake --build "$winbuild" -j2 >/dev/null
        [ -z "$booting" ] || wait "$booting"
    ) 9>"$shared/.lock"
}
