#!/usr/bin/env bash
# The x64 MSI under Wine's msiexec, as an operator uses it: a silent install
# (program, Start menu shortcut, uninstall entry), the installed program
# supervising the stand-in, an upgrade in place (the same version again, then
# a newer build) that keeps a stored schedule, and a silent uninstall that
# takes the program, its entry and its Run entry away and keeps the settings.
# Run by ctest in the Windows ring (the prefix and display of scripts/test).
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib.sh"
cd "$HW_ROOT"
export WINEPREFIX="${HW_WINEPREFIX:-$HW_ROOT/build/wine-prefix}"
if [ -z "${DISPLAY:-}" ] && [ -f build/wine-display ]; then export DISPLAY="$(cat build/wine-display)"; fi

failures=0
check() {  # description, command...
    if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
winpath() { local p="$1"; echo "Z:${p//\//\\}"; }
msiexec() {  # arguments; answers msiexec's exit code
    local rc=0
    "$HW_WINE" msiexec "$@" >/dev/null 2>&1 || rc=$?
    echo "$rc"
}
reg32() { "$HW_WINE" reg "$@" /reg:32 2>/dev/null | tr -d '\r'; }
# The uninstall entries that name Harrowatch: "DisplayVersion Publisher" a line.
entries() {
    "$HW_WINE" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
        awk '/^HKEY/ {name=""; version=""; publisher=""}
             $1=="DisplayName" {name=$3} $1=="DisplayVersion" {version=$3} $1=="Publisher" {publisher=$3}
             /^$/ && name=="Harrowatch" {print version, publisher; name=""}'
}
wait_for() {  # seconds, command...
    local until=$((SECONDS + $1))
    while [ $SECONDS -lt $until ]; do "${@:2}" && return 0; sleep 1; done
    return 1
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows-x64/CMakeCache.txt)
newer="${version%.*}.$((${version##*.} + 1))"
# Each build of a package is a new product of the one upgrade code.
build_msi() { bash scripts/package --msi "$1" | tail -n 1; }
current_msi=$(build_msi "$version")
newer_msi=$(build_msi "$newer")
[ -f "$current_msi" ] && [ -f "$newer_msi" ] || { echo "FAILED: no packages"; exit 1; }

pf="$WINEPREFIX/drive_c/Program Files/Harrowatch"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Harrowatch.lnk"
settings='HKLM\Software\Harrowatch'
# What an earlier run left.
for m in "$newer_msi" "$current_msi"; do msiexec /x "$(winpath "$m")" /qn >/dev/null; done
"$HW_WINE" reg delete "$settings" /f /reg:32 >/dev/null 2>&1 || true

# Install.
check "silent install exits 0" test "$(msiexec /i "$(winpath "$current_msi")" /qn)" = 0
check "Harrowatch.exe in Program Files" test -f "$pf/Harrowatch.exe"
check "README and licence beside it" test -f "$pf/README.md" -a -f "$pf/LICENSE"
# Wine puts a per-machine package's shortcuts in the user's Start menu; Windows in every user's.
user_shortcut="$WINEPREFIX/drive_c/users/${USER:-$(id -un)}/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Harrowatch.lnk"
check "Start menu shortcut" test -f "$shortcut" -o -f "$user_shortcut"
check "one uninstall entry, version $version, publisher Harrowatch" test "$(entries)" = "$version Harrowatch"
check "event source registered with the installed program" \
    bash -c "'$HW_WINE' reg query 'HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Harrowatch' /v EventMessageFile 2>/dev/null | grep -qi 'Program Files\\\\Harrowatch\\\\Harrowatch.exe'"

# The installed program supervises the stand-in.
game="$WINEPREFIX/drive_c/Games/Kaltor Package Test"
rm -rf "$game" && mkdir -p "$game"
cp "build/windows-x64/bin/KALTOR INTERNET SERVER.EXE" "$game/"
printf 'active\nat 0 join Dorn 10.0.0.5 Dornak\n' > "$game/standin.txt"
reg32 add 'HKLM\Software\Velmora\KALTOR' /v INSTDIR /d 'C:\Games\Kaltor Package Test\' /f >/dev/null
reg32 add "$settings" /v TimerInterval /d 1000 /f >/dev/null
reg32 add "$settings" /v AutoStart /t REG_DWORD /d 1 /f >/dev/null
reg32 add "$settings\\Scheduled Events" /v Daily /d 'Public Messages|12/31/99 11:00 PM' /f >/dev/null
logs="$WINEPREFIX/drive_c/ProgramData/Harrowatch/Logs"
rm -rf "$logs"
"$HW_WINE" "$pf/Harrowatch.exe" >/dev/null 2>&1 &
check "the installed program launches the stand-in" \
    wait_for 60 bash -c "grep -qs 'INFO Server launched' '$logs'/*.log && pgrep -f 'KALTOR INTERNET SERVER' >/dev/null"
check "and logs its start from Program Files" bash -c "grep -qs 'Harrowatch started: C:\\\\Program Files\\\\Harrowatch\\\\Harrowatch.exe' '$logs'/*.log"
"$HW_WINE" taskkill /f /im Harrowatch.exe >/dev/null 2>&1 || true
"$HW_WINE" taskkill /f /im "KALTOR INTERNET SERVER.EXE" >/dev/null 2>&1 || true
wait_for 20 bash -c "! pgrep -f 'Harrowatch.exe|KALTOR INTERNET SERVER' >/dev/null" || true

# The same version again, then a newer one: in place, the schedule kept.
current_msi=$(build_msi "$version")
check "another build of the same version exits 0" test "$(msiexec /i "$(winpath "$current_msi")" /qn)" = 0
check "still one uninstall entry" test "$(entries)" = "$version Harrowatch"
check "upgrade to $newer exits 0" test "$(msiexec /i "$(winpath "$newer_msi")" /qn)" = 0
check "one uninstall entry, now $newer" test "$(entries)" = "$newer Harrowatch"
check "the program still there" test -f "$pf/Harrowatch.exe"
check "the stored schedule kept" bash -c "'$HW_WINE' reg query 'HKLM\\Software\\Harrowatch\\Scheduled Events' /v Daily /reg:32 2>/dev/null | grep -q 'Public Messages|12/31/99 11:00 PM'"
current_msi=$(build_msi "$version")
# Windows removes the older product with UPGRADINGPRODUCTCODE set, and the
# package's clean-up skips itself then; Wine's removal sets only REMOVE=ALL,
# so under Wine the entry goes. The condition is checked in the package.
check "the clean-up skips the removal of an older version" bash -c \
    "msiinfo export '$newer_msi' InstallExecuteSequence | tr -d '\r' | grep -q '^Unregister	REMOVE=\"ALL\" AND NOT UPGRADINGPRODUCTCODE	'"
check "an older package is refused" test "$(msiexec /i "$(winpath "$current_msi")" /qn)" != 0
check "and leaves $newer installed" test "$(entries)" = "$newer Harrowatch"

# Uninstall: what "Run Harrowatch on Windows Startup" left goes too.
reg32 add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v Harrowatch /d '"C:\Program Files\Harrowatch\Harrowatch.exe"' /f >/dev/null
check "silent uninstall exits 0" test "$(msiexec /x "$(winpath "$newer_msi")" /qn)" = 0
check "the program files gone" test ! -e "$pf/Harrowatch.exe"
check "the shortcut gone" test ! -e "$shortcut" -a ! -e "$user_shortcut"
check "the uninstall entry gone" test -z "$(entries)"
check "the Run entry gone" bash -c "! '$HW_WINE' reg query 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run' /v Harrowatch /reg:32 >/dev/null 2>&1"
check "the event source gone" bash -c "! '$HW_WINE' reg query 'HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Harrowatch' >/dev/null 2>&1"
check "the settings and the schedule kept" bash -c "'$HW_WINE' reg query 'HKLM\\Software\\Harrowatch\\Scheduled Events' /v Daily /reg:32 2>/dev/null | grep -q 'Public Messages'"
check "the logs kept" bash -c "ls '$logs'/*.log >/dev/null 2>&1"

"$HW_WINE" reg delete "$settings" /f /reg:32 >/dev/null 2>&1 || true
"$HW_WINE" reg delete 'HKLM\Software\Velmora' /f /reg:32 >/dev/null 2>&1 || true
rm -rf "$game"
echo "$failures failed"
[ "$failures" -eq 0 ]
