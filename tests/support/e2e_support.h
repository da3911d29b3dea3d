#pragma once
#include <windows.h>
#include <string>
#include "support/test_support.h"
#include "core/protocol.h"

// Paths of the shipped binaries and test helpers, handed to the test program by ctest as Unix paths.
struct Binaries {
    std::wstring vitreaExe, vitreaDll, probeExe, plantedDll;
};
const Binaries& Built();
std::wstring WindowsPath(const std::string& unixPath);
std::wstring FolderOf(const std::wstring& path);
// Vitrea.exe, its hook library and both skins copied into a fresh folder of that name under the temporary
// folder, so that a test can take a skin's file away; empty when a copy failed.
std::wstring CopyProgram(const WCHAR* folderName);

// A program of the runtime started by the test, ended by the test if it is still running at the end.
struct Process {
    PROCESS_INFORMATION info = {};
    Process() = default;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process();
    // `flags` are CreateProcess's: CREATE_SUSPENDED holds the program until ResumeThread(info.hThread).
    bool Start(const std::wstring& exe, const std::wstring& arguments = L"", const std::wstring& folder = L"",
               DWORD flags = 0);
    // Waits for the exit and returns the exit code, or STILL_ACTIVE on time-out.
    DWORD Wait(DWORD timeoutMs = 15000);
    bool Running() const;
};

// The test library's global CBT hook, installed for the object's lifetime, refusing every curtain and About
// window in any process; `refused` is set each time it refuses one.
struct WindowRefuser {
    WindowRefuser();
    ~WindowRefuser();
    HANDLE refused = nullptr;
    HMODULE library = nullptr;
    HHOOK hook = nullptr;
};

// The settings window of a running Vitrea, found by its class and title and owned by the given process.
HWND FindVitreaWindow(const Process& process, DWORD timeoutMs = 20000);
// Threads of the program that it started itself (at a function of its own image), besides the thread of
// `mainWindow`: curtain and fade threads. None left means no fade is running any more.
std::vector<DWORD> ProgramThreads(const Process& process, HWND mainWindow);
// The control of a program that holds the keyboard focus, asked of the window's own thread.
HWND FocusOf(HWND window);
// Whether a window's thread answers a message within the time.
bool Answers(HWND window, UINT waitMs = 200);
// Closes the process's open menus: Escape, and where the key goes elsewhere, a cancel sent to their owner.
bool EscapeMenus(DWORD pid);
// Closes every Vitrea of the desktop and clears its settings, so each test starts from nothing.
void EndAllVitreas();
// Asks the shell, without changing anything, whether the program's icon is in the notification area.
bool TrayIconExists(HWND owner);
// A balloon the shell shows at a tray icon: under the runtime, a visible balloon tooltip of the shell's
// process. Its text is the tooltip's window text; its title, which the tooltip does not give out, is the
// one the test library's hook saw it given. No window while none is shown.
struct Balloon {
    HWND window = nullptr;
    std::wstring title, text;
};
Balloon ShownBalloon();
// Puts the hook that keeps balloon titles in place for the rest of the test program; false if it cannot be.
bool KeepBalloonTitles();
// Waits for the balloon that says why a skin was refused, and checks its title.
Balloon WaitForRefusal(const std::wstring& skin, const std::wstring& reason);
// Runs a shell command line on the host (no double quotes in it) and waits until it has finished.
void RunHost(const std::wstring& command);
// Forces the Windows version that the runtime reports to one program ("win7", "win2k"); empty clears it.
void SetProgramWindowsVersion(const WCHAR* exeName, const WCHAR* version);

// Real input through the X server, each call over (its input delivered to the X server) when it returns.
void Xdotool(const std::wstring& arguments);
void MoveTo(POINT at);
void ClickAt(POINT at, const std::wstring& clicks = L"click 1");
// Moves the pointer to a corner, away from where windows appear, before and after each test that clicks the
// tray icon: a window shown under the pointer can pull the runtime's cursor back there for a moment, and a
// click on the icon then lands at the old place.
void ParkPointer();
POINT CentreOf(const RECT& r);
RECT ScreenRect(HWND window);

// The inside of a check box or radio read from the screen: white where it is empty, dark under the mark,
// anything else (the face colour of a pushed or inactive mark, or no mark at all).
struct BoxInside {
    int white = 0, dark = 0, other = 0;
    bool Empty() const { return other == 0 && dark == 0; }
    bool Checked() const { return other == 0 && dark > 5; }
};
BoxInside InsideOnScreen(const RECT& inside);
// The check box whose square starts one pixel into a check button.
BoxInside BoxOnScreen(HWND button);
