// The About window and the one-call workers of the Options menu: help, home page and quit.
#include "menus/about_help.h"
#include <objbase.h>
#include <shellapi.h>
#include "core/app_state.h"
#include "core/program_path.h"
#include "ui/layout.h"
#include "menus/trees.h"

namespace {
constexpr WCHAR aboutClassName[] = L"VitreaAboutClass";
constexpr WCHAR aboutTitle[] = L"About Vitrea v1.1";
constexpr DWORD aboutStyle = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_3DLOOK;
constexpr int pictureWidth = 404, pictureHeight = 152;

Answer OnAboutErase(HWND, WPARAM dc, LPARAM) {
    BitBlt(reinterpret_cast<HDC>(dc), 0, 0, pictureWidth, pictureHeight, app.aboutDC, 0, 0, SRCCOPY);
    return 1;
}

// The About window has no minimised state: minimising it closes it.
Answer OnAboutSize(HWND window, WPARAM wParam, LPARAM) {
    if (wParam == SIZE_MINIMIZED) {
        DestroyWindow(window);
        app.aboutWindow = nullptr;
        PostQuitMessage(0);
    }
    return passOn;
}

Answer OnAboutDestroy(HWND, WPARAM, LPARAM) {
    app.aboutWindow = nullptr;
    PostQuitMessage(0);
    return passOn;
}
} // namespace

namespace {
Answer DispatchAbout(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND: return OnAboutErase(window, wParam, lParam);
    case WM_SIZE: return OnAboutSize(window, wParam, lParam);
    case WM_DESTROY: return OnAboutDestroy(window, wParam, lParam);
    }
    return passOn;
}
} // namespace

LRESULT CALLBACK AboutWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Answer answer = DispatchAbout(window, message, wParam, lParam);
    return answer ? *answer : DefWindowProcW(window, message, wParam, lParam);
}

DWORD WINAPI AboutThreadProc(LPVOID) {
    // With the usual 3-pixel dialog frame the client area is the picture's 404 x 152.
    CentredFrame frame = CentreOnScreen(410, 155);
    app.aboutWindow = CreateWindowExW(0, aboutClassName, aboutTitle, aboutStyle, frame.left, frame.top,
                                      frame.width, frame.height, nullptr, nullptr, app.instance, nullptr);
    // With no window nothing would ever post this thread its quit message.
    if (!app.aboutWindow) return 0;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

void HelpFilePath(WCHAR* path, DWORD capacity) {
    // Without a folder of its own to name, the help file is looked for by its name alone.
    if (!PathBesideProgram(path, capacity, helpFileName)) lstrcpyW(path, helpFileName);
}

namespace {
using CoInitializeExFn = HRESULT(WINAPI*)(LPVOID, DWORD);
using CoUninitializeFn = void(WINAPI*)();

// The shell may hand the request to handlers that need COM on the calling thread; these worker threads
// are the shell's callers, so each sets COM up around its one call. COM's library is loaded from the system
// folder by the first such command rather than by every start-up, which it would slow.
void ShellOpen(const WCHAR* file) {
    WCHAR path[MAX_PATH];
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    HMODULE com = nullptr;
    if (length && length + 11 < MAX_PATH && lstrcatW(path, L"\\ole32.dll")) com = LoadLibraryW(path);
    auto initialize = ProcAddress<CoInitializeExFn>(com, "CoInitializeEx");
    auto uninitialize = ProcAddress<CoUninitializeFn>(com, "CoUninitialize");
    bool entered = initialize && uninitialize &&
                   SUCCEEDED(initialize(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
    ShellExecuteW(nullptr, L"open", file, nullptr, nullptr, SW_SHOWNORMAL);
    if (entered) uninitialize();
    if (com) FreeLibrary(com);
}
} // namespace

// The file is taken from the program's folder, not the current one, which a start from the Run key or a
// shortcut sets to somewhere else.
DWORD WINAPI HelpThreadProc(LPVOID) {
    if (HWND viewer = FindWindowW(L"HH Parent", helpWindowTitle)) {
        ShowWindow(viewer, SW_RESTORE);
        SetForegroundWindow(viewer);
        return 0;
    }
    WCHAR path[modulePathCapacity];
    HelpFilePath(path, modulePathCapacity);
    ShellOpen(path);
    return 0;
}

DWORD WINAPI HomePageThreadProc(LPVOID) {
    ShellOpen(homePageAddress);
    return 0;
}

DWORD WINAPI QuitThreadProc(LPVOID) {
    SendMessageW(app.mainWindow, WM_CLOSE, 0, 0);
    return 0;
}

void StartWorker(LPTHREAD_START_ROUTINE procedure) {
    if (HANDLE thread = CreateThread(nullptr, 0, procedure, nullptr, 0, nullptr)) CloseHandle(thread);
}

// A close handled inside a menu's own loop would post the quit message into that loop, which drops it, and
// leave the program running without a window. The menu is ended and the close comes again once its loop has
// returned, which the system announces with WM_EXITMENULOOP.
bool CloseAfterMenuLoop() {
    if (!app.inMenuLoop) return false;
    EndMenu();
    app.quitAfterMenu = true;
    return true;
}

Answer OnEnterMenuLoop(HWND, WPARAM, LPARAM) {
    app.inMenuLoop = true;
    return passOn;
}

Answer OnExitMenuLoop(HWND, WPARAM, LPARAM) {
    app.inMenuLoop = false;
    if (app.quitAfterMenu) {
        app.quitAfterMenu = false;
        StartWorker(QuitThreadProc);
    }
    return passOn;
}
