#!/usr/bin/env bash
# Checks the packages in a dist folder against the build they came from: checksums, the zip's file list and
# bytes, the PE check of every program file and of the installer, and the same bytes from a second run and
# from a build in another folder.
# Usage: check_packages.sh <dist folder> <build folder>
set -u
dist=$1 build=$2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
failures=0
check() { if eval "$2"; then echo "PASS $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi; }

setup=$(cd "$dist" && ls VitreaSetup-*.exe) zip=$(cd "$dist" && ls Vitrea-*.zip)
check "SHA256SUMS covers both packages" '(cd "$dist" && sha256sum --quiet -c SHA256SUMS) && [ "$(wc -l < "$dist/SHA256SUMS")" = 2 ]'

# What the zip must hold: every listed file the build made, then the readme.
expected=$(sed -e '/^#/d' -e '/^$/d' "$root/packaging/files.txt" | while read -r n; do
    [ -f "$build/$n" ] && echo "$n"; done; echo Readme.txt)
listed=$(python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$dist/$zip")
check "the zip holds the built files and the readme, in order" '[ "$listed" = "$expected" ]'

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
python3 -m zipfile -e "$dist/$zip" "$unpacked"
same=1
for n in $expected; do
    [ "$n" = Readme.txt ] && continue
    cmp -s "$build/$n" "$unpacked/$n" || { echo "  $n differs from the build's"; same=0; }
done
check "the zip's files are the build's" '[ $same = 1 ]'
check "the readme has Windows line ends" '! grep -qv $'"'"'\r$'"'"' "$unpacked/Readme.txt"'
pe=$(cd "$unpacked" && ls -- *.exe *.dll 2>/dev/null)
check "every program file in the zip passes the PE check" '(cd "$unpacked" && "$root/tools/pecheck.sh" $pe)'
# A link time in a header would make every rebuild of the same commit give other packages.
stamped=$(cd "$unpacked" && python3 -c 'import struct, sys
for n in sys.argv[1:]:
    d = open(n, "rb").read(4096)
    if struct.unpack_from("<I", d, struct.unpack_from("<I", d, 0x3C)[0] + 8)[0]: print(n)' $pe)
check "no program file in the zip carries its link time" '[ -z "$stamped" ] || { echo "  stamped: $stamped"; false; }'
check "the installer passes the PE check" '"$root/tools/pecheck.sh" --installer "$dist/$setup"'

again=$build/dist-again
rm -rf "$again"
check "a second run of the package command" 'VITREA_BUILD=$build "$root/tools/package.sh" --no-build "$again" >/dev/null 2>&1'
check "gives a byte-identical installer" 'cmp "$dist/$setup" "$again/$setup"'
check "gives a byte-identical zip" 'cmp "$dist/$zip" "$again/$zip"'

# The same sources in a folder of another name and length, built there (only what the packages ship) and
# packaged there, give the same bytes: no path or leftover memory of the build may reach a package.
elsewhere=$(mktemp -d "${TMPDIR:-/tmp}/vitrea-built-elsewhere.XXXXXXXX")
trap 'rm -rf "$unpacked" "$elsewhere"' EXIT
other=$elsewhere/build
[ ${#other} != ${#build} ] || other=$elsewhere/build-elsewhere
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
    tar --null --ignore-failed-read -T - -cf - 2>/dev/null) | (mkdir -p "$elsewhere/src" && tar -xf - -C "$elsewhere/src")
shipped=$(for n in $expected; do [ -f "$build/$n" ] && echo "$n"; done)
# Its package command reads the commit's time through the same repository.
gitdir=$(git -C "$root" rev-parse --absolute-git-dir 2>/dev/null)
check "the same sources build and package in another folder" 'cmake -S "$elsewhere/src" -B "$other" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$elsewhere/src/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DBUILD_TESTING=OFF >"$elsewhere/log" 2>&1 && ninja -C "$other" $shipped >>"$elsewhere/log" 2>&1 &&
    env ${gitdir:+GIT_DIR="$gitdir"} VITREA_BUILD="$other" "$elsewhere/src/tools/package.sh" --no-build \
        "$elsewhere/dist" >>"$elsewhere/log" 2>&1 || { tail -20 "$elsewhere/log"; false; }'
for n in $shipped; do cmp -s "$build/$n" "$other/$n" || echo "  $n differs when built in $other"; done
check "giving a byte-identical installer" 'cmp "$dist/$setup" "$elsewhere/dist/$setup"'
check "and a byte-identical zip" 'cmp "$dist/$zip" "$elsewhere/dist/$zip"'

[ $failures = 0 ] && echo "packages: all checks passed" || echo "packages: $failures checks failed"
[ $failures = 0 ]
