// Start-up, the settings window and its controls, the message loop and the dispatch of every message.
#include "app/main.h"
#include <commctrl.h>
#include <shlwapi.h>
#include "app/settings.h"
#include "app/startup_split.h"
#include "app/tray_commands.h"
#include "engine/alpha_table.h"
#include "engine/hook_library.h"
#include "engine/layered.h"
#include "engine/requests.h"
#include "engine/taskbar_fade.h"
#include "menus/about_help.h"
#include "menus/build.h"
#include "menus/handlers.h"
#include "resources/resource_ids.h"
#include "ui/controls.h"
#include "ui/layout.h"
#include "ui/paint.h"
#include "ui/skin.h"
#include "ui/tray_icon.h"

namespace {
constexpr WCHAR mutexName[] = L"Vitrea Mutex";
constexpr DWORD firstWindowWaitMs = 5000, firstWindowPollMs = 50;
constexpr DWORD mainWindowStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_3DLOOK;
constexpr DWORD checkButtonStyle = WS_CHILD | WS_VISIBLE | BS_OWNERDRAW;
constexpr DWORD comboStyle = WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST;
constexpr DWORD sliderStyle = WS_CHILD | WS_VISIBLE | TBS_DOWNISLEFT | TBS_FIXEDLENGTH | TBS_NOTICKS | TBS_BOTH;

// The buffer that AppState points at; it lives for the whole run.
WCHAR skinNameBuffer[skinNameCapacity];

constexpr WCHAR shortcutTip[] =
    L"Keyboard Shortcut (Right-Click to Customize)\r\n"
    L"Adds the ability to change a window's effects with a three-key combination.\r\n"
    L"Use the Keyboard Shortcut combo boxes above to customize the Keyboard Shortcut.\r\n"
    L"To use the Keyboard Shortcut simply:\r\n"
    L" 1. Press & Hold both Prefix Keys (Control + Shift by default)\r\n"
    L" 2. Press one of the following keys: (Repeat this step if you wish)\r\n"
    L"      \u00B7 Change Transparency with 0-9 or F1-F12\r\n"
    L"      \u00B7 Fine Tune Transparency with + or -\r\n"
    L"      \u00B7 Remove Transparency with ` or Backspace or Enter\r\n"
    L"      \u00B7 Toggle Always On Top with Tab or Space or Numberpad Decimal\r\n"
    L" 3. Release both Prefix Keys";
constexpr WCHAR taskbarTip[] =
    L"Taskbar Transparency (Right-Click to Customize)\r\n"
    L"Allows you to change the transparency of the taskbar to any degree possible.\r\n"
    L"Use the Taskbar Transparency slider below to do this.\r\n"
    L"There is also a Fade-In effect available which smoothly fades-in the taskbar when you mouse over it.\r\n"
    L"Use the Right-Click Customization Menu to enable/disable or customize the speed of the Fade-In effect.";
constexpr WCHAR optionsTip[] = L"Click here for more options";
void RegisterAppClass(const WCHAR* name, WNDPROC procedure, HICON icon, HBRUSH background) {
    WNDCLASSEXW cls = {};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = procedure;
    cls.hInstance = app.instance;
    cls.hIcon = icon;
    cls.hIconSm = icon;
    cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    cls.hbrBackground = background;
    cls.lpszClassName = name;
    RegisterClassExW(&cls);
}

void RegisterWindowClasses() {
    HICON icon = LoadIconW(app.instance, MAKEINTRESOURCEW(IDI_VITREA));
    RegisterAppClass(mainClassName, MainWndProc, icon, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    RegisterAppClass(L"VitreaAboutClass", AboutWndProc, icon, nullptr);
    RegisterAppClass(L"VitreaFakeClass", CurtainWndProc, nullptr, nullptr);
}

// A copy of BUTTON without CS_DBLCLKS, so a quick second click on a check button is a second click.
void RegisterButtonClass() {
    WNDCLASSW cls = {};
    GetClassInfoW(nullptr, L"BUTTON", &cls);
    cls.style &= ~CS_DBLCLKS;
    cls.hInstance = app.instance;
    cls.lpszClassName = L"VitreaButton";
    RegisterClassW(&cls);
}

void CreateFontsAndImages() {
    HDC display = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
    app.uiFont = CreateFontW(-MulDiv(8, GetDeviceCaps(display, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                             FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
    app.imageDCs[0] = CreateCompatibleDC(display);
    app.imageDCs[1] = CreateCompatibleDC(display);
    app.aboutDC = CreateCompatibleDC(display);
    for (int slot = 2; slot < imageSlotCount; ++slot) app.imageDCs[slot] = CreateCompatibleDC(display);
    app.imageBitmaps[0] = LoadOwnImage(IDB_OPTIONS);
    app.imageBitmaps[1] = LoadOwnImage(IDB_OPTIONS_PRESSED);
    // These selections last for the whole run: the DCs exist only to hold the images.
    SelectObject(app.imageDCs[0], app.imageBitmaps[0]);
    SelectObject(app.imageDCs[1], app.imageBitmaps[1]);
    SelectObject(app.aboutDC, LoadOwnImage(IDB_ABOUT));
    DeleteDC(display);
}

// Undoes CreateFontsAndImages, with a skin's images and library if one is loaded. Each DC goes before the
// image it holds, which nothing holds after that.
void FreeFontsAndImages() {
    HGDIOBJ aboutImage = GetCurrentObject(app.aboutDC, OBJ_BITMAP);
    DeleteDC(app.aboutDC);
    DeleteObject(aboutImage);
    for (int slot = 0; slot < imageSlotCount; ++slot) {
        DeleteDC(app.imageDCs[slot]);
        DeleteObject(app.imageBitmaps[slot]);
    }
    if (app.skinModule) FreeLibrary(app.skinModule);
    DeleteObject(app.uiFont);
}

HWND CreateChild(const WCHAR* cls, const WCHAR* text, DWORD style, const Place& place) {
    return CreateWindowExW(0, cls, text, style, place.x, place.y, place.width, place.height, app.mainWindow, nullptr,
                           app.instance, nullptr);
}

void CreateMainWindow() {
    CentredFrame frame = CentreOnScreen(windowBelowCaption.cx, windowBelowCaption.cy);
    app.mainWindow = CreateWindowExW(0, mainClassName, mainTitle, mainWindowStyle, frame.left, frame.top,
                                     frame.width, frame.height, nullptr, nullptr, app.instance, nullptr);
    app.firstKeyCombo = CreateChild(WC_COMBOBOXW, nullptr, comboStyle, firstKeyComboPlace);
    app.secondKeyCombo = CreateChild(WC_COMBOBOXW, nullptr, comboStyle, secondKeyComboPlace);
    app.keySetCombo = CreateChild(WC_COMBOBOXW, nullptr, comboStyle, keySetComboPlace);
    app.shortcutButton = CreateChild(L"VitreaButton", L"Keyboard Shortcut", checkButtonStyle, shortcutButtonPlace);
    app.taskbarButton = CreateChild(L"VitreaButton", L"Taskbar Transparency", checkButtonStyle, taskbarButtonPlace);
    app.alphaSlider = CreateChild(TRACKBAR_CLASSW, L"Taskbar Transparency Alpha", sliderStyle, sliderPlace);
    app.tooltip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, app.mainWindow, nullptr, app.instance, nullptr);
    app.optionsButton = CreateChild(L"VitreaButton", L"Vitrea", checkButtonStyle, optionsButtonPlace);
}

void SetUpControls() {
    for (HWND control : {app.firstKeyCombo, app.secondKeyCombo, app.keySetCombo, app.shortcutButton,
                         app.taskbarButton})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(app.uiFont), FALSE);
    SendMessageW(app.alphaSlider, TBM_SETRANGE, FALSE, MAKELPARAM(0, 254));
    SendMessageW(app.alphaSlider, TBM_SETTHUMBLENGTH, sliderThumb.cy, 0);
    SendMessageW(app.alphaSlider, TBM_SETPAGESIZE, 0, 0);
    SubclassControls();
}

void AddTooltip(HWND control, const WCHAR* text) {
    TOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V1_SIZE; // the layout before lParam, which comctl32 5.x expects
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = app.mainWindow;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = const_cast<WCHAR*>(text);
    SendMessageW(app.tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void AddTooltips() {
    AddTooltip(app.shortcutButton, shortcutTip);
    AddTooltip(app.taskbarButton, taskbarTip);
    AddTooltip(app.optionsButton, optionsTip);
    SendMessageW(app.tooltip, TTM_SETDELAYTIME, TTDT_AUTOPOP, 20000);
    SendMessageW(app.tooltip, TTM_SETDELAYTIME, TTDT_INITIAL, 50);
    SendMessageW(app.tooltip, TTM_SETMAXTIPWIDTH, 0, 768);
}

void StartHookLibrary() {
    SetHooks hooks = {};
    hooks.mainWindow = app.mainWindow;
    hooks.msgSetLayeredStyle = app.msgSetLayeredStyle;
    hooks.msgTaskbarCreated = app.msgTaskbarCreated;
    hooks.shortcutEnabled = app.shortcutEnabled;
    hooks.taskbarEnabled = app.taskbarEnabled;
    hooks.shortcutByte = app.shortcutByte;
    hooks.taskbarAlpha = app.taskbarAlpha;
    hooks.fadeInEnabled = app.fadeInEnabled;
    HookLibraryInitialize(hooks);
}

// The taskbar is found anew at start-up and whenever the shell recreates it.
void FindTaskbarAndApply() {
    app.taskbarWindow = FindWindowW(L"Shell_TrayWnd", nullptr);
    // A taskbar taken over from a Vitrea ended by force is restored when taskbar transparency is off.
    if (app.taskbarEnabled || AlphaTableFind(app.taskbarWindow, nullptr))
        SendMessageW(app.mainWindow, APPMSG_SETALPHA, reinterpret_cast<WPARAM>(app.taskbarWindow),
                     app.taskbarEnabled ? app.taskbarAlpha : alphaRemoveRequest);
}

WPARAM RunMessageLoop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return message.wParam;
}

Answer OnDestroy(HWND, WPARAM, LPARAM) {
    EndTaskbarFade(); // a fade left running would set the taskbar's alpha again after the sweep restored it
    AlphaTableClear();
    PostQuitMessage(0);
    return passOn;
}

// A minimised settings window leaves the taskbar and lives on as the tray icon.
Answer OnSize(HWND window, WPARAM wParam, LPARAM) {
    if (wParam == SIZE_MINIMIZED) ShowWindow(window, SW_HIDE);
    return passOn;
}

Answer OnClose(HWND window, WPARAM, LPARAM) {
    if (CloseAfterMenuLoop()) return 0;
    ShowWindow(window, SW_HIDE);
    if (app.trayIcon) Shell_NotifyIconW(NIM_DELETE, app.trayIcon);
    return passOn;
}

// A menu row's caption is read through its item data, so a row is painted only into a window of this thread:
// a request sent from another program goes to the default procedure.
bool PaintsOwnWindow(const DRAWITEMSTRUCT& item) {
    HWND target = WindowFromDC(item.hDC);
    return target && GetWindowThreadProcessId(target, nullptr) == GetCurrentThreadId();
}

// Owner-drawn items by kind: menu rows by the menus, buttons by the window's face code.
Answer OnOwnerDraw(HWND window, WPARAM wParam, LPARAM lParam) {
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (item && item->CtlType == ODT_MENU && PaintsOwnWindow(*item)) return OnDrawItem(window, wParam, lParam);
    if (item && item->CtlType == ODT_BUTTON && DrawOwnerButton(*item)) return TRUE;
    return passOn;
}

Answer OnTaskbarCreated(HWND, WPARAM, LPARAM) {
    if (app.trayIcon) Shell_NotifyIconW(NIM_ADD, app.trayIcon);
    // A shell that crashed took its taskbar with it unannounced. Its handle is forgotten, or the table would
    // keep it and one day take a new window that gets the same handle for a window it made translucent.
    if (app.taskbarWindow && !IsWindow(app.taskbarWindow)) AlphaTableRemove(app.taskbarWindow);
    FindTaskbarAndApply();
    return passOn;
}

Answer Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY: return OnDestroy(window, wParam, lParam);
    case WM_SIZE: return OnSize(window, wParam, lParam);
    case WM_CLOSE: return OnClose(window, wParam, lParam);
    case WM_ERASEBKGND: return OnEraseBackground(window, wParam, lParam);
    case WM_DRAWITEM: return OnOwnerDraw(window, wParam, lParam);
    case WM_NOTIFY: return OnNotify(window, wParam, lParam);
    case WM_NCLBUTTONDOWN: return OnFrameClick(window, wParam, lParam);
    case WM_COMMAND: return OnCommand(window, wParam, lParam);
    case WM_ENTERMENULOOP: return OnEnterMenuLoop(window, wParam, lParam);
    case WM_EXITMENULOOP: return OnExitMenuLoop(window, wParam, lParam);
    case WM_HSCROLL: return OnHScroll(window, wParam, lParam);
    case APPMSG_TRAY: return OnTrayNotify(window, wParam, lParam);
    case APPMSG_SETTING: return OnSetting(window, wParam, lParam);
    case APPMSG_SETALPHA: return OnSetAlpha(window, wParam, lParam);
    case APPMSG_FORGETWINDOW: return OnForgetWindow(window, wParam, lParam);
    case APPMSG_GETALPHA: return OnGetAlpha(window, wParam, lParam);
    case APPMSG_TASKBARHOVER: return OnTaskbarHover(window, wParam, lParam);
    case APPMSG_MENUTRACK: return OnMenuTrack(window, wParam, lParam);
    case WM_CONTEXTMENU: return OnContextMenu(window, wParam, lParam);
    case WM_MENUSELECT: return OnMenuSelect(window, wParam, lParam);
    case WM_MEASUREITEM: return OnMeasureItem(window, wParam, lParam);
    }
    if (message == app.msgTaskbarCreated && message != 0) return OnTaskbarCreated(window, wParam, lParam);
    return passOn;
}
} // namespace

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Answer answer = Dispatch(window, message, wParam, lParam);
    // The hook library's keys and menu reports follow each change once it is made, whoever asked for it.
    if (message == APPMSG_SETTING || message == APPMSG_MENUTRACK) HookLibraryFollow(message, wParam, lParam);
    return answer ? *answer : DefWindowProcW(window, message, wParam, lParam);
}

void CreateSettingsWindow(HINSTANCE instance) {
    app.instance = instance;
    app.msgTaskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    app.msgSetLayeredStyle = RegisterWindowMessageW(setLayeredStyleMessage);
    app.alphaMark = GlobalAddAtomW(alphaMarkName);
    RegisterWindowClasses();
    MarkStartup(startupClasses);
    app.skinName = skinNameBuffer;
    CreateFontsAndImages();
    MarkStartup(startupImages);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    RegisterButtonClass();
    MarkStartup(startupCommonControls);
    CreateMainWindow();
    MarkStartup(startupWindow);
    SetUpControls();
    AddTooltips();
    MarkStartup(startupControls);
}

void DestroySettingsWindow() {
    if (IsWindow(app.mainWindow)) DestroyWindow(app.mainWindow);
    FreeFontsAndImages();
}

namespace {
// Opening and then creating would let two starts at the same moment both find no mutex: it is created in one
// step, and whoever did not create it leaves. The handle stays open until the process ends.
bool BecomeTheOnlyInstance() {
    SetLastError(ERROR_SUCCESS);
    HANDLE guard = CreateMutexW(nullptr, FALSE, mutexName);
    // Another user's instance may have made a mutex that refuses this one even a handle: it runs all the same.
    if (!guard) return GetLastError() != ERROR_ACCESS_DENIED;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return true;
    CloseHandle(guard);
    return false;
}

// A first instance started at the same moment may not have made its window yet: it is waited for a while.
void RestoreFirstInstance() {
    HWND first = nullptr;
    for (DWORD waited = 0; !(first = FindWindowW(mainClassName, mainTitle)) && waited < firstWindowWaitMs;
         waited += firstWindowPollMs)
        Sleep(firstWindowPollMs);
    ShowWindow(first, SW_RESTORE);
    SetForegroundWindow(first);
}
} // namespace

int VitreaMain(HINSTANCE instance) {
    MarkStartup(startupEntered);
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    static_assert(sizeof(OSVERSIONINFOW) == 276);
    GetVersionExW(&version);
    if (version.dwMajorVersion != 5) {
        MessageBoxW(nullptr, L"Vitrea is only supported on Windows 2000 and Windows XP", L"Vitrea", MB_OK);
        return 0;
    }
    FindLayeredFunctions();
    app.isXP = version.dwMinorVersion != 0;

    if (!BecomeTheOnlyInstance()) {
        RestoreFirstInstance();
        return 0;
    }
    MarkStartup(startupChecked);

    CreateSettingsWindow(instance);
    LoadSettings();
    MarkStartup(startupSettings);
    StartHookLibrary();
    AlphaTableAdopt();
    MarkStartup(startupHookLibrary);
    AddTrayIcon();
    MarkStartup(startupTrayIcon);
    FindTaskbarAndApply();
    MarkStartup(startupTaskbar);
    if (!(app.options & optionStartMinimized)) ShowWindow(app.mainWindow, SW_RESTORE);
    MarkStartup(startupShown);

    WPARAM exitCode = RunMessageLoop();
    HookLibraryUninitialize();
    DestroySettingsWindow();
    return static_cast<int>(exitCode);
}
