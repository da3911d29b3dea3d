// The tray icon, and the warning balloons shown at it.
#include "ui/tray_icon.h"
#include <shlwapi.h>
#include <iterator>
#include "core/app_state.h"
#include "core/protocol.h"
#include "resources/resource_ids.h"

namespace {
// The record AppState points at once the icon is added; it lives for the whole run.
NOTIFYICONDATAW trayIconRecord;

constexpr WCHAR trayTip[] = L"Vitrea\r\n \u00B7 Left-click to restore window.\r\n \u00B7 Right-click to bring up menu.";
static_assert(sizeof(trayTip) / sizeof(WCHAR) <= 128);
// Long enough to read two lines; the shell keeps a balloon between 10 and 30 seconds whatever is asked.
constexpr UINT balloonMs = 20000;

// Balloons came with the Windows 2000 shell; an older one has none to show.
bool ShellShowsBalloons() {
    auto getVersion = ProcAddress<DLLGETVERSIONPROC>(GetModuleHandleW(L"shell32.dll"), "DllGetVersion");
    DLLVERSIONINFO version = {};
    version.cbSize = sizeof version;
    return getVersion && SUCCEEDED(getVersion(&version)) && version.dwMajorVersion >= 5;
}

// A balloon asked for before the tray icon exists (a skin refused at start-up) waits here for the icon.
struct {
    decltype(NOTIFYICONDATAW::szInfoTitle) title;
    decltype(NOTIFYICONDATAW::szInfo) text;
    bool waiting;
} waitingBalloon;

// Sent as a change of the icon alone, so the record re-added for a new taskbar shows it no second time.
void SendBalloon() {
    NOTIFYICONDATAW balloon = *app.trayIcon;
    balloon.uFlags = NIF_INFO;
    lstrcpynW(balloon.szInfoTitle, waitingBalloon.title, std::size(balloon.szInfoTitle));
    lstrcpynW(balloon.szInfo, waitingBalloon.text, std::size(balloon.szInfo));
    balloon.uTimeout = balloonMs;
    balloon.dwInfoFlags = NIIF_WARNING;
    Shell_NotifyIconW(NIM_MODIFY, &balloon);
    waitingBalloon.waiting = false;
}
} // namespace

void ShowTrayBalloon(const WCHAR* title, const WCHAR* text) {
    if (!ShellShowsBalloons()) return;
    lstrcpynW(waitingBalloon.title, title, std::size(waitingBalloon.title));
    lstrcpynW(waitingBalloon.text, text, std::size(waitingBalloon.text));
    waitingBalloon.waiting = true;
    if (app.trayIcon) SendBalloon();
}

void AddTrayIcon() {
    trayIconRecord = {};
    trayIconRecord.cbSize = NOTIFYICONDATAW_V2_SIZE; // without the GUID member, which Windows 2000 knows
    trayIconRecord.hWnd = app.mainWindow;
    trayIconRecord.uID = 0;
    trayIconRecord.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    trayIconRecord.uCallbackMessage = APPMSG_TRAY;
    trayIconRecord.hIcon = LoadIconW(app.instance, MAKEINTRESOURCEW(IDI_VITREA));
    lstrcpynW(trayIconRecord.szTip, trayTip, sizeof trayIconRecord.szTip / sizeof(WCHAR));
    app.trayIcon = &trayIconRecord;
    Shell_NotifyIconW(NIM_ADD, app.trayIcon);
    if (waitingBalloon.waiting) SendBalloon();
}
