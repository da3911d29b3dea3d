#pragma once
#include <windows.h>
#include "core/answer.h"

// The help viewer's title, set by the window definition of the help project, by which an open viewer is found.
constexpr WCHAR helpWindowTitle[] = L"Vitrea Help";
constexpr WCHAR helpFileName[] = L"Vitrea.chm";

// Worker threads of the menu commands, each started with no parameter and its handle closed at once.
DWORD WINAPI AboutThreadProc(LPVOID);
DWORD WINAPI HelpThreadProc(LPVOID);
DWORD WINAPI HomePageThreadProc(LPVOID);
DWORD WINAPI QuitThreadProc(LPVOID);
void StartWorker(LPTHREAD_START_ROUTINE procedure);

LRESULT CALLBACK AboutWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The full path of the help file: the program's own folder, wherever it was started from.
void HelpFilePath(WCHAR* path, DWORD capacity);

// True when a menu's loop is running: the menu is ended and the window closed once the loop has returned.
bool CloseAfterMenuLoop();
Answer OnEnterMenuLoop(HWND window, WPARAM wParam, LPARAM lParam);
Answer OnExitMenuLoop(HWND window, WPARAM wParam, LPARAM lParam);
