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
status=0
resource_only=
for file in "$@"; do
    if [ "$file" = --resource-only ]; then resource_only=1; continue; fi
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
[ $status -eq 0 ] && echo "PE check passed" || echo "PE check FAILED"
exit $status
