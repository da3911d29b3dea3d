// The engine's application messages: the requests of the hook library and the settings window to apply,
// remove, look up or forget a window's alpha, and the taskbar's hover reports.
#include "engine/requests.h"
#include "core/app_state.h"
#include "core/desktop.h"
#include "core/protocol.h"
#include "engine/alpha_table.h"
#include "engine/layered.h"
#include "engine/taskbar_fade.h"

Answer OnSetAlpha(HWND, WPARAM target, LPARAM request) {
    HWND window = reinterpret_cast<HWND>(target);
    if (!window) return 0;
    if (!(request & alphaRemoveRequest) && ChangeRecordedAlpha(window, LOBYTE(request))) return 0;
    // No class name means the window is gone: it has no rectangle to cover or test, so nothing changes.
    WCHAR className[257] = {};
    if (!GetClassNameW(window, className, 257)) return 0;
    // The desktop is never made translucent: neither the shell's nor the root window below every window,
    // whose apply would cover the whole screen and send a repaint to every window there is.
    if (IsDesktopClass(className) || window == GetDesktopWindow()) return 0;
    if (request & alphaRemoveRequest) {
        if (!AlphaTableFind(window, nullptr)) return 0; // only windows this program made translucent
        if (window == app.taskbarWindow) {
            TaskbarRemoveSteps();
            if (!AlphaTableFind(window, nullptr)) return 0; // the nested removal has restored it already
        }
        AlphaTableRemove(window);
        RemoveWindowAlpha(window);
    } else {
        BYTE alpha = LOBYTE(request);
        if (window == app.taskbarWindow) TaskbarApplySteps(alpha);
        AlphaTableSet(window, alpha);
        // A window whose program did not take the style change is not translucent, so it is not recorded.
        if (!ApplyWindowAlpha(window, alpha)) AlphaTableRemove(window);
    }
    return 0;
}

Answer OnForgetWindow(HWND, WPARAM target, LPARAM) {
    AlphaTableRemove(reinterpret_cast<HWND>(target));
    return 0;
}

Answer OnGetAlpha(HWND, WPARAM target, LPARAM) { return AlphaTableQuery(reinterpret_cast<HWND>(target)); }

Answer OnTaskbarHover(HWND, WPARAM taskbar, LPARAM hover) {
    LARGE_INTEGER now = {};
    QueryPerformanceCounter(&now);
    bool fadeIn;
    switch (LOWORD(hover)) {
    case hoverEntered: fadeIn = true; break;
    case hoverLeft: fadeIn = false; break;
    default: return 0;
    }
    HWND window = reinterpret_cast<HWND>(taskbar);
    if (!IsWindow(window)) return 0;
    StartTaskbarFade(window, fadeIn, now.QuadPart);
    return 0;
}
