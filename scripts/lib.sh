# Shared settings and steps of the scripts: where the builds and the Wine prefix live, which
# Wine, installing packages and making a prefix.
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
# How a script names itself in its messages (scripts/i386-smoke is "scripts/test --i386").
SCRIPT=scripts/$(basename "$0")

# A wineserver of our own for the prefix, started with every descriptor detached: Wine's
# background services inherit the descriptors of the process that starts them, and would
# otherwise hold a caller's output pipe open.
start_wineserver() {
    wineserver -p </dev/null >/dev/null 2>&1 &
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}
stop_wineserver() { wineserver -k >/dev/null 2>&1 || true; }

# Whether a Debian package is installed.
is_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# apt-get update, tried up to 6 times 20 s apart: a mirror in the middle of a sync fails one
# index for a while, and a later try helps. Its output stays in $APT_UPDATE_LOG; fails when
# all six tries did.
APT_UPDATE_LOG=$BUILD/apt-update.log
apt_update() {
    local try
    mkdir -p "$BUILD"
    for try in 1 2 3 4 5 6; do
        apt-get update -q >"$APT_UPDATE_LOG" 2>&1 && return 0
        [ "$try" = 6 ] && return 1
        say "apt-get update failed (try $try of 6); again in 20 s"
        sleep 20
    done
}

# apt-get install, which may still resolve without an index that apt_update could not fetch.
# When it does not, says why on stderr and fails: first the update's error, if its tries all
# failed (the first argument is empty then), then that the packages could not be installed.
apt_get_install() {  # updated package...
    local updated=$1
    shift
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@" && return 0
    if [ -z "$updated" ]; then
        echo "$SCRIPT: apt-get update failed 6 times: $(grep -m1 -E '^(E|Err):' "$APT_UPDATE_LOG" || tail -n1 "$APT_UPDATE_LOG")" >&2
    fi
    echo "$SCRIPT: the packages could not be installed" >&2
    return 1
}

# Installs those of the packages that are not installed yet, the index updated first; fails,
# having said why, when they cannot be.
apt_install() {  # package...
    local missing=() package updated=
    for package; do is_installed "$package" || missing+=("$package"); done
    [ ${#missing[@]} -gt 0 ] || return 0
    say "installing ${missing[*]}"
    apt_update && updated=1
    apt_get_install "$updated" "${missing[@]}"
}

# A new 64-bit prefix at $WINEPREFIX, with the null graphics driver: Windows without an X
# server. --cjk-fonts links the dialog fonts to a CJK font too, for Chinese text in screenshots.
make_prefix() {  # [--cjk-fonts]
    mkdir -p "$WINEPREFIX"
    WINEARCH=win64 wine wineboot.exe -i </dev/null >/dev/null 2>&1
    # With wine32 installed (scripts/test --i386 installs it) the prefix is set up for 32-bit
    # programs too, by emulated processes that go on after wineboot returns; a value written
    # meanwhile can be lost when they end.
    wineserver -w
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
    if [ "${1:-}" = --cjk-fonts ]; then
        local face
        for face in Tahoma "MS Shell Dlg" "MS Shell Dlg 2"; do
            wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
                /v "$face" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f </dev/null >/dev/null 2>&1
        done
    fi
    wineserver -w
    grep -q '^"Graphics"="null"' "$WINEPREFIX/user.reg" ||
        { echo "$SCRIPT: the prefix $WINEPREFIX did not keep its graphics driver setting" >&2; exit 1; }
}
