#pragma once
// Real input through the X server, as a mouse and a keyboard give it, for the end-to-end tests and the fuzzer.
// The runtime starts a Linux program and returns at once, with no exit code to read: a file the shell leaves
// once the command has finished tells that its input is in. Input still on its way when the next step (or the
// next test) begins would land in the middle of it.
#include <windows.h>
#include <string>

// Starts a Linux program; false when it did not start. The runtime hands back no handles for one: the
// process handle is null and the other fields are what an earlier call left there (seen: the thread handle
// of a program started before and still open), so closing them would close a handle of someone else's.
inline bool StartHostProgram(std::wstring line) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    if (process.hProcess) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    return true;
}

// Starts a shell command line on the host (no double quotes in it); returns the file (a Windows path) that
// appears once it has finished, or nothing when it did not start.
inline std::wstring StartHostCommand(const std::wstring& command) {
    static LONG runs = 0;
    std::wstring done = L"/tmp/vitrea-host-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                        std::to_wstring(InterlockedIncrement(&runs));
    if (!StartHostProgram(L"/bin/sh -c \"" + command + L"; : > " + done + L"\"")) return L"";
    for (WCHAR& c : done)
        if (c == L'/') c = L'\\';
    return L"Z:" + done;
}

inline std::wstring StartXdotool(const std::wstring& arguments) {
    return StartHostCommand(L"/usr/bin/xdotool " + arguments);
}

// True, and the file removed, once the command started with it has finished.
inline bool XdotoolFinished(const std::wstring& done) {
    if (done.empty() || GetFileAttributesW(done.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    DeleteFileW(done.c_str());
    return true;
}
