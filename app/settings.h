#pragma once
#include <windows.h>
#include "app/answer.h"

// "Skin" holds at most 256 bytes: 128 characters, plus room for the terminating NUL.
constexpr int skinNameCapacity = 128 + 1;
// The "Skin" value of the plain look.
inline constexpr WCHAR skinless[] = L"Skinless";

inline constexpr WCHAR taskbarAlphaValue[] = L"Taskbar Transparency Alpha";

constexpr BYTE optionStartMinimized = 0x01;
constexpr BYTE optionStartWithWindows = 0x02;

// Setting codes of APPMSG_SETTING.
enum SettingCode : WPARAM {
    settingShortcutOn = 1,
    settingTaskbarOn = 2,
    settingShortcutByte = 3,
    settingTaskbarAlpha = 4,
    settingFadeIn = 19,
    settingFadeDuration = 20,
    settingOptions = 23,
};

// What the second prefix key's combo box offers for the first key named in a "Keyboard Shortcut" byte.
struct SecondKeyChoices {
    int firstEntry; // entry of the first key's combo box, -1 when the byte names no first key
    const WCHAR* items[2];
    int selected;
};
SecondKeyChoices SecondKeyChoicesFor(BYTE shortcut);
// Empties the second key's combo box and refills it for the byte; it stays empty without a first key.
void FillSecondKeyCombo(BYTE shortcut);

// Reads every setting once (writing back defaults for missing values) and fills the controls.
void LoadSettings();
// Makes `name` the skin name and stores it as the "Skin" value, without a terminating NUL.
void StoreSkinName(const WCHAR* name);
// Persists one single-byte setting as REG_BINARY under the program's key.
void WriteSettingByte(const WCHAR* name, BYTE value);
// The "Taskbar Transparency" byte from its three fields.
BYTE ComposeTaskbarByte(bool enabled, bool fadeIn, LONG fadeDuration);
// The fade duration a stored speed code stands for, or 0 for the codes that set none.
LONG FadeDurationFromByte(BYTE taskbarByte);

Answer OnSetting(HWND window, WPARAM code, LPARAM value);
