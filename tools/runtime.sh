# Sourced by run.sh, test.sh and wine-run.sh: sets up the Linux side that builds Vitrea and runs it under Wine.
# Everything Wine touches lives in $VITREA_BUILD/wineprefix; the user's own prefix is never used.

VITREA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VITREA_BUILD=${VITREA_BUILD:-$VITREA_ROOT/build}
export VITREA_ROOT VITREA_BUILD
export WINEPREFIX=$VITREA_BUILD/wineprefix
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko install prompts in a headless prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Only used where 32-bit code runs through qemu-user: keeps Wine's address-space reservation from
# probing 2 GB of unmappable guest space one 64 KB page at a time (a minute per process otherwise).
export QEMU_RESERVED_VA=0x7fff0000

vitrea_log() { printf '[vitrea] %s\n' "$*" >&2; }

vitrea_packages=(wine wine32:i386 wine64 g++-mingw-w64-i686-win32 gcc-mingw-w64-i686-win32
    binutils-mingw-w64-i686 mingw-w64-i686-dev cmake ninja-build googletest xvfb xauth xdotool
    x11-utils x11-xserver-utils imagemagick python3 fonts-wine nsis fp-utils)

vitrea_missing_packages() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
    done
}

vitrea_apt() {
    if [ "$(id -u)" -ne 0 ]; then
        vitrea_log "need root to install: $*"; return 1
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >&2
}

# Prints "[options] URI" of the first enabled apt source of the machine (under ROOT, default /) whose suites
# include SUITE, from one-line (sources.list, *.list) and deb822 (*.sources) files; nothing when none does.
# Usage: vitrea_apt_archive SUITE [ROOT]
vitrea_apt_archive() {
    local files=() f
    for f in "${2:-}"/etc/apt/sources.list "${2:-}"/etc/apt/sources.list.d/*.list "${2:-}"/etc/apt/sources.list.d/*.sources; do
        if [ -f "$f" ]; then files+=("$f"); fi
    done
    [ ${#files[@]} -gt 0 ] || return 0
    awk -v want="$1" '
        function flush() {
            if (types ~ /(^| )deb( |$)/ && enabled != "no" && (" " suites " ") ~ (" " want " ") && uri != "" && uri !~ /^cdrom:/) {
                split(uri, u, " ")
                print (signed != "" ? "[signed-by=" signed "] " : "") u[1]; found = 1; exit
            }
            types = uri = suites = signed = enabled = ""
        }
        FNR == 1 { flush() }
        FILENAME ~ /\.sources$/ {
            if ($0 ~ /^[ \t]*$/) { flush(); next }
            if ($0 ~ /^#/ || $0 ~ /^[ \t]/) next
            field = tolower(substr($0, 1, index($0, ":") - 1)); value = substr($0, index($0, ":") + 1)
            gsub(/^[ \t]+|[ \t]+$/, "", value); gsub(/[ \t]+/, " ", value)
            if (field == "types") types = value
            else if (field == "uris") uri = value
            else if (field == "suites") suites = value
            else if (field == "enabled") enabled = tolower(value)
            else if (field == "signed-by" && value !~ / /) signed = value
            next
        }
        {
            sub(/#.*/, "")
            if ($1 != "deb") next
            line = $0; options = ""
            if (match(line, /^[ \t]*deb[ \t]+\[[^]]*\]/)) {
                options = substr(line, index(line, "["), RSTART + RLENGTH - index(line, "[")) " "
                line = substr(line, RSTART + RLENGTH)
            } else sub(/^[ \t]*deb/, "", line)
            split(line, f, " ")
            # A disc cannot serve another suite.
            if (f[2] == want && f[1] !~ /^cdrom:/) { print options f[1]; found = 1; exit }
        }
        END { if (!found) flush() }' "${files[@]}"
}

# Some hosts run 64-bit user code only; there 32-bit Wine runs through qemu-user, registered with binfmt_misc.
# Debian's qemu 7.2 reports every page fault with trap number -1, which Wine takes for an illegal
# instruction, so the newer qemu from bookworm-backports is needed.
vitrea_enable_i386() {
    if /usr/lib/wine/wine --version >/dev/null 2>&1; then return 0; fi
    vitrea_log "this host cannot run 32-bit code natively; running it through qemu-user"
    local have
    have=$(dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null)
    if [ -z "$have" ] || dpkg --compare-versions "$have" lt 1:8; then
        local codename
        codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
        if [ "$codename" = bookworm ] && [ -z "$(vitrea_apt_archive bookworm-backports)" ]; then
            # Through the address the machine already uses for Debian: it may reach no other.
            local archive
            archive=$(vitrea_apt_archive bookworm)
            if [ -z "$archive" ]; then
                vitrea_log "no apt source of this machine serves bookworm, so bookworm-backports cannot be added"
                return 1
            fi
            echo "deb $archive bookworm-backports main" > /etc/apt/sources.list.d/vitrea-backports.list
            apt-get update -qq >&2
        fi
        if [ "$codename" = bookworm ]; then
            DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user-static >&2
        else
            vitrea_apt qemu-user-static
        fi
    fi
    [ -d /proc/sys/fs/binfmt_misc ] || return 1
    [ -e /proc/sys/fs/binfmt_misc/register ] || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && echo -1 > /proc/sys/fs/binfmt_misc/qemu-i386
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
        > /proc/sys/fs/binfmt_misc/register
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

vitrea_setup() {
    local missing
    missing=$(vitrea_missing_packages "${vitrea_packages[@]}")
    if [ -n "$missing" ]; then
        vitrea_log "installing: $(echo $missing)"
        if ! dpkg --print-foreign-architectures | grep -qx i386; then dpkg --add-architecture i386; fi
        apt-get update -qq >&2
        # shellcheck disable=SC2086
        vitrea_apt $missing || return 1
    fi
    vitrea_enable_i386 || { vitrea_log "cannot run 32-bit Wine on this host"; return 1; }
}

# A display for Wine: the given one when there is one, unless `private` is asked for (the tests move the
# mouse and read the screen, so they always get a display of their own). Xvfb picks a free display number
# itself and reports it once it accepts connections, so two runs started at once never race for the same
# number and need no lock.
vitrea_start_display() {
    if [ "${1:-}" != private ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
    local fifo n
    fifo=$(mktemp -u "${TMPDIR:-/tmp}/vitrea-xvfb.XXXXXX")
    mkfifo "$fifo" || return 1
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    VITREA_XVFB_PID=$!
    n=$(timeout 20 head -n 1 "$fifo")
    rm -f "$fifo"
    if [ -z "$n" ]; then vitrea_log "Xvfb did not start"; vitrea_stop; return 1; fi
    export DISPLAY=:$n
}

vitrea_reg_file() {
    cat <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Vitrea"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Vitrea"="1024x768"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops\Vitrea]
"EnableShell"=dword:00000001

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\DllOverrides]
"winemenubuilder.exe"=""
REG
}

# Windows draws caption buttons with Marlett and the program's text with Tahoma. Debian's Wine ships both
# (fonts-wine) but does not look in that folder, so the prefix gets copies; prefixes made before this step
# get them on their next use.
vitrea_prefix_fonts() {
    local font fonts=$WINEPREFIX/drive_c/windows/Fonts
    [ -d "$fonts" ] || return 0
    for font in marlett.ttf tahoma.ttf tahomabd.ttf; do
        [ -f "$fonts/$font" ] || cp "/usr/share/wine/fonts/$font" "$fonts/" || return 1
    done
}

# Whether a registry file of the prefix holds the value line in the key, both written as in the file.
vitrea_reg_has() {
    # Through the environment: awk -v would take the file's doubled backslashes for escapes.
    VITREA_KEY="[$2]" VITREA_VALUE="$3" awk '
        BEGIN { key = ENVIRON["VITREA_KEY"]; value = ENVIRON["VITREA_VALUE"] }
        substr($0, 1, 1) == "[" { inside = index($0, key " ") == 1 || $0 == key; next }
        inside && $0 == value { found = 1 }
        END { exit !found }' "$WINEPREFIX/$1" 2>/dev/null
}

# A win32 prefix set to Windows XP whose programs all share one virtual desktop with a taskbar. It is marked
# ready only once every step is seen to have worked; a prefix without the mark is made again from nothing.
vitrea_prefix() {
    if [ -f "$WINEPREFIX/.vitrea-ready" ]; then vitrea_prefix_fonts; return; fi
    vitrea_log "creating the Wine prefix $WINEPREFIX"
    # A server left over from a half-made prefix would keep writing into the folder being removed.
    wineserver -k >/dev/null 2>&1
    rm -rf "$WINEPREFIX"
    mkdir -p "$VITREA_BUILD"
    vitrea_reg_file > "$VITREA_BUILD/desktop.reg"
    local failed=
    if ! timeout 300 wineboot -i >/dev/null 2>&1; then
        failed="wineboot failed"
    elif ! timeout 120 wine regedit /S "$(winepath -w "$VITREA_BUILD/desktop.reg" 2>/dev/null)" >/dev/null 2>&1; then
        failed="the registry import failed"
    elif ! timeout 120 winecfg -v winxp >/dev/null 2>&1; then
        failed="setting the Windows version failed"
    fi
    # The registry reaches its files when the server ends.
    timeout 120 wineserver -w >/dev/null 2>&1 || { wineserver -k >/dev/null 2>&1; failed=${failed:-"the prefix's server did not end"}; }
    if [ -z "$failed" ]; then
        grep -q '^#arch=win32' "$WINEPREFIX/system.reg" 2>/dev/null || failed="the prefix is not 32-bit"
        vitrea_reg_has user.reg 'Software\\Wine\\Explorer' '"Desktop"="Vitrea"' ||
            failed="the registry import is missing"
        vitrea_reg_has system.reg 'Software\\Microsoft\\Windows NT\\CurrentVersion' '"CurrentVersion"="5.1"' ||
            failed="the Windows version is not XP"
    fi
    if [ -n "$failed" ]; then
        vitrea_log "cannot create the Wine prefix: $failed; the next run starts it again"
        return 1
    fi
    vitrea_prefix_fonts || return 1
    touch "$WINEPREFIX/.vitrea-ready"
}

# A persistent wineserver keeps every later process start quick.
vitrea_start_wine() {
    vitrea_prefix || return 1
    wineserver -p >/dev/null 2>&1
    VITREA_WINESERVER_STARTED=1
}

vitrea_stop() {
    if [ -n "${VITREA_KEEPER_PID:-}" ]; then kill "$VITREA_KEEPER_PID" 2>/dev/null; VITREA_KEEPER_PID=; fi
    if [ -n "${VITREA_WINESERVER_STARTED:-}" ]; then wineserver -k >/dev/null 2>&1; wineserver -w >/dev/null 2>&1; fi
    if [ -n "${VITREA_XVFB_PID:-}" ]; then kill "$VITREA_XVFB_PID" 2>/dev/null; wait "$VITREA_XVFB_PID" 2>/dev/null; fi
    VITREA_WINESERVER_STARTED=
    VITREA_XVFB_PID=
}

vitrea_build() {
    cmake -S "$VITREA_ROOT" -B "$VITREA_BUILD" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$VITREA_ROOT/cmake/mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null &&
        cmake --build "$VITREA_BUILD" ${1:+--target "$@"}
}

# A hidden window that keeps the virtual desktop (and its taskbar) alive between test processes.
vitrea_start_keeper() {
    local probe=$VITREA_BUILD/tools/probe/probe.exe
    wine "$probe" keepalive > "$VITREA_BUILD/keepalive.log" 2>&1 </dev/null &
    VITREA_KEEPER_PID=$!
    local i
    for i in $(seq 1 300); do
        grep -q '^ready' "$VITREA_BUILD/keepalive.log" 2>/dev/null && return 0
        kill -0 "$VITREA_KEEPER_PID" 2>/dev/null || break
        sleep 0.1
    done
    vitrea_log "the virtual desktop did not come up"; return 1
}

# What a run of this build folder that was cut short left running: its programs would otherwise keep the
# desktop on the old display. The prefix belongs to this build folder, so its server is ours to stop.
vitrea_stop_leftovers() {
    local session=$VITREA_BUILD/runtime-session pid
    if [ -f "$session" ]; then
        pid=$(sed -n 's/^VITREA_XVFB_PID=//p' "$session")
        if [ -n "$pid" ] && [ "$(ps -o comm= -p "$pid" 2>/dev/null)" = Xvfb ]; then kill "$pid" 2>/dev/null; fi
        rm -f "$session"
    fi
    if [ -d "$WINEPREFIX" ]; then wineserver -k >/dev/null 2>&1; fi
}

# Display, wine server and desktop for the tests and benchmarks, always on a display of their own.
# VITREA_RUNTIME tells tools/wine-run.sh (the emulator ctest runs the test programs with) that it is up.
vitrea_start_runtime() {
    vitrea_stop_leftovers
    vitrea_start_display private && vitrea_start_wine && vitrea_start_keeper || { vitrea_stop; return 1; }
    export VITREA_RUNTIME=1
}

# What the test and benchmark commands do first: packages, build (everything, or the targets given), and the
# runtime, stopped on exit.
vitrea_build_and_start() {
    vitrea_setup && vitrea_build "$@" || return 1
    trap vitrea_stop EXIT
    vitrea_start_runtime
}
