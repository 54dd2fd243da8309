#!/usr/bin/env bash
# The elevated installer and the folders that other users, or the user's unelevated
# processes, can reach; seen from outside Wine, because Wine shows neither case from inside:
#   grants     the access lists it asks for during an unattended install and repair: only the
#              package data folder is opened to "Users", and the installation folder gets a
#              list of its own. Wine keeps no access lists on files, so its calls to
#              SetFileSecurityW and SetNamedSecurityInfoW are traced instead (relay trace).
#   work-link  a link left where the work folder goes: nothing is written where it leads.
#   data-link  a log, a package data folder or a subfolder of it swapped while the uninstall
#              deletes in it, that is a link: nothing where the link leads is written or deleted.
# Only the Linux side can make a link that Wine reports as one (FILE_ATTRIBUTE_REPARSE_POINT).
# Usage: links_and_grants.sh CASE BUILD_FOLDER  (ctest passes the 64-bit build's folder)
set -uo pipefail
case=$1
build=$2
run() { "$build/wine-run.sh" "$@" </dev/null; }
bin=$build/bin
. <(grep '^export WINEPREFIX=' "$build/wine-run.sh")
drive=$WINEPREFIX/drive_c

failures=0
check() {  # description, command...
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
# Names in any letter case, as Windows finds them ("unstall.exe" is written in lower case).
has() { ls -A "$1" 2>/dev/null | grep -qix "$2"; }
unix_path() { run winepath.exe -u "$1" 2>/dev/null | tr -d '\r'; }

TARGET='C:\SrTrust'
target=$drive/SrTrust
temp=$(unix_path "$(run cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')")
data=$drive/ProgramData/SoramoIMEs/Demo
group=$drive/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Demo
elsewhere=$(mktemp -d)

cleanup() {
    [ -L "$temp/__SRIMEInstall" ] && rm -f "$temp/__SRIMEInstall"
    [ -L "$data" ] && rm -f "$data"
    if has "$target" unstall.exe; then
        run "$TARGET\\Unstall.exe" -u 'name=[Demo]' /S >/dev/null 2>&1
        for _ in $(seq 30); do [ -e "$target" ] || break; sleep 1; done
    fi
    rm -rf "$target" "$data" "$group" "$elsewhere"
    for key in 'HKLM\Software\vexal\Demo' 'HKCU\Software\vexal\Demo' \
               'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Demo'; do
        run reg delete "$key" /f >/dev/null 2>&1
    done
    run reg delete 'HKCU\Software\Wine\Debug' /v RelayInclude /f >/dev/null 2>&1
}
trap cleanup EXIT
rm -rf "$target"

install() { run "$bin/DemoSetup.exe" /S "/D=$TARGET" >/dev/null 2>&1; }
uninstall() {
    run "$TARGET\\Unstall.exe" -u 'name=[Demo]' /S >/dev/null 2>&1
    for _ in $(seq 30); do [ -e "$target" ] || break; sleep 1; done
}

case $case in
grants)
    # Every path the program asks SetFileSecurityW to change, from both processes of a run.
    run reg add 'HKCU\Software\Wine\Debug' /v RelayInclude \
        /d 'advapi32.SetFileSecurityW;kernelbase.SetFileSecurityW;advapi32.SetNamedSecurityInfoW' /f >/dev/null 2>&1
    traced() { sed -n 's/.*Call [a-z0-9]*\.SetFileSecurityW([0-9a-f]* L"\([^"]*\)".*/\1/p' "$1" | sed 's/\\\\/\\/g' | sort -u; }
    protected() { sed -n 's/.*Call advapi32\.SetNamedSecurityInfoW([0-9a-f]* L"\([^"]*\)".*/\1/p' "$1" | sed 's/\\\\/\\/g' | sort -u; }
    SR_WINEDEBUG=+relay run "$bin/DemoSetup.exe" /S "/D=$TARGET" 2>"$elsewhere/install.trace" >/dev/null
    check "the install succeeded" has "$target" unstall.exe
    SR_WINEDEBUG=+relay run "$TARGET\\Unstall.exe" -r 'name=[Demo]' /S 2>"$elsewhere/repair.trace" >/dev/null
    check "the repair succeeded" has "$target" config.exe
    run reg delete 'HKCU\Software\Wine\Debug' /v RelayInclude /f >/dev/null 2>&1
    for run_name in install repair; do
        paths=$(traced "$elsewhere/$run_name.trace")
        echo "the $run_name asked for access lists on:"
        echo "${paths:-(nothing)}" | sed 's/^/  /'
        # The data folder's grant shows that the trace sees the program's calls at all.
        check "the $run_name opened the package data folder to Users" \
            grep -qi 'SoramoIMEs\\Demo' <<<"$paths"
        check "the $run_name opened nothing else" \
            bash -c '! grep -vi "SoramoIMEs\\\\Demo" <<<"$1" | grep -q .' _ "$paths"
        # The installation folder's own list (owner Administrators, Users read and execute),
        # set anew over an existing folder too.
        check "the $run_name gave the installation folder its own access list" \
            bash -c 'grep -qix "C:\\\\SrTrust\\\\\?" <<<"$1"' _ "$(protected "$elsewhere/$run_name.trace")"
    done
    ;;
work-link)
    # A link where the work folder goes, to a folder that the program must not write into.
    rm -rf "${temp:?}/__SRIMEInstall"
    echo keep >"$elsewhere/keep.txt"
    ln -s "$elsewhere" "$temp/__SRIMEInstall"
    install
    code=$?
    echo "the install ended with exit status $code; where the link leads: $(ls "$elsewhere" | tr '\n' ' ')"
    check "nothing was written where the link leads" test "$(ls -A "$elsewhere")" = keep.txt
    check "what was there is whole" test "$(cat "$elsewhere/keep.txt")" = keep
    # Windows deletes the link and goes on; Wine cannot delete a link it did not make, and
    # then the run must stop instead.
    if [ -L "$temp/__SRIMEInstall" ]; then
        check "the link stayed, so the run stopped with a failure" test "$code" != 0
        check "and installed nothing" test ! -e "$target"
    else
        check "the link went, so the run installed" bash -c '[ "$1" = 0 ] && ls -A "$2" | grep -qix unstall.exe' _ "$code" "$target"
    fi
    ;;
data-link)
    # A log named where a link stands: the run stops before it installs, and appends nothing.
    echo keep >"$elsewhere/log.ini"
    ln -s "$elsewhere/log.ini" "$drive/SrLog.txt"
    run "$bin/DemoSetup.exe" /S "/D=$TARGET" '/LOG=C:\SrLog.txt' >/dev/null 2>&1
    code=$?
    rm -f "$drive/SrLog.txt"
    # Linux sees the low byte of the exit code: 1639 is 103.
    check "a log that is a link ends the run with 1639 ($code)" test "$code" = $((1639 % 256))
    check "and nothing was written where it leads" test "$(cat "$elsewhere/log.ini")" = keep
    check "nor installed" test ! -e "$target"

    install
    check "the install succeeded" bash -c 'ls -A "$1" | grep -qix unstall.exe && [ -d "$2" ]' _ "$target" "$data"
    # The package data folder replaced by a link to a folder with someone's file in it.
    rm -rf "$data"
    echo keep >"$elsewhere/keep.txt"
    ln -s "$elsewhere" "$data"
    uninstall
    check "the uninstall removed the installation folder" test ! -e "$target"
    check "what the link leads to is whole" test "$(cat "$elsewhere/keep.txt" 2>/dev/null)" = keep

    # A link to an empty folder: the folder stays.
    rm -f "$data"
    install
    rm -rf "$data"
    mkdir "$elsewhere/empty"
    ln -s "$elsewhere/empty" "$data"
    uninstall
    check "the empty folder a link led to stays" test -d "$elsewhere/empty"

    # A subfolder renamed away while the uninstall deletes in it, and a link put in its place
    # to a folder with files of the same names: they all stay.
    rm -f "$data"
    install
    mkdir -p "$data/sub" "$elsewhere/same"
    for i in $(seq -w 100); do echo "$i" >"$data/sub/f$i"; echo "$i" >"$elsewhere/same/f$i"; done
    "$build/wine-run.sh" "$TARGET\\Unstall.exe" -u 'name=[Demo]' /S </dev/null >/dev/null 2>&1 &
    for _ in $(seq 600); do [ "$(ls "$data/sub" 2>/dev/null | wc -l)" -lt 100 ] && break; sleep 0.05; done
    swapped=no
    mv "$data/sub" "$data/sub.away" && ln -s "$elsewhere/same" "$data/sub" && swapped=yes
    wait
    check "the subfolder was swapped while the walk was in it" test "$swapped" = yes
    echo "left in the folder renamed away: $(ls "$data/sub.away" 2>/dev/null | wc -l) of 100"
    for _ in $(seq 30); do [ -e "$target" ] || break; sleep 1; done
    check "the uninstall removed the installation folder" test ! -e "$target"
    check "the files where the link leads are all there" test "$(ls "$elsewhere/same" | wc -l)" = 100
    rm -rf "$data"
    ;;
*)
    echo "unknown case $case" >&2
    exit 2
    ;;
esac
echo "$failures check(s) failed"
[ "$failures" = 0 ]
