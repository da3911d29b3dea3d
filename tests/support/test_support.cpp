#include "support/test_support.h"
#include <shlwapi.h>
#include <shellapi.h>
#include <tlhelp32.h>

RegValue ReadValue(const WCHAR* name, const WCHAR* key) {
    RegValue value;
    HKEY handle;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return value;
    DWORD size = 0;
    if (RegQueryValueExW(handle, name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.data.resize(size);
        value.present = RegQueryValueExW(handle, name, nullptr, &value.type, value.data.data(), &size) ==
                        ERROR_SUCCESS;
        value.data.resize(size);
    }
    RegCloseKey(handle);
    return value;
}

std::wstring ReadString(const WCHAR* name, const WCHAR* key) {
    RegValue value = ReadValue(name, key);
    if (!value.present || value.type != REG_SZ) return L"(none)";
    return std::wstring(reinterpret_cast<const WCHAR*>(value.data.data()), value.data.size() / sizeof(WCHAR));
}

void WriteValue(const WCHAR* name, DWORD type, const void* data, DWORD size, const WCHAR* key) {
    HKEY handle;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr) !=
        ERROR_SUCCESS)
        return;
    // A non-NUL sentinel stops the registry from stretching a string over a NUL that follows it.
    std::vector<BYTE> bytes(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
    bytes.insert(bytes.end(), {0xFF, 0xFF});
    RegSetValueExW(handle, name, 0, type, bytes.data(), size);
    RegCloseKey(handle);
}

void WriteByteValue(const WCHAR* name, BYTE value) { WriteValue(name, REG_BINARY, &value, 1); }

int StoredByte(const WCHAR* name) {
    RegValue value = ReadValue(name);
    return value.present && value.type == REG_BINARY && value.data.size() == 1 ? value.data[0] : -1;
}

void DeleteSettingsKey() { SHDeleteKeyW(HKEY_CURRENT_USER, settingsKey); }

void PumpMessages(DWORD forMs) {
    DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(5);
    } while (GetTickCount() - start < forMs);
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs) return false;
        PumpMessages(20);
    }
    return true;
}

bool IsLayered(HWND window) { return (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LAYERED) != 0; }

int TaskbarAlpha() {
    HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
    if (!IsLayered(taskbar)) return -1;
    int alpha = LayeredAlpha(taskbar);
    return alpha < 0 ? 255 : alpha;
}

int LayeredAlpha(HWND window) {
    // Looked up by name: the in-process tests build for Windows 2000, which lacks it.
    using GetLayeredFn = BOOL(WINAPI*)(HWND, COLORREF*, BYTE*, DWORD*);
    static auto get = reinterpret_cast<GetLayeredFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetLayeredWindowAttributes")));
    COLORREF key = 0;
    BYTE alpha = 0;
    DWORD flags = 0;
    if (!(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LAYERED) || !get || !get(window, &key, &alpha, &flags))
        return -1;
    if (!(flags & LWA_ALPHA)) return -1;
    return alpha;
}

std::vector<int> WatchAlpha(HWND window, const std::function<bool(int)>& done) {
    std::vector<int> seen;
    DWORD start = GetTickCount();
    for (;;) {
        int alpha = LayeredAlpha(window);
        if (seen.empty() || seen.back() != alpha) seen.push_back(alpha);
        if (done(alpha) || GetTickCount() - start > 5000) return seen;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        Sleep(1);
    }
}

bool Monotonic(const std::vector<int>& values, bool rising) {
    for (size_t i = 1; i < values.size(); ++i)
        if (rising ? values[i] < values[i - 1] : values[i] > values[i - 1]) return false;
    return true;
}

std::wstring WindowText(HWND window) {
    WCHAR text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

std::wstring ClassName(HWND window) {
    WCHAR name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

std::vector<std::wstring> ComboItems(HWND combo) {
    std::vector<std::wstring> items;
    LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        WCHAR text[256] = {};
        SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        items.push_back(text);
    }
    return items;
}

int Selection(HWND combo) { return static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0)); }

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

std::vector<DWORD> ThreadsOf(DWORD processId) {
    std::vector<DWORD> threads;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {sizeof entry};
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == processId) threads.push_back(entry.th32ThreadID);
    CloseHandle(snapshot);
    return threads;
}

bool StartsWithin(DWORD threadId, const BYTE* begin, const BYTE* end) {
    using QueryThreadFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    static auto query = reinterpret_cast<QueryThreadFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    constexpr int threadStartAddress = 9; // ThreadQuerySetWin32StartAddress
    HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, threadId);
    if (!thread) return false;
    const BYTE* start = nullptr;
    bool within = query && query(thread, threadStartAddress, &start, sizeof start, nullptr) == 0 &&
                  start >= begin && start < end;
    CloseHandle(thread);
    return within;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

void DeleteTree(const std::wstring& folder) {
    std::wstring from = folder + L'\0'; // the list ends with a second NUL
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationW(&operation);
}

Pixels ScreenBlock(const RECT& r) {
    Pixels pixels;
    HDC screen = GetDC(nullptr);
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) pixels.push_back(GetPixel(screen, x, y));
    ReleaseDC(nullptr, screen);
    return pixels;
}
Pixels ReferenceMark(UINT state, int background, SIZE size) {
    int width = size.cx ? size.cx : GetSystemMetrics(SM_CXMENUCHECK);
    int height = size.cy ? size.cy : GetSystemMetrics(SM_CYMENUCHECK);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT r = {0, 0, width, height};
    FillRect(dc, &r, GetSysColorBrush(background));
    DrawFrameControl(dc, &r, DFC_BUTTON, state);
    Pixels pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) pixels.push_back(GetPixel(dc, x, y));
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return pixels;
}

namespace {
void CALLBACK EndMenuTick(HWND, UINT, UINT_PTR, DWORD) { EndMenu(); }
} // namespace

void WithMenusEnded(const std::function<void()>& action) {
    UINT_PTR timer = SetTimer(nullptr, 0, 10, EndMenuTick);
    action();
    KillTimer(nullptr, timer);
}

std::vector<HWND> VisibleMenus(DWORD pid) {
    std::vector<HWND> open;
    for (HWND w = FindWindowExW(nullptr, nullptr, L"#32768", nullptr); w;
         w = FindWindowExW(nullptr, w, L"#32768", nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid && IsWindowVisible(w)) open.push_back(w);
    }
    return open;
}
