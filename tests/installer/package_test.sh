#!/usr/bin/env bash
# A Windows Installer package end to end, in the run's Wine prefix (64-bit, so an x86 package installs under WOW64
# as it would for 32-bit Office on 64-bit Windows): its tables as msiinfo reads them back; a silent installation
# after which each library it carries loads, from the installed files, in the host simulator of its bitness, shows
# its texts with the copyright years filled in and keeps the installing user's choices; each library's rows
# compared with what that library's own DllRegisterServer writes in its registry view; the repairs the
# administrators' guide gives (the package again, and one that rewrites every file), each bringing back a deleted
# file and a deleted machine registry value; a newer package that replaces it, and the older one refused over it
# with 1603; and a silent removal by product code that leaves both registry views and both Program Files folders as
# they were, each user's choices aside. Every report of the installed doctors matches the schema installed beside them. The
# printer driver is the one stand-in (a registry-only printer of the maker's, the default).
#   package_test.sh <package> <newer package> <x64|x86> <folder of the 64-bit tools, or -> <folder of the 32-bit
#                   tools> <copyright years of the installed string file>
# The x64 package carries both libraries, the x86 package the 32-bit one. The tools folders hold
# quillery-hostsim.exe of each bitness. QUILLERY_LOCALE_DIR names the folder of the generated ja_JP.UTF-8 locale.
set -uo pipefail
package=$1 newer=$2 arch=$3 tools64=$4 tools32=$5 copyright_years=$6
failures=0
# Built-in programs (reg, regedit, msiexec, regsvr32) are started as 64-bit ones: once Debian's 32-bit Wine is
# installed, plain `wine` starts them 32-bit, and their HKLM\Software would be the 32-bit view. A bitness's own
# reg and regsvr32 (64 or 32) are named by their folder.
QUILLERY_WINE64=${QUILLERY_WINE64:-/usr/lib/wine/wine64}
wine64() { "$QUILLERY_WINE64" "$@"; }
reg_of() { if [ "$1" = 64 ]; then wine64 reg "${@:2}"; else wine 'C:\windows\syswow64\reg.exe' "${@:2}"; fi; }
regsvr32_of() { if [ "$1" = 64 ]; then wine64 regsvr32 "${@:2}"; else wine 'C:\windows\syswow64\regsvr32.exe' "${@:2}"; fi; }
# The bitnesses the package carries, each with its component suffix, its folder and its simulator; the first
# folder also holds what both share (markup and string files).
if [ "$arch" = x64 ]; then
    bitnesses=(64 32) template='x64;1033' folder64='C:\Program Files\Corvane Quillery'
else
    bitnesses=(32) template='Intel;1033'
fi
folder32='C:\Program Files (x86)\Corvane Quillery'
suffix64='' suffix32=32
folder_of() { local name="folder$1"; echo "${!name}"; }
suffix_of() { local name="suffix$1"; echo "${!name}"; }
hostsim_of() { if [ "$1" = 64 ]; then echo "$tools64/quillery-hostsim.exe"; else echo "$tools32/quillery-hostsim.exe"; fi; }
installed=$(folder_of "${bitnesses[0]}")
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
check() { local what=$1; shift; "$@" >/dev/null 2>&1 || fail "$what"; }

property() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' -v name="$2" '$1 == name { print $2 }'; }

# -- The tables ------------------------------------------------------------------------------------------------
registry=$(msiinfo export "$package" Registry | tr -d '\r')
files=$(msiinfo export "$package" File | tr -d '\r')
[ "$(property "$package" ProductVersion)" = 1.41.0.0 ] || fail "ProductVersion is $(property "$package" ProductVersion)"
[ -n "$(property "$package" UpgradeCode)" ] || fail "no UpgradeCode"
[ "$(property "$newer" UpgradeCode)" = "$(property "$package" UpgradeCode)" ] || fail "the newer package is another product"
[ "$(property "$newer" ProductCode)" != "$(property "$package" ProductCode)" ] || fail "both packages share a product code"
grep -q "Template: $template" <<<"$(msiinfo suminfo "$package")" || fail "the package is not for $arch"
grep -q 'Corvane Quillery' <<<"$(msiinfo export "$package" Directory)" || fail "no Corvane Quillery folder"
grep -q "$(property "$package" UpgradeCode)" <<<"$(msiinfo export "$package" Upgrade)" || fail "no upgrade row"
tr ';' '\n' <<<"$(property "$package" SecureCustomProperties)" | grep -qx QUILLERY_LANGUAGE ||
    fail "QUILLERY_LANGUAGE does not reach an elevated installation"
languages=$(cd "$(dirname "$0")/../../strings" && ls -- *.xml)
for file in $languages word.xml word-generic.xml excel.xml excel-generic.xml powerpoint.xml powerpoint-generic.xml; do
    [ "$(grep -c "	$file	" <<<"$files")" = 1 ] || fail "the package does not carry $file once"
done
# Active Setup runs each new user's command by its full path, expanded at logon (a REG_EXPAND_SZ: "#%").
grep -qE 'Active Setup\\Installed Components\\[^	]*	StubPath	#%%SystemRoot%\\System32\\reg\.exe add ' \
    <<<"$registry" || fail "Active Setup names reg.exe by anything but its full path in System32"
# Each bitness: its library and doctor, its installation key and its three add-in keys, in its own components.
for bitness in "${bitnesses[@]}"; do
    suffix=$(suffix_of "$bitness")
    for file in QuilleryDll:Quillery.dll DoctorExe:quillery-doctor.exe DoctorSchema:quillery-doctor-report.schema.json; do
        grep -q "^${file%%:*}$suffix	[^	]*	${file#*:}	" <<<"$files" || fail "the package lacks the $bitness-bit ${file#*:}"
    done
    for value in XMLStrings XMLWordLarge XMLWordLargeGeneric XMLExcelLarge XMLExcelLargeGeneric XMLPowerPointLarge \
                 XMLPowerPointLargeGeneric UnRegister Remove Version; do
        grep -qE "Software\\\\Corvane\\\\Toolbar_Office\\\\?	$value	.*	InstallationKey$suffix\$" <<<"$registry" ||
            fail "the $bitness-bit installation key lacks $value"
    done
    for host in Word Excel PowerPoint; do
        grep -qE "Office\\\\$host\\\\Addins\\\\TandrelQuillery.Connect\\\\?	LoadBehavior	#3	AddIn$suffix\$" <<<"$registry" ||
            fail "$bitness-bit $host does not load the add-in at start-up"
    done
    [ "$(grep -cE "InprocServer32\\\\?		\[#QuilleryDll$suffix\]" <<<"$registry")" = 2 ] ||
        fail "not both $bitness-bit classes name the $bitness-bit library"
done
# Windows Installer notices a file missing, and a repair brings it back, only when the file is the key path of its
# component: every program is.
components=$(msiinfo export "$package" Component | tr -d '\r')
while IFS=$'\t' read -r file component name _; do
    case "${name##*|}" in *.exe | *.dll) ;; *) continue ;; esac
    awk -F'\t' -v component="$component" -v file="$file" '$1 == component && $6 == file { found = 1 }
        END { exit !found }' <<<"$components" || fail "${name##*|} is not the key path of its component"
done < <(tail -n +4 <<<"$files")

# -- The machine before ----------------------------------------------------------------------------------------
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The installing user's key for the ribbon choices is the package's to make, so a key from before is moved aside
# for the run (and put back at the end); removal leaves the key the package made, as it leaves every user's.
user_key='HKCU\Software\Corvane\Toolbar_Office'
if wine64 reg query "$user_key" >/dev/null 2>&1; then
    wine64 reg export "$user_key" "$(winepath -w "$work/user-key.reg")" /y >/dev/null 2>&1
    wine64 reg delete "$user_key" /f >/dev/null 2>&1
fi
restore_user_key() {
    wine64 reg delete "$user_key" /f >/dev/null 2>&1
    [ -f "$work/user-key.reg" ] && wine64 regedit /S "$(winepath -w "$work/user-key.reg")"
}
# Both registry views (Wine keeps the 32-bit view of the classes under Classes\Wow6432Node).
keys=('HKLM\Software\Classes' 'HKLM\Software\Microsoft\Office' 'HKLM\Software\Corvane'
      'HKLM\Software\Microsoft\Active Setup' 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
      'HKLM\Software\Wow6432Node\Microsoft\Office' 'HKLM\Software\Wow6432Node\Corvane'
      'HKLM\Software\Wow6432Node\Microsoft\Active Setup'
      'HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall' 'HKCU\Software\Corvane')
snapshot() {
    local index=0 key
    for key in "${keys[@]}"; do
        if wine64 reg export "$key" "$work/key.reg" /y >/dev/null 2>&1; then
            # Windows Installer makes its own empty bookkeeping keys on its first run in a fresh prefix (Windows
            # has them from the start); a product left registered there would still show with its values.
            iconv -f UTF-16 -t UTF-8 "$work/key.reg" | tr -d '\r' |
                awk 'BEGIN { RS = ""; ORS = "\n\n" } !/^\[HKEY_LOCAL_MACHINE\\Software\\Classes\\Installer[^\n]*\]$/'
        else
            echo "absent: $key"
        fi
        index=$((index + 1))
    done
    ls -R "$(winepath -u 'C:\Program Files')" "$(winepath -u 'C:\Program Files (x86)')" 2>/dev/null
}

cat >"$work/printer.reg" <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Print\Printers\Corvane R]
"Port"="FILE:"
"Print Processor"="winprint"
"Datatype"="RAW"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Print\Printers\Corvane R\PrinterDriverData]
"OriginalFriendlyName"="Corvane iX6800 series"

[HKEY_LOCAL_MACHINE\Software\CorvaneInkJet\IjPrtSettings\Corvane iX6800 series]
"OnceBlackAndWhite"=dword:00000000
"OnceDuplex"=dword:00000000
"OnceNUp"=dword:00000000
"OncePrintQuality"=dword:00000000

[HKEY_CURRENT_USER\Software\Microsoft\Windows NT\CurrentVersion\Windows]
"Device"="Corvane R,winspool,FILE:"
REG
windows_key_existed=no
wine64 reg query 'HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows' >/dev/null 2>&1 && windows_key_existed=yes
device=$(wine64 reg query 'HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows' /v Device 2>/dev/null |
         tr -d '\r' | awk -F'    ' '/Device/ { print $4 }')
wine64 regedit /S "$(winepath -w "$work/printer.reg")"
restore_printer() {
    wine64 reg delete 'HKLM\System\CurrentControlSet\Control\Print\Printers\Corvane R' /f >/dev/null 2>&1
    wine64 reg delete 'HKLM\Software\CorvaneInkJet' /f >/dev/null 2>&1
    if [ -n "$device" ]; then
        wine64 reg add 'HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows' /v Device /d "$device" /f >/dev/null 2>&1
    elif [ "$windows_key_existed" = yes ]; then
        wine64 reg delete 'HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows' /v Device /f >/dev/null 2>&1
    else
        wine64 reg delete 'HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows' /f >/dev/null 2>&1
    fi
}
trap 'restore_printer; restore_user_key; rm -rf "$work"' EXIT
snapshot >"$work/before"

uninstall_root='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
doctor_of() { wine "$(folder_of "$1")\\quillery-doctor.exe" "${@:2}"; }
# msiexec's exit code as Windows gives it: Wine hands a Unix parent its low byte alone (1603 arrives as 67), so a
# batch file in the prefix waits for msiexec and says the whole code.
msiexec_code() {
    printf '@start /wait msiexec %%*\r\n@echo %%errorlevel%%\r\n' >"$work/msiexec-code.bat"
    wine64 cmd /c "$(winepath -w "$work/msiexec-code.bat")" "$@" 2>/dev/null | tr -d '\r' | tail -n 1
}
# Whether the installed doctor of each bitness says that Office of that bitness shows the ribbon group; its
# report must match the schema installed beside it.
ribbon_shows() {
    local bitness report
    for bitness in "${bitnesses[@]}"; do
        report=$(doctor_of "$bitness" --json) || true
        python3 -c 'import json, sys, jsonschema
jsonschema.Draft202012Validator(json.load(open(sys.argv[1]))).validate(json.loads(sys.stdin.buffer.read()))' \
            "$(winepath -u "$(folder_of "$bitness")\\quillery-doctor-report.schema.json")" <<<"$report" ||
            fail "the $bitness-bit doctor's report does not match its schema: $report"
        grep -q '"ribbonShows":true' <<<"$report" || return 1
    done
}

# The string file the installation key names in every view: the language's, and the file in that language.
strings_language() {
    local bitness path
    for bitness in "${bitnesses[@]}"; do
        path=$(reg_of "$bitness" query 'HKLM\Software\Corvane\Toolbar_Office' /v XMLStrings 2>/dev/null | tr -d '\r' |
               awk -F'    ' '/XMLStrings/ { print $4 }')
        [ "$path" = "$installed\\strings\\$1.xml" ] || { echo "$bitness-bit XMLStrings is \"$path\""; return 1; }
        grep -q "Key=\"Lang\" Value=\"$1\"" "$(winepath -u "$path")" || { echo "$path is not in $1"; return 1; }
    done
}

# -- Silent installation: the add-in loads as Office loads it ----------------------------------------------------
# Wine's installer service has been seen to fail the very first installation in a fresh prefix on a loaded
# machine, once, without a trace in the package; the first attempt keeps a log, and a failure shows its end and
# is tried once more.
if ! wine64 msiexec /i "$(winepath -w "$package")" /qn /norestart /l*v 'C:\quillery-install.log' >/dev/null 2>&1; then
    echo "first silent installation failed; the end of its log:"
    tr -d '\r\0' <"$(winepath -u 'C:\quillery-install.log')" | tail -n 25
    sleep 2
    check "silent installation" wine64 msiexec /i "$(winepath -w "$package")" /qn /norestart
fi
rm -f "$(winepath -u 'C:\quillery-install.log')"
check "the doctor finds a healthy installation" ribbon_shows
# Without QUILLERY_LANGUAGE, Wine's user (1033) gets English.
strings_language en >/dev/null || fail "without QUILLERY_LANGUAGE: $(strings_language en)"
for bitness in "${bitnesses[@]}"; do
    cmp -s "$(winepath -u "$(folder_of "$bitness")\\quillery-doctor-report.schema.json")" \
        "$(dirname "$0")/../../doctor/quillery-doctor-report.schema.json" ||
        fail "the $bitness-bit doctor has not its report's schema beside it"
done
# The removal the add-in leaves to the next logon, and the list of installed programs', start msiexec by the
# full path of the system folder (quoted), never by a bare name that a folder searched first could answer.
for bitness in "${bitnesses[@]}"; do
    for value in UnRegister Remove; do
        command=$(reg_of "$bitness" query 'HKLM\Software\Corvane\Toolbar_Office' /v "$value" 2>/dev/null |
                  tr -d '\r' | awk -F'    ' -v name="$value" '$2 == name { print $4 }')
        program=${command#\"} && program=${program%%\"*}
        [[ "$command" == \"* && "${program,,}" =~ ^c:\\windows\\(system32|syswow64)\\msiexec\.exe$ ]] &&
            [ -f "$(winepath -u "$program")" ] ||
            fail "the $bitness-bit $value is not msiexec by its full path: $command"
    done
done
# A folder outside Program Files (any user may change a data drive's) is refused before anything is installed:
# here by the newer package, which would otherwise replace this one. This one stays as it is.
refused=('INSTALLDIR=C:\users\Public\Quillery' 'INSTALLDIR=C:\Program Files\..\users\Public\Quillery'
         'STRINGSDIR=C:\users\Public\Quillery')
[ "$arch" = x64 ] && refused+=('INSTALLDIR32=C:\users\Public\Quillery')
for folder in "${refused[@]}"; do
    wine64 msiexec /i "$(winepath -w "$newer")" /qn "$folder" >/dev/null 2>&1 && fail "installed with $folder"
    outside=$(winepath -u 'C:\users\Public\Quillery')
    [ -e "$outside" ] && fail "$folder was made" && rm -rf "$outside"
done
reg_of "${bitnesses[0]}" query "$uninstall_root\\$(property "$package" ProductCode)" >/dev/null 2>&1 ||
    fail "a refused installation took the installed version away"
# The fleet tools' recipes (docs/administrators.md, docs/fleet/) as far as Wine goes: Intune's detection script
# keeps one line under 2,048 characters and its exit code, 0 while the group shows and 1 once Word stopped loading
# the add-in for the user; the remediation's --repair, run elevated (as Wine runs everything), is refused with 3.
word_key='HKCU\Software\Microsoft\Office\Word\Addins\TandrelQuillery.Connect'
# What the user's key adds goes again: from the first part of its path that was not there.
made=$word_key
for part in 'HKCU\Software\Microsoft\Office' 'HKCU\Software\Microsoft\Office\Word' \
            'HKCU\Software\Microsoft\Office\Word\Addins'; do
    wine64 reg query "$part" >/dev/null 2>&1 || { made=$part; break; }
done
for bitness in "${bitnesses[@]}"; do
    summary=$(doctor_of "$bitness" --summary)
    rc=$?
    summary=${summary//$'\r'/}
    [ "$rc" = 0 ] && [ "$(wc -l <<<"$summary")" = 1 ] && [ "${#summary}" -lt 2048 ] &&
        [[ "$summary" == "Quillery 1.41.0.0 "* ]] ||
        fail "the $bitness-bit doctor's summary is not one short line, exit code 0: $rc $summary"
    wine64 reg add "$word_key" /v LoadBehavior /t REG_DWORD /d 2 /f >/dev/null 2>&1
    summary=$(doctor_of "$bitness" --summary)
    rc=$?
    [ "$rc" = 1 ] && grep -q "BROKEN office.word" <<<"$summary" ||
        fail "the $bitness-bit summary does not name Word's key, exit code 1: $rc $summary"
    doctor_of "$bitness" --repair --summary >/dev/null 2>&1
    rc=$?
    [ "$rc" = 3 ] || fail "an elevated --repair of the $bitness-bit doctor ended with $rc, not 3"
    wine64 reg delete "$made" /f >/dev/null 2>&1
done
# Office of each bitness loads its library from the installed files. The user who installed chooses two-sided
# printing in Word at once, without logging on again: the choice is kept.
for bitness in "${bitnesses[@]}"; do
    wine64 reg delete "$user_key" /v CheckBoxDuplexWordID /f >/dev/null 2>&1
    word=$(wine "$(hostsim_of "$bitness")" word --toggle CheckBoxDuplexWordID 2>&1 | tr -d '\r')
    grep -q 'ButtonAboutWordID  "About Quillery"' <<<"$word" ||
        fail "the $bitness-bit host simulator did not load the installed texts: $word"
    wine64 reg query "$user_key" /v CheckBoxDuplexWordID 2>/dev/null | grep -qE 'REG_DWORD +0x0*[1-9a-f]' ||
        fail "the installing user's choice in $bitness-bit Word was not kept: $(wine64 reg query "$user_key" 2>&1)"
    grep -q "Version.*1.41.0.0" < <(reg_of "$bitness" query 'HKLM\Software\Corvane\Toolbar_Office' /v Version 2>&1) ||
        fail "the $bitness-bit installation key has no Version"
done
touch "$work/close-about"
about=$(wine "$(hostsim_of "${bitnesses[0]}")" --about "$(winepath -w "$work/close-about")" word 2>&1 | tr -d '\r')
grep -q 'About box open: "About Quillery"' <<<"$about" || fail "the About box did not show the installed title: $about"
# The copyright line runs to the package's build year; nothing the add-in shows keeps a placeholder.
grep -q "About box text: \"Copyright © $copyright_years Corvane International, Inc.\"" <<<"$about" ||
    fail "the About box does not show the copyright years $copyright_years: $about"
for file in $languages; do
    grep -q "Copyright.* $copyright_years %OEM_FULL%\"" "$(winepath -u "$installed\\strings\\$file")" ||
        fail "the installed $file lacks the copyright years $copyright_years"
done
grep -E '%[A-Z_]+%' <<<"$word$about" && fail "a placeholder shows in the group or the About box"
# The list of installed programs shows the product's icon.
product_icon=$(wine64 reg query 'HKLM\Software\Classes\Installer\Products' /s 2>/dev/null | tr -d '\r' |
               awk -F'    ' '$2 == "ProductIcon" { print $4 }')
cmp -s "$(winepath -u "${product_icon:-none}")" "$(dirname "$0")/../../resources/icon/quillery.ico" ||
    fail "the installed programs' icon is \"$product_icon\", not the product's"

# -- The package's registration is each library's own ------------------------------------------------------------
# The package writes each library's registration as registry rows (a silent removal could not answer the
# library's own question), so those rows must be exactly what DllRegisterServer writes in that library's view:
# export every key they name with the reg of that bitness, let the installed library register itself over them
# with the regsvr32 of its bitness, and compare.
registration_keys_of() {
    awk -F'\t' -v component="AddIn$(suffix_of "$1")" '($2 == 2 || $2 == -1) && $6 == component { print $3 }' \
        <<<"$registry" | awk -F'\\' '
        $2 == "Classes" { n = ($3 == "CLSID" || $3 == "TypeLib" || $3 == "Interface") ? 4 : 3 }
        $3 == "Office" { n = 6 }
        $2 == "Classes" || $3 == "Office" { key = "HKLM"; for (i = 1; i <= n; i++) key = key "\\" $i; print key }' |
        sort -u
}
registration() {
    local key
    while read -r key; do
        echo "== $key"
        # The library's flags: Wine's RegisterTypeLib writes the loader's "has a disk image" flag (8), which
        # Windows leaves out; the package writes what Windows writes.
        # One run in many has missed one class key here that the library's own registration then showed (not
        # reproduced since): a failed export is tried once more before the key counts as absent.
        if reg_of "$1" export "$key" "$(winepath -w "$work/registration.reg")" /y >/dev/null 2>&1 ||
            { sleep 1 && reg_of "$1" export "$key" "$(winepath -w "$work/registration.reg")" /y >/dev/null 2>&1; }; then
            iconv -f UTF-16 -t UTF-8 "$work/registration.reg" | tr -d '\r' | sed 1d |
                awk 'BEGIN { RS = ""; ORS = "\n\n" } !/\\FLAGS\]/'
        else
            echo "absent"
        fi
    done <<<"$(registration_keys_of "$1")"
}
connect_class=$(awk -F'\t' '$3 ~ /TandrelQuillery\.Connect\\CLSID\\$/ { print $5; exit }' <<<"$registry")
for bitness in "${bitnesses[@]}"; do
    other=$((96 - bitness))
    # Wine's RegisterTypeLib describes the interface to processes of the other bitness too; where the package
    # carries no library of that bitness it writes no such rows, and the test takes the library's copy away.
    interfaces=$(grep -o 'Interface\\{[0-9A-F-]*}' <<<"$(registration_keys_of "$bitness")" | sort -u)
    foreign=()
    for key in $interfaces; do
        reg_of "$other" query "HKLM\\Software\\Classes\\$key" >/dev/null 2>&1 || foreign+=("$key")
    done
    registration "$bitness" >"$work/by-package"
    check "the $bitness-bit library registers itself" regsvr32_of "$bitness" /s "$(folder_of "$bitness")\\Quillery.dll"
    registration "$bitness" >"$work/by-library"
    diff -u "$work/by-package" "$work/by-library" ||
        fail "the package's $bitness-bit registration differs from the library's own"
    # The library also lists itself among the installed programs; the package does that under its product code.
    reg_of "$bitness" delete "$uninstall_root\\$connect_class" /f >/dev/null 2>&1
    for key in "${foreign[@]}"; do reg_of "$other" delete "HKLM\\Software\\Classes\\$key" /f >/dev/null 2>&1; done
done

# -- The guide's repairs bring back a file and a machine registry value that went ----------------------------------
# Before each row, a markup file and each bitness's doctor go, and Word's add-in key of each bitness loses its
# LoadBehavior: each doctor sees the installation broken. Each row: the language the installation key must name
# after the repair, and the repair's command line as the guide gives it (PACKAGE: the package): the package again,
# and the repair that rewrites every file, whose short form /famus Wine's msiexec lacks.
word_machine_key='HKLM\Software\Microsoft\Office\Word\Addins\TandrelQuillery.Connect'
while read -r language options; do
    command=()
    for word in $options; do
        [ "$word" = PACKAGE ] && word=$(winepath -w "$package")
        command+=("$word")
    done
    rm -f "$(winepath -u "$installed\\word.xml")"
    for bitness in "${bitnesses[@]}"; do
        reg_of "$bitness" delete "$word_machine_key" /v LoadBehavior /f >/dev/null 2>&1
        doctor_of "$bitness" >/dev/null 2>&1 && fail "the $bitness-bit doctor missed a broken installation"
        rm -f "$(winepath -u "$(folder_of "$bitness")\\quillery-doctor.exe")"
    done
    check "repair: msiexec $options" wine64 msiexec "${command[@]}"
    check "msiexec $options brought back the markup file" test -f "$(winepath -u "$installed\\word.xml")"
    for bitness in "${bitnesses[@]}"; do
        check "msiexec $options brought back the $bitness-bit doctor" \
            test -f "$(winepath -u "$(folder_of "$bitness")\\quillery-doctor.exe")"
        reg_of "$bitness" query "$word_machine_key" /v LoadBehavior 2>/dev/null | grep -qE 'REG_DWORD +0x0*3\b' ||
            fail "msiexec $options did not bring back the $bitness-bit Word's LoadBehavior"
    done
    strings_language "$language" >/dev/null || fail "after msiexec $options: $(strings_language "$language")"
    check "the add-in works after msiexec $options" ribbon_shows
done <<'REPAIRS'
de /i PACKAGE /qn /norestart QUILLERY_LANGUAGE=de
fr /i PACKAGE /qn /norestart REINSTALL=ALL REINSTALLMODE=amus QUILLERY_LANGUAGE=fr
REPAIRS

# -- The language: the command line's, else the user's (Wine's is 1033), else English ------------------------------
# Each run installs the same package again (a repair) with QUILLERY_LANGUAGE as given ("-": none), as a user of
# the locale given ("-": Wine's default, 1033, English), and expects the installation key to name that language's
# file in every view.
while read -r given locale expected; do
    property=() && [ "$given" != - ] && property=("QUILLERY_LANGUAGE=$given")
    user=() && [ "$locale" != - ] && user=(env LOCPATH="${QUILLERY_LOCALE_DIR:?no folder of generated locales}" LC_ALL="$locale")
    check "installation with QUILLERY_LANGUAGE=$given as a user of $locale" \
        "${user[@]}" "$QUILLERY_WINE64" msiexec /i "$(winepath -w "$package")" /qn "${property[@]}"
    strings_language "$expected" >/dev/null ||
        fail "QUILLERY_LANGUAGE=$given, user of $locale: $(strings_language "$expected")"
done <<'RUNS'
de    -           de
-     ja_JP.UTF-8 ja
PT-br ja_JP.UTF-8 pt-BR
xx    -           en
RUNS
check "the add-in works in the language chosen last" ribbon_shows

# -- A newer package replaces it ---------------------------------------------------------------------------------
# The list of installed programs in the package's own view names the version installed.
installed_version() { reg_of "${bitnesses[0]}" query "$uninstall_root\\$(property "$1" ProductCode)" /v DisplayVersion 2>/dev/null; }
check "upgrade" wine64 msiexec /i "$(winepath -w "$newer")" /qn
installed_version "$package" >/dev/null && fail "the older version stayed"
installed_version "$newer" | grep -q "$(property "$newer" ProductVersion)" ||
    fail "the newer version is not registered"
check "the upgraded installation works" ribbon_shows

# -- The older package refuses to go over the newer ---------------------------------------------------------------
# Its launch condition fails, and Windows Installer says so as it says every fatal error: 1603.
rc=$(msiexec_code /i "$(winepath -w "$package")" /qn /norestart)
[ "$rc" = 1603 ] || fail "the older package over the newer ended with $rc, not 1603"
installed_version "$package" >/dev/null && fail "the older version is registered"
installed_version "$newer" | grep -q "$(property "$newer" ProductVersion)" ||
    fail "the newer version is no longer registered"
check "the newer installation still works" ribbon_shows

# -- Silent removal by product code leaves the machine as it was ---------------------------------------------------
check "silent removal by product code" wine64 msiexec /x "$(property "$newer" ProductCode)" /qn /norestart
# Each user's choices stay, the installing user's too; with that key taken away the machine is as it was.
wine64 reg query "$user_key" /v CheckBoxDuplexWordID >/dev/null 2>&1 || fail "the removal took the user's choices"
wine64 reg delete "$user_key" /f >/dev/null 2>&1
grep -qx 'absent: HKCU\\Software\\Corvane' "$work/before" && wine64 reg delete 'HKCU\Software\Corvane' /f >/dev/null 2>&1
snapshot >"$work/after"
diff -u "$work/before" "$work/after" || fail "the removal left the registry or Program Files changed"

[ $failures -eq 0 ] && echo "package tests passed"
exit $((failures > 0))
