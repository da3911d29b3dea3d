// counts.dll: loaded by the fuzzer into the running Vitrea.exe (never shipped, never loaded by Vitrea itself)
// to read what the runtime keeps out of reach of other processes: the GDI objects and the USER objects of
// that process. Each export is a thread routine started from outside with CreateRemoteThread; its exit code
// is the answer. Leak and Release leak objects on purpose, on request only, so that the fuzzer can show that
// each count rises when something is left behind.
#include <windows.h>
#include <vector>

namespace {
// Leaked on request, released on request: all touched by remote threads one at a time.
std::vector<HGDIOBJ> leakedGdi;
std::vector<HMENU> leakedMenus;
std::vector<void*> leakedMemory;
HANDLE releaseWindows; // set by Release: the thread that holds the leaked windows destroys them and ends

DWORD CountMenus() {
    // USER handles are 0x20 plus twice a table index in the low word; a high word of 0 matches any generation.
    DWORD found = 0;
    for (UINT_PTR slot = 0x20; slot < 0x10000; slot += 2)
        if (IsMenu(reinterpret_cast<HMENU>(slot))) ++found;
    return found;
}

BOOL CALLBACK CountOwnWindow(HWND window, LPARAM parameter) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == GetCurrentProcessId()) {
        ++*reinterpret_cast<DWORD*>(parameter);
        EnumChildWindows(window, CountOwnWindow, parameter);
    }
    return TRUE;
}

DWORD CountWindows() {
    DWORD found = 0;
    EnumWindows(CountOwnWindow, reinterpret_cast<LPARAM>(&found));
    // Message-only windows are windows too.
    for (HWND w = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); w;
         w = FindWindowExW(HWND_MESSAGE, w, nullptr, nullptr))
        CountOwnWindow(w, reinterpret_cast<LPARAM>(&found));
    return found;
}

LRESULT CALLBACK LeakedWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

// Windows belong to the thread that made them and go with it, so a leak of windows keeps its thread.
DWORD LeakWindows(DWORD count) {
    WNDCLASSW cls = {};
    cls.lpfnWndProc = LeakedWindowProc;
    cls.hInstance = GetModuleHandleW(L"counts.dll");
    cls.lpszClassName = L"VitreaCountsLeak";
    RegisterClassW(&cls);
    std::vector<HWND> windows;
    for (DWORD i = 0; i < count; ++i)
        windows.push_back(CreateWindowExW(0, cls.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                          cls.hInstance, nullptr));
    while (MsgWaitForMultipleObjects(1, &releaseWindows, FALSE, 60000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    for (HWND window : windows) DestroyWindow(window);
    return count;
}
} // namespace

extern "C" {
// Occupied slots of this process's GDI handle table.
__declspec(dllexport) DWORD WINAPI GdiObjects(LPVOID) {
    DWORD found = 0;
    for (UINT_PTR slot = 1; slot < 0x10000; ++slot)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(slot))) ++found;
    return found;
}

// Occupied slots holding objects of one type (OBJ_PEN, OBJ_BRUSH, OBJ_DC, ...), to tell where growth lies.
__declspec(dllexport) DWORD WINAPI GdiObjectsOfType(LPVOID type) {
    DWORD found = 0;
    for (UINT_PTR slot = 1; slot < 0x10000; ++slot)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) == reinterpret_cast<UINT_PTR>(type)) ++found;
    return found;
}

// The brushes there are now, remembered; the next call of NewBrushColour names the colour of a brush made
// since (or CLR_INVALID): lazily made brushes of the system colours tell themselves apart from a leak that way.
std::vector<bool> knownBrushes;
__declspec(dllexport) DWORD WINAPI RememberBrushes(LPVOID) {
    knownBrushes.assign(0x10000, false);
    DWORD found = 0;
    for (UINT_PTR slot = 1; slot < 0x10000; ++slot)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) == OBJ_BRUSH) knownBrushes[slot] = ++found != 0;
    return found;
}

__declspec(dllexport) DWORD WINAPI NewBrushColour(LPVOID) {
    for (UINT_PTR slot = 1; slot < 0x10000 && !knownBrushes.empty(); ++slot) {
        LOGBRUSH brush = {};
        if (!knownBrushes[slot] && GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) == OBJ_BRUSH &&
            GetObjectW(reinterpret_cast<HGDIOBJ>(slot), sizeof brush, &brush))
            return brush.lbColor;
    }
    return CLR_INVALID;
}

// The runtime keeps the device contexts it lends to windows (each with its visible region) in a cache of up to
// 64, and takes a new one, kept from then on, whenever none is free that is blank or was lent to the same window:
// which happens at moments no one chooses. Filled to its bound before the first figure, the cache no longer
// grows; a context never given back still takes one more each time.
__declspec(dllexport) DWORD WINAPI FillDcCache(LPVOID count) {
    std::vector<HDC> held;
    for (UINT_PTR i = 0; i < reinterpret_cast<UINT_PTR>(count); ++i)
        if (HDC dc = GetDC(nullptr)) held.push_back(dc);
    for (HDC dc : held) ReleaseDC(nullptr, dc);
    return static_cast<DWORD>(held.size());
}

// Windows of this process (top-level, child and message-only) plus its menus.
__declspec(dllexport) DWORD WINAPI UserObjects(LPVOID) { return CountWindows() + CountMenus(); }

// Kind in the high word (1 brushes, 2 menus, 3 windows, 4 blocks of 64 KB of touched memory), count in the
// low word. The windows' thread answers only once they are released.
__declspec(dllexport) DWORD WINAPI Leak(LPVOID parameter) {
    auto value = reinterpret_cast<UINT_PTR>(parameter);
    DWORD kind = static_cast<DWORD>(value >> 16), count = static_cast<DWORD>(value & 0xFFFF);
    for (DWORD i = 0; i < count; ++i) {
        switch (kind) {
        case 1: leakedGdi.push_back(CreateSolidBrush(RGB(i, 1, 2))); break;
        case 2: leakedMenus.push_back(CreatePopupMenu()); break;
        case 4: {
            void* block = VirtualAlloc(nullptr, 65536, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
            if (block) FillMemory(block, 65536, 0x5A);
            leakedMemory.push_back(block);
            break;
        }
        }
    }
    if (kind == 3) {
        if (!releaseWindows) releaseWindows = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ResetEvent(releaseWindows);
        return LeakWindows(count);
    }
    return count;
}

__declspec(dllexport) DWORD WINAPI Release(LPVOID) {
    for (HGDIOBJ object : leakedGdi) DeleteObject(object);
    for (HMENU menu : leakedMenus) DestroyMenu(menu);
    for (void* block : leakedMemory) VirtualFree(block, 0, MEM_RELEASE);
    leakedGdi.clear();
    leakedMenus.clear();
    leakedMemory.clear();
    if (releaseWindows) SetEvent(releaseWindows);
    return 0;
}
}
