#!/usr/bin/env bash
# Checks that each PE file loads on Windows 2000: i386, subsystem version 5.0, only system DLLs that
# Windows 2000 ships, and none of the functions that only later Windows versions have.
# --installer: the rules for the installer and uninstaller, whose prebuilt stub also needs ole32.dll
# (shortcuts, folder browsing), which Windows 2000 ships as well.
set -u
allowed='^(kernel32|user32|gdi32|comctl32|shell32|shlwapi|winmm|advapi32|msvcrt)\.dll$'
if [ "${1:-}" = --installer ]; then
    allowed='^(kernel32|user32|gdi32|comctl32|shell32|shlwapi|winmm|advapi32|msvcrt|ole32)\.dll$'
    shift
fi
# Functions compilers' runtimes like to pull in that Windows 2000 lacks.
newer='^(GetTickCount64|InitializeSRWLock|AcquireSRWLock(Exclusive|Shared)|ReleaseSRWLock(Exclusive|Shared)|TryAcquireSRWLock(Exclusive|Shared)|InitializeConditionVariable|SleepConditionVariable(CS|SRW)|WakeConditionVariable|WakeAllConditionVariable|InitOnce(ExecuteOnce|BeginInitialize|Complete|Initialize)|Fls(Alloc|Free|GetValue|SetValue)|GetSystemTimePreciseAsFileTime|GetSystemTimeAsPreciseFileTime|CreateSymbolicLinkW?|GetFinalPathNameByHandleW?|GetLogicalProcessorInformation(Ex)?|GetCurrentProcessorNumber(Ex)?|CompareStringEx|LCMapStringEx|GetLocaleInfoEx|GetUserDefaultLocaleName|IsValidLocaleName|CreateEventExW?|CreateMutexExW?|CreateSemaphoreExW?|InitializeCriticalSectionEx|InitializeCriticalSectionAndSpinCount|SetThreadStackGuarantee|GetModuleHandleExW?|AddVectoredExceptionHandler|RemoveVectoredExceptionHandler|GetNativeSystemInfo|IsWow64Process|WTSGetActiveConsoleSessionId|GetProcessId|GetThreadId|QueueUserWorkItem|GetLayeredWindowAttributes|PrintWindow|DecodePointer|EncodePointer|HeapSetInformation|SetDllDirectoryW?|AttachConsole|GetConsoleWindow)$'
# Files after --resource-only must also carry no code: no entry point, no code section size, no imports.
# --lean PROGRAM LIBRARY: the program and its hook library must also stay small, and the library, which
# every GUI process of the desktop loads, must carry no C runtime (no start-up, no TLS, no unwind tables)
# and need nothing but kernel32 and user32.
lean_budget=65536     # the program without its resources, and the library, together
library_budget=12288  # the library alone
status=0
resource_only=
lean=
program=
library=
for file in "$@"; do
    if [ "$file" = --resource-only ]; then resource_only=1; continue; fi
    if [ "$file" = --lean ]; then lean=program; continue; fi
    case $lean in
    program) program=$file; lean=library ;;
    library) library=$file; lean= ;;
    esac
    name=$(basename "$file")
    dump=$(i686-w64-mingw32-objdump -p "$file") || { echo "FAIL $name: not a PE file"; status=1; continue; }
    arch=$(i686-w64-mingw32-objdump -f "$file" | sed -n 's/.*architecture: \([^,]*\).*/\1/p')
    major=$(awk '/^MajorSubsystemVersion/ {print $2}' <<<"$dump")
    minor=$(awk '/^MinorSubsystemVersion/ {print $2}' <<<"$dump")
    [ "$arch" = i386 ] || { echo "FAIL $name: architecture $arch"; status=1; }
    [ "$major.$minor" = 5.0 ] || { echo "FAIL $name: subsystem version $major.$minor"; status=1; }
    dlls=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$dump" | sort -u)
    for dll in $dlls; do
        grep -Eq "$allowed" <<<"$dll" || { echo "FAIL $name imports $dll"; status=1; }
    done
    imports=$(awk '/DLL Name:/ {inside=1; next} inside && NF==0 {inside=0} inside && $1 ~ /^[0-9a-f]+$/ && NF>=3 {print $3}' <<<"$dump" | sort -u)
    for fn in $imports; do
        grep -Eq "$newer" <<<"$fn" && { echo "FAIL $name imports $fn, which Windows 2000 lacks"; status=1; }
    done
    if [ -n "$resource_only" ]; then
        entry=$(awk '/^AddressOfEntryPoint/ {print $2}' <<<"$dump")
        code=$(awk '/^SizeOfCode/ {print $2}' <<<"$dump")
        [ "$((16#$entry))" -eq 0 ] && [ "$((16#$code))" -eq 0 ] && [ -z "$dlls" ] ||
            { echo "FAIL $name: a resource-only library has code (entry $entry, code size $code) or imports"; status=1; }
    fi
    echo "$name: i386 PE, subsystem $major.$minor, $(stat -c %s "$file") bytes, imports: $(echo $dlls) ($(wc -w <<<"$imports") functions)"
done

# Bytes a section takes in the file: its size rounded up to the file alignment; 0 when it has none.
section_bytes() {
    local align size
    align=$(i686-w64-mingw32-objdump -p "$1" | awk '/^FileAlignment/ {print $2}')
    size=$(i686-w64-mingw32-objdump -h "$1" | awk -v s="$2" '$2 == s {print $3}')
    [ -n "$size" ] || { echo 0; return; }
    echo $(( (16#$size + 16#$align - 1) / 16#$align * 16#$align ))
}
if [ -n "$program" ] && [ -n "$library" ]; then
    pname=$(basename "$program") lname=$(basename "$library")
    pfile=$(stat -c %s "$program") lfile=$(stat -c %s "$library")
    resources=$(section_bytes "$program" .rsrc)
    bare=$((pfile - resources))
    echo "$pname: $pfile bytes, $resources of them resources, code (.text) $(section_bytes "$program" .text)"
    echo "$pname without resources $bare + $lname $lfile = $((bare + lfile)) bytes (goal <= $lean_budget)"
    echo "$lname: $lfile bytes, code (.text) $(section_bytes "$library" .text) (goal <= $library_budget)"
    [ $((bare + lfile)) -le $lean_budget ] ||
        { echo "FAIL $pname without resources and $lname take $((bare + lfile)) bytes, over $lean_budget"; status=1; }
    [ "$lfile" -le $library_budget ] || { echo "FAIL $lname takes $lfile bytes, over $library_budget"; status=1; }
    ldump=$(i686-w64-mingw32-objdump -p "$library")
    # The data directories that a C runtime or unwind tables fill in.
    for entry in "3 an exception directory" "9 a TLS directory"; do
        awk -v e="${entry%% *}" '$1 == "Entry" && $2 == e && ($3 != "00000000" || $4 != "00000000") {found=1}
            END {exit !found}' <<<"$ldump" && { echo "FAIL $lname has ${entry#* }"; status=1; }
    done
    # Image section names are cut to eight characters: .eh_frame shows as .eh_fram.
    sections=$(i686-w64-mingw32-objdump -h "$library" | awk '$1 ~ /^[0-9]+$/ {print $2}')
    for section in $sections; do
        case $section in
        .eh_fram* | .pdata | .xdata | .tls | .CRT) echo "FAIL $lname has a $section section"; status=1 ;;
        esac
    done
    for dll in $(awk '/DLL Name:/ {print tolower($3)}' <<<"$ldump" | sort -u); do
        case $dll in
        kernel32.dll | user32.dll) ;;
        *) echo "FAIL $lname imports $dll: only kernel32 and user32 may be loaded into every process"; status=1 ;;
        esac
    done
elif [ -n "$program$lean" ]; then
    echo "FAIL --lean needs a program and its library"; status=1
fi
[ $status -eq 0 ] && echo "PE check passed" || echo "PE check FAILED"
exit $status
