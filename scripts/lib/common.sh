# Shared by the project's scripts: package installation, the Wine prefix of a run, and stopping its server.
# Source it; it defines functions only.

QUILLERY_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# The programs a run starts are Debian's, as on a fresh machine: a developer's own ones earlier on the PATH
# (pyenv's python3 without Debian's Python modules, a cmake in /usr/local) come after them.
export PATH="/usr/sbin:/usr/bin:/sbin:/bin${PATH:+:$PATH}"

# The Debian packages of the groups named ("test", "demo"), from scripts/lib/packages.txt, one a line.
packages_of() {
    awk -v groups=" $* " '!/^#/ && NF >= 2 && index(groups, " " $1 " ") { print $2 }' \
        "$QUILLERY_ROOT/scripts/lib/packages.txt"
}
mapfile -t QUILLERY_PACKAGES < <(packages_of test)
mapfile -t QUILLERY_DEMO_PACKAGES < <(packages_of demo)

# Installs whatever of the given packages is missing. As root it runs apt-get; otherwise it prints the one line
# to run and fails.
ensure_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages. Run:" >&2
        echo "  sudo dpkg --add-architecture i386 && sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
        return 1
    fi
    echo "Installing: ${missing[*]}"
    if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

# Starts a program with the 64-bit loader. Built-in programs (reg, regedit, msiexec, regsvr32) must be started
# this way: once Debian's 32-bit Wine is installed, plain `wine` starts them as 32-bit ones, and a 32-bit `reg`
# writes HKLM\Software into the 32-bit view (Wow6432Node).
wine64() { "${QUILLERY_WINE64:-/usr/lib/wine/wine64}" "$@"; }

# The environment every Wine process of a run shares. $1: the prefix directory.
wine_environment() {
    export WINEPREFIX="$1"
    export WINEARCH=win64
    export WINEDEBUG=-all
    export LC_ALL=C.UTF-8
    # No Mono or Gecko prompts; a crash exits at once instead of starting the debugger.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
    unset DISPLAY
}

# Creates a fresh 64-bit prefix in $1 (removing any old one) with the null display driver and Tahoma standing in
# for Microsoft Sans Serif, so that dialogs lay out the same on every machine.
make_wineprefix() {
    local prefix="$1"
    stop_wine "$prefix"
    rm -rf "$prefix"
    mkdir -p "$(dirname "$prefix")"
    wine_environment "$prefix"
    wineboot -i >/dev/null 2>&1
    wine64 reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d x11,null /f >/dev/null 2>&1
    wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
    wine64 reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
        /v 'Microsoft Sans Serif' /t REG_SZ /d Tahoma /f >/dev/null 2>&1
    cp /usr/share/wine/fonts/{tahoma,tahomabd,marlett}.ttf "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
    wineserver -w
}

# Keeps the Wine server of the current prefix running between the programs of a run (a process then starts in a
# fraction of a second) and starts Wine's own services once, detached from our output: a service started by the
# first program of a run would otherwise inherit that program's output pipe and keep a waiting reader (ctest)
# open. Should the run be killed before its exit trap stops the server, the server still ends by itself once no
# program has used it for QUILLERY_WINESERVER_LINGER seconds.
start_wine() {
    wineserver -p"${QUILLERY_WINESERVER_LINGER:-60}" >/dev/null 2>&1
    wine cmd /c exit >/dev/null 2>&1 || true
}

# Stops the Wine server of the prefix $1, if one runs there; never that of any other prefix.
stop_wine() {
    local prefix="${1:-}"
    if [ -n "$prefix" ] && [ -d "$prefix" ]; then
        WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
    fi
}

# Generates the Japanese locale that gives a Wine process code page 932, into $1/ja_JP.UTF-8 (kept if present).
# A test process runs in it with LOCPATH=$1 LC_ALL=ja_JP.UTF-8.
make_japanese_locale() {
    make_locale "$1" ja_JP
}

# Generates the UTF-8 locale $2 (such as ar_EG, code page 1256 in Wine) into $1/$2.UTF-8 (kept if present).
make_locale() {
    local dir="$1" name="$2"
    [ -f "$dir/$name.UTF-8/LC_CTYPE" ] && return 0
    mkdir -p "$dir"
    localedef -i "$name" -f UTF-8 "$dir/$name.UTF-8"
}

# Configures and builds one flavour. $1: build dir, rest: extra cmake arguments. In CI every warning is an error.
build_flavour() {
    local dir="$1" werror=OFF
    shift
    [ -n "${CI:-}" ] && werror=ON
    # The Windows builds of one checkout share one throwaway signing chain: their files carry one signer, as a
    # release's do, and the doctor of either bitness runs the other's.
    local signing=()
    [[ " $* " == *CMAKE_TOOLCHAIN_FILE* ]] && signing=(-DQUILLERY_SIGNING_DIR="$QUILLERY_ROOT/build/signing")
    cmake -S "$QUILLERY_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUILLERY_WARNINGS_AS_ERRORS="$werror" "${signing[@]}" "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)"
}

# For the demo's pictures, run under Xvfb: waits (a minute at most) for the line of the simulator's log $1 that
# starts with $2 and says where a window opened ("... at X,Y size WxH"), lets it paint, and saves that part of the
# X screen as the PNG $3. Prints the window's geometry; nothing when it never opened.
screenshot_when_open() {
    local log="$1" opened="$2" output="$3" geometry=""
    for _ in $(seq 1 300); do
        grep -q "^$opened" "$log" && break
        sleep 0.2
    done
    geometry=$(tr -d '\r' <"$log" |
        sed -n "s/^$opened.* at \([0-9-]*\),\([0-9-]*\) size \([0-9]*\)x\([0-9]*\)\$/\3x\4+\1+\2/p")
    if [ -n "$geometry" ]; then
        sleep 1
        xwd -root -silent | /usr/bin/convert xwd:- -crop "$geometry" +repage "png:$output"
    fi
    echo "$geometry"
}

# The prefix's registry as text (HKLM\Software with its 32-bit view, HKCU\Software), one key a paragraph,
# without what Wine and Windows Installer write of their own accord (their bookkeeping, font lists, the
# certificate stores Wine fills from the system's on first use, the trust provider's state, Wine's own
# settings): a test run must leave the rest exactly as it found it.
registry_snapshot() {
    local file key
    file=$(mktemp)
    for key in 'HKLM\Software' 'HKCU\Software'; do
        wine64 reg export "$key" "$file" /y >/dev/null 2>&1 || continue
        iconv -f UTF-16 -t UTF-8 "$file" | tr -d '\r' | awk 'BEGIN { RS = ""; ORS = "\n\n" }
            !/^\[HKEY_LOCAL_MACHINE\\Software\\(Classes\\Installer|Microsoft\\Windows\\CurrentVersion\\Installer|Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Fonts|Microsoft\\Windows\\CurrentVersion\\Fonts|(Wow6432Node\\)?Microsoft\\SystemCertificates)[]\\]/ &&
            !/^\[HKEY_CURRENT_USER\\Software\\(Wine|Microsoft\\SystemCertificates|Microsoft\\Windows\\CurrentVersion\\Wintrust)[]\\]/'
    done
    rm -f "$file"
}

# For a picture in another language: the installation key's "XMLStrings" names the string file $1 (a Windows
# path) until restore_string_file puts the previous value back. The prefix's environment must be set.
swap_string_file() {
    SAVED_STRINGS=$(wine64 reg query 'HKLM\Software\Corvane\Toolbar_Office' /v XMLStrings | tr -d '\r' |
        sed -n 's/.*REG_SZ *//p')
    wine64 reg add 'HKLM\Software\Corvane\Toolbar_Office' /v XMLStrings /t REG_SZ /d "$1" /f >/dev/null
}
restore_string_file() {
    wine64 reg add 'HKLM\Software\Corvane\Toolbar_Office' /v XMLStrings /t REG_SZ /d "$SAVED_STRINGS" /f \
        >/dev/null
}

# A picture is checked by what the simulator said it drew ($1, its log; $2 the lines that carry texts): no text
# cut short, and no placeholder (%NAME%) that an installation should have filled. Prints what is wrong, if
# anything, and fails then.
check_drawn_texts() {
    local wrong
    wrong=$(tr -d '\r' <"$1" | grep -E "^$2" | grep -E 'does not fit|%[A-Za-z_]+%' || true)
    [ -z "$wrong" ] && return 0
    echo "FAILED: the picture shows texts cut short or placeholders left unfilled:"
    echo "$wrong"
    return 1
}
