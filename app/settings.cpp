// The five settings in the per-user registry: loaded once at start-up, written one value per change.
#include "app/settings.h"
#include <shlwapi.h>
#include <commctrl.h>
#include "core/app_state.h"
#include "core/protocol.h"
#include "core/settings.h"
#include "ui/controls.h"
#include "ui/paint.h"
#include "ui/skin.h"

namespace {
constexpr DWORD skinReadLimit = 256;

constexpr BYTE defaultShortcutByte = 0x45;
constexpr BYTE defaultTaskbarByte = 0x20 | fadeInBit; // fade-in at the 300 ms speed
constexpr BYTE defaultTaskbarAlpha = 144;


// A value that cannot be read into exactly one byte counts as missing.
// A key that could not be opened (its access list shuts this user out) is null: every value counts as
// missing, and the defaults are not written back, since they could not be and the stored values stay.
bool ReadByte(HUSKEY key, const WCHAR* name, BYTE& value) {
    BYTE data = 0;
    DWORD size = 1;
    if (!key || SHRegQueryUSValueW(key, name, nullptr, &data, &size, FALSE, nullptr, 0) != ERROR_SUCCESS ||
        size != 1)
        return false;
    value = data;
    return true;
}

void WriteByte(HUSKEY key, const WCHAR* name, BYTE value) {
    if (key) SHRegWriteUSValueW(key, name, REG_BINARY, &value, 1, SHREGSET_FORCE_HKCU);
}

// The name is stored without a terminating NUL and ends after the bytes read, whatever the value's type.
void LoadSkinName(HUSKEY key) {
    BYTE buffer[skinReadLimit] = {};
    DWORD size = skinReadLimit;
    if (!key || SHRegQueryUSValueW(key, skinValue, nullptr, buffer, &size, FALSE, nullptr, 0) != ERROR_SUCCESS ||
        size > skinReadLimit) {
        StoreSkinName(skinless);
        return;
    }
    DWORD characters = size / sizeof(WCHAR);
    CopyMemory(app.skinName, buffer, characters * sizeof(WCHAR));
    app.skinName[characters] = L'\0';
    if (StrCmpW(app.skinName, skinless) != 0) LoadNamedSkin();
}

void LoadShortcut(HUSKEY key) {
    if (!ReadByte(key, shortcutValue, app.shortcutByte)) {
        WriteByte(key, shortcutValue, defaultShortcutByte);
        app.shortcutByte = defaultShortcutByte;
        app.shortcutEnabled = true;
    } else if (app.shortcutByte & shortcutOnBit) {
        app.shortcutEnabled = true;
    } else {
        for (HWND combo : {app.firstKeyCombo, app.secondKeyCombo, app.keySetCombo}) EnableWindow(combo, FALSE);
    }
    FillKeyCombos(app.shortcutByte);
}

void LoadTaskbar(HUSKEY key) {
    BYTE taskbar = 0;
    if (!ReadByte(key, taskbarValue, taskbar)) {
        WriteByte(key, taskbarValue, defaultTaskbarByte);
        app.fadeInEnabled = true;
        app.fadeDuration = FadeDurationFromByte(defaultTaskbarByte);
        EnableWindow(app.alphaSlider, FALSE);
        return;
    }
    if (taskbar & taskbarOnBit)
        app.taskbarEnabled = true;
    else
        EnableWindow(app.alphaSlider, FALSE);
    if (taskbar & fadeInBit) app.fadeInEnabled = true;
    if (LONG duration = FadeDurationFromByte(taskbar)) app.fadeDuration = duration;
}

void LoadAlpha(HUSKEY key) {
    if (!ReadByte(key, taskbarAlphaValue, app.taskbarAlpha)) {
        WriteByte(key, taskbarAlphaValue, defaultTaskbarAlpha);
        app.taskbarAlpha = defaultTaskbarAlpha;
    }
    SendMessageW(app.alphaSlider, TBM_SETPOS, TRUE, SliderMirror(app.taskbarAlpha));
}

void LoadOptions(HUSKEY key) {
    if (!ReadByte(key, optionsValue, app.options)) {
        WriteByte(key, optionsValue, 0);
        app.options = 0;
    }
}

void WriteTaskbarByte() {
    WriteSettingByte(taskbarValue, ComposeTaskbarByte(app.taskbarEnabled, app.fadeInEnabled, app.fadeDuration));
}

void SetShortcutOn(bool on) {
    app.shortcutEnabled = on;
    app.shortcutByte = on ? (app.shortcutByte | shortcutOnBit) : (app.shortcutByte & ~shortcutOnBit);
    WriteSettingByte(shortcutValue, app.shortcutByte);
    for (HWND combo : {app.firstKeyCombo, app.secondKeyCombo, app.keySetCombo}) EnableWindow(combo, on);
    RepaintShortcutCaption();
}

void SetTaskbarOn(HWND window, bool on) {
    app.taskbarEnabled = on;
    WriteTaskbarByte();
    EnableWindow(app.alphaSlider, on);
    RepaintTaskbarCaption();
    SendMessageW(window, APPMSG_SETALPHA, reinterpret_cast<WPARAM>(app.taskbarWindow),
                 on ? app.taskbarAlpha : alphaRemoveRequest);
}

void SetTaskbarAlpha(BYTE alpha) {
    app.taskbarAlpha = alpha;
    WriteSettingByte(taskbarAlphaValue, alpha);
    SendMessageW(app.alphaSlider, TBM_SETPOS, TRUE, SliderMirror(alpha));
}

void SetOptions(LPARAM value) {
    BYTE mask = LOBYTE(value);
    app.options = (value & optionsSetByte) ? (app.options | mask) : (app.options & ~mask);
    WriteSettingByte(optionsValue, app.options);
}
} // namespace

BYTE ComposeTaskbarByte(bool enabled, bool fadeIn, LONG fadeDuration) {
    BYTE speed = 0x00;
    for (const FadeSpeed& code : fadeSpeeds)
        if (code.duration == fadeDuration) speed = code.bits;
    return static_cast<BYTE>((enabled ? taskbarOnBit : 0) | (fadeIn ? fadeInBit : 0) | speed);
}

LONG FadeDurationFromByte(BYTE taskbarByte) {
    for (const FadeSpeed& code : fadeSpeeds)
        if (code.bits == (taskbarByte & fadeSpeedBits)) return code.duration;
    return 0;
}

void LoadSettings() {
    HUSKEY key = nullptr;
    if (SHRegCreateUSKeyW(settingsKey, KEY_ALL_ACCESS, nullptr, &key, SHREGSET_FORCE_HKCU) != ERROR_SUCCESS)
        key = nullptr;
    LoadSkinName(key);
    LoadShortcut(key);
    LoadTaskbar(key);
    LoadAlpha(key);
    LoadOptions(key);
    if (key) SHRegCloseUSKey(key);
}

Answer OnSetting(HWND window, WPARAM code, LPARAM value) {
    switch (code) {
    case settingShortcutOn: SetShortcutOn(value != 0); break;
    case settingTaskbarOn: SetTaskbarOn(window, value != 0); break;
    case settingShortcutByte:
        app.shortcutByte = LOBYTE(value);
        WriteSettingByte(shortcutValue, app.shortcutByte);
        break;
    case settingTaskbarAlpha: SetTaskbarAlpha(LOBYTE(value)); break;
    case settingFadeIn:
        app.fadeInEnabled = value != 0;
        WriteTaskbarByte();
        break;
    case settingFadeDuration:
        app.fadeDuration = static_cast<LONG>(value);
        WriteTaskbarByte();
        break;
    case settingOptions: SetOptions(value); break;
    }
    return 0;
}
