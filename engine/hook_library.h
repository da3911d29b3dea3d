#pragma once
#include <windows.h>
#include "core/protocol.h"

// Loads Vitrea.dll from the program's own folder (never the search path) and calls InitializeDll.
// Returns false, and the program runs on without the library, when it cannot be loaded.
bool HookLibraryInitialize(const SetHooks& hooks);
// Hands a settings change or a start or end of Vitrea's own menus, once handled, on to the library, which
// follows them in its hooks. Nothing without the library.
void HookLibraryFollow(UINT message, WPARAM wParam, LPARAM lParam);
// Calls UninitializeDll and unloads the library, if it was loaded.
void HookLibraryUninitialize();
