#!/usr/bin/env bash
# The set-up adds bookworm-backports through the address the machine's own apt sources use for bookworm:
# each case lays sample source files under a folder of its own and reads them as the set-up does.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/../tools/runtime.sh"
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failures=0

# case name | suite | what is expected | files, each "path=content" with \n for line ends, separated by " ;; "
while IFS='|' read -r name suite expected files; do
    [ -n "$name" ] || continue
    rm -rf "${root:?}"/* && mkdir -p "$root/etc/apt/sources.list.d"
    while [ -n "$files" ]; do
        file=${files%% ;; *}
        [ "$file" = "$files" ] && files= || files=${files#* ;; }
        printf '%b\n' "${file#*=}" > "$root/etc/apt/${file%%=*}"
    done
    got=$(vitrea_apt_archive "$suite" "$root")
    if [ "$got" = "$expected" ]; then echo "PASS $name"; else
        echo "FAIL $name: got '$got', expected '$expected'"; failures=$((failures + 1)); fi
done <<'CASES'
one-line, beside security|bookworm|http://apt.example/debian|sources.list=deb http://apt.example/security bookworm-security main\ndeb http://apt.example/debian bookworm main
options kept, comments and discs skipped|bookworm|[arch=amd64 signed-by=/k.gpg] http://proxy.example:3142/debian|sources.list=# deb http://old.example/debian bookworm main\ndeb cdrom:[Debian_12_DVD]/ bookworm main\n  deb [arch=amd64 signed-by=/k.gpg] http://proxy.example:3142/debian bookworm main # ours
deb822, comment inside, second suite|bookworm|[signed-by=/usr/share/keyrings/k.gpg] http://apt.example/debian|sources.list.d/debian.sources=Types: deb\n# a snapshot\nURIs: http://apt.example/debian\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: /usr/share/keyrings/k.gpg
deb822, disabled and source-only stanzas passed over|bookworm|http://b.example/debian|sources.list.d/a.sources=Types: deb\nURIs: http://a.example/debian\nSuites: bookworm\nEnabled: no\n\nTypes: deb-src\nURIs: http://src.example/debian\nSuites: bookworm\n\ntypes: deb-src deb\nuris: http://b.example/debian http://c.example/debian\nsuites: bookworm\n
deb822, key written inline|bookworm|http://apt.example/debian|sources.list.d/d.sources=Types: deb\nURIs: http://apt.example/debian\nSuites: bookworm\nSigned-By:\n -----BEGIN PGP PUBLIC KEY BLOCK-----\n .\n -----END PGP PUBLIC KEY BLOCK-----
a list file beside an unrelated source|bookworm|http://apt.example/debian|sources.list.d/other.sources=Types: deb\nURIs: http://other.example/repo\nSuites: stable ;; sources.list.d/mirror.list=deb http://apt.example/debian bookworm main
backports already there|bookworm-backports|http://apt.example/debian|sources.list=deb http://apt.example/debian bookworm main ;; sources.list.d/bp.list=deb http://apt.example/debian bookworm-backports main
backports not there yet|bookworm-backports||sources.list=deb http://apt.example/debian bookworm main
no sources at all|bookworm||
CASES

[ $failures = 0 ] && echo "apt sources: all cases passed" || echo "apt sources: $failures cases failed"
[ $failures = 0 ]
