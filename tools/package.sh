#!/usr/bin/env bash
# Builds Vitrea and writes what a Windows user downloads: VitreaSetup-<version>.exe, Vitrea-<version>.zip
# and SHA256SUMS, into one folder (default: build/dist). The same commit always gives the same bytes.
# Usage: tools/package.sh [--no-build] [output folder]   (--no-build packages what the build folder holds)
set -eu -o pipefail
. "$(dirname "${BASH_SOURCE[0]}")/runtime.sh"

build=1
if [ "${1:-}" = --no-build ]; then build=; shift; fi
out=${1:-$VITREA_BUILD/dist}

if [ -n "$build" ]; then
    vitrea_setup
    vitrea_build
fi
command -v makensis >/dev/null || { vitrea_log "makensis is missing: run tools/test.sh or install nsis"; exit 1; }

version=$(sed -n 's/^project(Vitrea VERSION \([0-9.]*\).*/\1/p' "$VITREA_ROOT/CMakeLists.txt")
[ -n "$version" ] || { vitrea_log "no version in CMakeLists.txt"; exit 1; }
# One time for every file in both packages: that of the commit, so a rebuild of it changes nothing.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$VITREA_ROOT" log -1 --format=%ct 2>/dev/null || echo 315532800)}

stage=$VITREA_BUILD/package-stage
rm -rf "$stage"
mkdir -p "$stage" "$out"
names=()
while read -r name; do
    case $name in '' | '#'*) continue ;; esac
    if [ -f "$VITREA_BUILD/$name" ]; then
        cp "$VITREA_BUILD/$name" "$stage/$name"
        names+=("$name")
    elif ninja -C "$VITREA_BUILD" -t targets all 2>/dev/null | cut -d: -f1 | grep -qx -e "$name" -e ".*/$name"; then
        # The program looks for its files beside itself, so one built elsewhere would be lost on the way.
        vitrea_log "the build makes $name, but not beside Vitrea.exe, or it has not been built yet"; exit 1
    else
        vitrea_log "note: $name is not built by this checkout yet; packaged without it"
    fi
done < "$VITREA_ROOT/packaging/files.txt"
# Notepad on Windows 2000 and XP shows a text file's lines only when they end in CR LF.
sed 's/\r*$/\r/' "$VITREA_ROOT/packaging/Readme.txt" > "$stage/Readme.txt"
names+=(Readme.txt)

size_kb=0
{
    echo "; Written by tools/package.sh: the files both packages ship."
    echo "!macro VitreaFiles ACTION"
    for name in "${names[@]}"; do
        echo "    !insertmacro \${ACTION} \"$name\""
        size_kb=$((size_kb + ($(stat -c %s "$stage/$name") + 1023) / 1024))
    done
    echo "!macroend"
    for name in "${names[@]}"; do
        case $name in *.chm) echo "!define VITREA_HELP \"$name\"" ;; esac
    done
} > "$stage/files.nsh"
touch -h -d "@$epoch" "$stage"/*

setup=VitreaSetup-$version.exe
zip=Vitrea-$version.zip
rm -f "$out/$setup" "$out/$zip" "$out/SHA256SUMS"
makensis -V2 -NOCD -INPUTCHARSET UTF8 \
    "-DVERSION=$version" "-DSTAGE=$stage" "-DICON=$VITREA_ROOT/resources/vitrea.ico" \
    "-DOUTFILE=$out/$setup" "-DSIZE_KB=$size_kb" "$VITREA_ROOT/packaging/vitrea.nsi" >&2
python3 "$VITREA_ROOT/packaging/make_zip.py" "$out/$zip" "$stage" "$epoch" "${names[@]}"
(cd "$out" && sha256sum "$setup" "$zip" > SHA256SUMS)

echo "packages in $out:"
for f in "$setup" "$zip"; do printf '  %-24s %8d bytes\n' "$f" "$(stat -c %s "$out/$f")"; done
echo "  files: ${names[*]}"
