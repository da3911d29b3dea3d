// Subclassed controls: the settings window is no dialog, so its controls move the keyboard focus themselves
// along a fixed graph; the check buttons light up under the mouse in the skinned look, and the trackbar jumps
// to a click on its track, steps with the arrow keys and drives the taskbar while it moves.
#include "ui/controls.h"
#include "ui/focus_graph.h"
#include <commctrl.h>
#include "core/app_state.h"
#include "core/protocol.h"
#include "core/settings.h"
#include "ui/layout.h"
#include "ui/paint.h"
#include <initializer_list>

namespace {
void AddItems(HWND combo, std::initializer_list<const WCHAR*> items) {
    for (const WCHAR* item : items) SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
}

void Select(HWND combo, int entry) { SendMessageW(combo, CB_SETCURSEL, entry, 0); }

HWND ControlWindow(int control) {
    const HWND windows[focusControlCount] = {app.firstKeyCombo, app.secondKeyCombo, app.keySetCombo,
                                             app.shortcutButton, app.taskbarButton, app.alphaSlider};
    return control >= 0 && control < focusControlCount ? windows[control] : nullptr;
}

int ControlIndex(HWND window) {
    for (int control = 0; control < focusControlCount; ++control)
        if (ControlWindow(control) == window) return control;
    return focusStays;
}

bool KeyFromVirtual(WPARAM virtualKey, FocusKey& key) {
    switch (virtualKey) {
    case VK_TAB: key = GetKeyState(VK_SHIFT) < 0 ? keyShiftTab : keyTab; return true;
    case VK_LEFT: key = keyLeft; return true;
    case VK_RIGHT: key = keyRight; return true;
    case VK_UP: key = keyUp; return true;
    case VK_DOWN: key = keyDown; return true;
    }
    return false;
}

// True when the key belongs to the graph for this control; the focus has then been moved or left alone.
bool MoveFocus(HWND control, WPARAM virtualKey) {
    int from = ControlIndex(control);
    FocusKey key;
    if (!KeyFromVirtual(virtualKey, key) || !FocusKeyHandled(from, key)) return false;
    FocusSwitches switches = {app.shortcutEnabled, app.taskbarEnabled, app.taskbarAlpha >= 129};
    int target = FocusTarget(from, key, switches);
    if (target != focusStays) SetFocus(ControlWindow(target));
    return true;
}

// The trackbar loses and regains the focus so that it repaints with the images of its new state.
void BounceFocus() {
    SetFocus(app.mainWindow);
    SetFocus(app.alphaSlider);
}

void SetDragging(bool dragging) {
    app.sliderDragging = dragging ? app.alphaSlider : nullptr;
    BounceFocus();
}

// One arrow-key step of the taskbar alpha; at either end nothing changes.
void StepAlpha(int delta) {
    int alpha = app.taskbarAlpha + delta;
    if (alpha < 1 || alpha > 255) {
        SetDragging(false);
        return;
    }
    if (app.skinModule && !app.sliderDragging) SetDragging(true);
    SendMessageW(app.mainWindow, APPMSG_SETTING, settingTaskbarAlpha, alpha);
    SendMessageW(app.alphaSlider, TBM_SETPOS, TRUE, SliderMirror(alpha));
    SendMessageW(app.mainWindow, APPMSG_SETALPHA, reinterpret_cast<WPARAM>(app.taskbarWindow), alpha);
}

// A press anywhere along the thumb's row puts the thumb under the cursor before the trackbar sees the press,
// so the trackbar's own handling starts a drag from there.
void JumpToClick(HWND slider) {
    POINT cursor;
    RECT frame;
    GetCursorPos(&cursor);
    GetWindowRect(slider, &frame);
    int dy = cursor.y - frame.top;
    int dx = cursor.x - frame.left;
    if (dy < sliderThumbTop || dy >= sliderThumbTop + sliderThumb.cy || dx < sliderChannel.x ||
        dx >= sliderChannel.x + sliderChannel.width)
        return;
    // The channel less the thumb, spread over the 254 steps.
    int travel = sliderChannel.width - sliderThumb.cx;
    int position = static_cast<int>((dx - sliderChannel.x) * 254.0 / travel - 3.0);
    SendMessageW(slider, TBM_SETPOS, TRUE, position);
}

// The hover look is the focus look of the label; leaving shows the normal label even on the focused button.
void DrawHover(HWND button, bool lit) {
    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_BUTTON;
    item.itemAction = ODA_FOCUS;
    item.itemState = (lit ? ODS_FOCUS : 0) | (button == app.pressedButton ? ODS_SELECTED : 0);
    item.hwndItem = button;
    item.hDC = GetDC(button);
    GetClientRect(button, &item.rcItem);
    DrawOwnerButton(item);
    ReleaseDC(button, item.hDC);
}

// A leave that arrives after a switch to the plain look draws nothing: there an ODA_FOCUS draw is an XOR
// focus rectangle, which the leave would leave behind.
void OnButtonMouseLeave(HWND button) {
    if (app.buttonHoverTracking != button) return;
    app.buttonHoverTracking = nullptr;
    if (app.skinModule) DrawHover(button, false);
}

// Only a cursor that is on the button now starts the hover: moves that reach a button holding the capture
// from outside, or that come after the cursor has left, would light it with no leave to follow. The other
// button's leave may still be on its way, as the system notices a leave late (after a press dragged off a
// button, later still): that button is drawn normal here, and its late leave finds it no longer tracked.
void OnButtonMouseMove(HWND button) {
    if (!app.skinModule || app.buttonHoverTracking == button) return;
    POINT cursor;
    GetCursorPos(&cursor);
    if (WindowFromPoint(cursor) != button) return;
    if (app.buttonHoverTracking) DrawHover(app.buttonHoverTracking, false);
    app.buttonHoverTracking = button;
    DrawHover(button, true);
    TRACKMOUSEEVENT track = {sizeof track, TME_LEAVE, button, 0};
    _TrackMouseEvent(&track);
    // A cursor gone before the request was made leaves nothing tracked, and no leave would come.
    TRACKMOUSEEVENT query = {sizeof query, TME_QUERY, nullptr, 0};
    if (_TrackMouseEvent(&query) && query.hwndTrack != button) OnButtonMouseLeave(button);
}

LRESULT CALLBACK ComboProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN && MoveFocus(window, wParam)) return 0;
    return CallWindowProcW(app.comboProc, window, message, wParam, lParam);
}

LRESULT CALLBACK ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_KEYDOWN:
        if (MoveFocus(window, wParam)) return 0;
        break;
    case WM_MOUSEMOVE: OnButtonMouseMove(window); break;
    case WM_MOUSELEAVE: OnButtonMouseLeave(window); break;
    }
    return CallWindowProcW(app.buttonProc, window, message, wParam, lParam);
}

LRESULT CALLBACK SliderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SETCURSOR:
        if (HIWORD(lParam) == WM_LBUTTONDOWN) JumpToClick(window);
        break;
    case WM_KEYDOWN:
        if (wParam == VK_LEFT || wParam == VK_RIGHT) {
            StepAlpha(wParam == VK_LEFT ? 1 : -1);
            return 0;
        }
        if (MoveFocus(window, wParam)) return 0;
        break;
    case WM_KEYUP:
        if (wParam != VK_LEFT && wParam != VK_RIGHT) break;
        if (app.skinModule) SetDragging(false);
        // Every step is already stored; this makes sure the value the key stopped at is.
        WriteSettingByte(taskbarAlphaValue, app.taskbarAlpha);
        return 0;
    }
    return CallWindowProcW(app.sliderProc, window, message, wParam, lParam);
}

WNDPROC Subclass(HWND control, WNDPROC procedure) {
    return reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure)));
}
} // namespace

void SubclassControls() {
    app.comboProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(app.firstKeyCombo, GWLP_WNDPROC));
    for (HWND combo : {app.firstKeyCombo, app.secondKeyCombo, app.keySetCombo}) Subclass(combo, ComboProc);
    app.buttonProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(app.shortcutButton, GWLP_WNDPROC));
    Subclass(app.shortcutButton, ButtonProc);
    Subclass(app.taskbarButton, ButtonProc);
    app.sliderProc = Subclass(app.alphaSlider, SliderProc);
}

// The taskbar follows the thumb while it is dragged, and every new position is stored on the way (by the
// taskbar's own steps); the release of a drag stores the final value once more without applying it again.
Answer OnHScroll(HWND window, WPARAM wParam, LPARAM lParam) {
    int position = HIWORD(wParam);
    // The trackbar's range ends at 254; anything past it (sent by another program) would make alpha 0 or wrap.
    if (reinterpret_cast<HWND>(lParam) == app.alphaSlider && position <= 254) {
        BYTE alpha = static_cast<BYTE>(SliderMirror(position));
        switch (LOWORD(wParam)) {
        case TB_THUMBTRACK:
            if (app.skinModule && !app.sliderDragging) SetDragging(true);
            SendMessageW(window, APPMSG_SETALPHA, reinterpret_cast<WPARAM>(app.taskbarWindow), alpha);
            break;
        case TB_THUMBPOSITION:
            if (app.skinModule) SetDragging(false);
            // A press on the track that never moved the thumb sent no thumb-track: what it chose is applied
            // (and stored) now, or the taskbar would not show the stored value.
            if (alpha != app.taskbarAlpha)
                SendMessageW(window, APPMSG_SETALPHA, reinterpret_cast<WPARAM>(app.taskbarWindow), alpha);
            else
                SendMessageW(window, APPMSG_SETTING, settingTaskbarAlpha, alpha);
            break;
        }
    }
    return passOn;
}

SecondKeyChoices SecondKeyChoicesFor(BYTE shortcut) {
    // Alt before Ctrl before Shift; bit 4 is never consulted, so a clear other bit shows the first entry.
    if (shortcut & firstAltBit) return {0, {L"Ctrl", L"Shift"}, (shortcut & secondShiftBit) ? 1 : 0};
    if (shortcut & firstCtrlBit) return {1, {L"Alt", L"Shift"}, (shortcut & secondShiftBit) ? 1 : 0};
    if (shortcut & firstShiftBit) return {2, {L"Alt", L"Ctrl"}, (shortcut & secondCtrlBit) ? 1 : 0};
    return {-1, {nullptr, nullptr}, -1};
}

void FillSecondKeyCombo(BYTE shortcut) {
    SendMessageW(app.secondKeyCombo, CB_RESETCONTENT, 0, 0);
    SecondKeyChoices choices = SecondKeyChoicesFor(shortcut);
    if (choices.firstEntry < 0) return;
    AddItems(app.secondKeyCombo, {choices.items[0], choices.items[1]});
    Select(app.secondKeyCombo, choices.selected);
}

void FillKeyCombos(BYTE shortcut) {
    AddItems(app.firstKeyCombo, {L"Alt", L"Ctrl", L"Shift"});
    SecondKeyChoices choices = SecondKeyChoicesFor(shortcut);
    if (choices.firstEntry >= 0) Select(app.firstKeyCombo, choices.firstEntry);
    FillSecondKeyCombo(shortcut);
    AddItems(app.keySetCombo, {L"0-9", L"F1-F12"});
    Select(app.keySetCombo, (shortcut & functionKeysBit) ? 1 : 0);
}
