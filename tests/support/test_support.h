#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <vector>
#include "core/settings.h"

struct RegValue {
    bool present = false;
    DWORD type = 0;
    std::vector<BYTE> data;
};

// Plain registry access under HKEY_CURRENT_USER, independent of the code under test.
RegValue ReadValue(const WCHAR* name, const WCHAR* key = settingsKey);
// A REG_SZ value as stored, exactly its bytes (the program stores names without their NUL); "(none)" when it
// is missing or of another type.
std::wstring ReadString(const WCHAR* name, const WCHAR* key = settingsKey);
void WriteValue(const WCHAR* name, DWORD type, const void* data, DWORD size, const WCHAR* key = settingsKey);
void WriteByteValue(const WCHAR* name, BYTE value);
// The one byte stored under the program's key, or -1 while it is missing or not a single binary byte.
int StoredByte(const WCHAR* name);
void DeleteSettingsKey();

// Pumps this thread's messages until the condition holds or the time runs out.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = 10000);
void PumpMessages(DWORD forMs);

// The layered alpha a window shows, or -1 when it is not layered with an alpha.
int LayeredAlpha(HWND window);
bool IsLayered(HWND window);
// The alpha the taskbar shows: -1 while it is not layered, 255 while it is layered with no alpha.
int TaskbarAlpha();
// Polls a window's layered alpha until `done` holds or 5 s pass, pumping messages; returns each value seen
// once, in order.
std::vector<int> WatchAlpha(HWND window, const std::function<bool(int)>& done);
bool Monotonic(const std::vector<int>& values, bool rising);

// Removes a folder and everything in it; a folder that is not there is no error.
void DeleteTree(const std::wstring& folder);

std::wstring WindowText(HWND window);
std::wstring ClassName(HWND window);
std::vector<std::wstring> ComboItems(HWND combo);
std::vector<HWND> Children(HWND parent);
int Selection(HWND combo);
// A window procedure that does nothing of its own, for stand-in windows of a given class.
LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The threads of a process, and whether a thread starts at an address inside [begin, end): the threads a
// program started itself start inside its image.
std::vector<DWORD> ThreadsOf(DWORD processId);
bool StartsWithin(DWORD threadId, const BYTE* begin, const BYTE* end);

// Pixels of the screen, row by row.
using Pixels = std::vector<COLORREF>;
Pixels ScreenBlock(const RECT& r);
// A check box or radio as DrawFrameControl draws it on a background of the given system colour.
// The square is the menus' check size unless another size is given.
Pixels ReferenceMark(UINT state, int background, SIZE size = {});

// Runs an action that tracks a menu on this thread (a click on the options button, a right click on the tray
// icon), ending every menu as soon as its loop runs.
void WithMenusEnded(const std::function<void()>& action);
// The menu windows a process shows at the moment.
std::vector<HWND> VisibleMenus(DWORD pid);
