# Shared settings of the scripts: where the builds and the Wine prefix live, and which Wine.
# SR_BUILD and SR_WINEPREFIX may point elsewhere, so that two builds can run side by side.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${SR_BUILD:-$ROOT/build}
# The 32-bit build is the one that ships; the 64-bit build of the same sources is the one that
# runs here (these machines run no 32-bit code), so the tests, the demo and the benchmark use it.
WIN32_BUILD=$BUILD/win32
WIN64_BUILD=$BUILD/win64
BIN=$WIN64_BUILD/bin
export WINEPREFIX=${SR_WINEPREFIX:-$BUILD/wine}
export WINEDEBUG=-all
# No offers to download Mono or Gecko, no Linux menu entries for shortcuts.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
# The 64-bit loader and server by their own names: Debian's "wine" wrapper takes the 32-bit
# loader whenever wine32 is installed (scripts/test --i386 installs it), and that cannot run here.
WINE64=/usr/lib/wine/wine64
export WINELOADER=$WINE64
export WINESERVER=/usr/lib/wine/wineserver64
wine() { "$WINE64" "$@"; }
wineserver() { "$WINESERVER" "$@"; }
winepath() { "$WINE64" winepath.exe "$@" 2>/dev/null; }

say() { printf '==> %s\n' "$*"; }

# A wineserver of our own for the prefix, started with every descriptor detached: Wine's
# background services inherit the descriptors of the process that starts them, and would
# otherwise hold a caller's output pipe open.
start_wineserver() {
    wineserver -p </dev/null >/dev/null 2>&1 &
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}
stop_wineserver() { wineserver -k >/dev/null 2>&1 || true; }
