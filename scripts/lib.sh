# Shared settings of the scripts: where the build and the Wine prefix live.
# SR_BUILD and SR_WINEPREFIX may point elsewhere, so that two builds can run side by side.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${SR_BUILD:-$ROOT/build}
WIN32_BUILD=$BUILD/win32
BIN=$WIN32_BUILD/bin
export WINEPREFIX=${SR_WINEPREFIX:-$BUILD/wine}
export WINEDEBUG=-all
# No offers to download Mono or Gecko, no Linux menu entries for shortcuts.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"

say() { printf '==> %s\n' "$*"; }

# A wineserver of our own for the prefix, started with every descriptor detached: Wine's
# background services inherit the descriptors of the process that starts them, and would
# otherwise hold a caller's output pipe open.
start_wineserver() {
    wineserver -p </dev/null >/dev/null 2>&1 &
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}
stop_wineserver() { wineserver -k >/dev/null 2>&1 || true; }
