// probe: looks at and pokes the Win32 side of a running Vitrea from a second process, for end-to-end tests.
//
// Usage: probe <command> [args]. Numbers are decimal (a leading '-' allowed) or 0x-hex. Output is UTF-8,
// '\n' line ends, diagnostics on stderr. Exit code 0 = success, 1 = not found / failed, 2 = bad usage.
// HWND prints as 0x%08X (uppercase hex). Quoted texts escape \ " as \\ \" and CR LF TAB as \r \n \t;
// inside items="..." a '|' within an item is written \|.
//
//   find <class|-> <title|-> [timeoutMs]      0x00010042                     ('-' = any; polls every 20 ms)
//   send <hwnd> <msg|reg:NAME> <wParam> <lParam>   -5                        (signed 32-bit result, 10 s timeout)
//   post <hwnd> <msg|reg:NAME> <wParam> <lParam>   ok
//   regget <subkey> <value>                   REG_BINARY 1 45                (HKCU; hex bytes uppercase, none
//                                                                             when size is 0: "REG_SZ 0 ")
//   regset <subkey> <value> <sz|binary|dword> <data>   ok                    (sz stored without NUL)
//   regdel <subkey> [value]                   deleted | absent               (no value = whole key tree)
//   info <hwnd>                               class <name>
//                                             title <text>                   (raw, unquoted, rest of line)
//                                             rect <l> <t> <r> <b>
//                                             client <w> <h>
//                                             style 0x%08X
//                                             exstyle 0x%08X
//                                             visible 0|1
//                                             enabled 0|1
//                                             iconic 0|1
//                                             pid <n>
//                                             layered 0|1 alpha <n> flags <n>   (layered 0 -> alpha 255 flags 0)
//                                             foreground 0|1
//   children <hwnd>   per direct child, Z order:
//       hwnd=0x.. class=<c> text="<t>" x=<n> y=<n> w=<n> h=<n> enabled=0|1 visible=0|1 style=0x%08X id=<n>
//       ComboBox adds:          items="a|b|c" sel=<n>     (sel -1 = none)
//       msctls_trackbar32 adds: pos=<n> min=<n> max=<n>
//   pixel <x> <y>                             RRGGBB                         (screen coordinates)
//   windows <class>   per top-level window:   hwnd=0x.. x=<n> y=<n> w=<n> h=<n> visible=0|1 text="<t>"
//                                                                            (exit 1 when there is none)
//   record <file> <text>                     ok                             (writes text, UTF-16, no NUL)
//   target <title> <x> <y> <w> <h> [layered] [shadow] [controls] [dies]
//       prints the top window's handle, then serves it until it is closed. Windows, by index:
//       0 top, 1 A, 2 A1 (in A), 3 B (hidden), 4 B1 (in B), 5 C; children have ids 1..5 and texts A, A1, ...
//       Each paints itself one solid colour (see kPaintColor) and counts its WM_PAINTs. The top window answers
//       WM_APP+1 (wParam = index) with that paint count, WM_APP+2 with that window's handle, WM_APP+3 by
//       zeroing every count and every sighting, WM_APP+4 with the count of WM_KEYDOWN/WM_SYSKEYDOWN for
//       virtual key wParam (0..255), of WM_CHAR/WM_SYSCHAR (256), of entries into menu mode (257) or of
//       WM_MOUSEWHEEL notches away from the user (258) and towards the user (259) that reached the top
//       window, itself or passed up from a child.
//       Whenever the top window gains or loses WS_EX_LAYERED or is hidden, it notes what it sees of
//       Vitrea's curtains (class VitreaFakeClass) at that moment; WM_APP+6 answers wParam 0xFFFF with the
//       number of such sightings and wParam 16 * sighting + field with one field: 0 what (1 layered,
//       2 no longer layered, 3 hidden), 1 visible curtains, 2 the first one's handle, 3-6 its rectangle,
//       7 its extended style, 8 its process id. WM_APP+5 paints at once whatever waits to be painted in
//       the tree and answers 0. `controls` adds a ComboBox (id 6, items one|two|three, sel 1) and a trackbar
//       (id 7, range 0..100, pos 40). `layered` = WS_EX_LAYERED at alpha 255; `shadow` = CS_DROPSHADOW.
//       WM_APP+7 (posted) makes it answer nothing for wParam ms or until the named event "VitreaProbeWake"
//       is set, as a hung program would. `dies` makes the top window destroy itself when it is asked to
//       become layered (VITREA_SETLAYEREDSTYLE 1), as a program closing mid-apply.
//   keepalive                                 ready 0x<tray hwnd>            (then serves until WM_CLOSE)
//   waitgone <hwnd> <timeoutMs>               gone (exit 0) | alive (exit 1)
//   shell <x> <y> <w> <h>                     0x<hwnd>, then serves until WM_CLOSE
//       a stand-in taskbar: a topmost "Shell_TrayWnd" that keeps tray icons (NIM_ADD, NIM_MODIFY and
//       NIM_DELETE answer as a shell does) and broadcasts "TaskbarCreated" once it is up.

#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <vector>

namespace {

struct BadUsage {};

enum Exit { kOk = 0, kFailed = 1, kUsage = 2 };

void line(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string utf8(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), utf8.data(), n, nullptr, nullptr);
    utf8 += '\n';
    fwrite(utf8.data(), 1, utf8.size(), stdout);
    fflush(stdout);
}

int fail(const wchar_t* what) {
    fwprintf(stderr, L"probe: %ls (error %lu)\n", what, GetLastError());
    return kFailed;
}

std::wstring dec(long long v) { return std::to_wstring(v); }

std::wstring hex32(unsigned v) {
    wchar_t buf[16];
    _snwprintf(buf, 16, L"0x%08X", v);
    return buf;
}

std::wstring hwndText(HWND hwnd) { return hex32((unsigned)(UINT_PTR)hwnd); }

std::wstring escaped(const std::wstring& s, bool escapeBar = false) {
    std::wstring r;
    for (wchar_t c : s) {
        switch (c) {
        case L'\\': r += L"\\\\"; break;
        case L'"': r += L"\\\""; break;
        case L'\n': r += L"\\n"; break;
        case L'\r': r += L"\\r"; break;
        case L'\t': r += L"\\t"; break;
        case L'|': r += escapeBar ? L"\\|" : L"|"; break;
        default: r += c;
        }
    }
    return r;
}

std::wstring quoted(const std::wstring& s) { return L"\"" + escaped(s) + L"\""; }

long long number(const wchar_t* s) {
    bool negative = *s == L'-';
    if (negative) ++s;
    int base = 10;
    if (s[0] == L'0' && (s[1] == L'x' || s[1] == L'X')) {
        base = 16;
        s += 2;
    }
    if (base == 10 ? !iswdigit(*s) : !iswxdigit(*s)) throw BadUsage{};
    wchar_t* end = nullptr;
    errno = 0;
    unsigned long long v = wcstoull(s, &end, base);
    if (*end || errno) throw BadUsage{};
    return negative ? -(long long)v : (long long)v;
}

int integer(const wchar_t* s) { return (int)number(s); }

HWND handle(const wchar_t* s) { return reinterpret_cast<HWND>(static_cast<UINT_PTR>(number(s))); }

// Cross-process WM_GETTEXT is marshalled, unlike GetWindowText, which skips controls of other processes.
std::wstring windowText(HWND hwnd) {
    wchar_t buf[4096] = L"";
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, 4096, (LPARAM)buf, SMTO_ABORTIFHUNG, 2000, &ignored))
        GetWindowTextW(hwnd, buf, 4096);
    return buf;
}

std::wstring className(HWND hwnd) {
    wchar_t buf[256] = L"";
    GetClassNameW(hwnd, buf, 256);
    return buf;
}

LRESULT ask(HWND hwnd, UINT msg, WPARAM w = 0, LPARAM l = 0) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(hwnd, msg, w, l, SMTO_ABORTIFHUNG, 2000, &result);
    return (LRESULT)result;
}

bool requireWindow(HWND hwnd) {
    if (IsWindow(hwnd)) return true;
    fwprintf(stderr, L"probe: no window 0x%08X\n", (unsigned)(UINT_PTR)hwnd);
    return false;
}

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

int messageLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return kOk;
}

// ---- find / send / post / waitgone

int cmdFind(wchar_t** a, int n) {
    const wchar_t* cls = wcscmp(a[0], L"-") ? a[0] : nullptr;
    const wchar_t* title = wcscmp(a[1], L"-") ? a[1] : nullptr;
    DWORD timeout = n > 2 ? (DWORD)number(a[2]) : 0;
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND hwnd = FindWindowW(cls, title)) {
            line(hwndText(hwnd));
            return kOk;
        }
        if (GetTickCount() - start >= timeout) return kFailed;
        Sleep(20);
    }
}

UINT messageId(const wchar_t* s) {
    if (wcsncmp(s, L"reg:", 4)) return (UINT)number(s);
    if (!s[4]) throw BadUsage{};
    return RegisterWindowMessageW(s + 4);
}

int cmdSend(wchar_t** a, int) {
    HWND hwnd = handle(a[0]);
    UINT msg = messageId(a[1]);
    WPARAM w = (WPARAM)number(a[2]);
    LPARAM l = (LPARAM)number(a[3]);
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(hwnd, msg, w, l, SMTO_NORMAL, 10000, &result)) return fail(L"SendMessageTimeout");
    line(dec((LONG)result));
    return kOk;
}

int cmdPost(wchar_t** a, int) {
    HWND hwnd = handle(a[0]);
    UINT msg = messageId(a[1]);
    if (!PostMessageW(hwnd, msg, (WPARAM)number(a[2]), (LPARAM)number(a[3]))) return fail(L"PostMessage");
    line(L"ok");
    return kOk;
}

int cmdWaitGone(wchar_t** a, int) {
    HWND hwnd = handle(a[0]);
    DWORD timeout = (DWORD)number(a[1]);
    DWORD start = GetTickCount();
    while (IsWindow(hwnd)) {
        if (GetTickCount() - start >= timeout) {
            line(L"alive");
            return kFailed;
        }
        Sleep(20);
    }
    line(L"gone");
    return kOk;
}

// ---- registry

std::wstring typeName(DWORD type) {
    switch (type) {
    case REG_NONE: return L"REG_NONE";
    case REG_SZ: return L"REG_SZ";
    case REG_EXPAND_SZ: return L"REG_EXPAND_SZ";
    case REG_BINARY: return L"REG_BINARY";
    case REG_DWORD: return L"REG_DWORD";
    case REG_MULTI_SZ: return L"REG_MULTI_SZ";
    case REG_QWORD: return L"REG_QWORD";
    default: return L"REG_" + dec(type);
    }
}

int cmdRegGet(wchar_t** a, int) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, a[0], 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return kFailed;
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueExW(key, a[1], nullptr, &type, nullptr, &size);
    std::vector<BYTE> data(size + 1);
    if (rc == ERROR_SUCCESS) rc = RegQueryValueExW(key, a[1], nullptr, &type, data.data(), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return kFailed;
    std::wstring text = typeName(type) + L" " + dec(size) + L" ";
    for (DWORD i = 0; i < size; ++i) {
        wchar_t byte[4];
        _snwprintf(byte, 4, L"%02X", data[i]);
        text += byte;
    }
    line(text);
    return kOk;
}

std::vector<BYTE> hexBytes(const wchar_t* s) {
    std::vector<BYTE> bytes;
    size_t len = wcslen(s);
    if (len % 2) throw BadUsage{};
    for (size_t i = 0; i < len; i += 2) {
        if (!iswxdigit(s[i]) || !iswxdigit(s[i + 1])) throw BadUsage{};
        wchar_t pair[3] = {s[i], s[i + 1], 0};
        bytes.push_back((BYTE)wcstoul(pair, nullptr, 16));
    }
    return bytes;
}

int cmdRegSet(wchar_t** a, int) {
    const std::wstring kind = a[2];
    DWORD type;
    std::vector<BYTE> data;
    if (kind == L"sz") {
        type = REG_SZ;
        const BYTE* p = reinterpret_cast<const BYTE*>(a[3]);
        data.assign(p, p + wcslen(a[3]) * sizeof(wchar_t));
    } else if (kind == L"binary") {
        type = REG_BINARY;
        data = hexBytes(a[3]);
    } else if (kind == L"dword") {
        type = REG_DWORD;
        DWORD v = (DWORD)number(a[3]);
        const BYTE* p = reinterpret_cast<const BYTE*>(&v);
        data.assign(p, p + sizeof v);
    } else {
        throw BadUsage{};
    }
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, a[0], 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return fail(L"RegCreateKeyEx");
    LONG rc = RegSetValueExW(key, a[1], 0, type, data.data(), (DWORD)data.size());
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return fail(L"RegSetValueEx");
    line(L"ok");
    return kOk;
}

int cmdRegDel(wchar_t** a, int n) {
    LONG rc;
    if (n == 1) {
        rc = (LONG)SHDeleteKeyW(HKEY_CURRENT_USER, a[0]);
    } else {
        HKEY key;
        rc = RegOpenKeyExW(HKEY_CURRENT_USER, a[0], 0, KEY_SET_VALUE, &key);
        if (rc == ERROR_SUCCESS) {
            rc = RegDeleteValueW(key, a[1]);
            RegCloseKey(key);
        }
    }
    if (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND) {
        line(L"absent");
        return kOk;
    }
    if (rc != ERROR_SUCCESS) {
        SetLastError(rc);
        return fail(L"delete");
    }
    line(L"deleted");
    return kOk;
}

// ---- window inspection

using GetLayeredFn = BOOL(WINAPI*)(HWND, COLORREF*, BYTE*, DWORD*);

std::wstring layeredText(HWND hwnd) {
    auto get = reinterpret_cast<GetLayeredFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetLayeredWindowAttributes")));
    COLORREF key = 0;
    BYTE alpha = 255;
    DWORD flags = 0;
    bool layered = (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED) && get && get(hwnd, &key, &alpha, &flags);
    if (!layered) alpha = 255, flags = 0;
    return L"layered " + dec(layered) + L" alpha " + dec(alpha) + L" flags " + dec(flags);
}

int cmdInfo(wchar_t** a, int) {
    HWND hwnd = handle(a[0]);
    if (!requireWindow(hwnd)) return kFailed;
    RECT rc, client;
    GetWindowRect(hwnd, &rc);
    GetClientRect(hwnd, &client);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    line(L"class " + className(hwnd));
    line(L"title " + windowText(hwnd));
    line(L"rect " + dec(rc.left) + L" " + dec(rc.top) + L" " + dec(rc.right) + L" " + dec(rc.bottom));
    line(L"client " + dec(client.right) + L" " + dec(client.bottom));
    line(L"style " + hex32(GetWindowLongW(hwnd, GWL_STYLE)));
    line(L"exstyle " + hex32(GetWindowLongW(hwnd, GWL_EXSTYLE)));
    line(L"visible " + dec(IsWindowVisible(hwnd) != 0));
    line(L"enabled " + dec(IsWindowEnabled(hwnd) != 0));
    line(L"iconic " + dec(IsIconic(hwnd) != 0));
    line(L"pid " + dec(pid));
    line(layeredText(hwnd));
    line(L"foreground " + dec(GetForegroundWindow() == hwnd));
    return kOk;
}

std::wstring comboExtras(HWND combo) {
    int count = (int)ask(combo, CB_GETCOUNT);
    std::wstring items;
    for (int i = 0; i < count; ++i) {
        wchar_t buf[1024] = L"";
        if ((int)ask(combo, CB_GETLBTEXTLEN, i) < 1024) ask(combo, CB_GETLBTEXT, i, (LPARAM)buf);
        items += (i ? L"|" : L"") + escaped(buf, true);
    }
    return L" items=\"" + items + L"\" sel=" + dec((int)ask(combo, CB_GETCURSEL));
}

std::wstring trackbarExtras(HWND bar) {
    return L" pos=" + dec((int)ask(bar, TBM_GETPOS)) + L" min=" + dec((int)ask(bar, TBM_GETRANGEMIN)) +
           L" max=" + dec((int)ask(bar, TBM_GETRANGEMAX));
}

int cmdChildren(wchar_t** a, int) {
    HWND parent = handle(a[0]);
    if (!requireWindow(parent)) return kFailed;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT rc;
        GetWindowRect(child, &rc);
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rc), 2);
        std::wstring cls = className(child);
        std::wstring text = L"hwnd=" + hwndText(child) + L" class=" + cls + L" text=" + quoted(windowText(child)) +
                            L" x=" + dec(rc.left) + L" y=" + dec(rc.top) + L" w=" + dec(rc.right - rc.left) +
                            L" h=" + dec(rc.bottom - rc.top) + L" enabled=" + dec(IsWindowEnabled(child) != 0) +
                            L" visible=" + dec(IsWindowVisible(child) != 0) + L" style=" +
                            hex32(GetWindowLongW(child, GWL_STYLE)) + L" id=" + dec(GetDlgCtrlID(child));
        if (!_wcsicmp(cls.c_str(), L"ComboBox")) text += comboExtras(child);
        if (!_wcsicmp(cls.c_str(), TRACKBAR_CLASSW)) text += trackbarExtras(child);
        line(text);
    }
    return kOk;
}

int cmdPixel(wchar_t** a, int) {
    int x = integer(a[0]), y = integer(a[1]);
    HDC dc = GetDC(nullptr);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(nullptr, dc);
    if (c == CLR_INVALID) return fail(L"GetPixel");
    wchar_t buf[8];
    _snwprintf(buf, 8, L"%02X%02X%02X", GetRValue(c), GetGValue(c), GetBValue(c));
    line(buf);
    return kOk;
}

struct WindowsQuery {
    const wchar_t* cls;
    int found;
};

BOOL CALLBACK listWindow(HWND hwnd, LPARAM param) {
    auto* q = reinterpret_cast<WindowsQuery*>(param);
    if (_wcsicmp(className(hwnd).c_str(), q->cls)) return TRUE;
    RECT rc;
    GetWindowRect(hwnd, &rc);
    line(L"hwnd=" + hwndText(hwnd) + L" x=" + dec(rc.left) + L" y=" + dec(rc.top) + L" w=" +
         dec(rc.right - rc.left) + L" h=" + dec(rc.bottom - rc.top) + L" visible=" + dec(IsWindowVisible(hwnd) != 0) +
         L" text=" + quoted(windowText(hwnd)));
    ++q->found;
    return TRUE;
}

int cmdWindows(wchar_t** a, int) {
    WindowsQuery q{a[0], 0};
    EnumWindows(listWindow, reinterpret_cast<LPARAM>(&q));
    return q.found ? kOk : kFailed;
}

// ---- target: a known window tree whose repaints tests can count

constexpr int kTargetWindows = 6;
constexpr UINT kMsgPaintCount = WM_APP + 1, kMsgWindow = WM_APP + 2, kMsgResetCounts = WM_APP + 3,
               kMsgKeyCount = WM_APP + 4, kMsgPaintNow = WM_APP + 5, kMsgSighting = WM_APP + 6,
               kMsgHang = WM_APP + 7;
const COLORREF kPaintColor[kTargetWindows] = {RGB(32, 96, 160),  RGB(200, 40, 40),  RGB(40, 200, 40),
                                              RGB(200, 200, 40), RGB(200, 40, 200), RGB(40, 200, 200)};
HWND g_target[kTargetWindows];
UINT g_dieOnStyle; // VITREA_SETLAYEREDSTYLE when the target was started with `dies`
LONG g_paints[kTargetWindows];
// Input the top window received: key presses by virtual key, characters, entries into menu mode, and
// wheel notches.
LONG g_keyDowns[256], g_chars, g_menuModes, g_wheelNotches[2];

// What the top window saw of the curtains at the moment its layered style changed or it was hidden: the
// curtain lives only while the change is made, and this is the one moment known to fall inside it.
enum SightingField { kWhat, kCurtains, kCurtain, kLeft, kTop, kRight, kBottom, kExStyle, kProcess, kFields };
constexpr int kMaxSightings = 64;
LONG g_sightings[kMaxSightings][kFields];
int g_sightingCount;

void noteCurtains(LONG what) {
    if (g_sightingCount >= kMaxSightings) return;
    LONG* seen = g_sightings[g_sightingCount++];
    for (int i = 0; i < kFields; ++i) seen[i] = 0;
    seen[kWhat] = what;
    for (HWND w = FindWindowExW(nullptr, nullptr, L"VitreaFakeClass", nullptr); w;
         w = FindWindowExW(nullptr, w, L"VitreaFakeClass", nullptr)) {
        if (!IsWindowVisible(w) || seen[kCurtains]++) continue;
        RECT r;
        GetWindowRect(w, &r);
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        seen[kCurtain] = (LONG)(UINT_PTR)w;
        seen[kLeft] = r.left, seen[kTop] = r.top, seen[kRight] = r.right, seen[kBottom] = r.bottom;
        seen[kExStyle] = GetWindowLongW(w, GWL_EXSTYLE);
        seen[kProcess] = (LONG)pid;
    }
}

LRESULT sighting(WPARAM w) {
    if (w == 0xFFFF) return g_sightingCount;
    WPARAM index = w / 16, field = w % 16;
    return index < (WPARAM)g_sightingCount && field < kFields ? g_sightings[index][field] : -1;
}

int targetIndex(HWND hwnd) {
    for (int i = 0; i < kTargetWindows; ++i)
        if (g_target[i] == hwnd) return i;
    return -1;
}

void paintTarget(HWND hwnd, int index) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (index >= 0) {
        ++g_paints[index];
        HBRUSH brush = CreateSolidBrush(kPaintColor[index]);
        FillRect(dc, &ps.rcPaint, brush);
        DeleteObject(brush);
    }
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK targetProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
    int index = targetIndex(hwnd);
    bool top = index == 0;
    if (top && g_dieOnStyle && msg == g_dieOnStyle && w == 1) {
        DestroyWindow(hwnd);
        return 0;
    }
    switch (msg) {
    case WM_PAINT: paintTarget(hwnd, index); return 0;
    case WM_ERASEBKGND: return 1;
    case kMsgPaintCount:
        if (top) return w < kTargetWindows ? g_paints[w] : -1;
        break;
    case kMsgWindow:
        if (top) return w < kTargetWindows ? (LRESULT)g_target[w] : 0;
        break;
    case kMsgResetCounts:
        if (!top) break;
        for (LONG& count : g_paints) count = 0;
        for (LONG& count : g_keyDowns) count = 0;
        g_chars = g_menuModes = g_wheelNotches[0] = g_wheelNotches[1] = 0;
        g_sightingCount = 0;
        return 0;
    case kMsgHang:
        if (!top) break;
        // WaitForSingleObject takes no sent messages: the thread answers nothing until it wakes.
        if (HANDLE wake = CreateEventW(nullptr, TRUE, FALSE, L"VitreaProbeWake")) {
            WaitForSingleObject(wake, (DWORD)w);
            CloseHandle(wake);
        }
        return 0;
    case kMsgKeyCount:
        if (top) return w < 256 ? g_keyDowns[w] : w == 256 ? g_chars : w == 257 ? g_menuModes : g_wheelNotches[w & 1];
        break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: ++g_keyDowns[w & 0xFF]; break;
    case WM_CHAR:
    case WM_SYSCHAR: ++g_chars; break;
    case WM_ENTERMENULOOP: ++g_menuModes; break;
    case WM_MOUSEWHEEL: // a child's reaches the top window through DefWindowProc
        if (top) g_wheelNotches[(SHORT)HIWORD(w) < 0] += abs((SHORT)HIWORD(w)) / WHEEL_DELTA;
        break;
    case kMsgSighting:
        if (top) return sighting(w);
        break;
    case kMsgPaintNow:
        if (!top) break;
        RedrawWindow(hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        return 0;
    case WM_STYLECHANGED: {
        const auto* change = reinterpret_cast<const STYLESTRUCT*>(l);
        if (top && w == (WPARAM)GWL_EXSTYLE && ((change->styleOld ^ change->styleNew) & WS_EX_LAYERED))
            noteCurtains(change->styleNew & WS_EX_LAYERED ? 1 : 2);
        break;
    }
    case WM_WINDOWPOSCHANGED:
        if (top && (reinterpret_cast<const WINDOWPOS*>(l)->flags & SWP_HIDEWINDOW)) noteCurtains(3);
        break;
    case WM_DESTROY:
        if (top) PostQuitMessage(0);
        break;
    }
    return DefWindowProcW(hwnd, msg, w, l);
}

bool registerClass(const wchar_t* name, WNDPROC proc, UINT style) {
    WNDCLASSW wc = {};
    wc.style = style;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    return RegisterClassW(&wc) != 0;
}

// A and B share the top half, C takes the bottom-left quarter (the controls the bottom-right one);
// each grandchild fills the top-left quarter of its parent.
RECT childPlace(int index, int cw, int ch) {
    int hw = cw / 2 - 12, hh = ch / 2 - 12;
    switch (index) {
    case 1: return {8, 8, hw, hh};
    case 3: return {cw / 2 + 4, 8, hw, hh};
    case 5: return {8, ch / 2 + 4, hw, hh};
    default: return {8, 8, hw / 2, hh / 2};
    }
}

bool createTargetChildren(HWND top) {
    static const struct {
        int parent;
        const wchar_t* text;
        bool visible;
    } kChildren[kTargetWindows] = {{-1, L"", true}, {0, L"A", true},  {1, L"A1", true},
                                   {0, L"B", false}, {3, L"B1", true}, {0, L"C", true}};
    RECT client;
    GetClientRect(top, &client);
    for (int i = 1; i < kTargetWindows; ++i) {
        RECT r = childPlace(i, client.right, client.bottom);
        DWORD style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | (kChildren[i].visible ? WS_VISIBLE : 0);
        g_target[i] = CreateWindowExW(0, L"VitreaProbeChild", kChildren[i].text, style, r.left, r.top, r.right,
                                      r.bottom, g_target[kChildren[i].parent], (HMENU)(UINT_PTR)i,
                                      GetModuleHandleW(nullptr), nullptr);
        if (!g_target[i]) return false;
    }
    return true;
}

bool createTargetControls(HWND top) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    RECT client;
    GetClientRect(top, &client);
    int x = client.right / 2 + 4, y = client.bottom / 2 + 4, w = client.right / 2 - 12;
    HINSTANCE inst = GetModuleHandleW(nullptr);
    HWND combo = CreateWindowExW(0, WC_COMBOBOXW, L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWNLIST, x, y,
                                 w, 120, top, (HMENU)6, inst, nullptr);
    HWND bar = CreateWindowExW(0, TRACKBAR_CLASSW, L"", WS_CHILD | WS_VISIBLE | TBS_HORZ, x, y + 36, w, 30, top,
                               (HMENU)7, inst, nullptr);
    if (!combo || !bar) return false;
    for (const wchar_t* item : {L"one", L"two", L"three"}) SendMessageW(combo, CB_ADDSTRING, 0, (LPARAM)item);
    SendMessageW(combo, CB_SETCURSEL, 1, 0);
    SendMessageW(bar, TBM_SETRANGE, FALSE, MAKELPARAM(0, 100));
    SendMessageW(bar, TBM_SETPOS, TRUE, 40);
    return true;
}

int cmdTarget(wchar_t** a, int n) {
    bool layered = false, shadow = false, controls = false;
    for (int i = 5; i < n; ++i) {
        std::wstring opt = a[i];
        if (opt == L"layered") layered = true;
        else if (opt == L"shadow") shadow = true;
        else if (opt == L"controls") controls = true;
        else if (opt == L"dies") g_dieOnStyle = RegisterWindowMessageW(L"VITREA_SETLAYEREDSTYLE");
        else throw BadUsage{};
    }
    int x = integer(a[1]), y = integer(a[2]), w = integer(a[3]), h = integer(a[4]);
    if (!registerClass(L"VitreaProbeTarget", targetProc, shadow ? CS_DROPSHADOW : 0) ||
        !registerClass(L"VitreaProbeChild", targetProc, 0))
        return fail(L"RegisterClass");
    g_target[0] = CreateWindowExW(layered ? WS_EX_LAYERED : 0, L"VitreaProbeTarget", a[0],
                                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, x, y, w, h, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (!g_target[0]) return fail(L"CreateWindowEx");
    if (!createTargetChildren(g_target[0])) return fail(L"create child");
    if (controls && !createTargetControls(g_target[0])) return fail(L"create controls");
    if (layered && !SetLayeredWindowAttributes(g_target[0], 0, 255, LWA_ALPHA)) return fail(L"layered");
    ShowWindow(g_target[0], SW_SHOW);
    UpdateWindow(g_target[0]);
    line(hwndText(g_target[0]));
    return messageLoop();
}

// ---- keepalive: holds the Wine virtual desktop open between test processes

LRESULT CALLBACK keepaliveProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
    if (msg == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(hwnd, msg, w, l);
}

int cmdKeepalive(wchar_t**, int) {
    if (!registerClass(L"VitreaProbeKeepalive", keepaliveProc, 0)) return fail(L"RegisterClass");
    HWND hwnd = CreateWindowExW(0, L"VitreaProbeKeepalive", L"Vitrea probe keepalive", WS_OVERLAPPED, 0, 0, 0, 0,
                                nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!hwnd) return fail(L"CreateWindowEx");
    HWND tray = nullptr;
    for (DWORD start = GetTickCount(); !(tray = FindWindowW(L"Shell_TrayWnd", nullptr));) {
        if (GetTickCount() - start >= 30000) {
            DestroyWindow(hwnd);
            return fail(L"no Shell_TrayWnd");
        }
        pump();
        Sleep(20);
    }
    line(L"ready " + hwndText(tray));
    return messageLoop();
}

// ---- record: a stand-in handler for a URL scheme that writes what the shell handed it

int cmdRecord(wchar_t** args, int) {
    HANDLE file = CreateFileW(args[0], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return fail(L"CreateFile");
    DWORD written = 0;
    WriteFile(file, args[1], static_cast<DWORD>(wcslen(args[1]) * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
    line(L"ok");
    return 0;
}

// ---- shell: a stand-in taskbar that can be ended and started again

// The tray icons the stand-in holds, by owner window and id, as the runtime's shell32 hands them over:
// WM_COPYDATA from the icon's owner (wParam) with the NIM_ code in dwData and data that begins with the
// owner window and the icon id.
std::vector<std::pair<UINT_PTR, UINT>> shellIcons;

LRESULT CALLBACK shellProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
    switch (msg) {
    case WM_COPYDATA: {
        const auto* copied = reinterpret_cast<const COPYDATASTRUCT*>(l);
        if (!copied || copied->cbData < 8 || !copied->lpData) return FALSE;
        UINT id = static_cast<const UINT*>(copied->lpData)[1];
        auto icon = std::make_pair(static_cast<UINT_PTR>(w), id);
        auto found = std::find(shellIcons.begin(), shellIcons.end(), icon);
        bool held = found != shellIcons.end();
        switch (copied->dwData) {
        case NIM_ADD:
            if (!held) shellIcons.push_back(icon);
            return !held;
        case NIM_MODIFY: return held;
        case NIM_DELETE:
            if (held) shellIcons.erase(found);
            return held;
        default: return held;
        }
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        HBRUSH brush = CreateSolidBrush(RGB(0x20, 0x60, 0x20));
        FillRect(dc, &ps.rcPaint, brush);
        DeleteObject(brush);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_DESTROY: PostQuitMessage(0); break;
    }
    return DefWindowProcW(hwnd, msg, w, l);
}

int cmdShell(wchar_t** a, int) {
    if (!registerClass(L"Shell_TrayWnd", shellProc, 0)) return fail(L"RegisterClass");
    // Topmost, so that it is the taskbar a search by class finds first, above the desktop's own.
    HWND hwnd = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, L"Shell_TrayWnd", L"", WS_POPUP,
                                integer(a[0]), integer(a[1]), integer(a[2]), integer(a[3]), nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    if (!hwnd) return fail(L"CreateWindowEx");
    ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    UpdateWindow(hwnd);
    line(hwndText(hwnd));
    // What a shell that has just started does: every program puts its icon back.
    SendNotifyMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    return messageLoop();
}

// ---- dispatch

struct Command {
    const wchar_t* name;
    int minArgs, maxArgs;
    int (*run)(wchar_t** args, int count);
    const wchar_t* usage;
};

const Command kCommands[] = {
    {L"find", 2, 3, cmdFind, L"find <class|-> <title|-> [timeoutMs]"},
    {L"send", 4, 4, cmdSend, L"send <hwnd> <msg|reg:NAME> <wParam> <lParam>"},
    {L"post", 4, 4, cmdPost, L"post <hwnd> <msg|reg:NAME> <wParam> <lParam>"},
    {L"regget", 2, 2, cmdRegGet, L"regget <subkey> <valueName>"},
    {L"regset", 4, 4, cmdRegSet, L"regset <subkey> <valueName> <sz|binary|dword> <data>"},
    {L"regdel", 1, 2, cmdRegDel, L"regdel <subkey> [valueName]"},
    {L"info", 1, 1, cmdInfo, L"info <hwnd>"},
    {L"children", 1, 1, cmdChildren, L"children <hwnd>"},
    {L"pixel", 2, 2, cmdPixel, L"pixel <x> <y>"},
    {L"windows", 1, 1, cmdWindows, L"windows <class>"},
    {L"target", 5, 9, cmdTarget, L"target <title> <x> <y> <w> <h> [layered] [shadow] [controls] [dies]"},
    {L"keepalive", 0, 0, cmdKeepalive, L"keepalive"},
    {L"waitgone", 2, 2, cmdWaitGone, L"waitgone <hwnd> <timeoutMs>"},
    {L"record", 2, 2, cmdRecord, L"record <file> <text>"},
    {L"shell", 4, 4, cmdShell, L"shell <x> <y> <w> <h>"},
};

int usage() {
    fwprintf(stderr, L"usage: probe <command> [args]\n");
    for (const Command& c : kCommands) fwprintf(stderr, L"  %ls\n", c.usage);
    return kUsage;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    // Text mode would turn every '\n' into "\r\n" for the tests that parse this output.
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc < 2) return usage();
    for (const Command& c : kCommands) {
        if (wcscmp(argv[1], c.name)) continue;
        int n = argc - 2;
        if (n < c.minArgs || n > c.maxArgs) {
            fwprintf(stderr, L"usage: probe %ls\n", c.usage);
            return kUsage;
        }
        try {
            return c.run(argv + 2, n);
        } catch (const BadUsage&) {
            fwprintf(stderr, L"usage: probe %ls\n", c.usage);
            return kUsage;
        }
    }
    return usage();
}
